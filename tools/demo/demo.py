#!/usr/bin/env python3
"""The demo's helpers on the Linux side (tools/demo.sh):

  demo.py payload OUT MIB          writes the demo's payload archive OUT (the loader host's format,
                                   docs/loader-host.md) of about MIB MiB, and OUT.json, its files
  demo.py clean PREFIX REPORT      removes the product's install folder and the desktop shortcuts
                                   of the prefix, at the folders the scripted user reported
  demo.py summary ...              compares what a run did with what it should have done, prints
                                   the summary and writes it; exits 1 on any mismatch
  demo.py compact PNG...           rewrites PNG files with their image data compressed (the
                                   captures are written uncompressed)
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "testing", "download_server"))
import download_server  # noqa: E402  (the archive writer and the file patterns)

PRODUCT = "brisco-suite"
FILE_LIST = "fetchwell-files.txt"

# The demo payload: texts a product would carry, and bulk files that share the rest by these parts.
TEXTS = {
    "readme.txt": "Orvane PC Brisco\r\n\r\nThis is the demo payload of the Fetchwell client: "
                  "installed by the loader host into the user's profile.\r\n",
    "license.txt": "Demo licence: these files carry no program, only patterns that depend on "
                   "their names.\r\n",
    "data/settings.ini": "[brisco]\r\nupdates=weekly\r\nlanguage=auto\r\n",
    "data/languages/en.txt": "welcome=Welcome\r\n",
    "data/languages/de.txt": "welcome=Willkommen\r\n",
}
BULK = (("bin/brisco.dat", 50), ("bin/brisco-update.dat", 20), ("media/splash.dat", 30))


def make_payload(out, mib):
    files = [(name, text.encode("ascii")) for name, text in TEXTS.items()]
    rest = max(int(mib * 1024 * 1024) - sum(len(d) for _, d in files) - 256, len(BULK))
    for name, share in BULK:
        files.append((name, download_server.file_bytes(name, max(rest * share // 100, 1))))
    with open(out, "wb") as f:
        f.write(download_server.archive(files))
    manifest = [{"name": n, "size": len(d), "sha256": hashlib.sha256(d).hexdigest()}
                for n, d in files]
    with open(out + ".json", "w") as f:
        json.dump(manifest, f, indent=1)
    print("payload %s: %d files, %d bytes" % (out, len(files), os.path.getsize(out)))


def read_report(path):
    """The scripted user's report: a list of (key, value) in order."""
    entries = []
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                key, sep, value = line.rstrip("\n").partition(": ")
                if sep:
                    entries.append((key, value))
    return entries


def first(entries, key, default=None):
    return next((v for k, v in entries if k == key), default)


def unix_path(prefix, windows):
    """A path of the prefix's C: drive in Linux form (None for another drive)."""
    if not windows or not re.match(r"^[Cc]:\\", windows):
        return None
    return os.path.join(prefix, "drive_c", *[p for p in windows[3:].split("\\") if p])


def clean(prefix, report):
    entries = read_report(report)
    local = unix_path(prefix, first(entries, "local_appdata"))
    desktop = unix_path(prefix, first(entries, "desktop"))
    if not local or not desktop:
        print("clean: the folders of the prefix are not known (%s)" % report, file=sys.stderr)
        return 1
    folder = os.path.join(local, "Brisco", PRODUCT)
    if os.path.exists(folder):
        shutil.rmtree(folder)
        print("clean: removed %s" % folder)
    if os.path.isdir(desktop):
        for name in sorted(os.listdir(desktop)):
            if name.lower().endswith(".lnk"):
                os.remove(os.path.join(desktop, name))
                print("clean: removed %s" % os.path.join(desktop, name))
    return 0


def english_strings(rc_path):
    """Ids and texts of the first (English) string table of the helper's resource script."""
    strings = {}
    with open(rc_path, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"STRINGTABLE\s*BEGIN(.*?)END", text, re.S)
    for number, value in re.findall(r'^\s*(\d+)\s+"((?:[^"]|"")*)"', block.group(1) if block else "",
                                    re.M):
        strings[int(number)] = value.replace('""', '"')
    return strings


def files_below(folder):
    found = {}
    if not os.path.isdir(folder):
        return found
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            relative = os.path.relpath(path, folder).replace(os.sep, "\\")
            with open(path, "rb") as f:
                data = f.read()
            found[relative] = data
    return found


# The loader host's exit codes (docs/loader-host.md).
HOST_EXIT_CODES = {
    "0": "completed", "1": "an unknown switch or a malformed value",
    "2": "another run is going on", "3": "no fetchwellGUI.dll beside the host",
    "4": "the plug-in failed the signature check", "5": "the plug-in does not load",
    "6": "Initialize returned false", "7": "no language settled",
    "8": "the language wizard was cancelled", "9": "cancelled during the download or the install",
    "10": "the download failed", "11": "the install failed",
    "12": "no install folder in the profile",
}


