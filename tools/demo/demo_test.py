#!/usr/bin/env python3
"""The demo's judgement on the Linux side (demo.py), without Wine: the payload it serves is an
archive of the files its list names, and the summary passes a run that did what it should and
fails each way a run can go wrong (a table of faults, each made on a good run's record)."""

import hashlib
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, "demo.py")
STRINGS = os.path.join(HERE, "..", "..", "resources", "briscoinstallrc.rc")
APP = "Z:\\demo\\app\\"
RND = "ab" * 20


def read_archive(data):
    assert data[:4] == b"FWPK" and struct.unpack("<I", data[4:8])[0] == 1
    (count,) = struct.unpack("<I", data[8:12])
    at, files = 12, []
    for _ in range(count):
        (n,) = struct.unpack("<H", data[at:at + 2])
        name = data[at + 2:at + 2 + n].decode("ascii")
        at += 2 + n
        (size,) = struct.unpack("<I", data[at:at + 4])
        files.append((name, data[at + 4:at + 4 + size]))
        at += 4 + size
    assert at == len(data), "bytes after the last file"
    return files


HOST_BUILD = "2.4.0.17"


def request(action, rnd=RND, at=0.0, language="de", build=HOST_BUILD):
    return {"line": "GET", "time": 1000.0 + at, "peer": "127.0.0.1:1",
            "target": "/prodinstall.php?lngprod=%s&product_id=brisco-suite&build=%s&rnd=%s"
                      "&action=%s" % (language, build, rnd, action)}


