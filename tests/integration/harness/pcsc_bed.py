"""A private pcscd for the terminal tests, with readers the test plugs in and
pulls out, and cards it inserts and removes.

    from harness.pcsc_bed import PcscBed, skip_reason

    with PcscBed(vpcd="VLT Desk", plugged=["t1"]) as bed:
        env = bed.env()                                  # PCSCLITE_CSOCK_NAME of this pcscd
        bed.put_card("t1", answers={"7E10000100": "...9000"})
        name = bed.plug("t2")                            # "VLT Terminal (t2) 00 00"
        bed.unplug("t2")
        bed.vpcd_card(0, answers={...})                  # a card in "VLT Desk 00 00"
        bed.vpcd_remove(0)
        bed.kill(); bed.start()                          # pcscd dies and comes back

    With debug=True, what the programs asked of pcscd (from its log):
        mark = bed.log_mark()                            # look only at what comes next
        bed.connects("VLT Desk 00 01", since=mark)       # attempts to connect to that reader
        bed.requests("DISCONNECT", since=mark)           # the clients that sent that command, one per request

How: pcscd runs in a mount namespace of its own, where a folder of the bed is
mounted on /run (its socket and pid file) and another on the driver folder,
which holds the bed's driver and vpcd. A fake udev is preloaded into it
(tests/integration/pcsc): the test plugs and unplugs "USB" readers by
writing lines into a FIFO. Those readers use the card-file driver: a reader
holds a card while its file exists. vpcd readers ("<vpcd> 00 00" and
"<vpcd> 00 01", ports P and P+1) get their cards from threads of this
process speaking vpcd's protocol. Every listener is on the loopback
interface (the fake udev keeps vpcd there). Needs root (mount namespaces).

Plugged devices stay plugged across a pcscd restart and cards stay in their
readers, as real hardware would. Everything started here ends with close()
(or the with block); nothing is left behind.
"""

import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading

from harness.wait import wait_until

PCSCD = "/usr/sbin/pcscd"
VPCD_LIBRARY = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so"
DRIVER_FOLDER = "/usr/lib/pcsc/drivers"
VENDOR = "0x1209"
VLT = "0001"    # product of a terminal: "VLT Terminal (SERIAL) NN 00"
OTHER = "0002"  # a reader of no interest: "Other Reader (SERIAL) NN 00"
NAMES = {VLT: "VLT Terminal", OTHER: "Other Reader"}
DEFAULT_ATR = "3B800181"  # T=1
T0_ATR = "3B021122"       # T=0 only

_NAMESPACE = ('mount --bind "$1" /run && mount --bind "$2" ' + DRIVER_FOLDER +
              ' && exec env LD_PRELOAD="$3" ' + PCSCD + ' --foreground -c "$4"')

_INFO_PLIST = """<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>libqarx_card_file_ifd.so</string>
	<key>ifdVendorID</key>
	<array>
		<string>{vendor}</string>
		<string>{vendor}</string>
	</array>
	<key>ifdProductID</key>
	<array>
		<string>0x{vlt}</string>
		<string>0x{other}</string>
	</array>
	<key>ifdFriendlyName</key>
	<array>
		<string>{vlt_name}</string>
		<string>{other_name}</string>
	</array>
</dict>
</plist>
"""


def _repo():
    return os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def helpers(bin_dir=None):
    folder = bin_dir or os.environ.get("QARX_BIN_DIR") or os.path.join(_repo(), "build", "default", "bin")
    return os.path.join(folder, "pcsc-bed")


def skip_reason(bin_dir=None):
    """Why the bed cannot run here, or None."""
    if os.geteuid() != 0:
        return "needs root: the test pcscd runs in a mount namespace of its own"
    for path, what in ((PCSCD, "pcscd (Debian package pcscd)"), (VPCD_LIBRARY, "vpcd (vsmartcard-vpcd)")):
        if not os.path.exists(path):
            return "%s is not installed" % what
    if not shutil.which("unshare"):
        return "unshare (util-linux) is missing"
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "--", "true"], capture_output=True)
    if probe.returncode:
        return "mount namespaces are not allowed here: %s" % probe.stderr.decode(errors="replace").strip()
    for name in ("libqarx_fake_udev.so", "libqarx_card_file_ifd.so", "qarx-pcsc-list"):
        if not os.path.exists(os.path.join(helpers(bin_dir), name)):
            return "%s is not built" % name
    return None


