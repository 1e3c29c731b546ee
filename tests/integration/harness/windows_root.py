"""QARX_WINDOWS_ROOT folders: the Windows side the service inspects on Linux.

    from harness.windows_root import WindowsRoot, windows7_pc, windows_xp_pc

    root = windows7_pc(folder)                      # a ready-made PC, see below
    root = WindowsRoot(folder)                      # or build one yourself:
    root.os_version(major=5, minor=1)               # os-version.ini [Version]
    root.set_value(r"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "Installed", 1)
    root.write_registry(encoding="utf-16")          # registry.reg
    root.inf("usbccid.inf", CCID_INF)               # drive_c/windows/inf/...
    root.file(r"C:\\Program Files\\X\\卸载.exe", SCRIPT, executable=True)
    root.host_path(r"C:\\x\\y")                     # -> folder/drive_c/x/y

Layout: os-version.ini, registry.reg (a registry export), drive_c/ (the C:
drive; the system directory is C:\\windows\\system32, so INF files live in
drive_c/windows/inf). Values: int -> dword, str -> string, bytes -> hex,
(type, bytes) -> hex(type).

As a program (the demo uses it):

    python3 windows_root.py FOLDER windows7|windows7-current|windows-xp
"""

import os
import sys

CONTROL_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\IC Card Terminal\OCX"
SERVER_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane\IC Card Terminal\Server"
LEGACY_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Quorvia ICOCX"
HTTP_COMMAND_KEY = r"HKEY_CLASSES_ROOT\http\shell\open\command"
BROWSER_COMMAND = '"C:\\Program Files\\Web Browser\\browser.exe" -- "%1"'
SMART_CARD_READER_CLASS = "{50DD5230-BA8A-11D1-BF5D-0000F805F530}"

CCID_INF = ("; USB CCID smart-card reader\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=SmartCardReader\r\n"
            "ClassGuid=%s\r\nProvider=%%MSFT%%\r\nCatalogFile=usbccid.cat\r\n" % SMART_CARD_READER_CLASS)
VENDOR_READER_INF = ("[Version]\r\nSignature=\"$Windows NT$\"\r\nClassGuid=%s\r\nCatalogFile=vendor.cat\r\n"
                     % SMART_CARD_READER_CLASS)
PRINTER_INF = "[Version]\r\nClass=Printer\r\nClassGuid={4D36E979-E325-11CE-BFC1-08002BE10318}\r\n"
VERSION_NAMES = ("VersionMajor", "VersionBuild", "VersionRevision", "VersionMinor")


