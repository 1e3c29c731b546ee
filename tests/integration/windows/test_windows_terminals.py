"""Card terminals of the real qarx-service.exe under Wine, through the
test-double winscard.dll: a terminal with older firmware plugged in while the
service runs is checked, offered the update tool (downloaded and started) and
the portal page opens; unplugged and plugged again it is checked again; and
the smart-card service stopping and starting again is survived. The service
shows its Win32 face where the prefix has a display (questions answered
automatically, ended by the uninstaller's signal), else the console's."""

import os
import shutil
import tempfile
import unittest

from harness.fake_winscard import SCARD_STATE_UNKNOWN, FakeReaders
from harness.service import Service
from harness.update_server import UpdateServer
from harness.wait import wait_until
from harness.wine import Prefix, windows_path
from test_terminals import (CONFIG_PATH, CURRENT, ENVIRONMENT_CHECK_END, IDENTIFY, INSTALL_QUESTION, NO_UPGRADE,
                            OUTDATED, PORTAL, SEPARATOR, TOOL_PATH, UPGRADE, UPGRADE_QUESTION, Responder, config,
                            logs_of, opens_of)

LOCAL_CONFIG = "VLT_Terminal_SetupConfig.ini"
LOCAL_TOOL = "VLT_Terminal_CosUpdate.exe"


