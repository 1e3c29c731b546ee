"""The demo with the Windows program: qarx-service.exe installed by its own
setup into a fresh Wine prefix and run as Windows runs it at sign-in, the
test-double smart-card service (winscard.dll) with a VLT terminal plugged in
after the start-up check, and at the end the service updating itself to the
next build that the update server publishes. Started by `scripts/demo
--windows`; see docs/demo.md.

With a display ($DISPLAY) the service shows its Win32 face there, and its
boxes are answered by the person (or by QARX_ANSWER); without one it runs on
the console face, which reads the answers from the demo's input.
"""

import os
import shutil
import subprocess
import threading
import time

from demo import DEADLINE, IDENTIFY, MODEL, REPO, TERMINAL_FIRMWARE, Demo, Package, identity, say
from harness import windows_root
from harness.fake_winscard import FakeReaders
from harness.wine import WINE_RUN, Prefix, windows_path

WINE_PREFIX_TOOL = os.path.join(REPO, "tests", "wine", "wine-prefix")
INSTALL_DIR = "C:\\Program Files (x86)\\Qarx Service"
RUN_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run"
SETUP_PATH = "/static/basis/ic/qarx-service-setup.exe"
NEXT_SETUP_PATH = "/static/basis/ic/qarx-service-setup-next.exe"
UPDATE_OFFER = "检查到新的服务程序安装包!"
CURRENT = "未检查到新的服务程序安装包!"
VERSION_NAMES = ("VersionMajor", "VersionBuild", "VersionRevision", "VersionMinor")


