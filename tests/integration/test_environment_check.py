"""The start-up check of the running service against a QARX_WINDOWS_ROOT
fixture and a local update server: the exact activity log, the questions,
and real downloads for Yes answers."""

import os
import shutil
import tempfile
import unittest

from harness import windows_root
from harness.service import Service
from harness.update_server import UpdateServer
from harness.wait import wait_until

CONFIG_PATH = "/static/basis/ic/SetupConfig.ini"
S = "-" * 47
INSTALLERS = {1: "/static/basis/ic/setup_xp.exe", 2: "/static/basis/ic/ICCardSetup_1.0.0.2.exe",
              3: "/static/basis/ic/DozAziDedav_1.0.0.2.exe"}
LOCAL_NAMES = {1: "VLT_Terminal_CCID.exe", 2: "VLT_Terminal_Control.exe", 3: "VLT_Terminal_Server.exe"}
QUESTIONS = {
    "ccid": "未检测到CCID驱动\r\n是否需要下载安装?",
    "control": "   未安装控件\r\n是否需要下载安装?",
    "server": " 未安装服务程序\r\n是否需要下载安装?",
    "control update": "检查到控件有更新\r\n是否需要下载更新?",
    "server update": "检查到服务程序有更新\r\n  是否需要下载更新?",
}


def installer(kind):
    """A harmless installer: leaves a marker next to itself."""
    return ("#!/bin/sh\necho kind %d > \"$(dirname \"$0\")/installed-%d\"\n" % (kind, kind)).encode("ascii")


def configuration(url, version="1.0.0.1"):
    major, build, revision, minor = version.split(".")
    text = ""
    for section, kind in (("CCID", 1), ("Control", 2), ("Server", 3)):
        text += ("[%s]\r\nURL=%s%s\r\nSize=1\r\nVersionMajor=%s\r\nVersionBuild=%s\r\nVersionRevision=%s\r\n"
                 "VersionMinor=%s\r\n" % (section, url, INSTALLERS[kind], major, build, revision, minor))
    return text


class EnvironmentCheckTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-envcheck-")
        self.tmpdir = os.path.join(self.dir, "tmp")
        os.mkdir(self.tmpdir)
        self.temp_folder = os.path.join(self.tmpdir, "qarx-%d" % os.geteuid())
        self.root_folder = os.path.join(self.dir, "windows")
        self.server = UpdateServer().start()
        self.server.route(CONFIG_PATH, body=configuration(self.server.url))
        for kind, path in INSTALLERS.items():
            self.server.route(path, body=installer(kind))

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def service(self, answer):
        env = {"QARX_UPDATE_SERVER": self.server.url, "TMPDIR": self.tmpdir, "QARX_WINDOWS_ROOT": self.root_folder,
               "QARX_HTTP_LOW_SPEED_TIME": "5", "no_proxy": "127.0.0.1", "NO_PROXY": "127.0.0.1"}
        return Service(answer=answer, env=env)

    @staticmethod
    def logs(svc):
        return [e["text"] for e in svc.events() if e["ev"] == "log"]

    def wait_logs(self, svc, count):
        def logged():
            if len(self.logs(svc)) >= count:
                return True
            if svc.process.poll() is not None:
                self.fail("%d log lines: the service ended; %s" % (count, svc.seen()))
            return False
        wait_until(logged, what="%d log lines" % count, seen=svc.seen)
        return self.logs(svc)

    @staticmethod
    def wait_for(condition, what, svc=None):
        wait_until(condition, what=what, seen=svc.seen if svc else None)

    @staticmethod
    def own_prompts(svc):
        """Boxes of the check and the downloads (the card side's error box
        about a missing PC/SC service is not ours)."""
        return [e for e in svc.events() if e["ev"] == "prompt" and e["caption"] != "Error"]

    @staticmethod
    def check_questions(svc):
        """The check's own questions (the download jobs ask theirs meanwhile)."""
        return [e["text"] for e in svc.events() if e["ev"] == "prompt" and e["text"] in QUESTIONS.values()]

    def assert_installed(self, svc, kind):
        """The package was fetched, stored under its local name and started."""
        local = os.path.join(self.temp_folder, LOCAL_NAMES[kind])

        def launches():
            return [e for e in svc.events() if e["ev"] == "launch" and e["path"] == local]
        # The installer may run before the service has recorded its start.
        self.wait_for(lambda: os.path.exists(os.path.join(self.temp_folder, "installed-%d" % kind)) and launches(),
                      "installer %d run" % kind, svc)
        with open(local, "rb") as f:
            self.assertEqual(f.read(), installer(kind))
        self.assertEqual([e["started"] for e in launches()], [True])


