"""A private X display for desktop tests: Xvfb with a notification area
(trayer), and what a person does there, through xdotool and ImageMagick.

    from harness.desktop import Desktop, missing_tools

    reason = missing_tools()              # None, or what is not installed
    with Desktop() as desk:               # Desktop(display=":N"): a running X server
        desk.env                          # {"DISPLAY": ":N"} for the program
        win = desk.wait_window(pid, lambda w: w.name == "...")
        win = desk.wait_named("...")      # by name, whatever process shows it
        desk.tray_area()                  # the notification area's panel, once it holds an icon
        desk.click(win, 1)                # button 1 left, 3 right
        desk.key(win, "Return")           # keys typed into win
        desk.keys("Up Return")            # keys typed, the pointer not moved
        desk.screenshot(path, win)        # PNG; win None: the whole screen
        desk.colours(path, (x, y, w, h))  # distinct colours in a region

Windows are found by the program's process id (_NET_WM_PID, which Qt sets)
or by name (Wine's windows, whose process is Wine's own);
`visible` means mapped and viewable. Every wait raises AssertionError with
what was seen when its time-out passes; nothing passes or fails on speed.
"""

import os
import re
import select
import shutil
import subprocess
import threading
import time
from collections import namedtuple

from harness.wait import TIMEOUT, wait_until

# Every look at the display runs xdotool: not too often.
_POLL = 0.05
# Two presses of one button closer than this are a double click to the
# toolkit (Qt's default is 400 ms), and a double click is another message.
_DOUBLE_CLICK_S = 0.5
_TOOLS = {"Xvfb": "xvfb", "trayer": "trayer", "xdotool": "xdotool", "import": "imagemagick"}

Window = namedtuple("Window", "id name x y width height")


