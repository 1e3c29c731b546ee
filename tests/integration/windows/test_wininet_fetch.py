"""The WinINet adapter under the file fetch, against the project's loopback
server: the result code and the file each answer leaves in the temporary
folder."""

import os
import subprocess
import unittest

from harness.update_server import UpdateServer, pattern
from harness.wine import Prefix

NAME = "VLT_Terminal_Fetch.exe"


class WinInetFetch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix()
        cls.server = UpdateServer().start()
        s = cls.server
        s.route("/ok.exe", size=30 * 1024)
        s.route("/gone.exe", status=404, body=b"<html>not here</html>")
        s.route("/broken.exe", status=500, body=b"oops")
        s.route("/cut.exe", size=100000, reset_after=5000)
        # Longer than the client's receive time-out. (A server that never
        # sends the headers is not here: Wine's WinINet waits for them without
        # a time-out.)
        s.route("/stalled.exe", size=100000, stall_after=(5000, 90))
        s.route("/moved.exe", status=302, location="/ok.exe")
        s.route("/loop.exe", status=302, location="/loop.exe")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def fetch(self, path):
        env = dict(os.environ, **self.prefix.env)
        env["QARX_HTTP_LOW_SPEED_TIME"] = "2"
        out = os.path.join(self.prefix.env["TMPDIR"], "fetch-%d.txt" % os.getpid())
        with open(out, "wb") as f:
            code = subprocess.call(self.prefix.command("qarx_win_probe.exe", "fetch", self.server.url + path, NAME),
                                   env=env, stdin=subprocess.DEVNULL, stdout=f, timeout=120)
        with open(out, encoding="utf-8") as f:
            line = f.read().strip()
        os.unlink(out)
        self.assertEqual(code, 0, line)
        return dict(item.split("=", 1) for item in line.split(" ", 2))

    def local_file(self):
        return os.path.join(self.prefix.download_folder(), NAME)

    def test_each_answer_leaves_its_result_and_file_state(self):
        rows = [
            ("/ok.exe", ("0",), str(30 * 1024)),
            ("/moved.exe", ("0",), str(30 * 1024)),
            ("/gone.exe", ("-4",), "absent"),      # an error page is not the file
            ("/broken.exe", ("-4",), "absent"),
            ("/loop.exe", ("-4",), "absent"),      # too many redirects
            ("/stalled.exe", ("-5",), "absent"),
            # The body ends early: never a whole file. A reset that comes with
            # the headers fails the open instead of a read.
            ("/cut.exe", ("-4", "-5"), "absent"),
        ]
        for path, result, size in rows:
            with self.subTest(path=path):
                answer = self.fetch(path)
                self.assertIn(answer["result"], result)
                self.assertEqual(answer["size"], size)
                self.assertTrue(answer["path"].endswith("\\Temp\\Qarx\\" + NAME), answer["path"])
                if size != "absent":
                    with open(self.local_file(), "rb") as f:
                        self.assertEqual(f.read(), pattern(30 * 1024))
        # Every request went to the server (no cache in between).
        self.assertEqual(len(self.server.requests("/ok.exe")), 2)


if __name__ == "__main__":
    unittest.main()
