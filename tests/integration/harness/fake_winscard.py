"""The control folder of the test-double winscard.dll (tests/wine/winscard):
readers plugged and unplugged, cards, a smart-card service that stops and
starts, and what the program under test sent and saw.

    readers = FakeReaders(folder)
    env.update(readers.env())                 # QARX_FAKE_SCARD_DIR, winscard=n
    readers.plug("t1", "VLT Desk 0", {"7E10000100": "0101...9000"})
    readers.unplug("t1")
    readers.stop_service(); readers.start_service()
    readers.commands()                        # [("VLT Desk 0", "7E10000100"), ...]
    readers.statuses()                        # [("VLT Desk 0", result, event state), ...]

Every file is replaced by a rename: the DLL wakes on file-name changes only.
"""

import os

from harness.wine import windows_path

SCARD_STATE_UNKNOWN = 0x4


class FakeReaders:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.starts = 0
        self._write("service", "running 0\n")

    def env(self):
        """winebrowser.exe is off: it would inherit the program's output
        pipes and outlive it, and no page is to open anyway."""
        return {"QARX_FAKE_SCARD_DIR": windows_path(self.folder),
                "WINEDLLOVERRIDES": "mscoree,mshtml=;winscard=n;winebrowser.exe=d"}

    def _write(self, name, text):
        temp = os.path.join(self.folder, "." + name + ".tmp")
        with open(temp, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(temp, os.path.join(self.folder, name))

    def plug(self, key, name, answers, card=True, protocol="T1"):
        lines = ["name=" + name, "card=" + ("1" if card else "0"), "protocol=" + protocol, "atr=3B8001"]
        lines += ["%s=%s" % (command, answer) for command, answer in answers.items()]
        self._write(key + ".reader", "\n".join(lines) + "\n")

    def unplug(self, key):
        os.rename(os.path.join(self.folder, key + ".reader"), os.path.join(self.folder, "." + key + ".gone"))

    def stop_service(self):
        self._write("service", "stopped\n")

    def start_service(self):
        self.starts += 1
        self._write("service", "running %d\n" % self.starts)

    def _lines(self, name):
        try:
            with open(os.path.join(self.folder, name), encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        # A line still being written is left for the next read.
        return [line.split("|") for line in text[:text.rfind("\n") + 1].splitlines()]

    def commands(self):
        return [tuple(fields) for fields in self._lines("apdu.log")]

    def statuses(self):
        return [(fields[0], int(fields[1], 16), int(fields[2], 16)) for fields in self._lines("status.log")]