class WindowsDemo(Demo):
    def __init__(self, bin_dir, unattended, stay):
        super().__init__(bin_dir, unattended, stay)
        self.build_dir = os.path.dirname(os.path.abspath(bin_dir))
        self.marker = os.path.join(self.work, "started.txt")
        display = os.environ.get("DISPLAY", "")
        self.desktop = display.startswith(":") and os.environ.get("QARX_WINE_DISPLAY") != "none"
        self.wine_display = display if self.desktop else "none"
        self.prefix = None
        self.readers = None
        # Set except while the demo waits for Enter between the sign-ins.
        self.enter = threading.Event()
        self.enter.set()

    # ---- the pieces ----
    def release_command(self, section, base, path, version):
        return self.prefix.command("qarx-release.exe", "--section", section, base, windows_path(path),
                                   *((version,) if version else ()))

    def release_env(self):
        return dict(os.environ, **self.prefix.env)

    def packages(self):
        """Stand-in installers (a harmless program that notes its start) for
        the browser control and the firmware tool; the service's own setup,
        this build and the next one, which read their version from their
        version resource."""
        def read(path):
            with open(path, "rb") as f:
                return f.read()
        stand_in = read(os.path.join(self.bin_dir, "qarx_marker.exe"))
        return {
            "control": Package("Control", "/static/basis/ic/ICCardSetup_1.0.0.2.exe", "browser control 1.0.0.2",
                               stand_in, (1, 0, 0, 2)),
            "server": Package("Server", SETUP_PATH, "Qarx Service setup",
                              read(os.path.join(self.build_dir, "qarx-service-setup.exe"))),
            "next": Package("Server", NEXT_SETUP_PATH, "Qarx Service setup, next build",
                            read(os.path.join(self.build_dir, "qarx-service-setup-next.exe"))),
            "tool": Package(MODEL, "/static/cos/VLT_Terminal_CosUpdate.exe", "terminal firmware update tool 1.0.0.5",
                            stand_in, (1, 0, 0, 5)),
        }

    def start_prefix(self):
        root = os.path.join(self.work, "wine")
        os.environ["QARX_WINE_ROOT"] = root
        say("preparing a fresh Wine prefix in %s (half a minute)" % root)
        env = dict(os.environ, QARX_WINE_ROOT=root, QARX_WINE_DISPLAY=self.wine_display)
        with open(os.path.join(self.work, "wine-prefix.log"), "wb") as log:
            if subprocess.call([WINE_PREFIX_TOOL, "start", self.build_dir], env=env, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT) != 0:
                raise RuntimeError("the Wine prefix could not be prepared (%s)" % log.name)
        self.prefix = Prefix(self.bin_dir)
        # What a Windows 7 PC reports (Wine 8.0's win2008r2 with the
        # workstation product type).
        self.prefix.app_version("qarx-service.exe", "win2008r2")

    def wine(self, *argv):
        """Runs a Windows program to its end; its exit status."""
        with open(os.path.join(self.work, "wine.log"), "ab") as out:
            return subprocess.call([WINE_RUN, *argv], env=dict(os.environ, **self.prefix.env),
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, timeout=120)

    def prepare_pc(self):
        root = windows_root.WindowsRoot(os.path.join(self.work, "unused"))
        root.set_value(windows_root.CONTROL_KEY, "Installed", 1).set_version(windows_root.CONTROL_KEY, (1, 0, 0, 0))
        self.prefix.reg_import(root.registry_text())
        setup = os.path.join(self.build_dir, "qarx-service-setup.exe")
        if self.wine(setup, "/S") != 0:
            raise RuntimeError("the silent install of %s failed" % setup)
        say("Windows side:   a Windows 7 PC in Wine; browser control 1.0.0.0 installed; Qarx Service %s installed"
            " silently by its setup into %s (recorded under %s)" % (self.installed_version(), INSTALL_DIR,
                                                                    windows_root.SERVER_KEY))
        # The smart-card service's stand-in, next to the program as Windows
        # would find a DLL of that name first.
        shutil.copy(os.path.join(self.bin_dir, "winscard.dll"),
                    os.path.join(self.prefix.env["WINEPREFIX"], "drive_c", "Program Files (x86)", "Qarx Service"))
        self.readers = FakeReaders(os.path.join(self.work, "scard"))
        say("PC/SC:          the test-double smart-card service (winscard.dll); the VLT terminal is plugged in"
            " after the start-up check")

    def installed_version(self):
        values = self.prefix.reg_values(windows_root.SERVER_KEY) or {}
        return ".".join(str(int(values.get(name, "0"), 16)) for name in VERSION_NAMES)

    def start_service(self, why):
        """The installed program as Windows starts it from the Run value."""
        command = self.prefix.reg_values(RUN_KEY)["QarxService"].strip('"')
        env = dict(os.environ, **self.prefix.env)
        env.update(self.readers.env())
        env.update(QARX_UI="win32" if self.desktop else "console", QARX_EVENTS=windows_path(self.events_path),
                   QARX_UPDATE_SERVER=self.server_url, QARX_PORTAL_URL=self.server_url + "/portal/index.html",
                   QARX_MARKER_FILE=windows_path(self.marker), no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
        say("%s: Windows starts %s (Run value); the start-up check begins about 5 s after start" % (why, command))
        if not self.unattended:
            say("answer the questions %s; press Ctrl-C to end" % (
                "in the boxes on your display" if self.desktop else "with y or n"))
        print(flush=True)
        with self.lock:
            self.new_session()
        self.service = subprocess.Popen([WINE_RUN, command], env=env, stdin=subprocess.PIPE)

    def installer_started(self, line):
        """A stand-in installer noted its start."""
        path = line.split("|")[0]
        package = {"VLT_Terminal_Control.exe": self.package_table["control"],
                   "VLT_Terminal_CosUpdate.exe": self.package_table["tool"]}.get(path.rsplit("\\", 1)[-1])
        say("installer started: %s (%s)" % (path, package.label if package else "?"))
        if package is self.package_table["control"]:
            # What the real control's setup records.
            root = windows_root.WindowsRoot(os.path.join(self.work, "unused"))
            root.set_value(windows_root.CONTROL_KEY, "Installed", 1).set_version(windows_root.CONTROL_KEY,
                                                                                 package.version)
            self.prefix.reg_import(root.registry_text())
            say("the browser control's setup recorded version 1.0.0.2")

    def end_service(self, why):
        """The service's exit event, as at sign-out or by the uninstaller;
        waits until the service has gone."""
        say(why)
        deadline = time.monotonic() + 60
        while self.prefix.end_service():
            if time.monotonic() > deadline:
                raise RuntimeError("the service did not end")
            time.sleep(0.5)

    # ---- the run ----
    def wait(self, condition, what, settle=2):
        """Waits until condition() (under the lock) has held for settle
        seconds; False when the unattended deadline passed first."""
        since = None
        while True:
            since = self.settled(condition, since)
            if since is not None and time.monotonic() - since >= settle:
                return True
            if self.unattended and time.monotonic() - self.started > DEADLINE:
                say("not done after %d s (waiting for %s); ending" % (DEADLINE, what))
                return False
            time.sleep(0.1)

    def run(self):
        self.started = time.monotonic()
        self.start_prefix()
        self.package_table = self.packages()
        self.start_server(self.package_table.values())
        first = [self.package_table[kind] for kind in ("control", "server", "tool")]
        self.publish(first)
        say("update server:  %s (SetupConfig.ini made by qarx-release.exe: [Control] [Server] with this build's"
            " setup, [%s])" % (self.server_url, MODEL))
        self.prepare_pc()
        self.watch((self.marker, self.installer_started))

        # Sign-in: the start-up check, then the terminal.
        self.start_service("sign-in")
        if not self.wait(lambda: self.state["check_done"], "the start-up check", settle=1):
            return 1
        say("plugging in a VLT terminal: model %s, firmware %s" % (MODEL, TERMINAL_FIRMWARE))
        self.readers.plug("t1", "VLT Terminal (DEMO0001) 00 00", {IDENTIFY: identity(MODEL, TERMINAL_FIRMWARE)})
        if not self.wait(lambda: self.state["opened"] and self.quiet(), "the terminal's check"):
            return 1
        if self.stay or not self.unattended:
            say("all done for this sign-in; press Enter for the next one: a new release of the service")
            if not self.unattended:
                self.wait_for_enter()

        # A new release, seen at the next sign-in: the service updates itself.
        self.readers.unplug("t1")
        say("the terminal is unplugged")
        config = self.publish([self.package_table[kind] for kind in ("control", "next", "tool")])
        section = config[config.index("[Server]"):].split("\r\n\r\n")[0]
        say("the update server publishes the next build: " + section.replace("\r\n", " "))
        self.end_service("sign-out: the service ends")
        code = self.service.wait(timeout=30)
        say("the service ended with status %d" % code)
        self.start_service("next sign-in")
        if not self.wait(lambda: self.updated(), "the new build's start-up check"):
            return 1
        say("Qarx Service %s is installed (%s) and its start-up check finds no newer service program"
            % (self.installed_version(), windows_root.SERVER_KEY))
        if self.stay:
            say("all done; press Ctrl-C to end the demo")
            threading.Event().wait()
        self.end_service("all done: ending the service")
        time.sleep(0.3)  # the last events
        self.summary(None, self.prefix.download_folder())
        return 0

    def narrate(self, event):
        super().narrate(event)
        with self.lock:
            s = self.state
            if event["ev"] == "launch" and event["path"].endswith("\\VLT_Terminal_Server.exe"):
                s["setup_started"] = True
                say("the setup ends the running service, installs the next build, records its version and"
                    " starts it again as the signed-in user (its lines follow from the events)")
            elif event["ev"] == "log" and s.get("setup_started") and self.service.poll() is not None:
                # The new build runs outside the demo's console.
                say("new build: " + event["text"])
            elif not self.desktop:
                pass  # the console shows the log and the questions itself
            elif event["ev"] == "log":
                say("log: " + event["text"])
            elif event["ev"] == "prompt":
                say("box [%s] %s (%s)" % (event["caption"], event["text"].replace("\r\n", " "), event["buttons"]))
            elif event["ev"] == "answer":
                say("answered: " + event["answer"])

    def updated(self):
        """The old build's check offered the update; the setup ended it and
        started the new build, whose check found itself current."""
        return self.state["checks"][-2:] == [UPDATE_OFFER, CURRENT]

    def wait_for_enter(self):
        self.enter.clear()
        self.enter.wait()

    def consume(self, line):
        """An empty line while the demo waits between the two sign-ins goes
        on to the next one."""
        if self.enter.is_set() or line.strip():
            return False
        self.enter.set()
        return True

    def stop_pieces(self):
        if self.prefix:
            # Every program of the prefix ends with its wineserver.
            subprocess.call([WINE_PREFIX_TOOL, "stop", self.build_dir], env=dict(os.environ, **self.prefix.env),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.service and self.service.poll() is None:
            self.service.kill()
            self.service.wait()
