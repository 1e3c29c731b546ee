"""The real qarx-service.exe under Wine with the console front-end: the
start-up check against a Windows 7 prefix with an older browser control and
no service program, Yes to every question, and the single-instance rule."""

import getpass
import os
import shutil
import tempfile
import time
import unittest

from harness import windows_root
from harness.service import Service, TIMEOUT
from harness.update_server import UpdateServer
from harness.wine import Prefix, windows_path
from test_environment_check import CONFIG_PATH, INSTALLERS, LOCAL_NAMES, QUESTIONS, S, configuration

VELTRANE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane"


class WindowsService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix()
        # Wine 8.0 reports win2008r2 with the workstation product type,
        # which is what a Windows 7 PC reports.
        cls.prefix.app_version("qarx-service.exe", "win2008r2")

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-wine-")
        shutil.rmtree(os.path.join(self.prefix.env["WINEPREFIX"], "drive_c", "users", getpass.getuser(), "AppData",
                                   "Local", "Qarx"), ignore_errors=True)
        self.marker = os.path.join(self.dir, "started.txt")
        self.server = UpdateServer().start()
        self.server.route(CONFIG_PATH, body=configuration(self.server.url))
        with open(os.path.join(self.prefix.bin_dir, "qarx_marker.exe"), "rb") as f:
            program = f.read()
        for path in INSTALLERS.values():
            self.server.route(path, body=program)
        self.prefix.reg_delete(VELTRANE_KEY)
        root = windows_root.WindowsRoot(os.path.join(self.dir, "unused"))
        root.set_value(windows_root.CONTROL_KEY, "Installed", 1).set_version(windows_root.CONTROL_KEY, (1, 0, 0, 0))
        self.prefix.reg_import(root.registry_text())
        for name in LOCAL_NAMES.values():
            path = os.path.join(self.prefix.temp_folder(), name)
            if os.path.exists(path):
                os.unlink(path)

    def tearDown(self):
        self.prefix.reg_delete(VELTRANE_KEY)
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def service(self, answer, events_path=None):
        env = dict(self.prefix.env)
        env.update({"QARX_UPDATE_SERVER": self.server.url, "QARX_MARKER_FILE": windows_path(self.marker),
                    "QARX_HTTP_LOW_SPEED_TIME": "5"})
        return Service(answer=answer, env=env, events_path=events_path,
                       command=self.prefix.command("qarx-service.exe"), program_path=windows_path)

    @staticmethod
    def logs(svc):
        return [e["text"] for e in svc.events() if e["ev"] == "log"]

    def wait_for(self, condition, what, svc):
        deadline = time.monotonic() + TIMEOUT
        while not condition():
            if time.monotonic() > deadline:
                self.fail("no %s within %ss; events %s; stderr %s" % (what, TIMEOUT, svc.events(), svc.stderr_lines()))
            time.sleep(0.05)

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
            started = lambda: open(self.marker, encoding="utf-8").read() if os.path.exists(self.marker) else ""
            self.wait_for(lambda: started().count("\n") >= 2, "two installers started", svc)
            temp = "C:\\users\\%s\\Temp\\" % getpass.getuser()
            paths = sorted(line.split("|")[0] for line in started().splitlines())
            self.assertEqual(paths, sorted(temp + LOCAL_NAMES[kind] for kind in (2, 3)))
            launches = [e for e in svc.events() if e["ev"] == "launch"]
            self.assertEqual(sorted(e["path"] for e in launches), paths)
            self.assertTrue(all(e["started"] for e in launches))

            # The downloads showed their status line, progress and the tray icon.
            events = svc.events()
            self.assertIn("开始下载最新的服务程序!", [e.get("text") for e in events if e["ev"] == "status"])
            self.assertEqual([e["op"] for e in events if e["ev"] == "tray"][:1], ["add"])
            self.assertTrue([e for e in events if e["ev"] == "progress" and e["pos"] > 0])
            self.assertEqual(svc.stop(), 0)
            shown = self.logs(svc)  # the events file goes with the service's temporary folder

        # The activity log file in the user's local application data holds the same lines.
        log = os.path.join(self.prefix.env["WINEPREFIX"], "drive_c", "users", getpass.getuser(), "AppData", "Local",
                           "Qarx", "activity.log")
        with open(log, encoding="utf-8") as f:
            logged = [line.split(" ", 2)[2] for line in f.read().splitlines() if line.split(" ")[1:2] == ["log"]]
        self.assertTrue(shown)
        self.assertEqual(logged[-len(shown):], shown)

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


if __name__ == "__main__":
    unittest.main()
