"""The real qarx-service.exe under Wine: the start-up check against a Windows
7 prefix with an older browser control and no service program, Yes to every
question, and the single-instance rule, on the console; then its Win32 face
on the prefix's display, with a screenshot of the dialog in
tests/artifacts/windows_desktop/ (or $QARX_ARTIFACTS_DIR/windows_desktop/)."""

import getpass
import os
import shutil
import subprocess
import tempfile
import threading
import unittest

from harness import windows_root
from harness.desktop import Desktop, missing_tools
from harness.dialog_template import dialog_template
from harness.fake_winscard import FakeReaders
from harness.service import Service
from harness.update_server import UpdateServer
from harness.wait import wait_until
from harness.wine import Prefix, windows_path
from test_environment_check import CONFIG_PATH, INSTALLERS, LOCAL_NAMES, QUESTIONS, S, configuration
from test_terminals import HOLD, Responder

VELTRANE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane"
DIALOG_CAPTION = dialog_template()[0]
ARTIFACTS = os.path.join(os.environ.get("QARX_ARTIFACTS_DIR") or
                         os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "artifacts"),
                         "windows_desktop")


class ServiceWorld(unittest.TestCase):
    """The prefix, an update server with the configuration and installers, and
    the registry of a PC with an older browser control."""
    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix()
        # Wine 8.0 reports win2008r2 with the workstation product type,
        # which is what a Windows 7 PC reports.
        cls.prefix.app_version("qarx-service.exe", "win2008r2")

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-wine-")
        self.prefix.clear_activity_log()
        self.marker = os.path.join(self.dir, "started.txt")
        self.server = UpdateServer().start()
        self.server.route(CONFIG_PATH, body=configuration(self.server.url))
        with open(os.path.join(self.prefix.bin_dir, "qarx_marker.exe"), "rb") as f:
            self.installer = f.read()
        for path in INSTALLERS.values():
            self.server.route(path, body=self.installer)
        self.delete_keys()
        root = windows_root.WindowsRoot(os.path.join(self.dir, "unused"))
        root.set_value(windows_root.CONTROL_KEY, "Installed", 1).set_version(windows_root.CONTROL_KEY, (1, 0, 0, 0))
        self.prefix.reg_import(root.registry_text())
        if self.prefix.arch == "win64":
            # A current service program, but only where a 64-bit installer
            # would have recorded it: not the installers' view, so not seen.
            root = windows_root.WindowsRoot(os.path.join(self.dir, "unused"))
            root.set_value(windows_root.SERVER_KEY, "Installed", 1).set_version(windows_root.SERVER_KEY, (1, 0, 0, 2))
            self.prefix.reg_import(root.registry_text(), view=64)
        for name in LOCAL_NAMES.values():
            path = os.path.join(self.prefix.download_folder(), name)
            if os.path.exists(path):
                os.unlink(path)

    def delete_keys(self):
        for view in (32, 64):
            self.prefix.reg_delete(VELTRANE_KEY, view=view)

    def tearDown(self):
        self.delete_keys()
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def service(self, answer, events_path=None, ui="console", env=None, cwd=None):
        env = dict(self.prefix.env, **(env or {}))
        env.update({"QARX_UPDATE_SERVER": self.server.url, "QARX_MARKER_FILE": windows_path(self.marker),
                    "QARX_HTTP_LOW_SPEED_TIME": "5"})
        return Service(answer=answer, env=env, events_path=events_path, ui=ui, cwd=cwd,
                       command=self.prefix.command("qarx-service.exe"), program_path=windows_path)

    @staticmethod
    def logs(svc):
        return [e["text"] for e in svc.events() if e["ev"] == "log"]

    @staticmethod
    def wait_for(condition, what, svc):
        wait_until(condition, what=what, seen=svc.seen)

    def started(self):
        """The installers' marker lines: path|arguments|current folder|planted DLL."""
        if not os.path.exists(self.marker):
            return []
        with open(self.marker, encoding="utf-8") as f:
            return f.read().splitlines()

    def download_folder(self):
        """The service's private folder as its programs see it."""
        return "C:\\users\\%s\\Temp\\Qarx\\" % getpass.getuser()


