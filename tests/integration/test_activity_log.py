"""The activity log file of the real service: the same entries as the event
stream, in order, with local times; and a service that goes on when its file
cannot be written (a read-only or full tmpfs)."""

import datetime
import errno
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import windows_root
from harness.pcsc_bed import PcscBed, skip_reason
from harness.service import Service, skip_class_unless_ready
from harness.update_server import UpdateServer
from test_environment_check import CONFIG_PATH, INSTALLERS, LOCAL_NAMES, configuration, installer
from test_terminals import CURRENT, config as terminal_config

REPORT = "cannot write the activity log"
TIME_ZONE = "QXT-5:30"  # UTC+05:30 as a POSIX rule, so no time-zone database is needed


def escaped(text):
    """JSON's escapes without the quotes (the texts here hold no DEL)."""
    return json.dumps(text, ensure_ascii=False)[1:-1].replace('\\"', '"')


def kept_entries(events):
    """The activity log's entries for these events: the kinds it keeps, and a
    status only when its text differs from the status before."""
    entries = []
    last_status = None
    for e in events:
        ev = e["ev"]
        if ev in ("failure", "recovery"):
            entries.append("%s %s" % (ev, escaped(e["text"])))
        elif ev in ("log", "status"):
            if ev == "status":
                if e["text"] == last_status:
                    continue
                last_status = e["text"]
            entries.append("%s %s" % (ev, escaped(e["text"])))
        elif ev == "prompt":
            entries.append("prompt #%d [%s] %s (%s)" % (e["id"], escaped(e["caption"]), escaped(e["text"]),
                                                        e["buttons"]))
        elif ev == "answer":
            entries.append("answer #%d %s" % (e["id"], e["answer"]))
        elif ev == "launch":
            entries.append("launch %s%s" % (escaped(e["path"]), "" if e["started"] else " (not started)"))
        elif ev == "open":
            entries.append("open %s" % escaped(e["url"]))
    return entries