class BoxAnswerer:
    """A thread that keeps answering the boxes it finds. A box that is still
    there a second after its keys gets them again (they went to another box
    that took the focus)."""

    def __init__(self, desk, names, keys, shots):
        self.answered = 0
        self._desk, self._names, self._keys, self._shots = desk, names, keys, shots
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def stop(self):
        self._stop.set()
        self._thread.join(10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def _boxes(self):
        return [w for name in self._names for w in self._desk.named(name)]

    def _run(self):
        while not self._stop.wait(_POLL):
            boxes = self._boxes()
            if not boxes:
                continue
            if self._shots:
                self._desk.screenshot(self._shots % self.answered)
            self._desk.press(boxes[0], self._keys)
            try:
                wait_until(lambda: self._stop.is_set() or len(self._boxes()) < len(boxes) or
                           boxes[0] not in self._boxes(), 1.0, "box %s answered" % boxes[0].id, interval=_POLL)
            except AssertionError:
                continue  # still there: it gets the keys again
            if not self._stop.is_set():
                self.answered += 1


def missing_tools():
    """None when every program the desktop needs is on PATH, else a reason."""
    missing = sorted({package for tool, package in _TOOLS.items() if not shutil.which(tool)})
    if missing:
        return "needs the Debian packages " + ", ".join(missing)
    return None


class Desktop:
    def __init__(self, width=1024, height=768, display=None):
        self._size = "%dx%dx24" % (width, height)
        self._xvfb = None
        self._trayer = None
        self._last_click = (None, 0.0)
        self.display = display
        self.env = {"DISPLAY": display} if display else {}

    # ---- life ----
    def start(self):
        if not self.display:
            self._start_server()
        self._trayer = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
             "--SetDockType", "true", "--transparent", "false", "--tint", "0x202020"],
            env=self._environment(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self._wait(lambda: self._search(["--onlyvisible", "--class", "trayer"]) or None,
                       "the tray host's window", seen=lambda: "trayer exit status %s" % self._trayer.poll())
        except AssertionError:
            self.stop()
            raise
        return self

    def _start_server(self):
        read_end, write_end = os.pipe()
        try:
            # -displayfd: the server picks a free display and tells us its number.
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self._size, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            number = self._read_line(read_end)
        finally:
            if write_end is not None:
                os.close(write_end)
            os.close(read_end)
        if not number:
            self.stop()
            raise AssertionError("Xvfb did not report a display within %ss" % TIMEOUT)
        self.display = ":" + number
        self.env = {"DISPLAY": self.display}

    def stop(self):
        for process in (self._trayer, self._xvfb):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    # ---- looking ----
    def windows(self, pid, visible=True):
        """The program's windows (visible ones only by default)."""
        args = ["--pid", str(pid)]
        if visible:
            args.insert(0, "--onlyvisible")
        return [w for w in (self._describe(i) for i in self._search(args)) if w]

    def wait_window(self, pid, predicate, what="a window", timeout=TIMEOUT):
        return self._wait(lambda: next((w for w in self.windows(pid) if predicate(w)), None),
                          what, timeout, lambda: self.windows(pid))

    def wait_gone(self, pid, window, timeout=TIMEOUT):
        """Waits until window is no longer visible (pid None: any process's)."""
        shown = (lambda: self.windows(pid)) if pid is not None else (lambda: self.named(window.name))
        self._wait(lambda: True if all(w.id != window.id for w in shown()) else None,
                   "window %s to be hidden" % window.id, timeout, shown)

    def named(self, name):
        """The visible windows of exactly this name."""
        found = (self._describe(i) for i in self._search(["--onlyvisible", "--name", "^%s$" % re.escape(name)]))
        return [w for w in found if w and w.name == name]

    def wait_named(self, name, timeout=TIMEOUT):
        return self._wait(lambda: next(iter(self.named(name)), None), "a window named %r" % name, timeout)

    def tray_area(self):
        """The notification area's visible panel (trayer's), once an icon is in it."""
        return self._wait(lambda: next((w for w in map(self._describe, self._search(
            ["--onlyvisible", "--class", "trayer"])) if w and w.width >= 16 and w.name == "panel"), None),
            "the tray host's window", seen=lambda: "trayer exit status %s" % self._trayer.poll())

    def screenshot(self, path, window=None):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        target = "root" if window is None else str(window.id)
        subprocess.run(["import", "-window", target, path], env=self._environment(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    @staticmethod
    def colours(path, region):
        """Number of distinct colours in region (x, y, width, height) of a PNG."""
        x, y, width, height = region
        out = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
                              "-format", "%k", "info:"], check=True, capture_output=True, text=True).stdout
        return int(out.strip() or 0)

    # ---- acting ----
    def click(self, window, button, x=None, y=None):
        """Presses and releases button over window (its middle by default), as
        a single click: a press that would pair with the last one waits."""
        last_button, last_time = self._last_click
        if last_button == button:
            time.sleep(max(0.0, last_time + _DOUBLE_CLICK_S - time.monotonic()))
        x = window.width // 2 if x is None else x
        y = window.height // 2 if y is None else y
        self._xdotool(["mousemove", str(window.x + x), str(window.y + y), "click", str(button)])
        self._last_click = (button, time.monotonic())

    def key(self, window, keys):
        """Types keys (xdotool names, e.g. "Return") with the pointer over window."""
        self._xdotool(["mousemove", str(window.x + window.width // 2), str(window.y + window.height // 2),
                       "key", keys])

    def press(self, window, keys):
        """Activates window with a click near its left edge, half-way down
        (where a box has its icon, not a button) and types keys. Another
        window that takes the focus in between gets them instead."""
        self._xdotool(["mousemove", str(window.x + 20), str(window.y + window.height // 2), "click", "1"])
        self._xdotool(["key"] + keys.split())
        # The pointer goes back out of the way.
        self._xdotool(["mousemove", "0", "0"])

    def answer_boxes(self, names, keys="Return", shots=None):
        """Answers every box of these names with keys, as they come, until
        stopped (a BoxAnswerer; with shots, a screenshot of the screen before
        each answer goes to shots % n)."""
        return BoxAnswerer(self, names, keys, shots)

    def keys(self, keys):
        """Types keys to whatever has the keyboard, the pointer left where it is
        (a pointer moved over an open menu would choose its entry)."""
        self._xdotool(["key"] + keys.split())

    # ---- inside ----
    def _environment(self):
        env = dict(os.environ)
        env.update(self.env)
        return env

    def _xdotool(self, args):
        return subprocess.run(["xdotool"] + args, env=self._environment(), capture_output=True, text=True)

    def _search(self, args):
        out = self._xdotool(["search"] + args).stdout
        return [int(line) for line in out.split() if line.strip().isdigit()]

    def _describe(self, wid):
        name = self._xdotool(["getwindowname", str(wid)])
        shape = self._xdotool(["getwindowgeometry", "--shell", str(wid)])
        if name.returncode != 0 or shape.returncode != 0:
            return None  # gone meanwhile
        fields = dict(line.split("=", 1) for line in shape.stdout.split() if "=" in line)
        return Window(wid, name.stdout.rstrip("\n"), int(fields["X"]), int(fields["Y"]),
                      int(fields["WIDTH"]), int(fields["HEIGHT"]))

    @staticmethod
    def _read_line(fd):
        """The first line written to fd ("" when none comes)."""
        data = bytearray()

        def ended():
            if select.select([fd], [], [], _POLL)[0]:
                piece = os.read(fd, 64)
                data.extend(piece)
                return not piece or data.endswith(b"\n")
            return False
        try:
            wait_until(ended, TIMEOUT, "line", interval=0)
        except AssertionError:
            return ""
        return data.decode().strip()

    @staticmethod
    def _wait(probe, what, timeout=TIMEOUT, seen=None):
        return wait_until(probe, timeout, what, seen, interval=_POLL)
