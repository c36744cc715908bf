#!/usr/bin/python3
"""Drives the running program over the accessibility bus: opens "Add DVD" → "DVD Folder…",
chooses the test disc's VIDEO_TS folder in the folder dialog, reads one row per title with its
cells, and picks the second audio track and chapters 1 to 2 of the first title in the title box.

    gui-run.sh /usr/bin/python3 scripts/robot-import-dvd.py AT_FOLDER BUILD_DIR [SHOTS_DIR]

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
import pyatspi  # noqa: E402

build = os.path.abspath(sys.argv[2])
shots = sys.argv[3] if len(sys.argv) > 3 else None
work = tempfile.mkdtemp(prefix="quovo-robot-dvd-")
config = os.path.join(work, "config")
out = os.path.join(work, "out")
os.makedirs(config)
disc = subprocess.run([os.path.join(build, "tools/quovo-fixture"), "dvd-disc",
                       os.path.join(build, "tests/robot-dvd-disc")],
                      check=True, capture_output=True, text=True).stdout.strip()
with open(os.path.join(config, "quovo.ini"), "w") as f:
    f.write("[settings]\nOutPutDir=%s\n" % out)
env = dict(os.environ, QUOVO_CONFIG_DIR=config)
program = subprocess.Popen([os.path.join(build, "src/app/quovo")], env=env)


def shot(name):
    if shots:
        time.sleep(0.7)
        subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")], check=True)


def press_closing(node):
    """Presses a button that closes its dialog: the bus may find the button gone before it
    answers."""
    try:
        at.press(node)
    except Exception as e:
        if "No such object" not in str(e):
            raise


def chosen(combo):
    """The item a drop-down list shows: the one selected in its list."""
    for item in at.find_all(combo, "list item"):
        if item.getState().contains(pyatspi.STATE_SELECTED):
            return item.name
    return None


def wait_for(what, test, timeout):
    end = time.time() + timeout
    while not test():
        if time.time() > end:
            sys.exit("FAIL: " + what)
        time.sleep(0.3)


try:
    app = at.app("quovo")
    window = at.find(app, "frame", "Quovo 3.300 ")
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
    wait_for("the audio list did not open",
             lambda: item.getState().contains(pyatspi.STATE_SHOWING), 10)
    box_at = item.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(box_at.x + box_at.width // 2,
                                        box_at.y + box_at.height // 2, "b1c")
    wait_for("the audio track was not chosen", lambda: chosen(audio) == "193  German", 10)
    down = at.find(box, "push button", "Last chapter down")
    at.press(down)
    at.press(down)
    last = at.find(box, "text", "to")
    wait_for("the chapter range did not move", lambda: at.text_of(last) == "2", 10)
    print("audio:", repr(chosen(audio)), "chapters: 1 to", at.text_of(last))
    shot("dvd-choices")

    print("PASS")
finally:
    program.terminate()
    try:
        program.wait(timeout=20)
    except subprocess.TimeoutExpired:
        program.kill()
    shutil.rmtree(work, ignore_errors=True)
