"""The service as a process: one instance, its exits, its console.

Every run answers message boxes automatically: without a PC/SC service the
reader monitor reports an error box at start, and a typed command would
answer it instead of reaching the dialog.
"""

import os
import signal
import tempfile
import unittest

from harness.service import Service


def dialog_events(svc):
    """The events of the dialog itself: the missing PC/SC service's error box
    comes from a worker thread at a time of its own, possibly after the exit."""
    return [e for e in svc.events() if e["ev"] not in ("prompt", "answer")]


class SingleInstance(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="qarx-run-")
        self.runtime = os.path.join(self._dir.name, "run")
        os.mkdir(self.runtime, 0o700)

    def tearDown(self):
        self._dir.cleanup()

    def started(self):
        """A first instance, initialised and hidden."""
        first = Service(runtime_dir=self.runtime, answer="no").start()
        first.wait_event("window", show=0)
        return first

    def test_second_start_ends_at_once_silently_and_leaves_the_first_alone(self):
        with self.started() as first:
            with Service(runtime_dir=self.runtime, answer="no") as second:
                self.assertEqual(second.wait_exit(), 0)
                self.assertEqual(second.events(), [])
                self.assertFalse(os.path.exists(second.events_path))
                self.assertEqual(second.stdout_lines(), [])
            self.assertIsNone(first.process.poll())
            before = len(first.events())
            first.send("open")
            first.wait_event("window", since=before, show=1)
            self.assertEqual(first.stop(), 0)

    def test_a_new_start_runs_after_exit(self):
        with self.started() as first:
            self.assertEqual(first.stop(), 0)
            self.assertEqual([e["ev"] for e in dialog_events(first)[-2:]], ["tray", "exit"])
        with self.started() as again:
            self.assertEqual(again.stop(), 0)

    def test_second_start_with_an_unusable_display_ends_silently(self):
        """The single-instance mutex is looked at before any front-end is built."""
        with self.started() as first:
            env = {"DISPLAY": ":4242", "WAYLAND_DISPLAY": "", "QT_QPA_PLATFORM": "no-such-plugin"}
            with Service(runtime_dir=self.runtime, answer="no", ui="qt", env=env) as second:
                self.assertEqual(second.wait_exit(), 0)
                self.assertEqual((second.stdout_lines(), second.stderr_lines()), ([], []))
                self.assertFalse(os.path.exists(second.events_path))
            self.assertEqual(first.stop(), 0)

    def test_a_new_start_runs_after_the_first_was_killed(self):
        with self.started() as first:
            first.kill(signal.SIGKILL)
        with self.started() as again:
            self.assertIsNone(again.process.poll())
            self.assertEqual(again.stop(), 0)


class Console(unittest.TestCase):
    def test_start_hides_the_dialog_and_exit_deletes_the_tray_icon(self):
        with Service(answer="no") as svc:
            self.assertEqual(svc.stop(), 0)
            evs = [(e["ev"], e.get("show", e.get("op"))) for e in dialog_events(svc)]
            # Reset hides it; the framework's first showing paints the frame,
            # which hides it again; Exit deletes the icon it never showed.
            self.assertEqual(evs[0], ("window", 0))
            self.assertIn(("window", 0), evs[1:-2])
            self.assertNotIn(("window", 1), evs)
            self.assertEqual(evs[-2:], [("tray", "delete"), ("exit", None)])
            self.assertTrue(all(isinstance(e["t"], int) and e["t"] >= 0 for e in svc.events()))

    def test_cancel_close_and_hide_only_hide(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            for command in ("cancel", "2", "hide", "1131"):
                mark = svc.mark()
                svc.send(command)
                svc.wait_event("window", since=mark, show=0)
            self.assertIsNone(svc.process.poll())
            self.assertEqual(svc.stop(), 0)

    def test_open_and_minimize_show_then_the_frame_paint_hides(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            for command, code in (("open", 1), ("1127", 1), ("minimize", 2)):
                mark = svc.mark()
                svc.send(command)
                svc.wait_event("window", since=mark, show=code)
                svc.wait_event("window", since=mark + 1, show=0)
            svc.stop()

    def test_unknown_command_is_one_error_line(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            svc.send("frobnicate")
            svc.send("open")  # still listening afterwards
            svc.wait_event("window", show=1)
            svc.wait_stderr("frobnicate")
            errors = [l for l in svc.stderr_lines() if "frobnicate" in l]
            self.assertEqual(len(errors), 1)
            svc.stop()

    def test_tray_clicks_need_the_icon(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            svc.send("tray-right")
            svc.send("open")
            svc.wait_event("window", show=1)
            self.assertEqual([e for e in svc.events() if e["ev"] == "menu"], [])
            svc.wait_stderr("tray")
            svc.stop()

    def test_log_lines_are_printed_as_they_are_added(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            mark = svc.mark()
            svc.send("sysinfo")
            line = svc.wait_event("log", since=mark)["text"]
            self.assertEqual(svc.wait_stdout(line), line)
            svc.stop()

    def test_end_of_input_keeps_the_service_running(self):
        with Service(answer="no") as svc:
            svc.wait_event("window", show=0)
            svc.close_stdin()
            # Only a signal can end it now; it must still be alive for that.
            self.assertIsNone(svc.process.poll())
            self.assertEqual(svc.kill(signal.SIGTERM), 0)


class Signals(unittest.TestCase):
    def test_sigterm_and_sigint_end_it_as_the_menu_exit_does(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name), Service(answer="no") as svc:
                svc.wait_event("window", show=0)  # running (its initialisation may still go on)
                self.assertEqual(svc.kill(sig), 0)
                evs = [(e["ev"], e.get("op")) for e in dialog_events(svc)]
                self.assertIn(("tray", "delete"), evs)
                self.assertEqual(evs[-1], ("exit", None))
                self.assertEqual(svc.stderr_lines(), [])


if __name__ == "__main__":
    unittest.main()
