"""Card terminals on a real pcscd: the running service notices terminals whose
reader names begin with "VLT", reads their model and firmware version, offers
the firmware update tool, and opens the portal page; it keeps doing so across
unplugging, several terminals and a restarted pcscd."""

import os
import shutil
import signal
import tempfile
import threading
import unittest

from harness.pcsc_bed import OTHER, PcscBed, skip_reason
from harness.service import TIMEOUT, Service, skip_class_unless_ready
from harness.update_server import UpdateServer
from harness.wait import wait_until

CONFIG_PATH = "/static/basis/ic/SetupConfig.ini"
TOOL_PATH = "/static/cos/VLT_Terminal_CosUpdate.exe"
PORTAL = "http://portal.test"
IDENTIFY = "7E10000100"
SEPARATOR = "-" * 47
UPGRADE = "COS信息>>COS程序:固件需要升级!"
NO_UPGRADE = "COS信息>>COS程序:固件不需要升级!"
UPGRADE_QUESTION = " 固件需要升级\r\n是否需要最新固件安装?"
INSTALL_QUESTION = " 固件升级程序下载完成!\r\n\r\n是否需要立即安装?"
MONITOR_FAILED = "Fail：start automatic monitor"
ENVIRONMENT_CHECK_END = ("未检查到新的服务程序安装包!", "检查到新的服务程序安装包!")
TOOL = b"#!/bin/sh\necho started > \"$(dirname \"$0\")/tool-ran\"\n"
HOLD = object()  # a rule's answer: leave the question open until release()


def identity(model, version, status="9000"):
    """The terminal's answer to the identify command: tag 1 carries the
    model's first three bytes at offsets 8-10, tag 6 the rest, tag 2 the
    firmware version text."""
    def tlv(tag, value):
        return "%02X%02X%s" % (tag, len(value), value.hex().upper())
    return (tlv(1, bytes(range(8)) + model[:3].encode()) + tlv(6, model[3:].encode()) +
            tlv(2, version.encode()) + status)


CURRENT = {IDENTIFY: identity("ABC12", "1.0.0.2")}   # the configuration's version
OUTDATED = {IDENTIFY: identity("XYZ99", "1.0.0.1")}  # older than 1.0.0.5


def config(server_url):
    return ("[ABC12]\r\nURL=%s/static/cos/abc12.exe\r\nVersionMajor=1\r\nVersionBuild=0\r\nVersionRevision=0\r\n"
            "VersionMinor=2\r\n"
            "[XYZ99]\r\nURL=%s%s\r\nSize=1\r\nVersionMajor=1\r\nVersionBuild=0\r\nVersionRevision=0\r\n"
            "VersionMinor=5\r\n" % (server_url, server_url, TOOL_PATH))


def logs_of(svc, text):
    """The service's log lines that read text."""
    return [e for e in svc.events() if e["ev"] == "log" and e["text"] == text]


def opens_of(svc):
    """The pages the service opened."""
    return [e for e in svc.events() if e["ev"] == "open"]


class Responder:
    """Answers the service's questions on its standard input, oldest first,
    once the console shows them: the first rule (text part, answer) whose
    part is in the question decides; "y", "n", "" (Enter) or HOLD. No rule:
    "n" for Yes/No questions, Enter for OK boxes."""

    def __init__(self, svc, rules=()):
        self.svc = svc
        self.rules = list(rules)
        self._held = None
        self._answered = 0
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def held(self):
        with self._lock:
            return self._held

    def release(self, answer):
        with self._lock:
            self._held = None
            self.svc.send(answer)
            self._answered += 1

    def stop(self):
        self._stop.set()
        self._thread.join(5)

    def _decide(self, prompt):
        for part, answer in self.rules:
            if part in prompt["text"]:
                return answer
        return "n" if prompt["buttons"] == "yesno" else ""

    def _run(self):
        while not self._stop.wait(0.02):
            shown = len([l for l in self.svc.stdout_lines() if l.endswith("(y/n)") or l.endswith("(Enter)")])
            prompts = [e for e in self.svc.events() if e["ev"] == "prompt"]
            with self._lock:
                while self._held is None and self._answered < min(shown, len(prompts)):
                    answer = self._decide(prompts[self._answered])
                    if answer is HOLD:
                        self._held = prompts[self._answered]
                        break
                    self.svc.send(answer)
                    self._answered += 1