class Summary:
    def __init__(self):
        self.lines = []
        self.mismatches = 0

    def add(self, text=""):
        self.lines.append(text)

    def check(self, label, ok, text, expected=None):
        mark = "ok" if ok else "MISMATCH"
        if not ok:
            self.mismatches += 1
        line = "  %-11s %s  [%s]" % (label, text, mark)
        if not ok and expected is not None:
            line += "\n  %-11s expected: %s" % ("", expected)
        self.add(line)


def summary(args):
    report = read_report(args.report)
    with open(args.manifest) as f:
        manifest = json.load(f)
    cancel = args.mode == "cancel"
    s = Summary()
    title = "Demo summary: %s run%s" % (args.mode, " (interactive)" if args.interactive else "")
    s.add(title)
    s.add("=" * len(title))
    for line in args.about or []:
        s.add("  " + line)
    for line in args.note or []:
        s.add("  note:       " + line)
    s.add()

    # The helper and the host.
    s.check("helper", args.helper_exit == "0",
            "brisco-install.exe /install ended with code %s" % args.helper_exit, "0")
    names = HOST_EXIT_CODES
    code = first(report, "host_exit_code", "no report")
    expected_code = "9" if cancel else "0"
    s.check("host", code == expected_code,
            "fetchwell.exe ended with code %s%s" % (code, " (%s)" % names[code] if code in names else ""),
            "%s (%s)" % (expected_code, names[expected_code]))
    steps = [v for k, v in report if k in ("pressed", "picked")]
    if steps:
        s.add("  %-11s %s" % ("user", ", ".join(steps)))
    s.add("  %-11s %s" % ("pages", first(report, "pages", "-")))

    # Statistics: this run's requests only (a record of its own, emptied before the run).
    expected_actions = [] if args.stats_off else [
        "FETCHWELL_DLG_WELCOME_NEXT", "FETCHWELL_DLG_SELECT_LANG_NEXT",
        "FETCHWELL_DLG_PROGRESS_CANCEL" if cancel else "FETCHWELL_DLG_PROGRESS_FINISH"]
    requests = []
    if os.path.exists(args.stats):
        with open(args.stats) as f:
            for line in f:
                if line.strip():
                    requests.append(json.loads(line))
    requests.sort(key=lambda r: r["time"])
    queries = []
    for r in requests:
        query = r["target"].partition("?")[2]
        queries.append(dict(p.partition("=")[::2] for p in query.split("&") if p))
    actions = [q.get("action", "?") for q in queries]
    run_ids = sorted({q.get("rnd", "") for q in queries})
    # Every request names the loader host's file version as its build.
    builds = [q.get("build", "") for q in queries]
    ok = actions == expected_actions and len(run_ids) <= 1 and \
        all(b == args.host_build for b in builds)
    where = "not recorded (the build sends none, or not to 127.0.0.1)" if args.stats_off else \
        "%d requests, %s" % (len(requests), "run id " + run_ids[0] if len(run_ids) == 1 else
                             "%d run ids" % len(run_ids))
    s.check("statistics", ok, where, ", ".join(expected_actions) + ", of one run id" +
            ("" if args.stats_off else ", build " + args.host_build))
    start = requests[0]["time"] if requests else 0
    for i, (r, q) in enumerate(zip(requests, queries), 1):
        s.add("  %-11s %d. %-32s +%5.1f s  lngprod=%s product_id=%s build=%s" % (
            "", i, q.get("action", "?"), r["time"] - start, q.get("lngprod", ""),
            q.get("product_id", ""), q.get("build", "")))

    # The install: every file of the payload with its bytes, and the file list; or nothing.
    local = unix_path(args.prefix, first(report, "local_appdata"))
    folder_win = (first(report, "local_appdata") or "?") + "\\Brisco\\" + PRODUCT
    installed = files_below(os.path.join(local, "Brisco", PRODUCT)) if local else {}
    if cancel:
        s.check("installed", not installed,
                "%s: %s" % (folder_win, "nothing" if not installed else "%d files" % len(installed)),
                "nothing")
        for name in sorted(installed):
            s.add("  %-11s %s" % ("", name))
    else:
        expected = {m["name"].replace("/", "\\"): m for m in manifest}
        listing = "".join("%s\t%d\r\n" % (m["name"].replace("/", "\\"), m["size"]) for m in manifest)
        good = set(installed) == set(expected) | {FILE_LIST}
        lines = []
        for m in manifest:
            name = m["name"].replace("/", "\\")
            data = installed.get(name)
            same = data is not None and hashlib.sha256(data).hexdigest() == m["sha256"]
            good = good and same
            lines.append("  %-11s %-24s %9d bytes  %s" % (
                "", name, len(data) if data is not None else 0,
                "same bytes as served" if same else "MISSING" if data is None else "DIFFERENT"))
        list_ok = installed.get(FILE_LIST) == listing.encode("ascii")
        good = good and list_ok
        lines.append("  %-11s %-24s %9d bytes  %s" % (
            "", FILE_LIST, len(installed.get(FILE_LIST, b"")),
            "lists the %d files" % len(manifest) if list_ok else "WRONG"))
        for name in sorted(set(installed) - set(expected) - {FILE_LIST}):
            lines.append("  %-11s %-24s unexpected" % ("", name))
        s.check("installed", good, "%s: %d files" % (folder_win, len(installed)),
                "the payload's %d files and %s" % (len(manifest), FILE_LIST))
        for line in lines:
            s.add(line)

    # The desktop shortcuts the helper wrote.
    strings = english_strings(args.strings)
    app = args.app_win
    want = {
        strings.get(103, "?") + ".lnk": (app + "fetchwell.exe", "", app + "brisco.ico", "0"),
        strings.get(104, "?") + ".lnk": (app + "brisco-install.exe", "/remove",
                                         app + "brisco_uninstall.ico", "0"),
    }
    got = {}
    for value in (v for k, v in report if k == "shortcut"):
        parts = value.split("|")
        got[parts[0]] = tuple(parts[1:5]) if len(parts) >= 5 else ("?", "?", "?", "?")
    same = set(got) == set(want) and all(
        tuple(x.lower() for x in got[n]) == tuple(x.lower() for x in want[n]) for n in want)
    s.check("shortcuts", same, "%d on the desktop (%s)" % (len(got), first(report, "desktop", "?")),
            "; ".join("%s -> %s %s, icon %s,%s" % ((n,) + w) for n, w in want.items()))
    for name, (target, arguments, icon, index) in sorted(got.items()):
        s.add("  %-11s %s -> %s%s, icon %s,%s" % ("", name, target,
                                                 " " + arguments if arguments else "", icon, index))

    # The captures: one of every page the run shows.
    wanted = ["01-welcome.png", "02-language.png", "03-progress-download.png"] + (
        ["04-cancel-question.png", "05-progress-cancelled.png"] if cancel else
        ["04-progress-end.png"])
    present = [n for n in wanted if os.path.isfile(os.path.join(args.captures, n))]
    s.check("captures", present == wanted, "%d of the %d pages" % (len(present), len(wanted)),
            ", ".join(wanted))
    s.add()
    captures = [v for k, v in report if k == "capture"]
    failed = [v for k, v in report if k == "capture_failed"]
    s.add("  captures in %s:" % args.captures)
    for value in captures:
        name, _, what = value.partition("|")
        s.add("    %-28s %s" % (name, what))
    for name in failed:
        s.add("    %-28s could not be captured" % name)
    s.add()
    s.add("  result:     %s" % ("everything as expected" if not s.mismatches else
                                "%d MISMATCH%s" % (s.mismatches, "ES" if s.mismatches > 1 else "")))
    text = "\n".join(s.lines) + "\n"
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(text)
    sys.stdout.write(text)
    return 1 if s.mismatches else 0