class WindowsService(ServiceWorld):
    def test_start_up_check_downloads_and_starts_what_the_user_accepts(self):
        with self.service(answer="yes") as svc:
            self.wait_for(lambda: len(self.logs(svc)) >= 11, "start-up check", svc)
            self.assertEqual(self.logs(svc)[:11],
                             ["系统信息为:Windows 7!", S, "系统默认浏览器为:winebrowser!", S, S,
                              "安装信息>>控件:控件安装正常!", "安装信息>>服务程序:服务程序未安装!", S,
                              "检查到新的控件安装包!", "未检查到新的服务程序安装包!", S])
            questions = [e["text"] for e in svc.events() if e["ev"] == "prompt" and e["text"] in QUESTIONS.values()]
            self.assertEqual(questions, [QUESTIONS["server"], QUESTIONS["control update"]])

            # Both installers arrive in the temporary folder and are started from there.
            self.wait_for(lambda: len(self.started()) >= 2, "two installers started", svc)
            paths = sorted(line.split("|")[0] for line in self.started())
            self.assertEqual(paths, sorted(self.download_folder() + LOCAL_NAMES[kind] for kind in (2, 3)))
            launches = [e for e in svc.events() if e["ev"] == "launch"]
            self.assertEqual(sorted(e["path"] for e in launches), paths)
            self.assertTrue(all(e["started"] for e in launches))

            # The downloads showed their status line, progress and the tray icon.
            events = svc.events()
            self.assertIn("开始下载最新的服务程序!", [e.get("text") for e in events if e["ev"] == "status"])
            self.assertEqual([e["op"] for e in events if e["ev"] == "tray"][:1], ["add"])
            self.assertTrue([e for e in events if e["ev"] == "progress" and e["pos"] > 0])
            self.assertEqual(svc.stop(), 0)
            lines = self.logs(svc)

        # The activity log file in the user's local application data holds the same lines.
        self.assertEqual(self.prefix.activity_log_lines(), lines)

    def test_the_checked_installer_starts_as_it_was_checked_from_the_private_folder(self):
        """While the install question is open another program can neither
        overwrite nor delete the checked file; the installer then starts from
        the private folder, in it, and a DLL planted in %TEMP% (where the
        service was started) is not loaded by it."""
        temp = self.prefix.temp_folder()
        shutil.copy(os.path.join(self.prefix.bin_dir, "qarx_plant.dll"), os.path.join(temp, "qarx_plant.dll"))
        self.addCleanup(os.unlink, os.path.join(temp, "qarx_plant.dll"))
        rules = [(QUESTIONS["server"], "y"), ("是否需要立即安装最新程序", HOLD)]
        with self.service(answer=None, env={"QARX_MARKER_DLL": "qarx_plant.dll"}, cwd=temp) as svc:
            responder = Responder(svc, rules)
            self.addCleanup(responder.stop)
            self.wait_for(responder.held, "the install question", svc)
            checked = self.download_folder() + LOCAL_NAMES[3]
            self.assertEqual(self.probe("swap", checked), "overwrite=denied delete=denied")
            responder.release("y")
            self.wait_for(lambda: len(self.started()) == 1, "the installer started", svc)
            path, _, folder, planted = self.started()[0].split("|")
            self.assertEqual((path, folder, planted), (checked, self.download_folder()[:-1], "absent"))
            with open(os.path.join(self.prefix.download_folder(), LOCAL_NAMES[3]), "rb") as f:
                self.assertEqual(f.read(), self.installer)
            self.assertEqual(svc.stop(), 0)
        # The same program started from %TEMP% itself loads the planted DLL.
        shutil.copy(os.path.join(self.prefix.bin_dir, "qarx_marker.exe"), os.path.join(temp, "qarx_marker_here.exe"))
        self.addCleanup(os.unlink, os.path.join(temp, "qarx_marker_here.exe"))
        subprocess.call(self.prefix.command("qarx-service.exe")[:1] + [os.path.join(temp, "qarx_marker_here.exe")],
                        env=dict(os.environ, **self.prefix.env, QARX_MARKER_FILE=windows_path(self.marker),
                                 QARX_MARKER_DLL="qarx_plant.dll"),
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.assertEqual(self.started()[-1].split("|")[-1], "loaded")

    def probe(self, *args):
        """The probe program's one line of output."""
        out = os.path.join(self.dir, "probe.txt")
        with open(out, "wb") as f:
            subprocess.call(self.prefix.command("qarx_win_probe.exe", *args), env=dict(os.environ, **self.prefix.env),
                            stdin=subprocess.DEVNULL, stdout=f, timeout=120)
        with open(out, encoding="utf-8") as f:
            return f.read().strip()

    def test_the_win32_face_lives_through_other_programs_a_new_taskbar_and_the_end_of_the_session(self):
        """On the Win32 face during a download: a restarted taskbar gets the
        icon again, private messages with values of another program's start
        nothing, and signing out ends the service as Exit does, with every
        entry in the activity log file."""
        gate = threading.Event()
        self.addCleanup(gate.set)
        self.server.route(INSTALLERS[3], body=self.installer, hold=(1000, gate))
        with self.service(answer="yes", ui="win32") as svc:
            def tray():
                return [e["op"] for e in svc.events() if e["ev"] == "tray"]
            self.wait_for(lambda: tray() == ["add"], "the download's icon", svc)
            self.assertEqual(self.probe("taskbar-created"), "posted")
            self.wait_for(lambda: tray() == ["add", "add"], "the icon added again", svc)

            logged = len(self.logs(svc))
            self.assertEqual(self.probe("post-bogus"), "posted")
            # Button 1000's click was posted after them: once its line is
            # there, the bogus messages have been handled.
            self.wait_for(lambda: "系统信息为:Windows 7!" in self.logs(svc)[logged:], "the click's line", svc)
            statuses = [e["text"] for e in svc.events() if e["ev"] == "status"]
            self.assertEqual(statuses.count("开始下载最新的服务程序!"), 1)
            self.assertEqual([e for e in svc.events() if e["ev"] == "open"], [])

            self.assertEqual(self.probe("end-session"), "query=1")
            self.assertEqual(svc.wait_exit(), 0)
            self.assertEqual(tray()[-1], "delete")
            self.assertEqual(self.prefix.activity_log_lines(), self.logs(svc))

    def test_a_second_start_ends_at_once_and_leaves_the_first_alone(self):
        with self.service(answer="no") as first:
            self.wait_for(lambda: len(self.logs(first)) >= 11, "start-up check", first)
            second = self.service(answer="no")
            with second:
                self.assertEqual(second.wait_exit(), 0)
                self.assertEqual(second.events(), [])
                self.assertEqual(second.stdout_lines(), [])
            first.send("sysinfo")
            self.wait_for(lambda: len(self.logs(first)) >= 13, "a log line after the second start", first)
            self.assertEqual(first.stop(), 0)
        # The name is free again once the first has ended.
        with self.service(answer="no") as third:
            self.wait_for(lambda: len(self.logs(third)) >= 11, "a new start", third)
            self.assertEqual(third.stop(), 0)


class WindowsDesktop(ServiceWorld):
    """The Win32 face: the dialog of a download, its tray icon and menu, as a
    user sees and uses them on the prefix's display (with a tray host)."""

    def setUp(self):
        reason = missing_tools()
        if reason or not self.prefix.display:
            self.skipTest(reason or "the prefix has no display (Xvfb is not installed)")
        super().setUp()
        # The service program is current: one offer, the browser control's.
        # (Wine's systray can lose an icon added while a box owned by the
        # desktop is open, which a second question would be.)
        root = windows_root.WindowsRoot(os.path.join(self.dir, "unused"))
        root.set_value(windows_root.SERVER_KEY, "Installed", 1).set_version(windows_root.SERVER_KEY, (1, 0, 0, 1))
        self.prefix.reg_import(root.registry_text())

    def test_downloads_show_the_dialog_tray_menu_and_real_boxes(self):
        with open(os.path.join(self.prefix.bin_dir, "qarx_marker.exe"), "rb") as f:
            program = f.read()
        # The download stops after its first bytes until the test lets it go on.
        gate = threading.Event()
        self.server.route(INSTALLERS[2], body=program, hold=(1000, gate))
        # A PC without readers: the reader monitor starts and waits.
        readers = FakeReaders(os.path.join(self.dir, "scard"))
        try:
            with Desktop(display=self.prefix.display) as desk, \
                    self.service(answer=None, ui="win32", env=readers.env()) as svc, \
                    desk.answer_boxes(["Veltrane服务程序提示", "Veltrane服务程序"],
                                      shots=os.path.join(ARTIFACTS, "box%d.png")) as boxes:
                # The start-up check's question is a real box, answered Yes with
                # Enter; the download then shows the dialog and the icon.
                dialog = desk.wait_named(DIALOG_CAPTION)
                panel = desk.tray_area()
                self.wait_for(lambda: len([e for e in svc.events() if e["ev"] == "answer"]) == 1, "an answer", svc)
                self.wait_for(lambda: [e for e in svc.events() if e["ev"] == "status"], "a status line", svc)
                shot = desk.screenshot(os.path.join(ARTIFACTS, "download.png"))
                self.assertGreater(desk.colours(shot, (dialog.x, dialog.y, dialog.width, dialog.height)), 8,
                                   "the dialog is drawn")
                self.assertEqual([e["op"] for e in svc.events() if e["ev"] == "tray"], ["add"])

                # The icon's menu: Up from no choice is Exit, once more is Hide.
                desk.click(panel, 3)
                self.wait_for(lambda: [e for e in svc.events() if e["ev"] == "menu"], "the tray menu", svc)
                desk.screenshot(os.path.join(ARTIFACTS, "tray_menu.png"))
                desk.keys("Up Up Return")
                desk.wait_gone(None, dialog)
                self.assertEqual([e["items"] for e in svc.events() if e["ev"] == "menu"],
                                 [["打开", "-", "最小化", "隐藏", "-", "退出"]])

                # The browser control arrives: the icon goes, Yes to installing
                # it, OK to the warning, and its installer starts.
                gate.set()
                self.wait_for(lambda: len(self.started()) == 1, "the control's installer started", svc)
                self.assertEqual([e["answer"] for e in svc.events() if e["ev"] == "answer"], ["yes"] * 2 + ["ok"])
                self.assertGreaterEqual(boxes.answered, 3)
                self.assertEqual([e["op"] for e in svc.events() if e["ev"] == "tray"], ["add", "delete"])

                # The uninstaller's signal ends the service.
                self.assertTrue(self.prefix.end_service())
                self.assertEqual(svc.wait_exit(), 0)
        finally:
            gate.set()

if __name__ == "__main__":
    unittest.main()