class WindowsTerminals(unittest.TestCase):
    def setUp(self):
        self.prefix = Prefix()
        self.dir = tempfile.mkdtemp(prefix="qarx-wincard-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.readers = FakeReaders(os.path.join(self.dir, "scard"))
        self.marker = os.path.join(self.dir, "started.txt")
        self.server = UpdateServer().start()
        self.addCleanup(self.server.stop)
        self.server.route(CONFIG_PATH, body=config(self.server.url))
        with open(os.path.join(self.prefix.bin_dir, "qarx_marker.exe"), "rb") as f:
            self.server.route(TOOL_PATH, body=f.read())
        temp = self.prefix.download_folder()
        os.makedirs(temp, exist_ok=True)
        if os.path.exists(os.path.join(temp, LOCAL_TOOL)):
            os.unlink(os.path.join(temp, LOCAL_TOOL))
        # A copy from an earlier run: read by checks before the first fetch.
        with open(os.path.join(temp, LOCAL_CONFIG), "w", newline="") as f:
            f.write(config(self.server.url))
    def service(self, answer, rules=()):
        """answer: "yes" or "no" for every question on the Win32 face; rules
        answer them on the console."""
        env = dict(self.prefix.env, **self.readers.env())
        env.update({"QARX_UPDATE_SERVER": self.server.url, "QARX_PORTAL_URL": PORTAL,
                    "QARX_MARKER_FILE": windows_path(self.marker), "QARX_HTTP_LOW_SPEED_TIME": "5"})
        desktop = bool(self.prefix.display)
        svc = Service(env=env, command=self.prefix.command("qarx-service.exe"), program_path=windows_path,
                      ui="win32" if desktop else "console", answer=answer if desktop else None)
        self.addCleanup(svc.__exit__, None, None, None)
        svc.start()
        if not desktop:
            responder = Responder(svc, rules)
            self.addCleanup(responder.stop)
        return svc

    def stop(self, svc):
        if self.prefix.display:
            self.assertTrue(self.prefix.end_service())
            return svc.wait_exit()
        return svc.stop()

    logs = staticmethod(logs_of)
    opens = staticmethod(opens_of)

    def wait_for(self, svc, probe, what):
        wait_until(probe, what=what, seen=lambda: "%s; status: %s" % (svc.seen(), self.readers.statuses()[-10:]))

    def wait_count(self, svc, count_of, count, what):
        self.wait_for(svc, lambda: len(count_of()) >= count, "%d x %s" % (count, what))
        self.assertEqual(len(count_of()), count, what)

    def wait_gone(self, svc, name):
        """The watcher of name has seen its reader go: it ends now."""
        self.wait_for(svc, lambda: any(reader == name and (rc == 0x8010002E or state & SCARD_STATE_UNKNOWN)
                                       for reader, rc, state in self.readers.statuses()), name + " seen gone")

    def test_outdated_terminal_plugged_in_is_offered_the_tool_and_checked_again_when_replugged(self):
        svc = self.service("yes", rules=[(UPGRADE_QUESTION, "y"), (INSTALL_QUESTION, "y")])
        self.wait_for(svc, lambda: any(self.logs(svc, t) for t in ENVIRONMENT_CHECK_END), "start-up check done")
        self.readers.plug("t1", "VLT Desk 0", OUTDATED)

        self.wait_count(svc, lambda: self.logs(svc, UPGRADE), 1, "comparison line")
        self.wait_for(svc, lambda: any(e["ev"] == "launch" for e in svc.events()), "update tool started")
        self.wait_count(svc, lambda: self.opens(svc), 1, "portal page")
        events = svc.events()
        logs = [e["text"] for e in events if e["ev"] == "log"]
        self.assertEqual(logs[logs.index(UPGRADE) + 1], SEPARATOR)
        self.assertEqual(self.opens(svc)[0]["url"], PORTAL)
        self.assertEqual(len([e for e in events if e["ev"] == "prompt" and e["text"] == UPGRADE_QUESTION]), 1)
        self.assertEqual(self.readers.commands(), [("VLT Desk 0", IDENTIFY)])
        self.assertEqual(len(self.server.requests(TOOL_PATH)), 1)
        launch = next(e for e in events if e["ev"] == "launch")
        self.assertTrue(launch["path"].endswith(LOCAL_TOOL), launch)
        self.assertTrue(launch["started"])
        self.wait_for(svc, lambda: os.path.exists(self.marker), "tool ran")

        self.readers.unplug("t1")
        self.wait_gone(svc, "VLT Desk 0")
        self.readers.plug("t1", "VLT Desk 0", CURRENT)
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check after replugging")
        self.wait_count(svc, lambda: self.opens(svc), 2, "second portal page")
        self.assertEqual(self.stop(svc), 0)

    def test_smart_card_service_that_starts_with_the_first_reader_is_waited_for_without_a_box(self):
        self.readers.stop_service()  # as at sign-in on a PC whose terminal was never plugged in
        svc = self.service("no")
        self.wait_for(svc, lambda: any(self.logs(svc, t) for t in ENVIRONMENT_CHECK_END), "start-up check done")
        self.readers.start_service()
        self.readers.plug("t1", "VLT Desk 0", CURRENT)
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check of the terminal plugged in")
        self.assertEqual([e for e in svc.events() if e["ev"] == "prompt" and "monitor" in e["text"]], [])
        self.assertEqual(self.stop(svc), 0)

    def test_smart_card_service_stopped_and_started_again_is_survived(self):
        self.readers.plug("t1", "VLT Desk 0", CURRENT)
        svc = self.service("no")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check of the terminal present at start")

        self.readers.stop_service()
        # Monitor and watcher both learn of it from their waits.
        stopped = lambda: [s for s in self.readers.statuses() if s[1] == 0x8010001E]
        self.wait_for(svc, lambda: {s[0] for s in stopped()} >= {"VLT Desk 0", "\\\\?PNP?\\NOTIFICATION"},
                      "the stop seen by monitor and watcher")
        self.readers.start_service()
        self.readers.plug("t2", "VLT Desk 1", OUTDATED)
        self.wait_count(svc, lambda: self.logs(svc, UPGRADE), 1, "check of a terminal plugged after the restart")
        self.readers.unplug("t1")
        self.wait_gone(svc, "VLT Desk 0")
        self.readers.plug("t1", "VLT Desk 0", CURRENT)
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 2, "replugged terminal checked again")
        self.assertEqual(self.stop(svc), 0)


if __name__ == "__main__":
    unittest.main()
