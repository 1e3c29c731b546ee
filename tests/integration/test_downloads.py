"""Configuration fetch and package downloads over real HTTP, end to end."""

import hashlib
import os
import shutil
import signal
import tempfile
import time
import unittest

from harness.service import Service, TIMEOUT
from harness.update_server import UpdateServer
from harness.wait import wait_until

CONFIG_PATH = "/static/basis/ic/SetupConfig.ini"
SEPARATOR = "-" * 47
INSTALLER = "#!/bin/sh\necho started > \"$(dirname \"$0\")/installer-ran\"\n"


def installer(size):
    """A harmless shell script padded with comment lines to size bytes."""
    text = INSTALLER
    while len(text) < size:
        text += "#" * min(79, size - len(text) - 1) + "\n"
    return text.encode("ascii")[:size]


class DownloadTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-dl-")
        self.tmpdir = os.path.join(self.dir, "tmp")
        os.mkdir(self.tmpdir)
        self.temp_folder = os.path.join(self.tmpdir, "qarx-%d" % os.geteuid())
        self.server = UpdateServer().start()

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def service(self, answer=None, server_url=None, period_ms=None):
        """period_ms: the configuration timer's period (default: the product's)."""
        env = {
            "QARX_UPDATE_SERVER": server_url or self.server.url,
            "TMPDIR": self.tmpdir,
            "QARX_WINDOWS_ROOT": os.path.join(self.dir, "windows"),
            "QARX_HTTP_LOW_SPEED_TIME": "5",
            "no_proxy": "127.0.0.1",
            "NO_PROXY": "127.0.0.1",
        }
        if period_ms is not None:
            env["QARX_CONFIG_PERIOD_MS"] = str(period_ms)
        return Service(answer=answer, env=env)

    def temp_file(self, name):
        return os.path.join(self.temp_folder, name)

    def wait_requests(self, path, count, timeout=TIMEOUT):
        def enough():
            requests = self.server.requests(path)
            return requests if len(requests) >= count else None
        return wait_until(enough, timeout, "%d requests of %s" % (count, path), seen=self.server.requests)

    @staticmethod
    def answer_prompts(svc, rules, until, timeout=TIMEOUT * 2):
        """Answers each question once the console shows it: the first rule
        whose text is in the question gives the answer, else "n" (Enter for
        an OK box). Stops once until() holds."""
        answered = 0

        def answer_shown():
            nonlocal answered
            if until():
                return True
            shown = len([l for l in svc.stdout_lines() if l.endswith("(y/n)") or l.endswith("(Enter)")])
            prompts = [e for e in svc.events() if e["ev"] == "prompt"]
            while answered < min(shown, len(prompts)):
                text = prompts[answered]["text"]
                svc.send(next((a for part, a in rules if part in text), "n"))
                answered += 1
            return False
        wait_until(answer_shown, timeout, "end of the questions", seen=svc.seen)

    @staticmethod
    def wait_dialog_clock(svc, moment):
        """Waits until the dialog's thread, which also runs its timer, has
        handled a command at `moment` (ms of the service's clock) or later:
        every tick due before then has happened by then."""
        def handled_later():
            mark = svc.mark()
            svc.send("hide")
            return svc.wait_event("window", since=mark, show=0)["t"] >= moment
        wait_until(handled_later, what="a command handled at %d ms" % moment, seen=svc.seen)


class ConfigurationFetch(DownloadTest):
    PERIOD_MS = 200  # the timer's period where the test waits for several ticks

    def test_fetched_at_the_first_tick(self):
        self.server.route(CONFIG_PATH, body="[Control]\r\nSize=180\r\n")
        with self.service(answer="no") as svc:
            started = time.time()
            first = self.wait_requests(CONFIG_PATH, 1)[0]
            # Timer 1 ticks 5000 ms after initialisation.
            self.assertGreaterEqual(first["time"] - started, 4.0)
            self.assertEqual(first["headers"].get("User-Agent"), "Tesmova")
            self.assertEqual(first["headers"].get("Cache-Control"), "no-cache")
            svc.wait_event("log", text=SEPARATOR)  # the environment check ran
            self.assertTrue(os.path.exists(self.temp_file("VLT_Terminal_SetupConfig.ini")))
            self.assertEqual(svc.stop(), 0)

    def test_never_fetched_again_once_read(self):
        self.server.route(CONFIG_PATH, body="[Control]\r\nSize=180\r\n")
        with self.service(answer="no", period_ms=self.PERIOD_MS) as svc:
            self.wait_requests(CONFIG_PATH, 1)
            checked = svc.wait_event("log", text=SEPARATOR)  # the environment check ran
            # Three periods later a timer still running would have fetched again.
            self.wait_dialog_clock(svc, checked["t"] + 3 * self.PERIOD_MS)
            self.assertEqual(len(self.server.requests(CONFIG_PATH)), 1)
            self.assertTrue(os.path.exists(self.temp_file("VLT_Terminal_SetupConfig.ini")))
            self.assertEqual(svc.stop(), 0)

    def test_failing_server_is_asked_every_five_seconds(self):
        for label, plan in (("error", {"status": 500, "body": "oops"}), ("reset", {"size": 100, "reset_after": 0})):
            with self.subTest(label):
                self.server.route(CONFIG_PATH, **plan)
                before = len(self.server.requests(CONFIG_PATH))
                with self.service(answer="no") as svc:
                    # The period is the timer's (5000 ms, a unit test's
                    # business); the gaps are shown, not judged: a loaded
                    # machine stretches them.
                    times = [r["time"] for r in self.wait_requests(CONFIG_PATH, before + 3, timeout=60)[before:]]
                    print("\n%s: requests %s s apart" % (label, ", ".join(
                        "%.1f" % (later - earlier) for earlier, later in zip(times, times[1:]))))
                    self.assertEqual([e for e in svc.events() if e["ev"] == "log"], [])
                    self.assertEqual(svc.stop(), 0)

    def test_not_found_page_is_not_taken_as_the_configuration(self):
        self.server.route(CONFIG_PATH, status=404, body="<html><body>404 Not Found</body></html>")
        # Asked again at the next tick: the page was not taken.
        with self.service(answer="no", period_ms=self.PERIOD_MS) as svc:
            self.wait_requests(CONFIG_PATH, 2, timeout=20)
            self.assertFalse(os.path.exists(self.temp_file("VLT_Terminal_SetupConfig.ini")))
            self.assertEqual([e for e in svc.events() if e["ev"] == "log"], [])
            self.assertEqual(svc.stop(), 0)