class TerminalTest(unittest.TestCase):
    setUpClass = skip_class_unless_ready(skip_reason)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qarx-term-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.tmpdir = os.path.join(self.dir, "tmp")
        self.temp_folder = os.path.join(self.tmpdir, "qarx-%d" % os.geteuid())
        os.makedirs(self.temp_folder, mode=0o700)
        self.server = UpdateServer().start()
        self.addCleanup(self.server.stop)
        self.server.route(CONFIG_PATH, body=config(self.server.url))
        self.server.route(TOOL_PATH, body=TOOL)
        # A copy from an earlier run: read by checks before the first fetch.
        with open(os.path.join(self.temp_folder, "VLT_Terminal_SetupConfig.ini"), "w") as f:
            f.write(config(self.server.url))
        # The portal page is recorded as an event; no browser starts.
        bin_dir = os.path.join(self.dir, "bin")
        os.mkdir(bin_dir)
        with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        self.path = bin_dir + os.pathsep + os.environ.get("PATH", "")

    def bed(self, **kw):
        # pcscd's log tells what the service asked of it: the marks that
        # something has been looked at, after which what must not happen
        # would have happened.
        bed = PcscBed(debug=True, **kw)
        self.addCleanup(bed.close)
        return bed

    def service(self, bed, rules=()):
        env = dict(bed.env(), TMPDIR=self.tmpdir, PATH=self.path, QARX_UPDATE_SERVER=self.server.url,
                   QARX_PORTAL_URL=PORTAL, QARX_WINDOWS_ROOT=os.path.join(self.dir, "windows"),
                   no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
        svc = Service(env=env)
        self.addCleanup(svc.__exit__, None, None, None)
        svc.start()
        responder = Responder(svc, rules)
        self.addCleanup(responder.stop)
        return svc, responder

    # ---- what the service did ----
    logs = staticmethod(logs_of)
    opens = staticmethod(opens_of)

    @staticmethod
    def prompts(svc, text):
        return [e for e in svc.events() if e["ev"] == "prompt" and e["text"] == text]

    @staticmethod
    def wait_for(svc, probe, what, timeout=TIMEOUT):
        return wait_until(probe, timeout, what, seen=svc.seen)

    def wait_count(self, svc, count_of, count, what, timeout=TIMEOUT):
        self.wait_for(svc, lambda: len(count_of()) >= count, "%d x %s" % (count, what), timeout)
        self.assertEqual(len(count_of()), count, what)

    def wait_environment_check(self, svc):
        """The start-up check runs once the configuration is fetched; later
        questions then come from terminals only."""
        self.wait_for(svc, lambda: any(self.logs(svc, t) for t in ENVIRONMENT_CHECK_END), "start-up check done")

    def wait_watcher_ended(self, svc, bed, since):
        """The watcher of a reader unplugged after log mark since has seen it
        go and released its context, one that was waiting on pcscd before (the
        monitor's never ends; the bed's own short-lived clients never wait).
        It has passed on every change of the reader by then."""
        waiting = set(bed.requests("CMD_WAIT_READER_STATE_CHANGE", until=since))
        self.wait_for(svc, lambda: waiting & set(bed.requests("RELEASE_CONTEXT", since=since)),
                      "end of the unplugged reader's watcher")


class Arrival(TerminalTest):
    def test_terminal_present_at_start_is_checked_once(self):
        bed = self.bed(vpcd="VLT Desk").start()
        card = bed.vpcd_card(0, answers=CURRENT)
        svc, _ = self.service(bed)
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check of the terminal")
        self.wait_count(svc, lambda: self.opens(svc), 1, "portal page")
        self.assertEqual(self.opens(svc)[0]["url"], PORTAL)
        texts = [e["text"] for e in svc.events() if e["ev"] == "log"]
        self.assertEqual(texts[texts.index(NO_UPGRADE) + 1], SEPARATOR)
        self.assertIn(IDENTIFY, card.commands)
        # The empty second slot of the same reader never opens: no line, no
        # page, also once its check has tried six times and given up.
        self.wait_for(svc, lambda: bed.connects("VLT Desk 00 01") >= 6, "six attempts to open the empty slot")
        self.assertEqual(len(self.logs(svc, NO_UPGRADE)), 1)
        self.assertEqual(len(self.opens(svc)), 1)

    def test_terminals_plugged_after_start_one_and_two_at_once(self):
        bed = self.bed().start()
        svc, _ = self.service(bed)
        self.wait_environment_check(svc)
        bed.put_card("t1", CURRENT, wait=False)
        bed.plug("t1")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check of the first terminal")

        for dev_id in ("t2", "t3"):
            bed.put_card(dev_id, CURRENT, wait=False)
        bed.plug("t2")
        bed.plug("t3")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 3, "checks of two more terminals")
        self.wait_count(svc, lambda: self.opens(svc), 3, "portal pages")

    def test_readers_without_the_prefix_are_not_looked_at(self):
        bed = self.bed().start()
        svc, _ = self.service(bed)
        self.wait_environment_check(svc)
        bed.put_card("o1", CURRENT, wait=False)
        other = bed.plug("o1", product=OTHER)
        # A terminal plugged after it is looked at: the monitor has listed
        # both by then. Its terminal answers 6A82, which causes nothing.
        mark = bed.log_mark()
        bed.put_card("t1", default="6A82", wait=False)
        bed.plug("t1")
        self.wait_for(svc, lambda: bed.requests("DISCONNECT", since=mark), "exchange with the later terminal")
        self.assertEqual(bed.connects(other), 0)
        self.assertEqual(self.logs(svc, NO_UPGRADE), [])
        self.assertEqual(self.opens(svc), [])

    def test_unplugged_and_replugged_terminal_is_checked_again(self):
        bed = self.bed().start()
        bed.put_card("t1", CURRENT, wait=False)
        svc, _ = self.service(bed)
        self.wait_environment_check(svc)
        bed.plug("t1")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "first check")
        mark = bed.log_mark()
        bed.unplug("t1")
        self.wait_watcher_ended(svc, bed, mark)
        self.assertEqual(len(self.logs(svc, NO_UPGRADE)), 1, "unplugging checks nothing")
        bed.plug("t1")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 2, "check after replugging")

    def test_card_inserted_late_is_read_and_card_changes_cause_nothing(self):
        bed = self.bed().start()
        svc, _ = self.service(bed)
        self.wait_environment_check(svc)
        reader = bed.plug("t1")  # no card yet: the check keeps trying to open the terminal
        self.wait_for(svc, lambda: bed.connects(reader) >= 2, "a second attempt to open the terminal")
        bed.put_card("t1", CURRENT)
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check once the card is in")
        connects = bed.connects(reader)
        for _ in range(2):
            bed.pull_card("t1")
            bed.put_card("t1", CURRENT)
        # Its watcher handles the changes in order: once it has seen the
        # reader go, it has passed on every card change before.
        mark = bed.log_mark()
        bed.unplug("t1")  # still watched: replugging is noticed
        self.wait_watcher_ended(svc, bed, mark)
        self.assertEqual(bed.connects(reader), connects, "card changes open nothing")
        self.assertEqual(len(self.logs(svc, NO_UPGRADE)), 1, "card changes start no check")
        self.assertEqual(len(self.opens(svc)), 1)
        bed.plug("t1")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 2, "check after replugging")

    def test_terminal_answering_6a82_causes_nothing(self):
        bed = self.bed(vpcd="VLT Desk").start()
        card = bed.vpcd_card(0, default="6A82")
        svc, _ = self.service(bed)
        self.wait_for(svc, lambda: IDENTIFY in card.commands, "identify command sent")
        # The check closes the terminal after the exchange and decides at once.
        self.wait_for(svc, lambda: bed.requests("DISCONNECT"), "terminal closed after the exchange")
        # The start-up check may log and ask meanwhile; the terminal adds nothing.
        self.assertEqual([e for e in svc.events() if e["ev"] == "log" and e["text"].startswith("COS")], [])
        self.assertEqual(self.prompts(svc, UPGRADE_QUESTION), [])
        self.assertEqual(self.opens(svc), [])


