"""A private X display for desktop tests: Xvfb with a notification area
(trayer), and what a person does there, through xdotool and ImageMagick.

    from harness.desktop import Desktop, missing_tools

    reason = missing_tools()              # None, or what is not installed
    with Desktop() as desk:
        desk.env                          # {"DISPLAY": ":N"} for the program
        win = desk.wait_window(pid, lambda w: w.name == "...")
        desk.click(win, 1)                # button 1 left, 3 right
        desk.key(win, "Return")           # keys typed into win
        desk.screenshot(path, win)        # PNG; win None: the whole screen
        desk.colours(path, (x, y, w, h))  # distinct colours in a region

Windows are found by the program's process id (_NET_WM_PID, which Qt sets);
`visible` means mapped and viewable. Every wait raises AssertionError with
what was seen when its time-out passes; nothing passes or fails on speed.
"""

import os
import select
import shutil
import subprocess
import time
from collections import namedtuple

TIMEOUT = float(os.environ.get("QARX_TEST_TIMEOUT", "30"))
_POLL = 0.05
# Two presses of one button closer than this are a double click to the
# toolkit (Qt's default is 400 ms), and a double click is another message.
_DOUBLE_CLICK_S = 0.5
_TOOLS = {"Xvfb": "xvfb", "trayer": "trayer", "xdotool": "xdotool", "import": "imagemagick"}

Window = namedtuple("Window", "id name x y width height")


def missing_tools():
    """None when every program the desktop needs is on PATH, else a reason."""
    missing = sorted({package for tool, package in _TOOLS.items() if not shutil.which(tool)})
    if missing:
        return "needs the Debian packages " + ", ".join(missing)
    return None


class Desktop:
    def __init__(self, width=1024, height=768):
        self._size = "%dx%dx24" % (width, height)
        self._xvfb = None
        self._trayer = None
        self._last_click = (None, 0.0)
        self.display = None
        self.env = {}

    # ---- life ----
    def start(self):
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
        """Waits until window is no longer visible."""
        self._wait(lambda: True if all(w.id != window.id for w in self.windows(pid)) else None,
                   "window %s to be hidden" % window.id, timeout, lambda: self.windows(pid))

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

    def _read_line(self, fd):
        deadline = time.monotonic() + TIMEOUT
        data = b""
        while not data.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([fd], [], [], _POLL)
            if ready:
                piece = os.read(fd, 64)
                if not piece:
                    break
                data += piece
        return data.decode().strip()

    @staticmethod
    def _wait(probe, what, timeout=TIMEOUT, seen=lambda: None):
        deadline = time.monotonic() + timeout
        while True:
            value = probe()
            if value is not None:
                return value
            if time.monotonic() >= deadline:
                raise AssertionError("no %s within %ss; seen: %s" % (what, timeout, seen()))
            time.sleep(_POLL)