class DiagnosticCommands(DownloadTest):
    def test_download_button_then_ok(self):
        self.server.route("/portal/qre/ic/ic_activeX.exe", body=installer(2000))
        self.server.route("/portal/qre/ic/Setup_ic_terminal_driver.exe", status=404, body="missing")
        with self.service(answer="no") as svc:
            svc.wait_event("window", show=0)
            svc.send("download")
            mark = svc.wait_event("log", text=SEPARATOR)
            logs = [e["text"] for e in svc.events() if e["ev"] == "log"]
            self.assertEqual(logs, ["控件下载成功!", "CCID驱动下载失败!", SEPARATOR])
            with open(self.temp_file("ic_activeX.exe"), "rb") as f:
                self.assertEqual(f.read(), installer(2000))
            self.assertFalse(os.path.exists(self.temp_file("CCID.exe")))

            since = svc.mark()
            svc.send("ok")
            svc.wait_event("log", since=since, text=SEPARATOR)
            after = svc.events()[since:]
            self.assertEqual([e["text"] for e in after if e["ev"] == "log"],
                             ["控件安装成功!", "CCID驱动安装失败!", SEPARATOR])
            launches = [e for e in after if e["ev"] == "launch"]
            self.assertEqual([(e["path"], e["started"]) for e in launches],
                             [(self.temp_file("ic_activeX.exe"), True)])
            self.assertTrue(mark)
            self.assertEqual(svc.stop(), 0)


