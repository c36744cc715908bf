#!/usr/bin/python3
"""Drives a batch run over the accessibility bus as a screen reader would: the program starts with
two generated clips named on its command line, the robot sees their rows, presses "Start", reads
the progress window's labels by their names while the run goes on, and finds the two outputs in
the output folder once the window has closed.

    gui-run.sh /usr/bin/python3 scripts/robot-run.py AT_FOLDER BUILD_DIR [SHOTS_DIR]

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
work = tempfile.mkdtemp(prefix="quovo-robot-run-")
out = os.path.join(work, "out")
with open(os.path.join(work, "quovo.ini"), "w") as f:
    f.write("[settings]\nOutPutDir=%s\n" % out)
clips = []
for name in ("first", "second"):
    clip = os.path.join(work, name + ".mkv")
    subprocess.run([os.path.join(build, "tools/quovo-fixture"), "--duration", "20", "--size",
                    "640x480", "h264-aac.mkv", clip], check=True)
    clips.append(clip)
env = dict(os.environ, QUOVO_CONFIG_DIR=work)
program = subprocess.Popen([os.path.join(build, "src/app/quovo")] + clips, env=env)


def shot(name):
    if shots:
        time.sleep(0.7)
        subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")], check=True)


def wait(condition, seconds, what):
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            sys.exit("FAIL: " + what)
        time.sleep(0.2)


try:
    app = at.app("quovo")
    window = at.find(app, "frame", "Quovo 3.300 ")
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
            nodes = at.find_all(progress, "label", name)
            labels[name] = at.text_of(nodes[0]) if nodes else ""
        return labels["Progress:"] != "" and labels["Current Time:"] != ""

    wait(read_labels, 60, "the progress window's labels stayed empty")
    for name in names:
        print("%-14s %s" % (name, labels[name]))
    shot("run-progress-window")
    if not labels["Progress:"].startswith("[") or not labels["File:"].endswith(".mkv"):
        sys.exit("FAIL: unexpected labels")

    wait(lambda: not at.find_all(app, "dialog", "Progress", showing=True), 180,
         "the run did not end")
    made = sorted(os.listdir(out))
    print("outputs:", made)
    if made != ["first_(new).mp4", "second_(new).mp4"]:
        sys.exit("FAIL: the output folder does not hold the two outputs")
    shot("run-ended")
    print("PASS")
finally:
    program.terminate()
    program.wait(timeout=20)
    shutil.rmtree(work, ignore_errors=True)