class Run:
    """The record of one run, good unless a case changes it."""

    def __init__(self, folder, mode):
        self.folder = folder
        self.mode = mode
        self.payload = os.path.join(folder, "payload.fwpk")
        subprocess.run([sys.executable, DEMO, "payload", self.payload, "0.05"], check=True,
                       stdout=subprocess.DEVNULL)
        with open(self.payload, "rb") as f:
            self.files = read_archive(f.read())
        self.prefix = os.path.join(folder, "prefix")
        self.install = os.path.join(self.prefix, "drive_c", "users", "u", "AppData", "Local",
                                    "Brisco", "brisco-suite")
        last = "FETCHWELL_DLG_PROGRESS_CANCEL" if mode == "cancel" else "FETCHWELL_DLG_PROGRESS_FINISH"
        self.requests = [request("FETCHWELL_DLG_WELCOME_NEXT", language="en"),
                         request("FETCHWELL_DLG_SELECT_LANG_NEXT", at=1),
                         request(last, at=5)]
        self.exit_code = "9" if mode == "cancel" else "0"
        self.shortcuts = [
            "Orvane PC Brisco.lnk|%sfetchwell.exe||%sbrisco.ico|0" % (APP, APP),
            "Uninstall Orvane PC Brisco.lnk|%sbrisco-install.exe|/remove|%sbrisco_uninstall.ico|0"
            % (APP, APP)]
        self.captures = ["01-welcome.png", "02-language.png", "03-progress-download.png"] + (
            ["04-cancel-question.png", "05-progress-cancelled.png"] if mode == "cancel" else
            ["04-progress-end.png"])
        if mode == "normal":
            listing = b""
            for name, data in self.files:
                self.put(name, data)
                listing += b"%s\t%d\r\n" % (name.replace("/", "\\").encode(), len(data))
            self.put("fetchwell-files.txt", listing)

    def put(self, name, data):
        path = os.path.join(self.install, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def judge(self):
        report = os.path.join(self.folder, "report.txt")
        with open(report, "w", encoding="utf-8") as f:
            f.write("host_exit_code: %s\nlocal_appdata: C:\\users\\u\\AppData\\Local\n"
                    "desktop: C:\\users\\u\\Desktop\n" % self.exit_code)
            for line in self.shortcuts:
                f.write("shortcut: %s\n" % line)
        for name in self.captures:
            open(os.path.join(self.folder, name), "wb").close()
        stats = os.path.join(self.folder, "statistics.jsonl")
        with open(stats, "w") as f:
            for r in self.requests:
                f.write(json.dumps(r) + "\n")
        result = subprocess.run(
            [sys.executable, DEMO, "summary", "--mode", self.mode, "--report", report,
             "--stats", stats, "--manifest", self.payload + ".json", "--prefix", self.prefix,
             "--app-win", APP, "--strings", STRINGS, "--helper-exit", "0",
             "--captures", self.folder, "--out", os.path.join(self.folder, "summary.txt"),
             "--host-build", HOST_BUILD],
            stdout=subprocess.PIPE, text=True)
        return result.returncode, result.stdout


def swap_actions(run):
    run.requests[0], run.requests[1] = run.requests[1], run.requests[0]
    run.requests[0]["time"], run.requests[1]["time"] = 1000.0, 1001.0


def change_byte(run):
    name, data = run.files[-1]
    run.put(name, data[:-1] + bytes([data[-1] ^ 1]))


FAULTS = [
    ("normal", "the steps reported in another order", swap_actions),
    ("normal", "a request of another run", lambda r: r.requests.append(request("X", rnd="cd" * 20))),
    ("normal", "a step not reported", lambda r: r.requests.pop()),
    ("normal", "a request without the host's version",
     lambda r: r.requests.__setitem__(1, request("FETCHWELL_DLG_SELECT_LANG_NEXT", at=1, build=""))),
    ("normal", "the download failed", lambda r: setattr(r, "exit_code", "10")),
    ("normal", "no host seen", lambda r: setattr(r, "exit_code", "not seen")),
    ("normal", "a file with one byte changed", change_byte),
    ("normal", "a file of the payload missing",
     lambda r: os.remove(os.path.join(r.install, *r.files[0][0].split("/")))),
    ("normal", "no file list", lambda r: os.remove(os.path.join(r.install, "fetchwell-files.txt"))),
    ("normal", "a file the payload does not have", lambda r: r.put("extra.txt", b"x")),
    ("normal", "the uninstall shortcut without /remove",
     lambda r: r.shortcuts.__setitem__(1, r.shortcuts[1].replace("/remove", ""))),
    ("normal", "the product shortcut pointing elsewhere",
     lambda r: r.shortcuts.__setitem__(0, r.shortcuts[0].replace("fetchwell.exe", "other.exe"))),
    ("normal", "one shortcut missing", lambda r: r.shortcuts.pop()),
    ("normal", "the end of the progress not captured", lambda r: r.captures.pop()),
    ("cancel", "the question not captured", lambda r: r.captures.remove("04-cancel-question.png")),
    ("cancel", "a cancel that completed the run", lambda r: setattr(r, "exit_code", "0")),
    ("cancel", "a file left after the cancel", lambda r: r.put("bin/brisco.dat", b"part")),
    ("cancel", "the finish reported instead of the cancel",
     lambda r: r.requests.__setitem__(2, request("FETCHWELL_DLG_PROGRESS_FINISH", at=5))),
]


class DemoSummaryTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def run_of(self, mode, name):
        folder = os.path.join(self.folder.name, name.replace(" ", "_"))
        os.makedirs(folder)
        return Run(folder, mode)

    def test_the_payload_is_an_archive_of_the_files_it_lists(self):
        run = self.run_of("normal", "payload")
        with open(run.payload + ".json") as f:
            manifest = json.load(f)
        self.assertGreaterEqual(len(run.files), 5)
        self.assertEqual([(m["name"], m["size"], m["sha256"]) for m in manifest],
                         [(n, len(d), hashlib.sha256(d).hexdigest()) for n, d in run.files])
        self.assertGreater(sum(len(d) for _, d in run.files), 0.045 * 1024 * 1024)

    def test_runs_that_did_what_they_should_pass(self):
        for mode in ("normal", "cancel"):
            with self.subTest(mode):
                code, text = self.run_of(mode, "good " + mode).judge()
                self.assertEqual(code, 0, text)
                self.assertIn("everything as expected", text)
                self.assertNotIn("MISMATCH", text)

    def test_each_fault_fails_the_summary(self):
        for mode, what, fault in FAULTS:
            with self.subTest(what):
                run = self.run_of(mode, what)
                fault(run)
                code, text = run.judge()
                self.assertEqual(code, 1, text)
                self.assertEqual(text.count("[MISMATCH]"), 1, text)

    def test_clean_removes_the_install_and_the_shortcuts_only(self):
        run = self.run_of("normal", "clean")
        desktop = os.path.join(run.prefix, "drive_c", "users", "u", "Desktop")
        os.makedirs(desktop)
        for name in ("a.lnk", "keep.txt"):
            open(os.path.join(desktop, name), "w").close()
        other = os.path.join(os.path.dirname(run.install), "other-product")
        os.makedirs(other)
        paths = os.path.join(run.folder, "paths.txt")
        with open(paths, "w") as f:
            f.write("local_appdata: C:\\users\\u\\AppData\\Local\ndesktop: C:\\users\\u\\Desktop\n")
        subprocess.run([sys.executable, DEMO, "clean", run.prefix, paths], check=True,
                       stdout=subprocess.DEVNULL)
        self.assertFalse(os.path.exists(run.install))
        self.assertTrue(os.path.isdir(other))
        self.assertEqual(os.listdir(desktop), ["keep.txt"])


if __name__ == "__main__":
    unittest.main()
