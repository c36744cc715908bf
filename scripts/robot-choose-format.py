#!/usr/bin/python3
"""Drives the running program over the accessibility bus as a screen reader would: finds the main
window by its title and the controls by their names, chooses "Microsoft Xbox AVI Video (*.avi)"
through the format pop-up and checks that the settings file then holds its code, 1201.

    gui-run.sh /usr/bin/python3 scripts/robot-choose-format.py AT_FOLDER BUILD_DIR [SHOTS_DIR]

AT_FOLDER holds at.py (the project's shared tools); SHOTS_DIR, when given, receives screenshots
(ImageMagick's `import`)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, sys.argv[1])
import at  # noqa: E402

build = sys.argv[2]
shots = sys.argv[3] if len(sys.argv) > 3 else None
config = tempfile.mkdtemp(prefix="quovo-robot-")
env = dict(os.environ, QUOVO_CONFIG_DIR=config)
program = subprocess.Popen([os.path.join(build, "src/app/quovo")], env=env)


def shot(name):
    if shots:
        time.sleep(0.7)
        subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")], check=True)


def stored_code():
    try:
        with open(os.path.join(config, "quovo.ini")) as f:
            for line in f:
                key, _, value = line.partition("=")
                if key.strip().lower() == "formatcode":
                    return value.strip()
    except FileNotFoundError:
        pass
    return None


try:
    app = at.app("quovo")
    window = at.find(app, "frame", "Quovo 3.300 ")
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
    while stored_code() != "1201" and time.time() < end:
        time.sleep(0.2)
    field = at.find(window, "text", "Output Format:")
    print("format field:", repr(at.text_of(field)))
    shot("format-chosen")
    print("settings: FormatCode =", stored_code())
    if stored_code() != "1201":
        sys.exit("FAIL: the settings file does not hold FormatCode 1201")
    print("PASS")
finally:
    program.terminate()
    program.wait(timeout=20)
    shutil.rmtree(config, ignore_errors=True)
