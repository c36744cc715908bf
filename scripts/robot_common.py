"""What every robot script of this folder does before and after driving the program: it is called as

    gui-run.sh /usr/bin/python3 scripts/robot-NAME.py AT_FOLDER BUILD_DIR [SHOTS_DIR]

AT_FOLDER holds at.py (the project's shared tools, imported from here as `at`); SHOTS_DIR, when
given, receives screenshots (ImageMagick's `import`). A `Robot` owns a temporary work folder whose
"config" folder is the program's settings folder, starts the program there and, when its `with`
block ends, stops the program and removes the folder."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, sys.argv[1])
import at  # noqa: E402,F401  (the scripts use it through this module)

build = os.path.abspath(sys.argv[2])
shots = sys.argv[3] if len(sys.argv) > 3 else None
MAIN_WINDOW = "Quovo 3.300 "


def shot(name):
    """Saves the screen as SHOTS_DIR/NAME.png when the script was given a folder for shots."""
    if shots:
        time.sleep(0.7)
        subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")], check=True)


def wait(condition, seconds, what):
    """Polls `condition` until it holds; fails the script with `what` after `seconds`."""
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            sys.exit("FAIL: " + what)
        time.sleep(0.2)


def showing(root, role, name, timeout=10):
    """The first node of that role and name that is on screen (menus keep hidden twins)."""
    end = time.time() + timeout
    while time.time() < end:
        found = at.find_all(root, role, name, showing=True)
        if found:
            return found[0]
        time.sleep(0.3)
    raise RuntimeError(f"no showing {role} named {name!r}")


def type_files_to_add(app, window, paths):
    """Opens "Add" from the File menu and types the paths into the file dialog's "File name:"
    field; returns the dialog and the field (the caller presses "Open")."""
    at.press(showing(window, "menu item", "File"))
    at.press(showing(app, "menu item", "Add"))
    dialog = at.find(app, "dialog", "Add")
    field = at.find(dialog, "text", "File name:")
    at.set_text(field, " ".join(f'"{path}"' for path in paths))
    return dialog, field


def press_closing(node):
    """Presses a button that closes its dialog: the bus may find the button gone before it
    answers."""
    try:
        at.press(node)
    except Exception as e:
        if "No such object" not in str(e):
            raise


class Robot:
    def __init__(self, name, settings=None):
        """A fresh work folder; `settings` (key: value, or a function of the work folder giving
        them) go into the program's quovo.ini before it starts."""
        self.work = tempfile.mkdtemp(prefix="quovo-robot-%s-" % name)
        self.config = self.path("config")
        os.makedirs(self.config)
        if callable(settings):
            settings = settings(self.work)
        if settings:
            with open(os.path.join(self.config, "quovo.ini"), "w") as f:
                f.write("[settings]\n")
                for key, value in settings.items():
                    f.write("%s=%s\n" % (key, value))
        self.program = None

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def fixture(self, *args):
        """Runs the build's media generator; returns what it printed."""
        return subprocess.run([os.path.join(build, "tools", "quovo-fixture")] + list(args),
                              check=True, capture_output=True, text=True).stdout.strip()

    def start(self, *args):
        """Starts the program with these command-line arguments; returns its application node and
        main window on the bus."""
        env = dict(os.environ, QUOVO_CONFIG_DIR=self.config)
        self.program = subprocess.Popen([os.path.join(build, "src/app/quovo")] + list(args),
                                        env=env)
        app = at.app("quovo")
        return app, at.find(app, "frame", MAIN_WINDOW)

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        if self.program:
            self.program.terminate()
            try:
                self.program.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.program.kill()
                self.program.wait()
        shutil.rmtree(self.work, ignore_errors=True)
        return False