def now():
    """Local wall time, to the millisecond the service writes."""
    t = datetime.datetime.now().astimezone()
    return t.replace(microsecond=t.microsecond // 1000 * 1000)


class WholeRun(unittest.TestCase):
    setUpClass = skip_class_unless_ready(skip_reason)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-actlog-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.tmpdir = os.path.join(self.dir, "tmp")
        self.temp_folder = os.path.join(self.tmpdir, "qarx-%d" % os.geteuid())
        os.makedirs(self.tmpdir)
        self.server = UpdateServer().start()
        self.addCleanup(self.server.stop)
        # The check offers the service program and a newer control; the terminal is current.
        self.server.route(CONFIG_PATH, body=configuration(self.server.url) + terminal_config(self.server.url))
        for kind, path in INSTALLERS.items():
            self.server.route(path, body=installer(kind))
        self.windows = os.path.join(self.dir, "windows")
        windows_root.windows7_pc(self.windows, control_version=(1, 0, 0, 0))
        bin_dir = os.path.join(self.dir, "bin")
        os.mkdir(bin_dir)
        with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        self.path = bin_dir + os.pathsep + os.environ.get("PATH", "")

    def test_check_offers_downloads_and_a_terminal_are_the_event_streams_entries_in_order(self):
        bed = PcscBed().start()
        self.addCleanup(bed.close)
        env = dict(bed.env(), TMPDIR=self.tmpdir, PATH=self.path, QARX_UPDATE_SERVER=self.server.url,
                   QARX_PORTAL_URL="http://portal.test", QARX_WINDOWS_ROOT=self.windows,
                   no_proxy="127.0.0.1", NO_PROXY="127.0.0.1", TZ=TIME_ZONE)
        before = now()
        with Service(answer="yes", env=env) as svc:
            for kind in (2, 3):  # both offers taken, both installers started
                svc.wait_event("launch", path=os.path.join(self.temp_folder, LOCAL_NAMES[kind]))
            bed.put_card("t1", answers=CURRENT, wait=False)
            bed.plug("t1")
            svc.wait_event("open")
            svc.send("log")
            svc.wait_stdout(svc.activity_log_path)
            self.assertEqual(svc.stop(), 0)
            after = now()
            expected = kept_entries(svc.events())
            entries = svc.activity_entries()
            self.assertEqual(os.stat(svc.activity_log_path).st_mode & 0o777, 0o600)

        self.assertEqual([text for _, text in entries], expected)
        kinds = {text.split(" ")[0] for text in expected}
        self.assertEqual(kinds, {"log", "status", "prompt", "answer", "launch", "open"})
        times = [t for t, _ in entries]
        self.assertEqual(times, sorted(times))
        self.assertEqual({t.utcoffset() for t in times}, {datetime.timedelta(hours=5, minutes=30)})
        self.assertGreaterEqual(times[0], before)
        self.assertLessEqual(times[-1], after)


class LastMoment(unittest.TestCase):
    def test_entries_made_just_before_exit_are_in_the_default_file(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            svc.send("sysinfo\nbrowser\nexit")
            self.assertEqual(svc.wait_exit(), 0)
            self.assertTrue(svc.activity_log_path.endswith(os.path.join("state", "qarx", "activity.log")))
            self.assertEqual([text for _, text in svc.activity_entries()], kept_entries(svc.events()))


class Warnings(unittest.TestCase):
    def test_a_warning_before_the_file_exists_is_in_it_and_on_standard_error(self):
        # A front-end this build does not have: the console is used instead.
        with Service(answer="no", ui="win32") as svc:
            svc.wait_event("window", show=0)
            svc.send("exit")
            self.assertEqual(svc.wait_exit(), 0)
            warning = "qarx-service: this build has no win32 front-end; using the console"
            self.assertIn(warning, svc.stderr_lines())
            self.assertEqual([text for _, text in svc.activity_entries()][:1], ["warning " + warning])
            self.assertEqual([e["text"] for e in svc.events() if e["ev"] == "warning"], [warning])

    def test_a_timer_period_that_is_not_a_number_of_milliseconds_is_a_warning(self):
        for value in ("0", "5s", "4294967296"):
            with self.subTest(value=value), Service(answer="no", env={"QARX_CONFIG_PERIOD_MS": value}) as svc:
                warning = ("qarx-service: QARX_CONFIG_PERIOD_MS must be a number of milliseconds above 0, not '%s';"
                           " using 5000" % value)
                svc.wait_event("warning", text=warning)
                self.assertEqual(svc.stop(), 0)
                self.assertIn(warning, svc.stderr_lines())
                self.assertIn("warning " + warning, [text for _, text in svc.activity_entries()])


class UnwritableFile(unittest.TestCase):
    """A tmpfs of its own per test: mounted read-only, or filled up."""

    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root: mounts a small tmpfs for a read-only or full folder")
        self.dir = tempfile.mkdtemp(prefix="qarx-actlog-fs-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def mount(self, options):
        folder = os.path.join(self.dir, "mnt")
        os.mkdir(folder)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder], capture_output=True)
        if done.returncode:
            self.skipTest("cannot mount a tmpfs here: %s" % done.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", "-l", folder], capture_output=True)
        return folder

    def service(self, folder):
        return Service(answer="no", env={"QARX_LOG": os.path.join(folder, "qarx", "activity.log")})

    def reports(self, svc):
        return [line for line in svc.stderr_lines() if REPORT in line]

    def test_a_read_only_folder_is_reported_once_and_the_service_goes_on(self):
        folder = self.mount("ro,size=64k")
        with self.service(folder) as svc:
            svc.wait_event("window", show=0)
            for command, line in (("sysinfo", "系统信息"), ("browser", "系统默认浏览器")):
                svc.send(command)
                svc.wait_stdout(line)
                svc.wait_stderr(REPORT)
            self.assertEqual(svc.stop(), 0)
            self.assertEqual(len(self.reports(svc)), 1, svc.stderr_lines())
            self.assertIn(svc.activity_log_path, self.reports(svc)[0])
        self.assertFalse(os.path.exists(os.path.join(folder, "qarx")))

    def test_a_full_disk_drops_entries_with_a_count_and_the_file_picks_up_once_there_is_room(self):
        folder = self.mount("size=64k")
        filler = os.path.join(folder, "filler")
        with open(filler, "wb", buffering=0) as f:
            try:
                while True:
                    f.write(b"\0" * 4096)
            except OSError as error:
                self.assertEqual(error.errno, errno.ENOSPC)
        with self.service(folder) as svc:
            svc.wait_event("window", show=0)
            svc.send("sysinfo")
            svc.wait_stdout("系统信息")
            svc.wait_stderr(REPORT)
            self.assertEqual(svc.activity_entries(), [])
            os.remove(filler)
            svc.send("browser")
            svc.wait_stdout("系统默认浏览器")
            self.assertEqual(svc.stop(), 0)
            texts = [text for _, text in svc.activity_entries()]
            expected = kept_entries(svc.events())
            self.assertEqual(len(self.reports(svc)), 1, svc.stderr_lines())

        self.assertRegex(texts[0], r"^dropped \d+ entries$")
        dropped = int(texts[0].split(" ")[1])
        self.assertIn("log 系统信息获取失败!", expected[:dropped])
        self.assertEqual(texts[1:], expected[dropped:])


if __name__ == "__main__":
    unittest.main()
