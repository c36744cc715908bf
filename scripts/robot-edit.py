#!/usr/bin/python3
"""Drives the editing dialogs over the accessibility bus as a screen reader user would: with a clip
named on the command line, selects its row, opens "Video Effect & Water Mark", "Crop" and "Trim"
from the Edit menu, sets a value in each by its name ("Brightness:", the crop's "Up", the trim's
start and end marks) and presses "Ok"; then opens each dialog again and reads what it stored.

    gui-run.sh /usr/bin/python3 scripts/robot-edit.py AT_FOLDER BUILD_DIR [SHOTS_DIR]

With SHOTS_DIR, each dialog is shot with its live preview playing (edit-effects.png,
edit-crop.png, edit-trim.png)."""
import os
import sys
import time

import pyatspi
from robot_common import Robot, at, press_closing, shot, showing, wait

TRIMMED_LENGTH = "Trimmed Length: "


def open_from_edit_menu(app, window, entry, title):
    """Opens the Edit menu and chooses `entry` (enabled while a row is selected)."""
    at.press(showing(window, "menu item", "Edit"))
    item = showing(app, "menu item", entry)
    if not item.getState().contains(pyatspi.STATE_ENABLED):
        sys.exit(f"FAIL: the Edit menu's {entry!r} is disabled")
    at.press(item)
    return at.find(app, "dialog", contains=title, timeout=15)


def value(node):
    return node.queryValue().currentValue


def set_value(node, number):
    node.queryValue().currentValue = number
    wait(lambda: value(node) == number, 5, f"{node.name!r} did not take {number}")


def trimmed_cell(window):
    """The row's trimmed-length cell: "Trimmed Length: 0:00:08" and the like."""
    table = at.find(window, "tree", "Source Files")
    for node, _ in at.walk(table, maxdepth=3):
        try:
            if at.clean(node.name).startswith(TRIMMED_LENGTH):
                return at.clean(node.name)[len(TRIMMED_LENGTH):]
        except Exception:
            continue
    return None


def select_first_row(window):
    table = at.find(window, "tree", "Source Files")
    table.queryTable().addRowSelection(0)
    wait(lambda: table.queryTable().isRowSelected(0), 10, "the row could not be selected")


os.environ.setdefault("SDL_AUDIODRIVER", "dummy")  # the previews play without a sound card

with Robot("edit") as robot:
    clip = robot.path("holiday.mkv")
    robot.fixture("--duration", "60", "demo", clip)  # still playing at each shot
    app, window = robot.start(clip)
    at.find(window, None, contains="holiday.mkv", timeout=30)
    whole = trimmed_cell(window)
    print("row:", clip, "length", whole)
    select_first_row(window)

    # (Edit menu entry, dialog title, page to show, {(role, name): value}, shot)
    edits = [("Video Effect & Water Mark", "Water Mark", "Effect",
              {("slider", "Brightness:"): 400, ("spin button", "Contrast:"): 30}, "edit-effects"),
             ("Crop", "Crop", None, {("spin button", "Up"): 20, ("spin button", "Left"): 30},
              "edit-crop")]
    for entry, title, page, values, name in edits:
        dialog = open_from_edit_menu(app, window, entry, title)
        print("dialog:", repr(dialog.name))
        if page:
            at.press(at.find(dialog, "page tab", page))
        for (role, control), number in values.items():
            set_value(at.find(dialog, role, control), number)
        shot(name)
        press_closing(at.find(dialog, "push button", "Ok"))

    dialog = open_from_edit_menu(app, window, "Trim", "Trim")
    print("dialog:", repr(dialog.name))
    length = at.find(dialog, "text", "Trim Length:")
    whole_length = at.text_of(length)
    time.sleep(1)
    at.press(at.find(dialog, "push button", "Set Start Time"))
    shot("edit-trim")
    time.sleep(2.5)
    at.press(at.find(dialog, "push button", "Set End Time"))
    wait(lambda: at.text_of(length) != whole_length, 5, "the marks did not change the length")
    print("trim length:", at.text_of(length))
    press_closing(at.find(dialog, "push button", "Ok"))
    wait(lambda: trimmed_cell(window) != whole, 10, "the row's trimmed length did not change")
    print("row's trimmed length:", trimmed_cell(window))

    # Each dialog again: it shows what OK stored.
    for entry, title, _, values, _ in edits:
        dialog = open_from_edit_menu(app, window, entry, title)
        stored = {key: value(at.find(dialog, *key)) for key in values}
        press_closing(at.find(dialog, "push button", "Cancel"))
        print(title, "stored:", stored)
        if stored != values:
            sys.exit(f"FAIL: {title!r} did not store its values")
    print("PASS")
