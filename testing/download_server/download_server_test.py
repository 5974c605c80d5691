#!/usr/bin/env python3
"""The download server's own test: its ready line, each mode's answer (payload, 404, cut half
way, the two hostile archives), the rate it keeps and how it stops (by itself after its lifetime,
and on SIGTERM). Each case starts a server on a port the system picks (port 0)."""

import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "download_server.py")


class Server:
    def __init__(self, folder, size, rate, *args):
        self.ready = os.path.join(folder, "ready")
        self.payload = os.path.join(folder, "payload")
        self.process = subprocess.Popen(
            [sys.executable, SERVER, "0", str(size), str(rate), "--ready", self.ready,
             "--write-payload", self.payload, *args], stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline().strip()
        assert line.startswith("ready "), line
        self.port = int(line.split()[1])

    def get(self, target):
        """The status code, the announced length and the body bytes that came."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as conn:
            conn.sendall(b"GET " + target.encode() + b" HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        length = next(int(l.split(":")[1]) for l in lines if l.lower().startswith("content-length"))
        return status, length, body

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        return self.process.wait(10)


def archive_names(data):
    magic, version, count = data[:4], *struct.unpack("<II", data[4:12])
    assert magic == b"FWPK" and version == 1
    at, names = 12, []
    for _ in range(count):
        (n,) = struct.unpack("<H", data[at:at + 2])
        names.append(data[at + 2:at + 2 + n].decode())
        at += 2 + n
        (size,) = struct.unpack("<I", data[at:at + 4])
        at += 4 + size
    return names, at


class DownloadServerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def start(self, size=0.25, rate=8192, *args):
        server = Server(self.folder.name, size, rate, *args)
        self.addCleanup(server.stop)
        return server

    def test_serves_the_payload_it_wrote_with_its_length(self):
        server = self.start()
        status, length, body = server.get("/ok/payload.bin")
        self.assertEqual(status, 200)
        self.assertEqual(length, len(body))
        with open(server.payload, "rb") as f:
            self.assertEqual(body, f.read())
        names, end = archive_names(body)
        self.assertEqual(names, ["readme.txt", "data/settings.ini", "bin/product.dat"])
        self.assertEqual(end, len(body))
        self.assertGreater(len(body), 0.24 * 1024 * 1024)
        self.assertLess(len(body), 0.26 * 1024 * 1024)

    def test_each_failing_mode(self):
        server = self.start()
        status, _, _ = server.get("/404/payload.bin")
        self.assertEqual(status, 404)
        status, _, _ = server.get("/elsewhere")
        self.assertEqual(status, 404)
        status, length, body = server.get("/cut/payload.bin")
        self.assertEqual(status, 200)
        self.assertEqual(len(body), length // 2)
        status, length, body = server.get("/traversal/payload.bin")
        self.assertEqual((status, length), (200, len(body)))
        self.assertIn("../escaped.txt", archive_names(body)[0])
        status, length, body = server.get("/truncated/payload.bin")
        self.assertEqual((status, length), (200, len(body)))
        with self.assertRaises((struct.error, AssertionError, UnicodeDecodeError)):
            names, end = archive_names(body)
            assert end <= len(body)

    def test_serves_a_given_payload_in_place_of_its_own(self):
        given = os.path.join(self.folder.name, "given.fwpk")
        content = b"FWPK" + struct.pack("<II", 1, 1) + struct.pack("<H", 5) + b"a.txt" + \
            struct.pack("<I", 3) + b"abc"
        with open(given, "wb") as f:
            f.write(content)
        server = self.start(0.25, 8192, "--payload", given)
        for target in ("/ok/payload.bin", "/payload/x"):
            status, length, body = server.get(target)
            self.assertEqual((status, length, body), (200, len(content), content))
        status, length, body = server.get("/cut/payload.bin")
        self.assertEqual((status, length, body), (200, len(content), content[:len(content) // 2]))
        with open(server.payload, "rb") as f:
            self.assertEqual(f.read(), content)
        # The hostile archives are still the generated ones.
        status, _, body = server.get("/traversal/payload.bin")
        self.assertIn("../escaped.txt", archive_names(body)[0])

    def test_keeps_its_rate(self):
        server = self.start(0.25, 256)
        start = time.monotonic()
        server.get("/ok/payload.bin")
        took = time.monotonic() - start
        # 256 KiB at 256 KiB/s.
        self.assertGreater(took, 0.8)
        self.assertLess(took, 3)

    def test_stops_by_itself_and_on_sigterm(self):
        server = self.start(0.01, 1024, "--lifetime", "1")
        self.assertEqual(server.process.wait(10), 0)
        server = self.start()
        self.assertEqual(server.stop(), 0)


if __name__ == "__main__":
    unittest.main()