def free_ports(count):
    """count consecutive free TCP ports on the loopback interface."""
    for _ in range(100):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            first = probe.getsockname()[1]
        if first + count > 65535:
            continue
        try:
            for port in range(first, first + count):
                with socket.socket() as s:
                    s.bind(("127.0.0.1", port))
            return first
        except OSError:
            continue
    raise AssertionError("no %d free consecutive ports" % count)


class _VpcdCard:
    """A card in a vpcd slot: a client of vpcd's port that answers its
    messages (two-byte length, then the payload; a one-byte payload is a
    control code: 0 power off, 1 on, 2 reset, 4 ATR wanted)."""

    def __init__(self, port, atr, answers, default):
        self.port = port
        self.atr = bytes.fromhex(atr)
        self.answers = {bytes.fromhex(k): bytes.fromhex(v) for k, v in answers.items()}
        self.default = bytes.fromhex(default)
        self.commands = []
        self._stop = threading.Event()
        self._socket = None
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def remove(self):
        self._stop.set()
        sock = self._socket
        if sock:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self._thread.join(5)

    def _connect(self):
        for family, address in ((socket.AF_INET, "127.0.0.1"), (socket.AF_INET6, "::1")):
            sock = socket.socket(family, socket.SOCK_STREAM)
            try:
                sock.settimeout(0.5)
                sock.connect((address, self.port))
                sock.settimeout(None)
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                return sock
            except OSError:
                sock.close()
        return None

    def _run(self):
        # Stays in its slot: when pcscd goes away it connects again.
        while not self._stop.is_set():
            sock = self._connect()
            if sock is None:
                self._stop.wait(0.05)
                continue
            self._socket = sock
            try:
                self._serve(sock)
            except OSError:
                pass
            finally:
                self._socket = None
                sock.close()

    def _serve(self, sock):
        while not self._stop.is_set():
            header = self._read(sock, 2)
            if header is None:
                return
            payload = self._read(sock, struct.unpack("!H", header)[0]) or b""
            if len(payload) == 1:
                reply = self.atr if payload[0] == 4 else None
            else:
                self.commands.append(payload.hex().upper())
                reply = self.answers.get(payload, self.default)
            if reply is not None:
                sock.sendall(struct.pack("!H", len(reply)) + reply)

    @staticmethod
    def _read(sock, n):
        data = b""
        while len(data) < n:
            chunk = sock.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data


