#!/usr/bin/python3
"""Drives the running program over the accessibility bus: opens "Add DVD" → "DVD Folder…",
chooses the test disc's VIDEO_TS folder in the folder dialog, reads one row per title with its
cells, picks the second audio track and chapters 1 to 2 of the first title in the title box,
presses "Start" and finds one output per title in the output folder once the run has ended.

    gui-run.sh /usr/bin/python3 scripts/robot-import-dvd.py AT_FOLDER BUILD_DIR [SHOTS_DIR]"""
import os
import sys

import pyatspi
from robot_common import Robot, at, build, press_closing, shot, wait


def chosen(combo):
    """The item a drop-down list shows: the one selected in its list."""
    for item in at.find_all(combo, "list item"):
        if item.getState().contains(pyatspi.STATE_SELECTED):
            return item.name
    return None


with Robot("dvd", settings=lambda work: {"OutPutDir": os.path.join(work, "out")}) as robot:
    disc = robot.fixture("dvd-disc", os.path.join(build, "tests/robot-dvd-disc"))
    app, window = robot.start()
    # The "Add DVD" tool button and the File menu's "Add DVD" open the same menu; the menu bar
    # is where assistive technology reaches it.
    at.press(at.find(window, "menu item", "File"))
    at.press(at.find(window, "menu item", "Add DVD"))
    at.press(at.find(window, "menu item", "DVD Folder…"))
    dialog = at.find(app, "dialog", "DVD Folder")
    field = at.find(dialog, "text", "Directory:")
    at.set_text(field, os.path.join(disc, "VIDEO_TS"))

    press_closing(at.find(dialog, "push button", "Choose"))

    for cell in ["Source: DVD Title 1", "Duration:    0:00:30", "Frame Size:    720 x 576",
                 "Video Format:    MPEG-2", "Source: DVD Title 2", "Frame Size:    720 x 480"]:
        at.find(window, None, contains=cell, timeout=60)
        print("row cell", repr(cell))
    box = at.find(window, "panel", "DVD Title 1")
    print("title box:", repr(box.name))
    shot("dvd-imported")

    audio = at.find(box, "combo box", "Audio:")
    # Open the list and click the second track, as a pointer would.
    act = audio.queryAction()
    act.doAction([act.getName(i) for i in range(act.nActions)].index("ShowMenu"))
    item = at.find(audio, "list item", "193  German")
    wait(lambda: item.getState().contains(pyatspi.STATE_SHOWING), 10,
         "the audio list did not open")
    box_at = item.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(box_at.x + box_at.width // 2,
                                        box_at.y + box_at.height // 2, "b1c")
    wait(lambda: chosen(audio) == "193  German", 10, "the audio track was not chosen")
    down = at.find(box, "push button", "Last chapter down")
    at.press(down)
    at.press(down)
    last = at.find(box, "text", "to")
    wait(lambda: at.text_of(last) == "2", 10, "the chapter range did not move")
    print("audio:", repr(chosen(audio)), "chapters: 1 to", at.text_of(last))
    shot("dvd-choices")

    at.press(at.find(window, "push button", "Start"))
    progress = at.find(app, "dialog", "Progress", timeout=20)
    # The run goes on by itself; only the folder is not opened at its end.
    at.press(at.find(progress, "check box", "Open the output folder after conversion"))
    shot("dvd-run")
    wait(lambda: not at.find_all(app, "dialog", "Progress", showing=True), 240,
         "the run did not end")
    out = robot.path("out")
    made = sorted(os.listdir(out))
    print("outputs:", made, [os.path.getsize(os.path.join(out, name)) for name in made])
    if made != ["DVD Title 1_(new).mp4", "DVD Title 2_(new).mp4"]:
        sys.exit("FAIL: the output folder does not hold one output per title")
    if at.find_all(app, "dialog", "Warning", showing=True):
        sys.exit("FAIL: the run reported titles it could not convert")
    at.find(window, None, contains="Progress: 100%", timeout=10)
    print("PASS")
