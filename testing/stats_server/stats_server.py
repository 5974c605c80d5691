#!/usr/bin/env python3
"""The recording statistics server of the tests.

Listens on 127.0.0.1:PORT and appends one JSON object per request to RECORD: the request line,
its target, the time it arrived and the peer. Then, by mode: "answer" answers 200 at once,
"delay" answers 200 after --delay seconds, "silent" keeps the connection open and never answers
(until the server stops). Stops by itself after --lifetime seconds and on SIGTERM or SIGINT.
Once it listens it prints "ready PORT" and, with --ready, writes that line to the file named.
"""

import argparse
import json
import os
import signal
import socket
import socketserver
import sys
import threading
import time

stop_event = threading.Event()
record_lock = threading.Lock()


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        # A client that sends no complete head (a TLS handshake, say) is recorded after 3 s.
        conn.settimeout(3)
        data = b""
        try:
            while b"\r\n\r\n" not in data and len(data) < 65536:
                chunk = conn.recv(4096)
                if not chunk:
                    break
                data += chunk
        except OSError:
            pass
        if not data:
            return
        line = data.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        entry = {
            "line": line,
            "target": parts[1] if len(parts) > 1 else "",
            "time": time.time(),
            "peer": "%s:%d" % self.client_address,
        }
        server = self.server
        with record_lock:
            with open(server.record, "a", encoding="ascii") as record:
                record.write(json.dumps(entry) + "\n")
        if server.mode == "silent":
            stop_event.wait()
            return
        if server.mode == "delay":
            if stop_event.wait(server.delay):
                return
        body = b"ok"
        try:
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n"
                         b"Connection: close\r\n\r\n" + body)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 256


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("record", help="file the requests are appended to, one JSON object a line")
    parser.add_argument("--mode", choices=("answer", "delay", "silent"), default="answer")
    parser.add_argument("--delay", type=float, default=2.0, help="seconds before a delayed answer")
    parser.add_argument("--lifetime", type=float, default=120.0,
                        help="seconds after which the server stops by itself")
    parser.add_argument("--ready", help="file to write the ready line to")
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.record = args.record
    server.mode = args.mode
    server.delay = args.delay
    open(args.record, "a").close()

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
    # The file is complete before anyone is told: written aside, then renamed into place.
    if args.ready:
        with open(args.ready + ".tmp", "w") as f:
            f.write(ready + "\n")
        os.replace(args.ready + ".tmp", args.ready)
    print(ready, flush=True)
    while not stop_event.wait(0.5):
        pass
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
