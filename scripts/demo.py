#!/usr/bin/env python3
"""The whole system on loopback: the real qarx-service on the console, against
a local update server, a sample Windows 7 PC and a private pcscd with a
virtual VLT terminal. Started by scripts/demo (which installs and builds
first); everything it starts ends when the service exits or on Ctrl-C.

    scripts/demo                      answer the questions yourself (y/n)
    QARX_ANSWER=yes scripts/demo      unattended: every question answered Yes;
                                      the demo ends by itself when all is done
    scripts/demo --stay               with QARX_ANSWER: keep running until `exit`

QARX_BIN_DIR picks the programs (default build/default/bin); QARX_DEMO_KEEP=1
keeps the demo's folder (server files, temporary folder, events) afterwards.
"""

import argparse
import hashlib
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
# Installers the server offers: path -> (package, padded size in KB).
INSTALLERS = {
    "/static/basis/ic/setup_xp.exe": ("CCID reader driver", 160),
    "/static/basis/ic/ICCardSetup_1.0.0.2.exe": ("browser control 1.0.0.2", 180),
    "/static/basis/ic/DozAziDedav_1.0.0.2.exe": ("service program 1.0.0.2", 120),
    "/static/cos/VLT_Terminal_CosUpdate.exe": ("terminal firmware update tool 1.0.0.5", 200),
}
DEADLINE = 300  # seconds an unattended run may take


def say(text):
    print("[demo] " + text, flush=True)


def vouched(config, digests):
    """The configuration with each @SHA256@ replaced by the digest of the
    installer whose URL comes before it in its section."""
    lines, path = [], None
    for line in config.splitlines(keepends=True):
        if line.startswith("URL=@SERVER@"):
            path = line[len("URL=@SERVER@"):].strip()
        lines.append(line.replace("@SHA256@", digests[path]) if line.startswith("SHA256=") else line)
    return "".join(lines)


def identity(model, version):
    """The terminal's answer to the identify command: tag 1 holds the model's
    first three characters at offset 8, tag 6 the rest, tag 2 the firmware."""
    def tlv(tag, value):
        return "%02X%02X%s" % (tag, len(value), value.hex().upper())
    return tlv(1, bytes(8) + model[:3].encode()) + tlv(6, model[3:].encode()) + tlv(2, version.encode()) + "9000"


