"""The Windows installer (qarx-service-setup.exe, built by makensis) in the
build's Wine prefix: a silent install puts the program, the Run value, the
uninstaller and its entry in place; the Run value's command line starts the
service; a silent uninstall ends the running service and removes all of it."""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from harness.service import Service
from harness.update_server import UpdateServer
from harness.wait import wait_until
from harness.wine import WINE_RUN, Prefix, windows_path
from test_environment_check import CONFIG_PATH, configuration

# The 32-bit Program Files folder (a 64-bit prefix: WoW64).
INSTALL_DIR = "C:\\Program Files (x86)\\Qarx Service"
RUN_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "QarxService"
UNINSTALL_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\QarxService"
VELTRANE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane"
SERVER_KEY = VELTRANE_KEY + r"\IC Card Terminal\Server"
CONTROL_KEY = VELTRANE_KEY + r"\IC Card Terminal\OCX"
# The build's version (VersionMajor.VersionBuild.VersionRevision.VersionMinor).
VERSION = os.environ.get("QARX_VERSION", "0.1.0.0")
# The self-update test's update: the same program one build later.
NEXT_VERSION = os.environ.get("QARX_NEXT_VERSION", "0.1.0.1")


class WindowsInstaller(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix()
        cls.setup_exe = os.path.join(os.path.dirname(cls.prefix.bin_dir), "qarx-service-setup.exe")
        cls.install_dir = os.path.join(cls.prefix.env["WINEPREFIX"], "drive_c", "Program Files (x86)", "Qarx Service")

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-setup-", dir=self.prefix.env["TMPDIR"])
        self.remove_installation()
        self.server = UpdateServer().start()
        self.server.route(CONFIG_PATH, body=configuration(self.server.url))

    def tearDown(self):
        self.remove_installation()
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def remove_installation(self):
        self.prefix.reg_delete(RUN_KEY, RUN_VALUE)
        self.prefix.reg_delete(UNINSTALL_KEY)
        self.prefix.reg_delete(VELTRANE_KEY)
        shutil.rmtree(self.install_dir, ignore_errors=True)

    def wine(self, *argv):
        """Runs a Windows program to its end; its exit status (output on a file)."""
        env = dict(os.environ, **self.prefix.env)
        with open(os.path.join(self.dir, "wine.log"), "ab") as out:
            return subprocess.call([WINE_RUN, *argv], env=env, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=subprocess.STDOUT, timeout=120)

    def install(self):
        self.assertEqual(self.wine(self.setup_exe, "/S"), 0)

    def uninstall(self):
        """The quiet uninstall command as Windows runs it. The uninstaller
        starts a copy of itself from the temporary folder and ends; the copy
        removes the entry last, so the entry's end is the uninstall's end."""
        entry = self.prefix.reg_values(UNINSTALL_KEY)
        self.assertIsNotNone(entry, "no installed-programs entry; %s" % (self.prefix.run("reg", "query", UNINSTALL_KEY),))
        command = entry["QuietUninstallString"]
        program, args = re.fullmatch(r'"([^"]+)"(.*)', command).groups()
        self.assertEqual(program, INSTALL_DIR + "\\uninstall.exe")
        code = self.wine(program, *args.split())
        wait_until(lambda: self.prefix.reg_values(UNINSTALL_KEY) is None, what="end of the uninstall")
        return code

    def service_from_run_value(self, answer="no", **options):
        command = self.prefix.reg_values(RUN_KEY)[RUN_VALUE]
        program, args = re.fullmatch(r'"([^"]+)"(.*)', command).groups()
        env = dict(self.prefix.env, QARX_UPDATE_SERVER=self.server.url, QARX_HTTP_LOW_SPEED_TIME="5")
        return Service(answer=answer, env=env, command=[WINE_RUN, program, *args.split()], program_path=windows_path,
                       **options)

    def release(self, path, base):
        """qarx-release's lines for a file (the last one empty)."""
        out = os.path.join(self.dir, "section.ini")
        with open(out, "wb") as f:
            code = subprocess.call(self.prefix.command("qarx-release.exe", base, windows_path(path)),
                                   env=dict(os.environ, **self.prefix.env), stdin=subprocess.DEVNULL, stdout=f,
                                   timeout=120)
        with open(out, encoding="utf-8", newline="") as f:
            lines = f.read().split("\r\n")
        self.assertEqual(code, 0, lines)
        return lines

    def assert_nothing_installed(self):
        self.assertFalse(os.path.exists(self.install_dir))
        self.assertNotIn(RUN_VALUE, self.prefix.reg_values(RUN_KEY) or {})
        self.assertIsNone(self.prefix.reg_values(UNINSTALL_KEY))

    def test_silent_install_start_from_the_run_value_and_silent_uninstall(self):
        # A browser control of its own installer, which the uninstall leaves alone.
        self.prefix.reg_import("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n\"Installed\"=dword:00000001\r\n"
                               % CONTROL_KEY)
        # The update server offers the version installed.
        self.server.route(CONFIG_PATH, body=configuration(self.server.url, version=VERSION))
        self.install()
        self.assertEqual(sorted(os.listdir(self.install_dir)), ["qarx-service.exe", "uninstall.exe"])
        program = INSTALL_DIR + "\\qarx-service.exe"
        self.assertEqual(self.prefix.reg_values(RUN_KEY)[RUN_VALUE], '"%s"' % program)
        entry = self.prefix.reg_values(UNINSTALL_KEY)
        uninstaller = '"%s\\uninstall.exe"' % INSTALL_DIR
        self.assertEqual({name: entry.get(name) for name in (
            "DisplayName", "DisplayVersion", "Publisher", "DisplayIcon", "UninstallString", "QuietUninstallString")},
            {"DisplayName": "Qarx Service", "DisplayVersion": VERSION, "Publisher": "Qarx Service developers",
             "DisplayIcon": '"%s",0' % program, "UninstallString": uninstaller,
             "QuietUninstallString": uninstaller + " /S"})

        # The service program's key, where its start-up check reads it.
        self.assertEqual(self.prefix.reg_values(SERVER_KEY), dict(
            Installed="0x1", **{name: hex(int(number)) for name, number in zip(
                ("VersionMajor", "VersionBuild", "VersionRevision", "VersionMinor"), VERSION.split("."))}))

        with self.service_from_run_value() as svc:
            svc.wait_event("log", text="未检查到新的服务程序安装包!")
            logs = [e["text"] for e in svc.events() if e["ev"] == "log"]
            self.assertIn("安装信息>>服务程序:服务程序安装正常!", logs)
            # The uninstaller ends it the way the tray menu's Exit does.
            self.assertEqual(self.uninstall(), 0)
            self.assertEqual(svc.wait_exit(), 0)
        self.assert_nothing_installed()
        self.assertIsNone(self.prefix.reg_values(SERVER_KEY))
        self.assertEqual(self.prefix.reg_values(CONTROL_KEY), {"Installed": "0x1"})

    def test_the_release_command_prints_the_section_of_the_setup_and_of_the_program(self):
        """qarx-release under Wine: the version from each file's version
        resource, the size in KB rounded up, the digest the service checks."""
        program = os.path.join(self.prefix.bin_dir, "qarx-service.exe")
        for path in (self.setup_exe, program):
            lines = self.release(path, "https://update.test/static/")
            with open(path, "rb") as f:
                data = f.read()
            major, build, revision, minor = VERSION.split(".")
            self.assertEqual(lines, [
                "[Server]", "URL=https://update.test/static/" + os.path.basename(path),
                "Size=%d" % ((len(data) + 1023) // 1024), "VersionMajor=" + major, "VersionBuild=" + build,
                "VersionRevision=" + revision, "VersionMinor=" + minor,
                "SHA256=" + hashlib.sha256(data).hexdigest(), ""])

    def test_an_update_offered_by_the_update_server_replaces_the_service_and_starts_the_new_one(self):
        """The update server names the next build's setup (its section made by
        qarx-release); the running service offers it, downloads, checks and
        starts it; the setup ends the service, replaces it, records the new
        version and starts the new program, whose own check finds itself
        current. Both runs write the same activity log file."""
        self.install()
        self.prefix.clear_activity_log()
        next_setup = os.path.join(os.path.dirname(self.setup_exe), "qarx-service-setup-next.exe")
        with open(next_setup, "rb") as f:
            self.server.route("/static/next/qarx-service-setup-next.exe", body=f.read())
        section = "\r\n".join(self.release(next_setup, self.server.url + "/static/next"))
        current = configuration(self.server.url, version=VERSION)
        self.server.route(CONFIG_PATH, body=current[:current.index("[Server]")] + section)
        self.prefix.reg_import("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n\"Installed\"=dword:00000001\r\n"
                               % CONTROL_KEY + "".join('"%s"=dword:%08x\r\n' % (name, int(number)) for name, number in zip(
                                   ("VersionMajor", "VersionBuild", "VersionRevision", "VersionMinor"),
                                   VERSION.split("."))))

        events = os.path.join(self.dir, "events.jsonl")
        with self.service_from_run_value(answer="yes", ui="win32", events_path=events) as svc:
            svc.wait_event("log", text="检查到新的服务程序安装包!")
            self.assertEqual(svc.wait_exit(), 0, "ended by the setup")
            # The new program appends to the same event stream (its
            # environment came through the setup).
            svc.wait_event("log", text="未检查到新的服务程序安装包!")  # the new program's check
            logs = [e["text"] for e in svc.events() if e["ev"] == "log"]
        self.assertEqual(self.prefix.reg_values(SERVER_KEY), dict(
            Installed="0x1", **{name: hex(int(number)) for name, number in zip(
                ("VersionMajor", "VersionBuild", "VersionRevision", "VersionMinor"), NEXT_VERSION.split("."))}))
        self.assertEqual(logs.count("安装信息>>服务程序:服务程序安装正常!"), 2)
        launches = [e for e in svc.events() if e["ev"] == "launch"]
        self.assertEqual([e["path"].rsplit("\\", 1)[-1] for e in launches], ["VLT_Terminal_Server.exe"])
        self.assertTrue(launches[0]["started"])
        self.assertEqual(self.prefix.activity_log_lines(), logs)
        # The new service is the one the uninstaller ends.
        self.assertEqual(self.uninstall(), 0)
        self.assert_nothing_installed()

    def test_a_folder_outside_program_files_is_refused(self):
        # Every user could change C:\Qarx, and the program runs in every session.
        outside = os.path.join(self.prefix.env["WINEPREFIX"], "drive_c", "Qarx")
        self.assertEqual(self.wine(self.setup_exe, "/S", "/D=C:\\Qarx"), 2)
        self.assertFalse(os.path.exists(outside))
        self.assertNotIn(RUN_VALUE, self.prefix.reg_values(RUN_KEY) or {})
        self.assertIsNone(self.prefix.reg_values(UNINSTALL_KEY))
        self.assertIsNone(self.prefix.reg_values(SERVER_KEY))

    def test_installing_over_a_running_service_replaces_it_and_uninstalling_without_one_works(self):
        self.install()
        with self.service_from_run_value() as svc:
            svc.wait_event("log")
            self.install()
            self.assertEqual(svc.wait_exit(), 0)
        # As after an update through the service, the setup started the
        # program again: there is a service to end.
        wait_until(self.prefix.end_service, what="program started again by the setup", interval=0.2)
        self.assertEqual(sorted(os.listdir(self.install_dir)), ["qarx-service.exe", "uninstall.exe"])
        self.assertEqual(self.uninstall(), 0)
        self.assert_nothing_installed()


if __name__ == "__main__":
    unittest.main()
