#!/usr/bin/env python3
"""The recording statistics server's own test: its ready line, its record, its three modes and how
it stops (by itself after its lifetime, and on SIGTERM). Each case starts a server on a port the
system picks (port 0)."""

import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stats_server.py")


class Server:
    def __init__(self, folder, *args):
        self.record = os.path.join(folder, "record.jsonl")
        self.ready = os.path.join(folder, "ready")
        self.process = subprocess.Popen(
            [sys.executable, SERVER, "0", self.record, "--ready", self.ready, *args],
            stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline().strip()
        assert line.startswith("ready "), line
        self.port = int(line.split()[1])
        with open(self.ready) as f:
            assert f.read().strip() == line

    def request(self, target, timeout=10):
        """Sends a GET and returns the answer's bytes (None when none came within timeout)."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as conn:
            conn.sendall(b"GET " + target.encode() + b" HTTP/1.1\r\nHost: x\r\n\r\n")
            try:
                return conn.recv(4096)
            except socket.timeout:
                return None

    def records(self):
        with open(self.record) as f:
            return [json.loads(line) for line in f]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        return self.process.wait(10)


class StatsServerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def start(self, *args):
        server = Server(self.folder.name, *args)
        self.addCleanup(server.stop)
        return server

    def test_answers_at_once_and_records_the_request(self):
        server = self.start()
        before = time.time()
        answer = server.request("/prodinstall.php?lngprod=de&rnd=ab%20c")
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer)
        entries = server.records()
        self.assertEqual(len(entries), 1)
        self.assertEqual(entries[0]["line"], "GET /prodinstall.php?lngprod=de&rnd=ab%20c HTTP/1.1")
        self.assertEqual(entries[0]["target"], "/prodinstall.php?lngprod=de&rnd=ab%20c")
        self.assertGreaterEqual(entries[0]["time"], before - 1)
        self.assertTrue(entries[0]["peer"].startswith("127.0.0.1:"))

    def test_delayed_answer_comes_after_the_delay(self):
        server = self.start("--mode", "delay", "--delay", "1.5")
        start = time.monotonic()
        answer = server.request("/x")
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer)
        self.assertGreaterEqual(time.monotonic() - start, 1.4)
        self.assertEqual(len(server.records()), 1, "recorded on arrival")

    def test_silent_mode_records_and_never_answers(self):
        server = self.start("--mode", "silent")
        self.assertIsNone(server.request("/y", timeout=1.5))
        self.assertEqual([e["target"] for e in server.records()], ["/y"])

    def test_stops_by_itself_after_its_lifetime(self):
        server = self.start("--lifetime", "1")
        self.assertEqual(server.process.wait(5), 0)

    def test_stops_on_sigterm_with_a_connection_left_open(self):
        server = self.start("--mode", "silent")
        conn = socket.create_connection(("127.0.0.1", server.port))
        self.addCleanup(conn.close)
        conn.sendall(b"GET /z HTTP/1.1\r\n\r\n")
        time.sleep(0.3)
        start = time.monotonic()
        self.assertEqual(server.stop(), 0)
        self.assertLess(time.monotonic() - start, 3)


if __name__ == "__main__":
    unittest.main()