class PackageDownload(DownloadTest):
    def configure(self, control_plan):
        self.server.route("/pkg/control.sh", **control_plan)
        self.server.route(CONFIG_PATH, body="[Control]\r\nURL=%s/pkg/control.sh\r\nSize=3\r\n" % self.server.url)

    @staticmethod
    def job_ended(svc):
        """The job's last act, the progress reset after its first status."""
        events = svc.events()
        first = next((i for i, e in enumerate(events) if e["ev"] == "status"), None)
        return first is not None and any(e["ev"] == "progress" and e["pos"] == 0 for e in events[first:])

    @staticmethod
    def check_ended(svc):
        """The environment check has asked its last question."""
        return any(e["ev"] == "log" and e["text"].endswith("的服务程序安装包!") for e in svc.events())

    def test_download_shows_progress_and_starts_the_installer_on_yes(self):
        self.configure({"body": installer(3000)})
        with self.service() as svc:
            self.answer_prompts(svc, [("未安装控件", "y"), ("最新的浏览器控件下载完成", "y"), ("请确定关闭浏览器", "")],
                                until=lambda: self.job_ended(svc) and self.check_ended(svc))
            events = svc.events()
            start = next(i for i, e in enumerate(events) if e["ev"] == "status")
            # The environment check keeps asking meanwhile; its questions are not the job's.
            job_prompts = {e["id"] for e in events if e["ev"] == "prompt" and "下载安装?" not in e["text"]}
            seen = []
            for e in events[start:]:
                if e["ev"] in ("prompt", "answer") and e["id"] not in job_prompts:
                    continue
                if e["ev"] in ("status", "progress", "tray", "window", "prompt", "answer", "launch"):
                    seen.append((e["ev"], e.get("text", e.get("pos", e.get("op", e.get("show", e.get("answer",
                                 e.get("path"))))))))
            downloading = ("status", "正在下载最新程序……")
            expected = [
                ("status", "开始下载最新的浏览器控件!"), ("window", 5), ("tray", "add"), ("window", 1),
                # The text is set again after every piece; the stream records it when it changes.
                downloading, ("progress", 1), ("progress", 2), ("progress", 3),
                ("progress", 100), ("tray", "delete"), ("window", 0), ("window", 0),
                ("status", "最新的默认浏览器控件下载完成!"),
                ("prompt", "最新的浏览器控件下载完成!\r\n\r\n是否需要立即安装最新控件?"), ("answer", "yes"),
                ("prompt", "   请确定关闭浏览器,\r\n停止使用IC卡互联网终端!"), ("answer", "ok"),
                ("launch", self.temp_file("VLT_Terminal_Control.exe")), ("progress", 0),
            ]
            self.assertEqual(seen, expected)
            ran = self.temp_file("installer-ran")
            wait_until(lambda: os.path.exists(ran), what="installer run", seen=svc.seen)
            self.assertTrue(os.path.exists(ran))
            self.assertEqual(svc.stop(), 0)

    def test_failed_transfer_leaves_no_file(self):
        self.configure({"size": 100000, "reset_after": 20000})
        with self.service() as svc:
            self.answer_prompts(svc, [("未安装控件", "y")],
                                until=lambda: self.job_ended(svc) and self.check_ended(svc))
            statuses = [e["text"] for e in svc.events() if e["ev"] == "status"]
            self.assertEqual(statuses[-1], "最新的默认浏览器控件下载失败!")
            self.assertFalse(os.path.exists(self.temp_file("VLT_Terminal_Control.exe")))
            self.assertEqual([e for e in svc.events() if e["ev"] == "launch"], [])
            self.assertEqual(svc.stop(), 0)

    def test_only_a_package_matching_its_digest_is_offered(self):
        control, server = installer(2500), installer(3500)
        self.server.route("/pkg/control.sh", body=control)
        self.server.route("/pkg/server.sh", body=server)
        self.server.route(CONFIG_PATH, body=(
            "[Control]\r\nURL=%s/pkg/control.sh\r\nSize=3\r\nSHA256=%s\r\n"
            "[Server]\r\nURL=%s/pkg/server.sh\r\nSize=4\r\nSHA256=%s\r\n") % (
            self.server.url, hashlib.sha256(control + b"x").hexdigest(),
            self.server.url, hashlib.sha256(server).hexdigest().upper()))
        with self.service() as svc:
            launched = lambda: any(e["ev"] == "launch" for e in svc.events())
            rejected = lambda: any(e["ev"] == "status" and e["text"] == "最新的浏览器控件安装包异常!"
                                   for e in svc.events())
            self.answer_prompts(svc, [("未安装控件", "y"), ("未安装服务程序", "y"), ("最新的服务程序下载完成", "y")],
                                until=lambda: launched() and rejected() and self.check_ended(svc))
            prompts = [e["text"] for e in svc.events() if e["ev"] == "prompt"]
            self.assertFalse([p for p in prompts if "浏览器控件下载完成" in p], prompts)
            self.assertFalse(os.path.exists(self.temp_file("VLT_Terminal_Control.exe")))
            with open(self.temp_file("VLT_Terminal_Server.exe"), "rb") as f:
                self.assertEqual(f.read(), server)
            self.assertEqual([e["path"] for e in svc.events() if e["ev"] == "launch"],
                             [self.temp_file("VLT_Terminal_Server.exe")])
            self.assertEqual(svc.stop(), 0)


class ExitDuringDownload(DownloadTest):
    """Exit while a package still transfers: the job goes on after the modal
    run has ended and must find nothing that was taken away."""

    def test_every_exit_ends_it_cleanly_wherever_the_transfer_is(self):
        # 64 KiB in 1 KiB pieces 50 ms apart: about three seconds of progress.
        self.server.route("/pkg/control.sh", body=installer(64 * 1024), chunk=1024, delay=0.05)
        self.server.route(CONFIG_PATH, body="[Control]\r\nURL=%s/pkg/control.sh\r\nSize=64\r\n" % self.server.url)
        for road in ("exit", "menu", "SIGTERM", "SIGINT"):
            for progress in (1, 20):
                with self.subTest(road=road, progress=progress), self.service(answer="yes") as svc:
                    svc.wait_event("progress", pos=progress)
                    if road == "exit":
                        svc.send("exit")
                        status = svc.wait_exit()
                    elif road == "menu":
                        svc.send("tray-right")
                        svc.wait_event("menu")
                        svc.send("退出")
                        status = svc.wait_exit()
                    else:
                        status = svc.kill(getattr(signal, road))
                    self.assertEqual(status, 0, svc.stderr_lines())
                    # A call already under way when Exit came may still be
                    # recorded after it; nothing that starts later is.
                    events = svc.events()
                    self.assertIn("exit", [e["ev"] for e in events])
                    trays = [e["op"] for e in events if e["ev"] == "tray"]
                    self.assertEqual(trays[-1], "delete", "the icon is gone")
                    self.assertEqual([e for e in events if e["ev"] == "launch"], [])


if __name__ == "__main__":
    unittest.main()
