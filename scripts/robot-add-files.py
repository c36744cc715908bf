#!/usr/bin/python3
"""Drives the running program over the accessibility bus as a screen reader user would: opens
"Add" from the File menu, types two file names into the file dialog's "File name:" field, opens
them, and reads the new rows of the source list cell by cell.

    gui-run.sh /usr/bin/python3 scripts/robot-add-files.py AT_FOLDER BUILD_DIR [SHOTS_DIR]"""
import os
import sys
import time

from robot_common import Robot, at, shot, type_files_to_add


def cells(window):
    """The names of the list's cells, row by row (a cell says its column and its text)."""
    table = at.find(window, "tree", "Source Files")
    found = []
    for node, _ in at.walk(table, maxdepth=3):
        try:
            if node.getRoleName() in ("table cell", "tree item"):
                found.append(at.clean(node.name))
        except Exception:
            continue
    return found


with Robot("add") as robot:
    media = robot.path("media")
    os.makedirs(media)
    clips = [os.path.join(media, "holiday.mkv"), os.path.join(media, "concert.avi")]
    for name, path in zip(["h264-aac.mkv", "mpeg4-mp3.avi"], clips):
        robot.fixture("--duration", "3", name, path)
    app, window = robot.start()
    print("main window:", repr(window.name))
    dialog, field = type_files_to_add(app, window, clips)
    print("typed:", repr(at.text_of(field)))
    shot("add-dialog")
    at.press(at.find(dialog, "push button", "Open"))
    wanted = [f"Source: {path}" for path in clips]
    end = time.time() + 20
    found = []
    while time.time() < end:
        found = cells(window)
        if all(cell in found for cell in wanted):
            break
        time.sleep(0.3)
    for cell in found:
        print("cell:", cell)
    shot("source-list-rows")
    for cell in wanted + ["Length: 0:00:03", "Destination File: holiday_(new).mp4",
                          "Destination File: concert_(new).mp4", "Progress: none"]:
        if cell not in found:
            sys.exit(f"FAIL: the list shows no cell {cell!r}")
    print("PASS")