class PcscBed:
    def __init__(self, vpcd=None, plugged=(), bin_dir=None, debug=False):
        """vpcd: friendly name of one vpcd entry (two slots), or None.
        plugged: device ids present when pcscd starts (terminals; use
        plug() for other products)."""
        self.dir = tempfile.mkdtemp(prefix="qarx-pcsc-", dir="/tmp")
        self.vpcd = vpcd
        self.vpcd_port = free_ports(2) if vpcd else None
        self.debug = debug
        self.devices = {}  # id -> (product, serial), in plug order
        for dev_id in plugged:
            self.devices[dev_id] = (VLT, dev_id)
        self.process = None
        self._helpers = helpers(bin_dir)
        self._cards = {}  # vpcd slot -> _VpcdCard
        self._layout()

    # ---- paths ----
    def _path(self, *parts):
        return os.path.join(self.dir, *parts)

    @property
    def socket_path(self):
        return self._path("run", "pcscd", "pcscd.comm")

    def env(self):
        return {"PCSCLITE_CSOCK_NAME": self.socket_path}

    def _layout(self):
        for folder in ("run", "cards", "conf"):
            os.makedirs(self._path(folder))
        bundle = self._path("drivers", "qarx_card_file.bundle", "Contents")
        os.makedirs(os.path.join(bundle, "Linux"))
        shutil.copy(os.path.join(self._helpers, "libqarx_card_file_ifd.so"), os.path.join(bundle, "Linux"))
        with open(os.path.join(bundle, "Info.plist"), "w") as f:
            f.write(_INFO_PLIST.format(vendor=VENDOR, vlt=VLT, other=OTHER, vlt_name=NAMES[VLT],
                                       other_name=NAMES[OTHER]))
        os.makedirs(self._path("drivers", "serial"))
        shutil.copy(os.path.realpath(VPCD_LIBRARY), self._path("drivers", "serial", "libifdvpcd.so"))
        with open(self._path("conf", "reader.conf"), "w") as f:
            if self.vpcd:
                f.write('FRIENDLYNAME "%s"\nDEVICENAME /dev/null:%d\nLIBPATH %s\n' % (
                    self.vpcd, self.vpcd_port, VPCD_LIBRARY))
        os.mkfifo(self._path("udev.fifo"), 0o600)

    # ---- pcscd ----
    def start(self, timeout=10):
        if self.process and self.process.poll() is None:
            raise AssertionError("the test pcscd already runs")
        for stale in (self.socket_path, self._path("run", "pcscd", "pcscd.pid")):
            if os.path.exists(stale):
                os.unlink(stale)
        env = dict(os.environ,
                   QARX_BED_FIFO=self._path("udev.fifo"),
                   QARX_BED_CARDS=self._path("cards"),
                   QARX_BED_DEVICES=";".join("%s %s %s" % (i, p, s or "-") for i, (p, s) in self.devices.items()))
        args = ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c", _NAMESPACE, "sh",
                self._path("run"), self._path("drivers"), os.path.join(self._helpers, "libqarx_fake_udev.so"),
                self._path("conf")]
        if self.debug:
            args[args.index(_NAMESPACE)] = _NAMESPACE + " --debug --apdu"
        with open(self._path("pcscd.log"), "ab") as log:
            self.process = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=subprocess.STDOUT)
        patterns = [self._pattern(d) for d in self.devices if self.devices[d][0] in NAMES]

        def ready():
            if self.process.poll() is not None:
                raise AssertionError("pcscd ended (%s): %s" % (self.process.returncode, self.log_tail()))
            names = self.readers(must_answer=False)
            return (names is not None and set(self.static_readers()) <= set(names) and
                    all(any(self._matches(n, p) for n in names) for p in patterns))
        try:
            wait_until(ready, timeout, "pcscd ready")
        except AssertionError:
            self.kill()
            raise
        return self

    def stop(self):
        """pcscd ends in order (SIGTERM)."""
        self._end(signal.SIGTERM)

    def kill(self):
        """pcscd dies (SIGKILL), as in a crash."""
        self._end(signal.SIGKILL)

    def _end(self, sig):
        if not self.process:
            return
        if self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def pid(self):
        return self.process.pid if self.process and self.process.poll() is None else None

    def close(self):
        for card in list(self._cards.values()):
            card.remove()
        self._cards.clear()
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()
        return False

    def log_mark(self):
        """Where pcscd's log ends now."""
        try:
            return os.path.getsize(self._path("pcscd.log"))
        except OSError:
            return 0

    def _log(self, since, until):
        try:
            with open(self._path("pcscd.log"), "rb") as f:
                f.seek(since)
                data = f.read() if until is None else f.read(max(0, until - since))
        except FileNotFoundError:
            return ""
        text = data.decode("utf-8", "replace")
        return text[:text.rfind("\n") + 1]  # a line still being written waits for the next look

    def requests(self, command, since=0, until=None):
        """The clients (pcscd's numbers, reused once a client is gone) that
        sent command ("RELEASE_CONTEXT", "DISCONNECT",
        "CMD_WAIT_READER_STATE_CHANGE", ...) between two log_mark()s, one
        per request. Needs debug=True."""
        pattern = r"Received command: %s from client (\d+)" % re.escape(command)
        return [int(client) for client in re.findall(pattern, self._log(since, until))]

    def connects(self, reader, since=0):
        """How often a program asked to connect to reader after log_mark()
        since (also when it failed). Needs debug=True."""
        return self._log(since, None).count("Attempting Connect to %s using" % reader)

    def log_tail(self, lines=30):
        try:
            with open(self._path("pcscd.log"), errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except OSError:
            return ""

    # ---- what pcscd shows ----
    def _list(self, *args):
        result = subprocess.run([os.path.join(self._helpers, "qarx-pcsc-list"), *args], env=dict(os.environ, **self.env()),
                                capture_output=True, text=True, timeout=10)
        return None if result.returncode else result.stdout.splitlines()

    def readers(self, must_answer=True):
        names = self._list()
        if names is None and must_answer:
            raise AssertionError("the test pcscd does not answer: " + self.log_tail())
        return names

    def card_state(self, reader):
        """"present", "empty" or "unknown"."""
        state = self._list(reader)
        return state[0] if state else "unknown"

    def wait_card(self, reader, present, timeout=5):
        wanted = "present" if present else "empty"
        wait_until(lambda: self.card_state(reader) == wanted, timeout, "%s %s" % (reader, wanted))

    def static_readers(self):
        return ["%s 00 00" % self.vpcd, "%s 00 01" % self.vpcd] if self.vpcd else []

    def _pattern(self, dev_id):
        product, serial = self.devices[dev_id]
        return NAMES[product] + (" (%s)" % serial if serial else "")

    @staticmethod
    def _matches(name, pattern):
        rest = name[len(pattern):]
        return name.startswith(pattern) and len(rest) == 6 and rest.endswith(" 00")

    def reader_of(self, dev_id):
        pattern = self._pattern(dev_id)
        return next((n for n in self.readers() if self._matches(n, pattern)), None)

    # ---- plugging ----
    def _send(self, line):
        fd = os.open(self._path("udev.fifo"), os.O_WRONLY | os.O_NONBLOCK)
        try:
            os.write(fd, (line + "\n").encode())
        finally:
            os.close(fd)

    def plug(self, dev_id, product=VLT, serial=None, timeout=5):
        """Plugs device dev_id in; returns its reader name once pcscd lists it
        (None for a product without a driver, or while pcscd is down)."""
        if dev_id in self.devices:
            raise AssertionError("%s is plugged already" % dev_id)
        self.devices[dev_id] = (product, dev_id if serial is None else serial)
        if not self.pid():
            return None
        self._send("add %s %s %s" % (dev_id, product, self.devices[dev_id][1] or "-"))
        if product not in NAMES:
            return None
        return wait_until(lambda: self.reader_of(dev_id), timeout, "reader of %s listed" % dev_id)

    def unplug(self, dev_id, timeout=5):
        name = self.reader_of(dev_id) if self.pid() and self.devices[dev_id][0] in NAMES else None
        del self.devices[dev_id]
        if not self.pid():
            return
        self._send("remove %s" % dev_id)
        if name:
            wait_until(lambda: name not in self.readers(), timeout, "%s gone" % name)

    # ---- cards ----
    def put_card(self, dev_id, answers=None, atr=DEFAULT_ATR, default="6D00", wait=True):
        """Inserts a card into the reader of device dev_id (also before it is
        plugged). answers: command hex -> response hex."""
        lines = ["atr %s" % atr, "default %s" % default]
        lines += ["answer %s %s" % (c.replace(" ", ""), r.replace(" ", "")) for c, r in (answers or {}).items()]
        temp = self._path("cards", ".%s.new" % dev_id)
        with open(temp, "w") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(temp, self._path("cards", dev_id))
        if wait and self.pid() and dev_id in self.devices:
            self.wait_card(self.reader_of(dev_id), True)

    def pull_card(self, dev_id, wait=True):
        os.unlink(self._path("cards", dev_id))
        if wait and self.pid() and dev_id in self.devices:
            self.wait_card(self.reader_of(dev_id), False)

    def vpcd_card(self, slot, answers=None, atr=DEFAULT_ATR, default="6D00", wait=True):
        """Inserts a card into "<vpcd> 00 0<slot>"."""
        if slot in self._cards:
            raise AssertionError("slot %d holds a card already" % slot)
        self._cards[slot] = _VpcdCard(self.vpcd_port + slot, atr, answers or {}, default)
        if wait:
            self.wait_card(self.static_readers()[slot], True)
        return self._cards[slot]

    def vpcd_remove(self, slot, wait=True):
        self._cards.pop(slot).remove()
        if wait:
            self.wait_card(self.static_readers()[slot], False)