class Demo:
    def __init__(self, bin_dir, unattended, stay):
        self.bin_dir = bin_dir
        self.unattended = unattended
        self.stay = stay
        self.work = tempfile.mkdtemp(prefix="qarx-demo-")
        self.events_path = os.path.join(self.work, "events.jsonl")
        self.demo_log = os.path.join(self.work, "demo.log")
        self.server = None
        self.bed = None
        self.service = None
        self.state = {"check_done": False, "plugged": False, "opened": False, "jobs": 0, "ended": 0,
                      "prompts": 0, "answers": 0, "job_started": False}
        self.lock = threading.Lock()
        self.stopping = threading.Event()

    # ---- the pieces ----
    def start_server(self):
        root = os.path.join(self.work, "server")
        port = free_ports(1)
        url = "http://127.0.0.1:%d" % port
        os.makedirs(os.path.join(root, "static", "basis", "ic"))
        os.makedirs(os.path.join(root, "static", "cos"))
        shutil.copytree(os.path.join(DATA, "portal"), os.path.join(root, "portal"))
        with open(os.path.join(DATA, "installers", "install.sh"), encoding="utf-8") as f:
            template = f.read()
        routes = []
        digests = {}
        for path, (package, kb) in INSTALLERS.items():
            script = template.replace("@PACKAGE@", package)
            # Padded to the configured size so the progress bar has something to show.
            padding = "# " + "-" * 77 + "\n"
            script += padding * ((kb * 1024 - len(script)) // len(padding))
            local = os.path.join(root, path.lstrip("/"))
            with open(local, "w", encoding="utf-8") as f:
                f.write(script)
            digests[path] = hashlib.sha256(script.encode("utf-8")).hexdigest()
            routes += ["--route", "%s=%s" % (path, json.dumps({"file": local, "chunk": 16384, "delay": 0.08}))]
        with open(os.path.join(DATA, "SetupConfig.ini"), encoding="utf-8") as f:
            config = vouched(f.read(), digests).replace("@SERVER@", url)
        with open(os.path.join(root, CONFIG_PATH.lstrip("/")), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(config)
        self.server = subprocess.Popen(
            [sys.executable, os.path.join(REPO, "tests", "integration", "harness", "update_server.py"),
             "--root", root, "--port", str(port), "--log", os.path.join(self.work, "requests.jsonl")] + routes,
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, start_new_session=True)
        line = self.server.stdout.readline().decode().strip()
        if not line.startswith("listening "):
            raise RuntimeError("the update server did not start: %r" % line)
        self.server_url = url
        say("update server:  %s (SetupConfig.ini with [CCID] [Control] [Server] [%s])" % (url, MODEL))

    def make_windows_root(self):
        folder = os.path.join(self.work, "windows")
        windows_root.windows7_pc(folder, control_version=(1, 0, 0, 0))
        say("Windows side:   %s (Windows 7 workstation; browser control 1.0.0.0 installed,"
            " service program missing)" % folder)
        return folder

    def start_pcscd(self):
        reason = skip_reason(self.bin_dir)
        if reason:
            raise RuntimeError("the private pcscd cannot run: " + reason)
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

    # ---- watching ----
    def narrate(self, event):
        ev = event["ev"]
        with self.lock:
            s = self.state
            if ev == "log" and event["text"] in CHECK_LAST_FINDINGS:
                s["last_findings"] = True
            elif ev == "log" and event["text"] == SEPARATOR and s.get("last_findings") and not s["check_done"]:
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
                if line:
                    on_line(line.decode("utf-8", "replace"))
            self.stopping.wait(0.1)

    def forward_input(self):
        """The user's lines go to the service; at the end of input without
        automatic answers, the service's input ends too (open questions are
        then answered No)."""
        for line in sys.stdin:
            try:
                self.service.stdin.write(line.encode("utf-8"))
                self.service.stdin.flush()
            except (BrokenPipeError, ValueError):
                return
        if not self.unattended:
            try:
                self.service.stdin.close()
            except (BrokenPipeError, ValueError):
                pass

    def send(self, line):
        try:
            self.service.stdin.write((line + "\n").encode())
            self.service.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass

    def everything_happened(self):
        s = self.state
        return (s["check_done"] and s["plugged"] and s["opened"] and s["ended"] >= s["jobs"] and
                s["answers"] >= s["prompts"])

    # ---- the run ----
    def run(self):
        self.start_server()
        windows = self.make_windows_root()
        self.start_pcscd()
        self.start_service(windows)
        for target in (lambda: self.follow(self.events_path, lambda l: self.narrate(json.loads(l))),
                       lambda: self.follow(self.demo_log, say),
                       self.forward_input):
            threading.Thread(target=target, daemon=True).start()
        started = time.monotonic()
        done_at = None
        told = False
        while self.service.poll() is None:
            time.sleep(0.1)
            with self.lock:
                check_done, plugged = self.state["check_done"], self.state["plugged"]
                happened = self.everything_happened()
            if check_done and not plugged:
                time.sleep(1)
                self.plug_terminal()
                with self.lock:
                    self.state["plugged"] = True
            # Done once nothing is left to happen for a while.
            if not happened:
                done_at = None
            elif done_at is None:
                done_at = time.monotonic()
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
        self.summary(code)
        return code

    def summary(self, code):
        say("the service ended with status %d" % code)
        if os.path.isdir(self.temp_folder):
            say("temporary folder %s: %s" % (self.temp_folder, ", ".join(sorted(os.listdir(self.temp_folder)))))
        try:
            with open(os.path.join(self.work, "requests.jsonl"), encoding="utf-8") as f:
                paths = [json.loads(line)["path"] for line in f if line.strip()]
            say("the update server answered %d requests: %s" % (len(paths), ", ".join(paths)))
        except FileNotFoundError:
            pass

    def close(self):
        self.stopping.set()
        # An `exit` line could be taken as the answer to an open question, so
        # a service still running here is terminated instead.
        _end(self.service)
        if self.bed:
            self.bed.close()
        _end(self.server)
        if os.environ.get("QARX_DEMO_KEEP"):
            say("kept %s" % self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)


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
    args = parser.parse_args()
    bin_dir = os.environ.get("QARX_BIN_DIR") or os.path.join(REPO, "build", "default", "bin")
    unattended = os.environ.get("QARX_ANSWER") in ("yes", "no")
    demo = Demo(bin_dir, unattended, args.stay)
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
    except (RuntimeError, AssertionError, OSError) as error:
        say("failed: %s" % error)
        return 1
    finally:
        demo.close()


if __name__ == "__main__":
    sys.exit(main())
