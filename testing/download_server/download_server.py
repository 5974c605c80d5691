#!/usr/bin/env python3
"""The throttled download server of the loader host's tests.

Serves a generated payload (the loader's archive format, see docs/loader-host.md) of SIZE MiB on
127.0.0.1:PORT at RATE KiB/s, with Content-Length; with --payload, an archive of the caller's
instead (the demo's) at /ok/, /payload/ and /cut/. The first part of the request path picks what
is sent, so that one server serves every case of a test run:

  /ok/...         the payload
  /404/...        404 Not Found
  /cut/...        the payload's full Content-Length, then the connection closed half way
  /traversal/...  a well-formed archive whose second file is named "../escaped.txt"
  /truncated/...  an archive whose last file claims more bytes than follow (complete HTTP answer)
  /payload/...    the same as /ok/ (the default URL of the loader host)

Stops by itself after --lifetime seconds and on SIGTERM or SIGINT. Once it listens it prints
"ready PORT" and, with --ready, writes that line to the file named.
"""

import argparse
import signal
import socket
import socketserver
import struct
import sys
import threading
import time

stop_event = threading.Event()

# The files of the generated payload: name and share of the whole size (the rest is the bulk).
SMALL_FILES = (("readme.txt", 1000), ("data/settings.ini", 300))
BULK_NAME = "bin/product.dat"


def file_bytes(name, size):
    """The content of one payload file: a pattern that depends on its name, so a swapped or
    shifted file shows."""
    seed = sum(name.encode("ascii")) & 0xFF
    pattern = bytes((seed + i * 7) & 0xFF for i in range(256))
    return (pattern * (size // 256 + 1))[:size]


def archive(files):
    out = [b"FWPK", struct.pack("<II", 1, len(files))]
    for name, data in files:
        raw = name.encode("ascii")
        out.append(struct.pack("<H", len(raw)) + raw + struct.pack("<I", len(data)) + data)
    return b"".join(out)


def payload_files(total):
    """The files of an archive of about total bytes."""
    files = [(name, file_bytes(name, size)) for name, size in SMALL_FILES]
    used = sum(len(d) for _, d in files) + 64
    bulk = max(total - used, 1)
    files.append((BULK_NAME, file_bytes(BULK_NAME, bulk)))
    return files


def build_bodies(total, payload=None):
    files = payload_files(total)
    ok = archive(files)
    traversal = archive([files[0], ("../escaped.txt", b"outside\r\n")] + files[1:])
    truncated = ok[:-max(len(files[-1][1]) // 2, 1)]
    if payload is not None:
        ok = payload
    # Its HTTP answer is complete (Content-Length matches); only the archive is short.
    return {"ok": ok, "payload": ok, "cut": ok, "traversal": traversal, "truncated": truncated}


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        conn.settimeout(5)
        data = b""
        try:
            while b"\r\n\r\n" not in data and len(data) < 65536:
                chunk = conn.recv(4096)
                if not chunk:
                    break
                data += chunk
        except OSError:
            return
        line = data.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        target = parts[1] if len(parts) > 1 else "/"
        mode = target.lstrip("/").split("/", 1)[0]
        server = self.server
        with server.lock:
            server.requests.append(target)
        try:
            if mode not in server.bodies:
                body = b"not found\r\n"
                conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                             b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)
                return
            body = server.bodies[mode]
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                         b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body))
            end = len(body) // 2 if mode == "cut" else len(body)
            self.send_throttled(conn, body[:end])
            if mode == "cut":
                # Closed at once, without the rest: the client sees the stream end early.
                conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def send_throttled(self, conn, data):
        rate = self.server.rate  # bytes a second
        step = max(min(16384, rate // 20), 512)
        start = time.monotonic()
        sent = 0
        while sent < len(data):
            if stop_event.is_set():
                return
            part = data[sent:sent + step]
            conn.sendall(part)
            sent += len(part)
            # Paced against the start, so that the rate holds over the whole answer.
            delay = start + sent / rate - time.monotonic()
            if delay > 0:
                time.sleep(delay)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("size", type=float, help="payload size in MiB (fractions allowed)")
    parser.add_argument("rate", type=float, help="sending rate in KiB/s")
    parser.add_argument("--lifetime", type=float, default=600.0,
                        help="seconds after which the server stops by itself")
    parser.add_argument("--ready", help="file to write the ready line to")
    parser.add_argument("--write-payload", help="also write the /ok/ payload to this file")
    parser.add_argument("--payload", help="serve the bytes of this file as the payload (SIZE then "
                        "sizes only the hostile archives)")
    args = parser.parse_args()
    if args.size <= 0 or args.rate <= 0:
        parser.error("size and rate must be positive")

    server = Server(("127.0.0.1", args.port), Handler)
    payload = None
    if args.payload:
        with open(args.payload, "rb") as f:
            payload = f.read()
        if not payload:
            parser.error("the payload file is empty")
    server.bodies = build_bodies(int(args.size * 1024 * 1024), payload)
    server.rate = max(int(args.rate * 1024), 1)
    server.lock = threading.Lock()
    server.requests = []
    if args.write_payload:
        with open(args.write_payload, "wb") as f:
            f.write(server.bodies["ok"])

    def stop(*_):
        stop_event.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(args.lifetime, stop)
    timer.daemon = True
    timer.start()
    serving = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2})
    serving.daemon = True
    serving.start()

    ready = "ready %d" % server.server_address[1]
    print(ready, flush=True)
    if args.ready:
        with open(args.ready, "w") as f:
            f.write(ready + "\n")
    while not stop_event.wait(0.5):
        pass
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