def compact_png(path):
    """The same image with one IDAT chunk compressed at zlib's best level; other chunks kept."""
    with open(path, "rb") as f:
        data = f.read()
    signature = b"\x89PNG\r\n\x1a\n"
    if not data.startswith(signature):
        raise ValueError("%s is not a PNG file" % path)
    at, chunks, image = len(signature), [], b""
    while at + 8 <= len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IDAT":
            image += body
            if not any(k == b"IDAT" for k, _ in chunks):
                chunks.append((b"IDAT", None))
        else:
            chunks.append((kind, body))
    packed = zlib.compress(zlib.decompress(image), 9)
    out = [signature]
    for kind, body in chunks:
        body = packed if body is None else body
        out.append(struct.pack(">I", len(body)) + kind + body +
                   struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    with open(path + ".tmp", "wb") as f:
        f.write(b"".join(out))
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("payload")
    p.add_argument("out")
    p.add_argument("mib", type=float)
    c = sub.add_parser("clean")
    c.add_argument("prefix")
    c.add_argument("report")
    m = sub.add_parser("summary")
    m.add_argument("--mode", choices=("normal", "cancel"), required=True)
    m.add_argument("--interactive", action="store_true")
    m.add_argument("--report", required=True, help="the scripted user's report.txt")
    m.add_argument("--stats", required=True, help="the statistics server's record of this run")
    m.add_argument("--stats-off", action="store_true", help="the build sends no statistics")
    m.add_argument("--manifest", required=True, help="the payload's file list (payload's .json)")
    m.add_argument("--prefix", required=True)
    m.add_argument("--app-win", required=True, help="the demo folder in Windows form, with '\\'")
    m.add_argument("--strings", required=True, help="the helper's resource script")
    m.add_argument("--helper-exit", required=True)
    m.add_argument("--captures", required=True)
    m.add_argument("--about", action="append", help="a line on the run")
    m.add_argument("--note", action="append", help="a note on the demo folder")
    m.add_argument("--out", required=True)
    m.add_argument("--host-build", required=True,
                   help="the loader host's file version, which every request names as its build")
    k = sub.add_parser("compact")
    k.add_argument("png", nargs="+")
    args = parser.parse_args()
    if args.command == "compact":
        for path in args.png:
            compact_png(path)
        return 0
    if args.command == "payload":
        make_payload(args.out, args.mib)
        return 0
    if args.command == "clean":
        return clean(args.prefix, args.report)
    return summary(args)


if __name__ == "__main__":
    sys.exit(main())