class NoService(TerminalTest):
    def test_pcscd_started_after_the_service_is_waited_for_without_a_box(self):
        bed = self.bed()  # not started yet: its socket does not exist
        bed.put_card("t1", CURRENT, wait=False)
        svc, _ = self.service(bed)
        self.wait_for(svc, lambda: any(self.logs(svc, t) for t in ENVIRONMENT_CHECK_END), "start-up check done")
        bed.start()
        bed.plug("t1")
        self.wait_for(svc, lambda: self.logs(svc, NO_UPGRADE), "check of the terminal plugged in")
        self.assertEqual(self.prompts(svc, MONITOR_FAILED), [])


class Recovery(TerminalTest):
    def test_service_recovers_after_pcscd_dies(self):
        # Its CPU use meanwhile is measured by tests/benchmarks/pcscd_outage_cpu.py;
        # the pacing of its retries is a unit test's business.
        bed = self.bed(plugged=["t1"]).start()
        bed.put_card("t1", CURRENT)
        svc, _ = self.service(bed)
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), 1, "check before the crash")
        self.wait_environment_check(svc)

        bed.kill()
        restart = bed.log_mark()
        bed.start()
        # The watcher of t1 must have its new context before t1 is replugged
        # below, or it would miss the replug: it waits on the new pcscd once it
        # has, as the monitor does (nobody else waits there meanwhile).
        self.wait_for(svc, lambda: len(set(bed.requests("CMD_WAIT_READER_STATE_CHANGE", since=restart))) >= 2,
                      "monitor and watcher waiting on the new pcscd")
        bed.put_card("t2", OUTDATED, wait=False)
        bed.plug("t2")
        self.wait_count(svc, lambda: self.logs(svc, UPGRADE), 1, "check of a terminal plugged after the restart")
        checks = len(self.logs(svc, NO_UPGRADE))
        bed.unplug("t1")
        bed.plug("t1")
        self.wait_count(svc, lambda: self.logs(svc, NO_UPGRADE), checks + 1, "replugged terminal checked again")


