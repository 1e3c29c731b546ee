"""Run the real qarx-service for an integration test and watch what it does.

    from harness.service import Service

    with Service(answer="yes", env={"QARX_UPDATE_SERVER": url}) as svc:
        svc.wait_event("log", text="...")      # -> that event, a dict
        svc.send("sysinfo")                    # one command line on stdin
        mark = svc.mark()                      # wait only for what comes next
        svc.wait_event("window", since=mark, show=0)
        svc.stop()                             # `exit` command, waits for the end

Service(env=None, answer=None, runtime_dir=None, events_path=None, bin_dir=None, ui="console",
        command=None, program_path=None)
    env          extra environment variables for the process (strings)
    answer       "yes"/"no" sets QARX_ANSWER; None leaves questions to send()
    runtime_dir  XDG_RUNTIME_DIR, where the named mutexes live. Each Service
                 gets a private one by default; hand the same one to two
                 Services to let them meet (the single-instance rule).
    events_path  the QARX_EVENTS file; a fresh temporary file by default
    bin_dir      where qarx-service is; $QARX_BIN_DIR, else build/default/bin
    ui           QARX_UI
    command      the argv that starts the service (default: the binary itself;
                 the Windows build runs under Wine, see harness.wine)
    program_path how the program names a path of ours (QARX_EVENTS); default as is

The activity log file goes to the default place under a private
XDG_STATE_HOME (attribute activity_log_path) unless env names QARX_LOG.

Methods: start() (also __enter__; starting twice starts once), send(line), close_stdin(), mark(), events(),
wait_event(ev, timeout=TIMEOUT, since=0, **fields), wait_stdout(text,
timeout=TIMEOUT) and wait_stderr(text, timeout=TIMEOUT) -> the first line
containing text, stdout_lines(), stderr_lines(), activity_entries() -> [(aware datetime, entry text)],
wait_exit(timeout=TIMEOUT) -> exit status, stop(timeout=TIMEOUT) -> exit status,
kill(sig=SIGKILL) -> exit status, seen(since=0) -> its events and last lines
of standard error as text (for a failing wait's message), and the attributes
process, runtime_dir and events_path. Leaving the `with` block stops the
process (killing it if it does not end) and removes the temporary files.
Every wait is harness.wait's wait_until: it raises AssertionError with what
was seen when its timeout passes; nothing passes or fails on speed.
"""

import datetime
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import unittest

from harness.wait import TIMEOUT, wait_until


def skip_class_unless_ready(reason_of):
    """A setUpClass that skips the whole class when reason_of() names what
    this machine lacks (None: ready).

        class T(unittest.TestCase):
            setUpClass = skip_class_unless_ready(skip_reason)
    """
    def setUpClass(cls):
        reason = reason_of()
        if reason:
            raise unittest.SkipTest(reason)
    return classmethod(setUpClass)


_REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def binary(name, bin_dir=None):
    """Path of one of the project's programs (qarx-service, qarx-mutex)."""
    folder = bin_dir or os.environ.get("QARX_BIN_DIR") or os.path.join(_REPO, "build", "default", "bin")
    return os.path.join(folder, name)