class CurrentWindows7(EnvironmentCheckTest):
    def test_log_of_a_current_pc_and_the_diagnostic_buttons(self):
        windows_root.current_windows7_pc(self.root_folder, version=(1, 0, 0, 1))
        with self.service(answer="no") as svc:
            check = self.wait_logs(svc, 11)
            self.assertEqual(check, ["系统信息为:Windows 7!", S, "系统默认浏览器为:browser!", S, S,
                                     "安装信息>>控件:控件安装正常!", "安装信息>>服务程序:服务程序安装正常!", S,
                                     "未检查到新的控件安装包!", "未检查到新的服务程序安装包!", S])
            self.assertEqual(self.own_prompts(svc), [])
            self.assertEqual([e for e in svc.events() if e["ev"] == "launch"], [])

            for command in ("sysinfo", "browser", "ccid", "installinfo", "checkupdate"):
                svc.send(command)
            buttons = self.wait_logs(svc, 11 + 12)[11:]
            self.assertEqual(buttons, ["系统信息为:Windows 7!", S, "系统默认浏览器为:browser!", S,
                                       "未检测到CCID驱动!", S,
                                       "安装信息>>控件:控件安装正常!", "安装信息>>服务程序:服务程序安装正常!", S,
                                       "未检查到新的控件安装包!", "未检查到新的服务程序安装包!", S])
            self.assertEqual(self.own_prompts(svc), [])
            self.assertEqual(svc.stop(), 0)
        self.assertEqual([r["path"] for r in self.server.requests()], [CONFIG_PATH])


class OlderWindows7(EnvironmentCheckTest):
    def test_yes_downloads_the_missing_service_program_and_the_newer_control(self):
        windows_root.windows7_pc(self.root_folder, control_version=(1, 0, 0, 0))
        with self.service(answer="yes") as svc:
            self.assertEqual(self.wait_logs(svc, 11),
                             ["系统信息为:Windows 7!", S, "系统默认浏览器为:browser!", S, S,
                              "安装信息>>控件:控件安装正常!", "安装信息>>服务程序:服务程序未安装!", S,
                              "检查到新的控件安装包!", "未检查到新的服务程序安装包!", S])
            self.assertEqual(self.check_questions(svc), [QUESTIONS["server"], QUESTIONS["control update"]])
            self.assert_installed(svc, 3)
            self.assert_installed(svc, 2)
            self.assertEqual(svc.stop(), 0)
        self.assertEqual(len(self.server.requests(INSTALLERS[1])), 0)

    def test_legacy_uninstaller_in_a_folder_with_spaces_is_started_by_its_path(self):
        root = windows_root.windows7_pc(self.root_folder, control_version=(1, 0, 0, 1))
        folder = "C:\\Program Files\\Quorvia ICOCX"
        root.set_value(windows_root.LEGACY_KEY, "Installed", 1).set_value(windows_root.LEGACY_KEY, "InstallDir", folder)
        root.write_registry()
        uninstaller = root.file(folder + "\\卸载.exe", "#!/bin/sh\ntouch \"$(dirname \"$0\")/uninstalled\"\n",
                                executable=True)
        # What a command line split at the first space would run instead.
        decoy = root.file("C:\\Program", "#!/bin/sh\ntouch \"%s/decoy-ran\"\n" % self.dir, executable=True)
        with self.service(answer="no") as svc:
            self.wait_logs(svc, 11)
            warning = self.own_prompts(svc)[0]
            self.assertEqual((warning["caption"], warning["text"], warning["buttons"], warning["icon"],
                              warning["modal"]),
                             ("Veltrane服务程序", "您安装了旧版的控件\r\n请卸载后，安装新的控件!", "ok", "warning",
                              "desktop"))
            launch = next(e for e in svc.events() if e["ev"] == "launch")
            self.assertTrue(launch["started"])
            self.assertEqual(launch["path"], folder + "\\卸载.exe")
            self.wait_for(lambda: os.path.exists(os.path.join(os.path.dirname(uninstaller), "uninstalled")),
                          "uninstaller run")
            self.assertFalse(os.path.exists(os.path.join(self.dir, "decoy-ran")), decoy)
            # The warning comes after the CCID group and adds no line of its own.
            self.assertEqual(self.logs(svc)[5], "安装信息>>控件:控件安装正常!")
            self.assertEqual(svc.stop(), 0)


class WindowsXpWithoutCcidDriver(EnvironmentCheckTest):
    def test_ccid_question_comes_first_and_yes_downloads_the_driver(self):
        windows_root.windows_xp_pc(self.root_folder, version=(1, 0, 0, 1))
        with self.service(answer="yes") as svc:
            self.assertEqual(self.wait_logs(svc, 12),
                             ["系统信息为:Windows XP!", S, "系统默认浏览器为:iexplore!", S, "未检测到CCID驱动!", S,
                              "安装信息>>控件:控件安装正常!", "安装信息>>服务程序:服务程序安装正常!", S,
                              "未检查到新的控件安装包!", "未检查到新的服务程序安装包!", S])
            self.assertEqual(self.check_questions(svc), [QUESTIONS["ccid"]])
            self.assert_installed(svc, 1)
            self.assertEqual(svc.stop(), 0)

    def test_a_ccid_driver_in_the_inf_folder_is_found(self):
        root = windows_root.windows_xp_pc(self.root_folder)
        root.inf("usbccid.inf", windows_root.CCID_INF, encoding="utf-16")
        with self.service(answer="yes") as svc:
            self.assertEqual(self.wait_logs(svc, 12)[4], "检测到正常的CCID驱动!")
            self.assertEqual(self.check_questions(svc), [])
            self.assertEqual(svc.stop(), 0)
        self.assertEqual(len(self.server.requests(INSTALLERS[1])), 0)


if __name__ == "__main__":
    unittest.main()