def _quote(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def _hex(data, prefix):
    """hex bytes in lines of at most 25 bytes, continued with a backslash."""
    items = ["%02x" % b for b in data]
    rows = [",".join(items[i:i + 25]) for i in range(0, len(items), 25)] or [""]
    return prefix + ",\\\r\n  ".join(rows)


def _value_text(value):
    if isinstance(value, bool) or not isinstance(value, (int, str, bytes, tuple)):
        raise TypeError("unsupported registry value %r" % (value,))
    if isinstance(value, int):
        return "dword:%08x" % value
    if isinstance(value, str):
        return _quote(value)
    if isinstance(value, bytes):
        return _hex(value, "hex:")
    kind, data = value
    return _hex(data, "hex(%x):" % kind)


class WindowsRoot:
    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        self.keys = {}  # key -> {name: value}, in insertion order
        os.makedirs(os.path.join(self.folder, "drive_c", "windows", "system32"), exist_ok=True)
        os.makedirs(os.path.join(self.folder, "drive_c", "windows", "inf"), exist_ok=True)

    # ---- os-version.ini ----
    def os_version(self, platform_id=2, major=6, minor=1, suite_mask=0, product_type=1, architecture=9,
                   server_r2=0, extended=1):
        lines = ["[Version]", "PlatformId=%d" % platform_id, "MajorVersion=%d" % major,
                 "MinorVersion=%d" % minor, "SuiteMask=0x%04x" % suite_mask, "ProductType=%d" % product_type,
                 "ProcessorArchitecture=%d" % architecture, "ServerR2=%d" % server_r2,
                 "ExtendedRecord=%d" % extended]
        with open(os.path.join(self.folder, "os-version.ini"), "w", encoding="ascii") as f:
            f.write("\r\n".join(lines) + "\r\n")
        return self

    # ---- registry.reg ----
    def set_value(self, key, name, value):
        """name "" (or "@") is the key's default value."""
        self.keys.setdefault(key, {})["" if name == "@" else name] = value
        return self

    def add_key(self, key):
        self.keys.setdefault(key, {})
        return self

    def set_version(self, key, version):
        for name, number in zip(VERSION_NAMES, version):
            self.set_value(key, name, number)
        return self

    def registry_text(self):
        parts = ["Windows Registry Editor Version 5.00", ""]
        for key, values in self.keys.items():
            parts.append("[%s]" % key)
            for name, value in values.items():
                parts.append("%s=%s" % ("@" if name == "" else _quote(name), _value_text(value)))
            parts.append("")
        return "\r\n".join(parts) + "\r\n"

    def write_registry(self, encoding="utf-8"):
        """encoding: "utf-8", "utf-8-sig" or "utf-16" (little-endian with BOM), as regedit writes it."""
        text = self.registry_text()
        data = b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf-16" else text.encode(encoding)
        with open(os.path.join(self.folder, "registry.reg"), "wb") as f:
            f.write(data)
        return self

    # ---- drive_c ----
    def host_path(self, windows_path):
        assert windows_path[:3].lower() == "c:\\", windows_path
        return os.path.join(self.folder, "drive_c", *[p for p in windows_path[3:].split("\\") if p])

    def file(self, windows_path, content, executable=False):
        path = self.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode("utf-8") if isinstance(content, str) else content)
        if executable:
            os.chmod(path, 0o755)
        return path

    def inf(self, name, text, encoding="utf-8"):
        data = b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf-16" else text.encode(encoding)
        return self.file("C:\\windows\\inf\\" + name, data)


def current_windows7_pc(folder, version=(1, 0, 0, 1)):
    """Windows 7 workstation, 64-bit, with the default browser, the browser
    control and the service program installed at version."""
    root = WindowsRoot(folder).os_version(major=6, minor=1, product_type=1, architecture=9)
    root.set_value(HTTP_COMMAND_KEY, "", BROWSER_COMMAND)
    for key in (CONTROL_KEY, SERVER_KEY):
        root.set_value(key, "Installed", 1).set_version(key, version)
    root.inf("printer.inf", PRINTER_INF)
    return root.write_registry(encoding="utf-16")


def windows7_pc(folder, control_version=(1, 0, 0, 0)):
    """Windows 7 workstation with the browser control installed at an older
    version and the service program missing."""
    root = WindowsRoot(folder).os_version(major=6, minor=1, product_type=1, architecture=9)
    root.set_value(HTTP_COMMAND_KEY, "", BROWSER_COMMAND)
    root.set_value(CONTROL_KEY, "Installed", 1).set_version(CONTROL_KEY, control_version)
    return root.write_registry(encoding="utf-16")


def windows_xp_pc(folder, version=(1, 0, 0, 1)):
    """Windows XP (5.1, 32-bit) with a vendor's reader driver but no CCID
    driver; browser control and service program installed at version."""
    root = WindowsRoot(folder).os_version(major=5, minor=1, product_type=1, architecture=0)
    root.set_value(HTTP_COMMAND_KEY, "", "C:\\PROGRA~1\\INTERN~1\\iexplore.exe -nohome")
    for key in (CONTROL_KEY, SERVER_KEY):
        root.set_value(key, "Installed", 1).set_version(key, version)
    root.inf("vendor.inf", VENDOR_READER_INF)
    root.inf("printer.inf", PRINTER_INF, encoding="utf-16")
    return root.write_registry(encoding="utf-8")


_PRESETS = {"windows7": windows7_pc, "windows7-current": current_windows7_pc, "windows-xp": windows_xp_pc}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in _PRESETS:
        sys.exit("usage: windows_root.py FOLDER %s" % "|".join(_PRESETS))
    print(_PRESETS[sys.argv[2]](sys.argv[1]).folder)