class Offer(TerminalTest):
    def test_yes_downloads_the_tool_opens_the_portal_and_a_later_check_offers_again(self):
        bed = self.bed(plugged=["t1"]).start()
        bed.put_card("t1", OUTDATED)
        svc, _ = self.service(bed, rules=[(UPGRADE_QUESTION, "y"), (INSTALL_QUESTION, "y")])
        self.wait_count(svc, lambda: self.prompts(svc, UPGRADE_QUESTION), 1, "offer")
        self.wait_for(svc, lambda: any(e["ev"] == "launch" for e in svc.events()), "update tool started")
        self.wait_count(svc, lambda: self.opens(svc), 1, "portal page")  # from another thread than the launch
        events = svc.events()
        logs = [e["text"] for e in events if e["ev"] == "log"]
        self.assertEqual(logs[logs.index(UPGRADE) + 1], SEPARATOR)
        self.assertEqual([e["url"] for e in events if e["ev"] == "open"], [PORTAL])
        self.assertIn({"ev": "status", "text": "开始下载最新的固件升级程序!"},
                      [{"ev": e["ev"], "text": e.get("text")} for e in events])
        self.assertEqual(len(self.server.requests(TOOL_PATH)), 1)
        launch = next(e for e in events if e["ev"] == "launch")
        self.assertTrue(launch["path"].endswith("VLT_Terminal_CosUpdate.exe"), launch)
        self.assertTrue(launch["started"])
        self.wait_for(svc, lambda: os.path.exists(os.path.join(self.temp_folder, "tool-ran")), "tool ran")

        # The download's end released the offer: the terminal is offered again.
        self.wait_environment_check(svc)
        bed.unplug("t1")
        bed.plug("t1")
        self.wait_count(svc, lambda: self.prompts(svc, UPGRADE_QUESTION), 2, "second offer")

    def test_no_releases_the_offer_and_a_second_terminal_meanwhile_gets_only_the_page(self):
        bed = self.bed().start()
        for dev_id in ("t1", "t2"):
            bed.put_card(dev_id, OUTDATED, wait=False)
        svc, responder = self.service(bed, rules=[(UPGRADE_QUESTION, HOLD)])
        self.wait_environment_check(svc)
        bed.plug("t1")
        self.wait_for(svc, responder.held, "offer for the first terminal open")

        bed.plug("t2")
        self.wait_count(svc, lambda: self.opens(svc), 1, "page for the second terminal")
        self.assertEqual(len(self.logs(svc, UPGRADE)), 1)
        self.assertEqual(len(self.prompts(svc, UPGRADE_QUESTION)), 1)
        events = svc.events()
        before_page = [e["text"] for e in events[:events.index(self.opens(svc)[0])] if e["ev"] == "log"]
        self.assertEqual(before_page[-2:], [UPGRADE, SEPARATOR])  # the second check: its separator only

        responder.rules = [(UPGRADE_QUESTION, "n")]
        responder.release("n")
        self.wait_count(svc, lambda: self.opens(svc), 2, "page for the first terminal")
        self.assertEqual([e for e in svc.events() if e["ev"] in ("status", "launch")], [])

        bed.unplug("t2")
        bed.plug("t2")
        self.wait_count(svc, lambda: self.prompts(svc, UPGRADE_QUESTION), 2, "offer after the No")
        self.wait_count(svc, lambda: self.logs(svc, UPGRADE), 2, "comparison line after the No")


class ExitDuringOffer(TerminalTest):
    def test_a_signal_while_the_firmware_question_is_open_ends_the_service_cleanly(self):
        """A desktop session ends the service with SIGTERM, a terminal with
        Ctrl-C; the check waiting in its question must not take it down."""
        bed = self.bed(plugged=["t1"]).start()
        bed.put_card("t1", OUTDATED)
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name):
                svc, responder = self.service(bed, rules=[(UPGRADE_QUESTION, HOLD)])
                self.wait_for(svc, responder.held, "offer open")
                responder.stop()
                self.assertEqual(svc.kill(sig), 0, svc.stderr_lines())
                events = svc.events()
                self.assertIn(("tray", "delete"), [(e["ev"], e.get("op")) for e in events])
                self.assertIn("exit", [e["ev"] for e in events])
                self.assertEqual([e for e in events if e["ev"] in ("launch", "status")], [])


if __name__ == "__main__":
    unittest.main()
