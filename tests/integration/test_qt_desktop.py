"""The Qt face on a real X display: a download shows the dialog and the tray
icon, and the icon and its menu answer mouse clicks.

Runs under Xvfb with trayer as the notification area. Screenshots are kept
in tests/artifacts/qt_desktop/ (or $QARX_ARTIFACTS_DIR/qt_desktop/).
"""

import os
import signal
import subprocess
import tempfile
import unittest

from harness.desktop import Desktop, missing_tools
from harness.dialog_template import dialog_template
from harness.service import Service, binary, skip_class_unless_ready
from harness.update_server import UpdateServer

_HERE = os.path.dirname(os.path.abspath(__file__))
ARTIFACTS = os.path.join(os.environ.get("QARX_ARTIFACTS_DIR") or os.path.join(_HERE, "..", "artifacts"),
                         "qt_desktop")
# Template 102 in dialog units: the client area, the status line, the bar.
CAPTION, DIALOG_DLU, _RECTS = dialog_template()
STATUS_DLU = _RECTS[1009]
BAR_DLU = _RECTS[1008]

# A PC where only the browser control is missing: one question, one download.
REGISTRY = (
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\IC Card Terminal\\Server]\r\n"
    "\"Installed\"=dword:00000001\r\n\"VersionMajor\"=dword:00000001\r\n\"VersionBuild\"=dword:00000000\r\n"
    "\"VersionRevision\"=dword:00000000\r\n\"VersionMinor\"=dword:00000001\r\n")
OS_VERSION = "[Version]\nPlatformId=2\nMajorVersion=6\nMinorVersion=1\nProductType=1\n"
CONFIG = """[Control]
URL={url}/slow/ICCardSetup.exe
Size=100
[Server]
Size=30
VersionMajor=1
VersionBuild=0
VersionRevision=0
VersionMinor=1
"""
BODY = 100 * 1024


def skip_reason():
    reason = missing_tools()
    if reason:
        return "desktop test skipped: " + reason
    program = binary("qarx-service")
    if not os.path.exists(program):
        return "desktop test skipped: no %s" % program
    linked = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    if "libQt6Widgets" not in linked:
        return "desktop test skipped: qarx-service was built without the Qt front-end"
    return None


def scaled(dlu, window):
    """A template rectangle in the window's pixels."""
    sx = window.width / DIALOG_DLU[0]
    sy = window.height / DIALOG_DLU[1]
    x, y, w, h = dlu
    return (round(x * sx), round(y * sy), round(w * sx), round(h * sy))


