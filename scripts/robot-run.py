#!/usr/bin/python3
"""Drives the main road over the accessibility bus as a screen reader user would: opens "Add" from
the File menu, types two generated clips into the file dialog's "File name:" field, sees their
rows, presses "Start", reads the progress window's values by their captions while the run goes on,
and finds the two outputs in the output folder once the window has closed.

    gui-run.sh /usr/bin/python3 scripts/robot-run.py AT_FOLDER BUILD_DIR [SHOTS_DIR]"""
import os
import sys

import pyatspi
from robot_common import Robot, at, press_closing, shot, type_files_to_add, wait


def value_of(root, caption):
    """The text of the label that the caption `caption` labels, as a screen reader pairs them;
    "" while it shows nothing (an empty label is then named after its caption)."""
    for node in at.find_all(root, "label", caption):
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR:
                text = at.text_of(relation.getTarget(0))
                return "" if text == caption else text
    return ""


with Robot("run", settings=lambda work: {"OutPutDir": os.path.join(work, "out")}) as robot:
    clips = []
    for name in ("first", "second"):
        clip = robot.path(name + ".mkv")
        robot.fixture("--duration", "20", "--size", "640x480", "h264-aac.mkv", clip)
        clips.append(clip)
    app, window = robot.start()
    dialog, _ = type_files_to_add(app, window, clips)
    press_closing(at.find(dialog, "push button", "Open"))
    for clip in clips:
        at.find(window, None, contains=os.path.basename(clip), timeout=30)
        print("row:", clip)
    shot("run-list")
    at.press(at.find(window, "push button", "Start"))

    progress = at.find(app, "dialog", "Progress", timeout=20)
    print("progress window:", repr(progress.name))
    # The run goes on by itself; only the folder is not opened at its end.
    at.press(at.find(progress, "check box", "Open the output folder after conversion"))
    labels = {}
    names = ["Current Time:", "Length:", "File Size:", "Progress:", "File:"]

    def read_labels():
        for name in names:
            labels[name] = value_of(progress, name)
        return labels["Progress:"] != "" and labels["Current Time:"] != ""

    wait(read_labels, 60, "the progress window's labels stayed empty")
    for name in names:
        print("%-14s %s" % (name, labels[name]))
    shot("run-progress-window")
    if (not labels["Progress:"].startswith("[") or not labels["File:"].endswith(".mkv")
            or labels["Length:"] != "20 Second" or not labels["Current Time:"].endswith(" Second")):
        sys.exit("FAIL: unexpected labels")

    wait(lambda: not at.find_all(app, "dialog", "Progress", showing=True), 180,
         "the run did not end")
    made = sorted(os.listdir(robot.path("out")))
    print("outputs:", made)
    if made != ["first_(new).mp4", "second_(new).mp4"]:
        sys.exit("FAIL: the output folder does not hold the two outputs")
    shot("run-ended")
    print("PASS")
