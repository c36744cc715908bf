#!/usr/bin/python3
"""Drives the running program over the accessibility bus as a screen reader would: finds the main
window by its title and the controls by their names, chooses "Microsoft Xbox AVI Video (*.avi)"
through the format pop-up and checks that the settings file then holds its code, 1201.

    gui-run.sh /usr/bin/python3 scripts/robot-choose-format.py AT_FOLDER BUILD_DIR [SHOTS_DIR]"""
import os
import sys
import time

from robot_common import Robot, at, shot


def stored_code(config):
    try:
        with open(os.path.join(config, "quovo.ini")) as f:
            for line in f:
                key, _, value = line.partition("=")
                if key.strip().lower() == "formatcode":
                    return value.strip()
    except FileNotFoundError:
        pass
    return None


with Robot("format") as robot:
    app, window = robot.start()
    print("main window:", repr(window.name))
    for role, name in [("text", "Output Format:"), ("push button", "Output Format:"),
                       ("text", "Output Directory:"), ("push button", "Brows"),
                       ("push button", "Open"), ("push button", "Start"),
                       ("push button", "Settings"), ("slider", "Volume:"),
                       ("check box", "Mute")]:
        at.find(window, role, name)
        print("found", role, repr(name))
    shot("main-window")

    at.press(at.find(window, "push button", "Output Format:"))
    category = at.find(app, "list item", "Microsoft xbox 360")
    at.press(category)
    choice = at.find(app, "list item", "Microsoft Xbox AVI Video (*.avi)")
    shot("format-popup-open")
    at.press(choice)
    end = time.time() + 10
    while stored_code(robot.config) != "1201" and time.time() < end:
        time.sleep(0.2)
    field = at.find(window, "text", "Output Format:")
    print("format field:", repr(at.text_of(field)))
    shot("format-chosen")
    print("settings: FormatCode =", stored_code(robot.config))
    if stored_code(robot.config) != "1201":
        sys.exit("FAIL: the settings file does not hold FormatCode 1201")
    print("PASS")
