"""The build's Wine prefix, for tests of the Windows programs.

    from harness.wine import Prefix, windows_path

    prefix = Prefix()                                  # <bin>/../wine, or $QARX_WINE_ROOT
    prefix.command("qarx-service.exe")                 # argv that runs a program of the build
    prefix.reg_import(text)                            # a .reg text (UTF-16 file, regedit /S), 32-bit view
    prefix.reg_import(text, view=64)                   # the same into the 64-bit view of a 64-bit prefix
    prefix.reg_delete(r"HKEY_LOCAL_MACHINE\\SOFTWARE\\X")
    prefix.reg_delete(r"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "Value")   # one value only
    prefix.reg_values(r"HKEY_LOCAL_MACHINE\\SOFTWARE\\X")   # {name: text} of its values, None when absent
    prefix.app_version("qarx-service.exe", "win7")     # what that program's GetVersionExW says
    prefix.temp_folder()                               # Unix path of the programs' temporary folder (%TEMP%)
    prefix.download_folder()                           # the service's private folder in it (%TEMP%\\Qarx)
    prefix.clear_activity_log()                        # the user's activity log files gone
    prefix.activity_log_lines()                        # the texts of its "log" entries
    prefix.arch                                        # "win64" (WoW64) or "win32"
    prefix.display                                     # ":N" of the prefix's X server, or None
    prefix.end_service()                               # the uninstaller's exit signal to a running service
    windows_path("/tmp/x")                             # -> Z:\\tmp\\x

The prefix is prepared by tests/wine/wine-prefix (the ctest fixture). Wine's
own commands run with their output on files: the prefix's services may hold
a pipe open for as long as the server runs.
"""

import getpass
import os
import re
import shutil
import subprocess
import tempfile

from harness.service import binary

_REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
WINE_RUN = os.path.join(_REPO, "tests", "wine", "wine-run")


def windows_path(path):
    """The Z: drive path under which Wine programs see a Unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Prefix:
    def __init__(self, bin_dir=None):
        self.bin_dir = os.path.dirname(binary("qarx-service.exe", bin_dir))
        self.root = os.environ.get("QARX_WINE_ROOT") or os.path.join(os.path.dirname(self.bin_dir), "wine")
        # win64 (the 32-bit programs under WoW64) or win32, as wine-prefix made it.
        self.arch = "win64"
        arch_file = os.path.join(self.root, "arch")
        if os.path.exists(arch_file):
            with open(arch_file, encoding="ascii") as f:
                self.arch = f.read().strip() or "win64"
        self.env = {"QARX_WINE_ROOT": self.root, "WINEPREFIX": os.path.join(self.root, "prefix"),
                    "TMPDIR": os.path.join(self.root, "tmp"), "WINEARCH": self.arch, "WINEDEBUG": "-all",
                    "WINEDLLOVERRIDES": "mscoree,mshtml="}
        # The prefix's X server, where it has one; else Wine's null driver.
        self.display = None
        display_file = os.path.join(self.root, "display")
        if os.path.exists(display_file):
            with open(display_file, encoding="ascii") as f:
                self.display = f.read().strip() or None
        if self.display:
            self.env["DISPLAY"] = self.display

    def command(self, program, *args):
        return [WINE_RUN, os.path.join(self.bin_dir, program), *args]

    def run(self, *args, loader="wine"):
        """A command of Wine's own (reg, regedit, ...); its exit status and output."""
        env = dict(os.environ, **self.env)
        with tempfile.TemporaryFile() as out:
            code = subprocess.call([loader, *args], env=env, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=subprocess.STDOUT, timeout=120)
            out.seek(0)
            return code, out.read().decode("utf-8", "replace")

    def reg_import(self, text, view=32):
        """Wine's regedit is a 32-bit program once wine32 is installed, and
        writes HKLM\\Software into the 32-bit view, as a 32-bit installer
        does; the 64-bit loader's regedit writes the 64-bit view."""
        fd, path = tempfile.mkstemp(suffix=".reg", dir=self.env["TMPDIR"])
        with os.fdopen(fd, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        try:
            loader = "/usr/lib/wine/wine64" if view == 64 else "wine"
            code, out = self.run("regedit", "/S", windows_path(path), loader=loader)
            assert code == 0, out
        finally:
            os.unlink(path)

    def reg_delete(self, key, value=None, view=32):
        self.run("reg", "delete", key, *(("/v", value) if value is not None else ()), "/f",
                 *self._view(view))  # absent is fine

    def reg_values(self, key, view=32):
        code, out = self.run("reg", "query", key, *self._view(view))
        if code != 0:
            return None
        values = {}
        for line in out.splitlines():
            match = re.match(r"^    (.+?)    (REG_\w+)(?:    (.*))?$", line.rstrip("\r"))
            if match:
                values[match.group(1)] = match.group(3) or ""
        return values

    def app_version(self, program, version):
        code, out = self.run("reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\" + program, "/v", "Version",
                             "/d", version, "/f")
        assert code == 0, out

    def end_service(self):
        """Sets the service's exit event, as the uninstaller does; True when
        a service was there to end."""
        env = dict(os.environ, **self.env)
        with tempfile.TemporaryFile() as out:
            return subprocess.call(self.command("qarx_win_probe.exe", "end-service"), env=env,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, timeout=120) == 0

    def _view(self, view):
        """reg's switch for a registry view; a 32-bit prefix has one view."""
        return ("/reg:%d" % view,) if self.arch == "win64" else ()

    def temp_folder(self):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", "users", getpass.getuser(), "Temp")

    def download_folder(self):
        return os.path.join(self.temp_folder(), "Qarx")

    def _activity_folder(self):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", "users", getpass.getuser(), "AppData", "Local", "Qarx")

    def clear_activity_log(self):
        shutil.rmtree(self._activity_folder(), ignore_errors=True)

    def activity_log_lines(self):
        """The texts of the "log" entries of the user's activity log file (%LOCALAPPDATA%\\Qarx)."""
        with open(os.path.join(self._activity_folder(), "activity.log"), encoding="utf-8") as f:
            return [line.split(" ", 2)[2] for line in f.read().splitlines() if line.split(" ")[1:2] == ["log"]]
