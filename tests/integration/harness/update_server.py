"""A small update server on 127.0.0.1 that can misbehave on purpose.

As a module:

    from harness.update_server import UpdateServer, pattern

    with UpdateServer(root=folder) as server:           # files of folder at their paths
        server.route("/x.exe", size=30 * 1024)          # generated body: pattern(n)
        server.route("/gone", status=404, body=b"<html>not here</html>")
        server.route("/cut", size=100000, reset_after=5000)
        url = server.url + "/x.exe"
        server.requests("/x.exe")                       # [{"time", "path", "headers"}, ...]

As a program (a demo reuses it):

    python3 update_server.py --root DIR --port N [--route '/p={"status":500}'] ...
    [--tls-cert PEM --tls-key PEM] [--log FILE]

It prints "listening <url>" once it accepts connections, and with --log
appends one JSON line per request.

Route behaviours (keywords of route(), keys of a --route JSON object):
    status       the answer's status (default 200)
    body         the body bytes (a str is taken as UTF-8)
    size         a generated body of this many bytes, streamed: pattern(size)
    file         a file to send
    location     a Location header (for redirects; status defaults to 302)
    reset_after  send this many body bytes, then reset the connection
    stall        seconds to wait before answering at all
    stall_after  (bytes, seconds): send bytes of the body, then wait
    hold         (bytes, threading.Event): send bytes of the body, then the
                 rest once the test sets the event (in-process use only)
    chunk, delay send the body in chunks of this many bytes, delay seconds apart
A path without a route is served from root when the file exists, else 404
with a small HTML body.
"""

import argparse
import http.server
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time

_PATTERN_PERIOD = 251


def pattern(size, offset=0):
    """The generated body: byte i is i % 251."""
    period = bytes(range(_PATTERN_PERIOD))
    start = offset % _PATTERN_PERIOD
    reps = (start + size) // _PATTERN_PERIOD + 1
    return (period * reps)[start:start + size]


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QarxUpdateServer"

    def log_message(self, fmt, *args):  # quiet; the request log is the record
        pass

    def do_GET(self):
        owner = self.server.owner
        owner._record(self.path, dict(self.headers.items()))
        plan = owner._plan_for(self.path)
        try:
            self._answer(plan, owner._stop)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def _answer(self, plan, stop):
        if plan.get("stall"):
            stop.wait(plan["stall"])
            return
        body_size, chunks = _body(plan)
        status = plan.get("status", 302 if "location" in plan else 200)
        self.send_response(status)
        if "location" in plan:
            self.send_header("Location", plan["location"])
        self.send_header("Content-Length", str(body_size))
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        sent = 0
        reset_after = plan.get("reset_after")
        stall_after = plan.get("stall_after")
        hold = plan.get("hold")
        for piece in chunks:
            if hold is not None and sent < hold[0] <= sent + len(piece):
                self.wfile.write(piece[:hold[0] - sent])
                self.wfile.flush()
                while not hold[1].wait(0.1):
                    if stop.is_set():
                        return
                piece = piece[hold[0] - sent:]
                sent = hold[0]
            if reset_after is not None and sent + len(piece) >= reset_after:
                self.wfile.write(piece[:reset_after - sent])
                self.wfile.flush()
                self._reset()
                return
            if stall_after is not None and sent + len(piece) >= stall_after[0]:
                self.wfile.write(piece[:stall_after[0] - sent])
                self.wfile.flush()
                stop.wait(stall_after[1])
                return
            self.wfile.write(piece)
            sent += len(piece)
            if plan.get("delay"):
                self.wfile.flush()
                if stop.wait(plan["delay"]):
                    return

    def _reset(self):
        # SO_LINGER with a zero time-out turns close() into a reset.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()


def _body(plan):
    """(size, iterator of pieces) of the planned body."""
    chunk = int(plan.get("chunk", 64 * 1024))
    if "file" in plan:
        size = os.path.getsize(plan["file"])

        def pieces():
            with open(plan["file"], "rb") as f:
                while True:
                    data = f.read(chunk)
                    if not data:
                        return
                    yield data
        return size, pieces()
    if "size" in plan:
        size = int(plan["size"])

        def generated():
            for offset in range(0, size, chunk):
                yield pattern(min(chunk, size - offset), offset)
        return size, generated()
    body = plan.get("body", b"")
    if isinstance(body, str):
        body = body.encode("utf-8")
    return len(body), (body[i:i + chunk] for i in range(0, len(body), chunk))


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class UpdateServer:
    def __init__(self, root=None, port=0, tls=None, log_path=None):
        self.root = root
        self._routes = {}
        self._log = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._log_path = log_path
        self._httpd = _Server(("127.0.0.1", port), _Handler)
        self._httpd.owner = self
        scheme = "http"
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True)
            scheme = "https"
        self.port = self._httpd.server_address[1]
        self.url = "%s://127.0.0.1:%d" % (scheme, self.port)
        self._thread = None

    # ---- life ----
    def start(self):
        self._thread = threading.Thread(target=self._httpd.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stop.set()
        self._httpd.shutdown()
        self._httpd.server_close()
        if self._thread:
            self._thread.join(5)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # ---- plan and record ----
    def route(self, path, **plan):
        with self._lock:
            self._routes[path] = plan

    def unroute(self, path):
        with self._lock:
            self._routes.pop(path, None)

    def requests(self, path=None):
        with self._lock:
            return [dict(r) for r in self._log if path is None or r["path"] == path]

    def _record(self, path, headers):
        entry = {"time": time.time(), "path": path, "headers": headers}
        with self._lock:
            self._log.append(entry)
            if self._log_path:
                with open(self._log_path, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry) + "\n")

    def _plan_for(self, path):
        with self._lock:
            plan = self._routes.get(path)
        if plan is not None:
            return plan
        if self.root:
            local = os.path.normpath(os.path.join(self.root, path.split("?")[0].lstrip("/")))
            inside = os.path.commonpath([os.path.abspath(self.root), os.path.abspath(local)]) == \
                os.path.abspath(self.root)
            if inside and os.path.isfile(local):
                return {"file": local}
        return {"status": 404, "body": b"<html><body>404 Not Found</body></html>"}


def main(argv=None):
    parser = argparse.ArgumentParser(description="Fault-injecting update server on 127.0.0.1")
    parser.add_argument("--root", help="folder whose files are served at their paths")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--route", action="append", default=[], metavar='PATH={"status":404,...}')
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--log", help="append one JSON line per request to this file")
    args = parser.parse_args(argv)
    tls = (args.tls_cert, args.tls_key) if args.tls_cert else None
    server = UpdateServer(root=args.root, port=args.port, tls=tls, log_path=args.log)
    for route in args.route:
        path, _, plan = route.partition("=")
        plan = json.loads(plan or "{}")
        if "stall_after" in plan:
            plan["stall_after"] = tuple(plan["stall_after"])
        server.route(path, **plan)
    server.start()
    print("listening " + server.url, flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
