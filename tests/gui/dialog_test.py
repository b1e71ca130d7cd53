#!/usr/bin/env python3
"""The GTK update dialog under Xvfb: found by its title, photographed, driven
with xdotool; what it shows is read back from the state file the front-end
writes after initialisation and after each Update click
(UPDATER_GUI_STATE_FILE).

    dialog_test.py UPDATER REG_TOOL ARTIFACT_DIR CASE
"""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "lib"))
import sandbox  # noqa: E402

UPDATER, REG_TOOL, ARTIFACTS = (os.path.abspath(p) for p in sys.argv[1:4])
TITLE = "Velmar Updater"


def check(condition, message, detail=""):
    if not condition:
        raise AssertionError(message + ("\n--- detail ---\n" + str(detail) if detail else ""))


def wait_for(predicate, what, timeout=60):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


class Display:
    """An Xvfb server on a free display number."""

    def __enter__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.name = ":" + f.readline().strip()
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()


class Dialog:
    def __init__(self, box, display, args):
        self.display = display
        self.state_file = os.path.join(box.root, "state.txt")
        env = box.env(DISPLAY=display.name, NO_AT_BRIDGE="1",
                      UPDATER_GUI_STATE_FILE=self.state_file)
        env.pop("UPDATER_UI", None)
        env.pop("WAYLAND_DISPLAY", None)
        with open(os.path.join(box.root, "updater.out"), "wb") as out:
            self.proc = subprocess.Popen([UPDATER, *args], cwd=box.work_dir, env=env, stdout=out,
                                         stderr=subprocess.STDOUT)

    def x(self, *args):
        return subprocess.run(list(args), env=dict(os.environ, DISPLAY=self.display.name),
                              capture_output=True, text=True, timeout=30)

    def find(self, title):
        found = self.x("xdotool", "search", "--onlyvisible", "--name", title)
        return found.stdout.split()[0] if found.returncode == 0 and found.stdout else None

    def state(self):
        try:
            with open(self.state_file, encoding="utf-8") as f:
                return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        except FileNotFoundError:
            return None

    def key(self, window, *keys):
        self.x("xdotool", "windowfocus", "--sync", window)
        self.x("xdotool", "key", "--delay", "100", *keys)

    def screenshot(self, name):
        os.makedirs(ARTIFACTS, exist_ok=True)
        path = os.path.join(ARTIFACTS, name)
        shot = self.x("import", "-window", "root", path)
        check(shot.returncode == 0, "screenshot", shot.stderr)
        return path

    def colours_in(self, path, window):
        """The number of distinct colours inside the window's area."""
        geometry = self.x("xdotool", "getwindowgeometry", "--shell", window).stdout
        g = dict(line.split("=") for line in geometry.split())
        crop = "%sx%s+%s+%s" % (g["WIDTH"], g["HEIGHT"], g["X"], g["Y"])
        out = self.x("convert", path, "-crop", crop, "-format", "%k", "info:").stdout
        return int(out.strip() or 0)

    def close(self, window):
        self.key(window, "Escape")
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise AssertionError("the dialog did not close on Esc")
        return self.proc.returncode


def finished_run(box, dialog, clicks):
    """Waits for the end-time line and the state written after the click."""
    wait_for(lambda: "结束时间: " in (box.log() or ""), "the end-time line in updater.log")
    return wait_for(lambda: (dialog.state() or {}).get("clicks") == str(clicks) and dialog.state(),
                    "the state after the run")


def check_finished(state, box):
    check(state["update_sensitive"] == "1" and state["close_sensitive"] == "1",
          "buttons enabled again", state)
    check(state["latest_version"] == "最新版本号：1.1.0.0", "latest version label", state)
    check(state["current_version"] == "当前版本号：1.0.0.0", "installed version label unchanged",
          state)
    check(state["status"] == "更新完毕", "status line", state)
    check(float(state["total_fraction"]) == 1.0, "whole bar full", state)
    check(box.installed_version() == "1.1.0.0", "installed version recorded")


def case_update_click(box, display):
    box.install_product("1.0.0.0")
    dialog = Dialog(box, display, [])
    window = wait_for(lambda: dialog.find("^%s$" % TITLE), "the dialog window")
    state = wait_for(dialog.state, "the initial state")
    check(state["title"] == TITLE, "title", state)
    check(state["current_version"] == "当前版本号：1.0.0.0", "installed version", state)
    check(state["latest_version"] == "" and state["status"] == "", "empty texts", state)
    check(state["focus"] == "close", "focus on Close", state)
    check(int(state["window_id"]) == int(window), "window id is the X11 window", state)
    check(float(state["file_fraction"]) == 0 and float(state["total_fraction"]) == 0, "bars", state)
    time.sleep(0.5)  # let it paint
    path = dialog.screenshot("dialog.png")
    check(dialog.colours_in(path, window) > 8, "the dialog is drawn")
    check(box.log() is None, "nothing runs before Update is pressed")

    # Close has the focus: Tab moves to Update, space presses it.
    dialog.key(window, "Tab", "space")
    state = finished_run(box, dialog, 1)
    check_finished(state, box)
    dialog.screenshot("dialog-after-update.png")
    check(dialog.close(window) == 0, "exit status")


def case_auto_start(box, display):
    box.install_product("1.0.0.0")
    dialog = Dialog(box, display, ["-AUTO"])
    window = wait_for(lambda: dialog.find("^%s$" % TITLE), "the dialog window")
    state = finished_run(box, dialog, 1)
    check_finished(state, box)
    # The dialog stays open after an automatic run.
    time.sleep(0.5)
    check(dialog.proc.poll() is None, "still open")
    dialog.screenshot("dialog-auto.png")
    check(dialog.close(window) == 0, "exit status")
    check((box.log() or "").count("开始时间: ") == 1, "one run", box.log())


def case_window_menu_opens_the_about_box(box, display):
    box.install_product("1.0.0.0")
    dialog = Dialog(box, display, [])
    window = wait_for(lambda: dialog.find("^%s$" % TITLE), "the dialog window")
    # The window menu: a right click on the dialog, then the item's access key.
    dialog.x("xdotool", "mousemove", "--window", window, "40", "20", "click", "3")
    time.sleep(0.5)
    dialog.x("xdotool", "key", "a")
    about = wait_for(lambda: dialog.find("^About Updater$"), "the About box")
    time.sleep(0.3)
    path = dialog.screenshot("about.png")
    check(dialog.colours_in(path, about) > 8, "the About box is drawn")
    dialog.key(about, "Return")
    wait_for(lambda: dialog.find("^About Updater$") is None, "the About box to close")
    check(dialog.close(window) == 0, "exit status")
    check(box.log() is None, "nothing ran")


def case_not_installed(box, display):
    dialog = Dialog(box, display, ["-auto"])
    # The message box is captioned with the program's name.
    box_window = wait_for(lambda: dialog.find("^updater$"), "the message box")
    dialog.screenshot("not-installed.png")
    check(dialog.find("^%s$" % TITLE) is None, "no dialog")
    dialog.key(box_window, "Return")
    check(dialog.proc.wait(timeout=30) == 0, "exit status")
    check(box.log() is None, "nothing logged")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    case = CASES[sys.argv[4]]
    with tempfile.TemporaryDirectory(prefix="updater-gui-") as root:
        with sandbox.serving(root, REG_TOOL) as (box, _), Display() as display:
            case(box, display)
    print("ok", sys.argv[4])


if __name__ == "__main__":
    main()
