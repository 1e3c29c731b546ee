#!/usr/bin/env python3
"""The whole system on loopback: the real qarx-service against a local update
server whose SetupConfig.ini is made by qarx-release, a sample Windows 7 PC
and a card terminal plugged in after the start-up check. Started by
scripts/demo (which installs and builds first); everything it starts ends
when the service exits or on Ctrl-C.

    scripts/demo                      answer the questions yourself (y/n)
    QARX_ANSWER=yes scripts/demo      unattended: every question answered Yes;
                                      the demo ends by itself when all is done
    scripts/demo --stay               with QARX_ANSWER: keep running until `exit`
    scripts/demo --windows            qarx-service.exe under Wine (demo_windows.py)

On Linux the service runs on the console, the Windows side is a sample folder
(QARX_WINDOWS_ROOT) and the terminal a virtual one in a private pcscd.

QARX_BIN_DIR picks the programs (default build/default/bin, with --windows
build/windows/bin); QARX_DEMO_KEEP=1 keeps the demo's folder (server files,
temporary folder, events) afterwards.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(REPO, "scripts", "demo-data")
sys.path.insert(0, os.path.join(REPO, "tests", "integration"))
sys.dont_write_bytecode = True

from harness import windows_root  # noqa: E402
from harness.pcsc_bed import PcscBed, free_ports, skip_reason  # noqa: E402

CONFIG_PATH = "/static/basis/ic/SetupConfig.ini"
SEPARATOR = "-" * 47
CHECK_LAST_FINDINGS = ("未检查到新的服务程序安装包!", "检查到新的服务程序安装包!")
IDENTIFY = "7E10000100"
MODEL = "VLT-X2"
TERMINAL_FIRMWARE = "1.0.0.1"  # the configuration's [VLT-X2] offers 1.0.0.5
DEADLINE = 300  # seconds an unattended run may take


_OUTPUT = threading.Lock()


def say(text):
    # One write per line: the narrating threads' lines never run together.
    with _OUTPUT:
        sys.stdout.write("[demo] " + text + "\n")
        sys.stdout.flush()


def identity(model, version):
    """The terminal's answer to the identify command: tag 1 holds the model's
    first three characters at offset 8, tag 6 the rest, tag 2 the firmware."""
    def tlv(tag, value):
        return "%02X%02X%s" % (tag, len(value), value.hex().upper())
    return tlv(1, bytes(8) + model[:3].encode()) + tlv(6, model[3:].encode()) + tlv(2, version.encode()) + "9000"


class Unavailable(RuntimeError):
    """This machine cannot run the demo (exit status 77)."""


class Package:
    """A file the update server offers: its section of SetupConfig.ini, its
    path on the server, what the narration calls it, its bytes, and its
    version when the file has no version resource to read it from."""
    def __init__(self, section, path, label, data, version=None):
        self.section, self.path, self.label, self.data, self.version = section, path, label, data, version


class Demo:
    """What both demos share: the update server, the narration of the
    service's events, the person's input, and knowing when all is done."""
    def __init__(self, bin_dir, unattended, stay):
        self.bin_dir = bin_dir
        self.unattended = unattended
        self.stay = stay
        self.work = tempfile.mkdtemp(prefix="qarx-demo-")
        self.events_path = os.path.join(self.work, "events.jsonl")
        self.server = None
        self.service = None
        self.state = {}
        self.new_session()
        self.lock = threading.Lock()
        self.stopping = threading.Event()

    def new_session(self):
        """What one run of the service has done so far."""
        self.state = {"check_done": False, "plugged": self.state.get("plugged", False), "opened": False,
                      "jobs": 0, "ended": 0, "prompts": 0, "answers": 0, "job_started": False, "checks": []}

    # ---- the update server ----
    def release_command(self, section, base, path, version):
        """The argv of qarx-release for one package file."""
        raise NotImplementedError

    def section(self, package):
        """The package's section, as qarx-release prints it for the server."""
        base = self.server_url + os.path.dirname(package.path)
        argv = self.release_command(package.section, base, self.server_file(package),
                                    package.version and ".".join(map(str, package.version)))
        result = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, timeout=120,
                                env=self.release_env())
        if result.returncode != 0:
            raise RuntimeError("qarx-release failed for %s: %s" % (package.path, result.stderr.decode(errors="replace")))
        return result.stdout.decode("utf-8")

    def release_env(self):
        return None

    def server_file(self, package):
        return os.path.join(self.work, "server", package.path.lstrip("/"))

    def start_server(self, packages):
        """The update server on a free port, with every package file (sent
        in slow pieces so the progress bar has something to show) and the
        portal page; publish() then writes its SetupConfig.ini."""
        root = os.path.join(self.work, "server")
        port = free_ports(1)
        self.server_url = "http://127.0.0.1:%d" % port
        shutil.copytree(os.path.join(DATA, "portal"), os.path.join(root, "portal"))
        os.makedirs(os.path.dirname(os.path.join(root, CONFIG_PATH.lstrip("/"))), exist_ok=True)
        routes = []
        for package in packages:
            local = self.server_file(package)
            os.makedirs(os.path.dirname(local), exist_ok=True)
            with open(local, "wb") as f:
                f.write(package.data)
            routes += ["--route", "%s=%s" % (package.path, json.dumps({"file": local, "chunk": 16384, "delay": 0.08}))]
        self.server = subprocess.Popen(
            [sys.executable, os.path.join(REPO, "tests", "integration", "harness", "update_server.py"),
             "--root", root, "--port", str(port), "--log", os.path.join(self.work, "requests.jsonl")] + routes,
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, start_new_session=True)
        line = self.server.stdout.readline().decode().strip()
        if not line.startswith("listening "):
            raise RuntimeError("the update server did not start: %r" % line)

    def publish(self, packages):
        """SetupConfig.ini on the server: one qarx-release section per package."""
        config = "\r\n".join(self.section(package) for package in packages)
        path = os.path.join(self.work, "server", CONFIG_PATH.lstrip("/"))
        with open(path + ".new", "w", encoding="utf-8", newline="") as f:
            f.write(config)
        os.replace(path + ".new", path)
        return config

    # ---- watching ----
    def narrate(self, event):
        ev = event["ev"]
        with self.lock:
            s = self.state
            if ev == "log" and event["text"] in CHECK_LAST_FINDINGS:
                s["last_findings"] = event["text"]
            elif ev == "log" and event["text"] == SEPARATOR and s.get("last_findings"):
                # The start-up check's end: its last findings, then a separator.
                s["checks"].append(s["last_findings"])
                s["last_findings"] = None
                s["check_done"] = True
            elif ev == "status":
                if event["text"].startswith("开始下载"):
                    s["jobs"] += 1
                    s["job_started"] = True
                if not event["text"].startswith("正在下载"):
                    say("status: " + event["text"])
            elif ev == "progress":
                if s["job_started"] and event["pos"] == 0:
                    s["ended"] += 1
                if event["pos"] in (25, 50, 75, 100) and event["pos"] != s.get("last_pos"):
                    say("progress: %d%%" % event["pos"])
                s["last_pos"] = event["pos"]
            elif ev == "tray":
                say("tray icon " + ("shown" if event["op"] == "add" else "removed"))
            elif ev == "prompt":
                s["prompts"] += 1
            elif ev == "answer":
                s["answers"] += 1
            elif ev == "launch":
                say("started %s: %s" % (event["path"], "yes" if event["started"] else "FAILED"))
            elif ev == "open":
                s["opened"] = True
                say("portal home page handed to the browser: " + event["url"])

    def follow(self, path, on_line):
        offset = 0
        pending = b""
        while not self.stopping.is_set():
            try:
                with open(path, "rb") as f:
                    f.seek(offset)
                    chunk = f.read()
            except FileNotFoundError:
                chunk = b""
            offset += len(chunk)
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                if line.strip():
                    on_line(line.decode("utf-8", "replace").rstrip("\r"))
            self.stopping.wait(0.1)

    def watch(self, *files):
        """Narrates the events file and each (path, on_line) pair as lines
        arrive, and hands the person's lines to the running service."""
        for path, on_line in ((self.events_path, lambda line: self.narrate(json.loads(line))),) + files:
            threading.Thread(target=self.follow, args=(path, on_line), daemon=True).start()
        threading.Thread(target=self.forward_input, daemon=True).start()

    def forward_input(self):
        """The user's lines go to the service; at the end of input without
        automatic answers, the service's input ends too (open questions are
        then answered No)."""
        for line in sys.stdin:
            if self.consume(line):
                continue
            try:
                self.service.stdin.write(line.encode("utf-8"))
                self.service.stdin.flush()
            except (AttributeError, BrokenPipeError, ValueError):
                continue
        if not self.unattended and self.service:
            try:
                self.service.stdin.close()
            except (BrokenPipeError, ValueError):
                pass

    def consume(self, line):
        """True when a line of the person's is the demo's own, not the service's."""
        return False

    def send(self, line):
        try:
            self.service.stdin.write((line + "\n").encode())
            self.service.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass

    def quiet(self):
        """Every download ended and every question answered."""
        s = self.state
        return s["ended"] >= s["jobs"] and s["answers"] >= s["prompts"]

    def settled(self, condition, since):
        """For the run loop: the time from which condition() (under the lock)
        has held, or None while it does not."""
        with self.lock:
            holds = condition()
        if not holds:
            return None
        return since or time.monotonic()

    def summary(self, code, temp_folder):
        if code is not None:
            say("the service ended with status %d" % code)
        if os.path.isdir(temp_folder):
            say("temporary folder %s: %s" % (temp_folder, ", ".join(sorted(os.listdir(temp_folder)))))
        try:
            with open(os.path.join(self.work, "requests.jsonl"), encoding="utf-8") as f:
                paths = [json.loads(line)["path"] for line in f if line.strip()]
            say("the update server answered %d requests: %s" % (len(paths), ", ".join(paths)))
        except FileNotFoundError:
            pass

    def close(self):
        self.stopping.set()
        self.stop_pieces()
        _end(self.server)
        if os.environ.get("QARX_DEMO_KEEP"):
            say("kept %s" % self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    def stop_pieces(self):
        raise NotImplementedError


class LinuxDemo(Demo):
    """The Linux program on the console, a sample Windows 7 folder and a
    private pcscd with a virtual VLT terminal."""
    def __init__(self, bin_dir, unattended, stay):
        super().__init__(bin_dir, unattended, stay)
        self.demo_log = os.path.join(self.work, "demo.log")
        self.bed = None

    def release_command(self, section, base, path, version):
        return [os.path.join(self.bin_dir, "qarx-release"), "--section", section, base, path, version]

    @staticmethod
    def packages():
        """Shell scripts that only report their start, padded to a size
        the progress bar can show."""
        with open(os.path.join(DATA, "installers", "install.sh"), encoding="utf-8") as f:
            template = f.read()
        packages = []
        for section, path, label, kb, version in (
                ("CCID", "/static/basis/ic/setup_xp.exe", "CCID reader driver", 160, (1, 0, 0, 1)),
                ("Control", "/static/basis/ic/ICCardSetup_1.0.0.2.exe", "browser control 1.0.0.2", 180, (1, 0, 0, 2)),
                ("Server", "/static/basis/ic/DozAziDedav_1.0.0.2.exe", "service program 1.0.0.2", 120, (1, 0, 0, 2)),
                (MODEL, "/static/cos/VLT_Terminal_CosUpdate.exe", "terminal firmware update tool 1.0.0.5", 200,
                 (1, 0, 0, 5))):
            script = template.replace("@PACKAGE@", label)
            padding = "# " + "-" * 77 + "\n"
            script += padding * ((kb * 1024 - len(script)) // len(padding))
            packages.append(Package(section, path, label, script.encode("utf-8"), version))
        return packages

    def start_pcscd(self):
        reason = skip_reason(self.bin_dir)
        if reason:
            raise Unavailable("the private pcscd cannot run: " + reason)
        self.bed = PcscBed(bin_dir=self.bin_dir).start()
        say("PC/SC:          a private pcscd (%s); the VLT terminal is plugged in after the start-up check"
            % self.bed.socket_path)

    def start_service(self, windows):
        browser_dir = os.path.join(self.work, "bin")
        os.makedirs(browser_dir)
        shutil.copy(os.path.join(DATA, "browser.sh"), os.path.join(browser_dir, "xdg-open"))
        os.chmod(os.path.join(browser_dir, "xdg-open"), 0o755)
        runtime = os.path.join(self.work, "run")
        os.makedirs(runtime, mode=0o700)
        tmp = os.path.join(self.work, "tmp")
        os.makedirs(tmp)
        self.temp_folder = os.path.join(tmp, "qarx-%d" % os.geteuid())
        env = dict(os.environ, QARX_UI="console", QARX_EVENTS=self.events_path, QARX_UPDATE_SERVER=self.server_url,
                   QARX_PORTAL_URL=self.server_url + "/portal/index.html", QARX_WINDOWS_ROOT=windows, TMPDIR=tmp,
                   XDG_RUNTIME_DIR=runtime, QARX_DEMO_LOG=self.demo_log, no_proxy="127.0.0.1", NO_PROXY="127.0.0.1",
                   PATH=browser_dir + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"), **self.bed.env())
        say("starting %s on the console; the start-up check begins about 5 s after start"
            % os.path.join(self.bin_dir, "qarx-service"))
        if not self.unattended:
            say("answer the questions with y or n; type exit (or press Ctrl-C) to end")
        print(flush=True)
        self.service = subprocess.Popen([os.path.join(self.bin_dir, "qarx-service")], env=env, stdin=subprocess.PIPE)

    def plug_terminal(self):
        say("plugging in a VLT terminal: model %s, firmware %s" % (MODEL, TERMINAL_FIRMWARE))
        self.bed.put_card("t1", answers={IDENTIFY: identity(MODEL, TERMINAL_FIRMWARE)}, wait=False)
        say("pcscd lists %r" % self.bed.plug("t1", serial="DEMO0001"))

    def run(self):
        packages = self.packages()
        self.start_server(packages)
        self.publish(packages)
        say("update server:  %s (SetupConfig.ini made by qarx-release: [CCID] [Control] [Server] [%s])"
            % (self.server_url, MODEL))
        windows = os.path.join(self.work, "windows")
        windows_root.windows7_pc(windows, control_version=(1, 0, 0, 0))
        say("Windows side:   %s (Windows 7 workstation; browser control 1.0.0.0 installed,"
            " service program missing)" % windows)
        self.start_pcscd()
        self.start_service(windows)
        self.watch((self.demo_log, say))
        started = time.monotonic()
        done_at = None
        told = False
        while self.service.poll() is None:
            time.sleep(0.1)
            with self.lock:
                check_done, plugged = self.state["check_done"], self.state["plugged"]
            if check_done and not plugged:
                time.sleep(1)
                self.plug_terminal()
                with self.lock:
                    self.state["plugged"] = True
            # Done once nothing is left to happen for a while.
            done_at = self.settled(lambda: self.state["plugged"] and self.state["opened"] and self.quiet(), done_at)
            if done_at is not None and time.monotonic() - done_at > 2 and not told:
                told = True
                if self.unattended and not self.stay:
                    say("all done: ending the service")
                    self.send("exit")
                else:
                    say("all done; type exit (or press Ctrl-C) to end the demo")
            if self.unattended and not self.stay and time.monotonic() - started > DEADLINE:
                say("not done after %d s; ending" % DEADLINE)
                self.send("exit")
                break
        code = self.service.wait(timeout=30)
        time.sleep(0.3)  # the last events and installer lines
        self.summary(code, self.temp_folder)
        # Unattended, a run that never got everything done failed.
        return code if told or not self.unattended else 1

    def stop_pieces(self):
        # An `exit` line could be taken as the answer to an open question, so
        # a service still running here is terminated instead.
        _end(self.service)
        if self.bed:
            self.bed.close()


def _end(process):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def _interrupted(*_):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description="Runs the whole service on loopback.")
    parser.add_argument("--stay", action="store_true", help="with QARX_ANSWER, keep running until `exit`")
    parser.add_argument("--windows", action="store_true", help="qarx-service.exe under Wine")
    args = parser.parse_args()
    unattended = os.environ.get("QARX_ANSWER") in ("yes", "no")
    if args.windows:
        from demo_windows import WindowsDemo
        bin_dir = os.environ.get("QARX_BIN_DIR") or os.path.join(REPO, "build", "windows", "bin")
        demo = WindowsDemo(bin_dir, unattended, args.stay)
    else:
        bin_dir = os.environ.get("QARX_BIN_DIR") or os.path.join(REPO, "build", "default", "bin")
        demo = LinuxDemo(bin_dir, unattended, args.stay)
    # Ctrl-C also reaches the service (same process group); either way all is cleaned up.
    # Also when started with Ctrl-C ignored (a background job of a script).
    signal.signal(signal.SIGINT, _interrupted)
    signal.signal(signal.SIGTERM, _interrupted)
    try:
        return demo.run()
    except KeyboardInterrupt:
        print(flush=True)
        say("interrupted; cleaning up")
        return 130
    except Unavailable as error:
        say("cannot run here: %s" % error)
        return 77
    except (RuntimeError, AssertionError, OSError, subprocess.SubprocessError) as error:
        say("failed: %s" % error)
        return 1
    finally:
        demo.close()


if __name__ == "__main__":
    sys.exit(main())