class Service:
    def __init__(self, env=None, answer=None, runtime_dir=None, events_path=None, bin_dir=None, ui="console",
                 command=None, program_path=None, cwd=None):
        self._temp = tempfile.mkdtemp(prefix="qarx-it-")
        self.runtime_dir = runtime_dir or os.path.join(self._temp, "run")
        os.makedirs(self.runtime_dir, mode=0o700, exist_ok=True)
        self.events_path = events_path or os.path.join(self._temp, "events.jsonl")
        self._env = dict(os.environ)
        program_path = program_path or (lambda path: path)
        self._env.update({"QARX_UI": ui, "QARX_EVENTS": program_path(self.events_path),
                          "XDG_RUNTIME_DIR": self.runtime_dir})
        self._env.pop("QARX_ANSWER", None)
        self._env.pop("QARX_LOG", None)
        self._env["XDG_STATE_HOME"] = os.path.join(self._temp, "state")
        if answer is not None:
            self._env["QARX_ANSWER"] = answer
        self._env.update(env or {})
        self.activity_log_path = self._env.get("QARX_LOG") or os.path.join(
            self._env["XDG_STATE_HOME"], "qarx", "activity.log")
        self._command = command or [binary("qarx-service", bin_dir)]
        self._cwd = cwd
        self.process = None
        self._lock = threading.Lock()
        self._stdout = []
        self._stderr = []
        self._readers = []

    # ---- life ----
    def start(self):
        if self.process:
            return self
        self.process = subprocess.Popen(
            self._command, env=self._env, cwd=self._cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        for stream, lines in ((self.process.stdout, self._stdout), (self.process.stderr, self._stderr)):
            reader = threading.Thread(target=self._collect, args=(stream, lines), daemon=True)
            reader.start()
            self._readers.append(reader)
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            try:
                self.stop(timeout=5)
            except AssertionError:
                self.kill()
        shutil.rmtree(self._temp, ignore_errors=True)
        return False

    def send(self, line):
        self.process.stdin.write((line + "\n").encode("utf-8"))
        self.process.stdin.flush()

    def close_stdin(self):
        self.process.stdin.close()

    def wait_exit(self, timeout=TIMEOUT):
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("qarx-service still runs after %ss" % timeout) from None
        for reader in self._readers:
            reader.join(timeout=5)
        # A program the service started may still hold its output pipes (under
        # Wine a started program shares the service's standard streams):
        # closing a stream that a reader still reads would wait for that
        # program, so such a stream is left to its reader.
        done = [stream for stream, reader in zip((self.process.stdout, self.process.stderr), self._readers)
                if not reader.is_alive()]
        for stream in [self.process.stdin] + done:
            try:
                stream.close()
            except OSError:
                pass
        return code

    def stop(self, timeout=TIMEOUT):
        """Ends the service with the tray menu's exit command (while a
        question is open, that line answers it instead)."""
        if self.process.poll() is None:
            try:
                self.send("exit")
            except (BrokenPipeError, ValueError):
                pass
        return self.wait_exit(timeout)

    def kill(self, sig=signal.SIGKILL):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        return self.wait_exit()

    # ---- what it did ----
    def events(self):
        try:
            with open(self.events_path, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        # A line is complete once its line end is there.
        return [json.loads(line) for line in text.split("\n")[:-1] if line]

    def activity_entries(self):
        try:
            with open(self.activity_log_path, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        entries = []
        for line in text.split("\n")[:-1]:
            stamp, entry = line.split(" ", 1)
            entries.append((datetime.datetime.fromisoformat(stamp), entry))
        return entries

    def mark(self):
        return len(self.events())

    def wait_event(self, ev, timeout=TIMEOUT, since=0, **fields):
        def match(event):
            return event.get("ev") == ev and all(event.get(k) == v for k, v in fields.items())
        return wait_until(lambda: next((e for e in self.events()[since:] if match(e)), None), timeout,
                          "event %s %s" % (ev, fields), seen=lambda: self.seen(since))

    def seen(self, since=0):
        return "events: %s; stderr: %s" % (self.events()[since:], self.stderr_lines())

    def stdout_lines(self):
        with self._lock:
            return list(self._stdout)

    def stderr_lines(self):
        with self._lock:
            return list(self._stderr)

    def wait_stdout(self, text, timeout=TIMEOUT):
        return self._wait_line(self.stdout_lines, "stdout", text, timeout)

    def wait_stderr(self, text, timeout=TIMEOUT):
        return self._wait_line(self.stderr_lines, "stderr", text, timeout)

    # ---- inside ----
    def _collect(self, stream, lines):
        for raw in stream:
            with self._lock:
                lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    @staticmethod
    def _wait_line(lines, name, text, timeout):
        return wait_until(lambda: next((l for l in lines() if text in l), None), timeout,
                          "%s line with %r" % (name, text), seen=lambda: "%s: %s" % (name, lines()))
