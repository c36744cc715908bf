#!/usr/bin/python3
"""Drives the running program over the accessibility bus as a screen reader would: with a clip in
the source list, opens the three editing dialogs from the Edit menu, sets a value in each by its
name ("Brightness:" in the effects dialog, "Up" in the crop dialog, the start mark in the trim
dialog) and presses OK; then opens the effects dialog again and reads the brightness it stored.

    gui-run.sh /usr/bin/python3 scripts/robot-edit-row.py AT_FOLDER BUILD_DIR CLIP [SHOTS_DIR]

AT_FOLDER holds at.py (the project's shared tools); CLIP is a media file put on the command line
(the source list takes it); SHOTS_DIR, when given, receives screenshots (ImageMagick's `import`)
of each dialog with its live preview."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, sys.argv[1])
import at  # noqa: E402

build, clip = sys.argv[2], sys.argv[3]
shots = sys.argv[4] if len(sys.argv) > 4 else None
config = tempfile.mkdtemp(prefix="quovo-robot-")
env = dict(os.environ, QUOVO_CONFIG_DIR=config, SDL_AUDIODRIVER="dummy")
program = subprocess.Popen([os.path.join(build, "src/app/quovo"), clip], env=env)


def shot(name):
    if shots:
        time.sleep(1.5)  # let the preview play a little
        subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")],
                       check=True)


def open_from_edit_menu(app, window, item, title):
    at.press(at.find(window, "menu", "Edit"))
    at.press(at.find(app, "menu item", item))
    return at.find(app, "dialog", contains=title, timeout=15)


def set_value(node, value):
    node.queryValue().currentValue = value


try:
    app = at.app("quovo")
    window = at.find(app, "frame", "Quovo 3.300 ")
    at.find(window, "table", contains="")  # the source list
    # The clip's row: select it so the Edit menu's entries are enabled.
    row = at.find(window, "table cell", contains=os.path.basename(clip), timeout=30)
    at.press(row)

    dialog = open_from_edit_menu(app, window, "Video Effect & Water Mark", "Water Mark")
    at.press(at.find(dialog, "page tab", "Effect"))
    set_value(at.find(dialog, "slider", "Brightness:"), 400)
    shot("effects-dialog")
    at.press(at.find(dialog, "push button", "Ok"))

    dialog = open_from_edit_menu(app, window, "Crop", "Crop")
    set_value(at.find(dialog, "spin button", "Up"), 12)
    shot("crop-dialog")
    at.press(at.find(dialog, "push button", "Ok"))

    dialog = open_from_edit_menu(app, window, "Trim", "Trim")
    time.sleep(1.5)
    at.press(at.find(dialog, "push button", "Set Start Time"))
    shot("trim-dialog")
    at.press(at.find(dialog, "push button", "Ok"))

    dialog = open_from_edit_menu(app, window, "Video Effect & Water Mark", "Water Mark")
    stored = at.find(dialog, "slider", "Brightness:").queryValue().currentValue
    print("brightness stored:", stored)
    at.press(at.find(dialog, "push button", "Cancel"))
    if int(stored) != 400:
        sys.exit("FAIL: the effects dialog did not store the brightness")
    print("PASS")
finally:
    program.terminate()
    program.wait(timeout=20)
    shutil.rmtree(config, ignore_errors=True)