def rss_kib(pid):
    with open("/proc/%d/status" % pid, encoding="ascii") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class QtDesktop(unittest.TestCase):
    setUpClass = skip_class_unless_ready(skip_reason)

    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="qarx-desktop-")
        self.windows_root = os.path.join(self._dir.name, "windows")
        self.temp = os.path.join(self._dir.name, "tmp")
        os.makedirs(self.windows_root)
        os.makedirs(self.temp)
        with open(os.path.join(self.windows_root, "registry.reg"), "w", encoding="utf-8") as f:
            f.write(REGISTRY)
        with open(os.path.join(self.windows_root, "os-version.ini"), "w", encoding="utf-8") as f:
            f.write(OS_VERSION)
        self.desk = Desktop().start()
        self.addCleanup(self.desk.stop)

    def tearDown(self):
        self._dir.cleanup()

    def service(self, ui, server_url, answer="yes"):
        env = dict(self.desk.env, QARX_UPDATE_SERVER=server_url, QARX_WINDOWS_ROOT=self.windows_root,
                   TMPDIR=self.temp)
        return Service(ui=ui, answer=answer, env=env)

    def answer_with_enter(self, svc, pid, prompt, screenshot=None):
        """Enter on the box of prompt (its default button); the answer event."""
        box = self.desk.wait_window(pid, lambda w: w.name == prompt["caption"], "the box " + prompt["caption"])
        if screenshot:
            self.desk.screenshot(os.path.join(ARTIFACTS, screenshot), box)
        mark = svc.mark()
        self.desk.key(box, "Return")
        return svc.wait_event("answer", since=mark, id=prompt["id"])

    def question(self, svc, pid):
        """The first Yes/No question; an error box before it (no card service
        on this machine) is dismissed."""
        seen = 0
        while True:
            prompt = svc.wait_event("prompt", since=seen)
            seen = svc.events().index(prompt) + 1
            if prompt["buttons"] == "yesno":
                return prompt
            self.answer_with_enter(svc, pid, prompt)

    def test_download_shows_the_dialog_and_the_tray_answers_clicks(self):
        with UpdateServer() as server:
            server.route("/static/basis/ic/SetupConfig.ini", body=CONFIG.format(url=server.url))
            # Half the body, then the server holds the rest back: the download
            # stays on screen for as long as the test needs it.
            server.route("/slow/ICCardSetup.exe", size=BODY, chunk=1024, stall_after=(BODY // 2, 300))
            with self.service("qt", server.url, answer=None) as svc:
                pid = svc.process.pid
                # The question is a real box; Enter takes its default, Yes.
                question = self.question(svc, pid)
                self.assertEqual(question["text"], "   未安装控件\r\n是否需要下载安装?")
                self.assertEqual(question["caption"], "Veltrane服务程序提示")
                answer = self.answer_with_enter(svc, pid, question, screenshot="question.png")
                self.assertEqual(answer["answer"], "yes")

                svc.wait_event("tray", op="add")
                svc.wait_event("progress", pos=30)
                dialog = self.desk.wait_window(pid, lambda w: w.name == CAPTION, "the dialog")
                icon = self.desk.wait_window(pid, lambda w: w.name != CAPTION and w.width <= 64 and w.height <= 64,
                                             "the tray icon")

                screen = self.desk.screenshot(os.path.join(ARTIFACTS, "screen.png"))
                shot = self.desk.screenshot(os.path.join(ARTIFACTS, "dialog.png"), dialog)
                self.assertGreater(self.desk.colours(shot, scaled(STATUS_DLU, dialog)), 4,
                                   "the status line shows text (see %s)" % shot)
                self.assertGreater(self.desk.colours(shot, scaled(BAR_DLU, dialog)), 2,
                                   "the progress bar is drawn (see %s)" % shot)
                self.assertTrue(os.path.getsize(screen) > 0)
                self.assertGreater(icon.x, dialog.x + dialog.width, "the icon sits in the tray host")

                # Left click: a shown dialog hides, a hidden one comes back.
                mark = svc.mark()
                self.desk.click(icon, 1)
                svc.wait_event("window", since=mark, show=0)
                self.desk.wait_gone(pid, dialog)
                mark = svc.mark()
                self.desk.click(icon, 1)
                svc.wait_event("window", since=mark, show=1)
                self.desk.wait_window(pid, lambda w: w.id == dialog.id, "the dialog again")

                # Right click: the menu; its first entry opens the dialog.
                menu = self.open_menu(svc, pid, dialog, icon)
                mark = svc.mark()
                self.desk.click(menu, 1, y=10)
                svc.wait_event("window", since=mark, show=1)

                # Its last entry ends the program, download or not.
                menu = self.open_menu(svc, pid, dialog, icon)
                self.desk.click(menu, 1, y=menu.height - 10)
                self.assertEqual(svc.wait_exit(), 0)
                self.assertEqual([e["ev"] for e in svc.events()[-2:]], ["tray", "exit"])

    def open_menu(self, svc, pid, dialog, icon):
        mark = svc.mark()
        self.desk.click(icon, 3)
        event = svc.wait_event("menu", since=mark)
        self.assertEqual(len(event["items"]), 6)
        return self.desk.wait_window(pid, lambda w: w.id not in (dialog.id, icon.id), "the pop-up menu")

    def test_idle_memory_of_both_faces(self):
        figures = {}
        # Port 9 answers nothing: the configuration never arrives, the
        # program stays idle and hidden.
        for ui in ("qt", "console"):
            with self.service(ui, "http://127.0.0.1:9") as svc:
                # Initialisation hides the dialog, then the first showing's
                # frame paint hides it again: start-up is over.
                reset = svc.wait_event("window", show=0)
                svc.wait_event("window", since=svc.events().index(reset) + 1, show=0)
                figures[ui] = rss_kib(svc.process.pid)
                svc.kill(signal.SIGTERM)
        for ui, kib in figures.items():
            print("idle RSS after start-up, %s front-end: %d KiB" % (ui, kib))
            self.assertGreater(kib, 0)
        os.makedirs(ARTIFACTS, exist_ok=True)
        with open(os.path.join(ARTIFACTS, "idle_rss.txt"), "w", encoding="ascii") as f:
            f.writelines("%s %d KiB\n" % item for item in figures.items())


if __name__ == "__main__":
    unittest.main()
