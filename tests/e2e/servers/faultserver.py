#!/usr/bin/env python3
"""An HTTP server of the tests that injects faults and records what it was asked.

  faultserver.py start --state-dir DIR   # runs in the background, writes DIR/faultserver.port
  faultserver.py stop  --state-dir DIR
  faultserver.py serve --state-dir DIR   # in the foreground

Bodies are the pattern 'a'..'z' repeated: byte i is chr(97 + i % 26). The
first path segment chooses the answer; the rest of the path is free, so that a
test can use a path of its own and find its requests in the log. Numbers come
from the query.

  /bytes/...?size=N           N bytes with Content-Length; &zero=K puts a zero
                              byte at K; &nolength=1 sends no Content-Length and
                              closes the connection after the body; &chunked=K
                              sends chunks of K bytes instead
  /short/...?size=N&send=M    Content-Length N, M bytes, then a clean close
  /drop/...?size=N&send=M     chunked, M bytes, then the connection is reset
                              in the middle of a chunk
  /status/CODE/...            that status with a small HTML page (Content-Length)
  /stall/...?size=N&send=M&seconds=S
                              Content-Length N, M bytes, then nothing for S
                              seconds (30 by default) and a close
  /trickle/...?size=N&delay=D N bytes, one every D seconds (0.05 by default);
                              &step=K sends K bytes at a time instead
  /length/...?value=TEXT&send=M
                              Content-Length: TEXT exactly as given (2^40,
                              -1, ...), then M bytes and a clean close
  /endless/...                no Content-Length, a body that never ends (until
                              the client goes away)
  /redirect/K/...?...         302 to /redirect/K-1/... with the same rest and
                              query; /redirect/0/... answers as /bytes/...
  /loop/...                   302 to itself, for ever
  /cut/...?size=N&percent=P&validator=V
                              every answer ends (a clean close) after P % of
                              the N bytes (40 by default), whatever it was
                              asked for; V is etag (an ETag and a
                              Last-Modified, the default), modified (only
                              Last-Modified), none, or changing (a new ETag
                              each time). A Range "bytes=A-" is answered with
                              206 and those bytes when it has no If-Range or
                              one that matches the validator, else with 200
  &file=PATH                  with bytes, short, drop, stall, trickle, length,
                              cut and redirect: the body is that file below the
                              document root of the nginx fixture instead of
                              the pattern, and N is its size
  /__requests?prefix=P&format=text
                              the requests seen so far (not these), oldest
                              first, optionally only those whose target starts
                              with P: JSON [{"method", "target", "headers":
                              [[name, value], ...], "sent": body bytes sent}],
                              or with format=text one
                              block per request: "METHOD TARGET", then
                              "Name: value" lines, then an empty line
"""

import argparse
import json
import os
import socket
import struct
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from server_state import stop_process, wait_for_port, write_atomically

NOT_FOUND_PAGE = (
    "<html>\r\n<head><title>{code} {reason}</title></head>\r\n<body>\r\n"
    "<center><h1>{code} {reason}</h1></center>\r\n</body>\r\n</html>\r\n")

_requests = []
_requests_lock = threading.Lock()
_state_dir = None
_cut_answers = 0  # answers of /cut/ so far: the "changing" validator counts them
CUT_MODIFIED = "Tue, 01 Dec 2026 08:00:00 GMT"


def pattern(start, end):
    return bytes(97 + i % 26 for i in range(start, end))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "faultserver/1"

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.log_date_time_string(), fmt % args))

    def do_GET(self):
        parts = urlsplit(self.path)
        query = {k: v[-1] for k, v in parse_qs(parts.query).items()}
        segments = parts.path.split("/")
        kind = segments[1] if len(segments) > 1 else ""
        if kind == "__requests":
            return self.requests_log(query)
        self.record = {"method": self.command, "target": self.path,
                       "headers": [[k, v] for k, v in self.headers.items()], "sent": 0}
        with _requests_lock:
            _requests.append(self.record)
        handler = {
            "bytes": self.bytes_answer, "short": self.short, "drop": self.drop,
            "status": self.status, "stall": self.stall, "trickle": self.trickle,
            "redirect": self.redirect, "loop": self.loop, "length": self.length,
            "endless": self.endless, "cut": self.cut,
        }.get(kind)
        if handler is None:
            return self.page(404)
        handler(segments, query)

    def number(self, query, name, default=0):
        try:
            return int(query.get(name, default))
        except ValueError:
            return default

    def body(self, query):
        """The pattern of `size` bytes, or the file named by `file` below the
        nginx fixture's document root."""
        name = query.get("file")
        if name is None:
            return pattern(0, self.number(query, "size"))
        with open(os.path.join(_state_dir, "nginx.root")) as f:
            root = f.read().strip()
        path = os.path.realpath(os.path.join(root, name.lstrip("/")))
        if not path.startswith(os.path.realpath(root) + os.sep):
            return b""
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def head(self, code, length=None, extra=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()

    def page(self, code):
        reason = self.responses.get(code, ("Error",))[0]
        body = NOT_FOUND_PAGE.format(code=code, reason=reason).encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def bytes_answer(self, segments, query):
        body = bytearray(self.body(query))
        size = len(body)
        zero = self.number(query, "zero", -1)
        if 0 <= zero < size:
            body[zero] = 0
        chunk = self.number(query, "chunked")
        if chunk > 0:
            self.head(200, extra=[("Transfer-Encoding", "chunked")])
            for i in range(0, size, chunk):
                piece = bytes(body[i:i + chunk])
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif query.get("nolength"):
            self.close_connection = True
            self.head(200, extra=[("Connection", "close")])
            self.wfile.write(bytes(body))
        else:
            self.head(200, size)
            self.wfile.write(bytes(body))

    def short(self, segments, query):
        """Content-Length `size`, only `send` bytes of the body, and no more."""
        body = self.body(query)
        size, send = len(body), self.number(query, "send")
        self.close_connection = True
        self.head(200, size)
        self.wfile.write(body[:send])
        self.wfile.flush()

    def drop(self, segments, query):
        body = self.body(query)
        size, send = len(body), self.number(query, "send")
        self.close_connection = True
        self.head(200, extra=[("Transfer-Encoding", "chunked")])
        # One chunk announced with the whole size, cut off after `send` bytes.
        self.wfile.write(b"%x\r\n" % size + body[:send])
        self.wfile.flush()
        # A reset instead of an orderly close.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()

    def status(self, segments, query):
        try:
            code = int(segments[2])
        except (IndexError, ValueError):
            code = 500
        self.page(code)

    def stall(self, segments, query):
        self.short(segments, query)
        deadline = time.monotonic() + self.number(query, "seconds", 30)
        # Ends early when the client gives up (the socket becomes readable at EOF).
        self.connection.settimeout(0.2)
        while time.monotonic() < deadline:
            try:
                if not self.connection.recv(1):
                    break
            except socket.timeout:
                continue
            except OSError:
                break

    def trickle(self, segments, query):
        body = self.body(query)
        size = len(body)
        try:
            delay = float(query.get("delay", "0.05"))
        except ValueError:
            delay = 0.05
        step = max(1, self.number(query, "step", 1))
        self.head(200, size)
        try:
            for i in range(0, size, step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                time.sleep(delay)
        except OSError:
            pass  # the client gave up

    def redirect(self, segments, query):
        try:
            hops = int(segments[2])
        except (IndexError, ValueError):
            return self.page(400)
        if hops <= 0:
            return self.bytes_answer(segments, query)
        parts = urlsplit(self.path)
        rest = "/".join(segments[3:])
        location = "/redirect/%d/%s" % (hops - 1, rest)
        if parts.query:
            location += "?" + parts.query
        self.head(302, 0, [("Location", location)])

    def length(self, segments, query):
        """A Content-Length header as given, whatever it says, then `send`
        bytes and a clean close."""
        body = self.body(query)
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", query.get("value", ""))
        self.end_headers()
        self.wfile.write(body[:self.number(query, "send")])
        self.wfile.flush()

    def endless(self, segments, query):
        self.close_connection = True
        self.head(200, extra=[("Connection", "close")])
        block = pattern(0, 26 * 2521)  # 64 KiB and a little, in whole rounds
        try:
            while True:
                self.wfile.write(block)
        except OSError:
            pass

    def cut(self, segments, query):
        global _cut_answers
        body = self.body(query)
        size = len(body)
        limit = size * self.number(query, "percent", 40) // 100
        kind = query.get("validator", "etag")
        with _requests_lock:
            _cut_answers += 1
            answer = _cut_answers
        etag = {"etag": '"cut-%d"' % size, "changing": '"cut-%d-%d"' % (size, answer)}.get(kind)
        modified = CUT_MODIFIED if kind in ("etag", "modified") else None
        validators = []
        if etag:
            validators.append(("ETag", etag))
        if modified:
            validators.append(("Last-Modified", modified))
        start, status = 0, 200
        wanted = self.headers.get("Range", "")
        if_range = self.headers.get("If-Range")
        if wanted.startswith("bytes=") and wanted.endswith("-") and wanted[6:-1].isdigit():
            first = int(wanted[6:-1])
            if first < size and (if_range is None or if_range in (etag, modified)):
                start, status = first, 206
        extra = list(validators)
        if status == 206:
            extra.append(("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size)))
        self.close_connection = True
        self.head(status, size - start, extra)
        piece = body[start:start + limit]
        self.wfile.write(piece)
        self.wfile.flush()
        self.record["sent"] = len(piece)

    def loop(self, segments, query):
        self.head(302, 0, [("Location", self.path)])

    def requests_log(self, query):
        prefix = query.get("prefix", "")
        with _requests_lock:
            chosen = [r for r in _requests if r["target"].startswith(prefix)]
        if query.get("format") == "text":
            text = "".join("%s %s\n%s\n" % (r["method"], r["target"],
                                            "".join("%s: %s\n" % (k, v) for k, v in r["headers"]))
                           for r in chosen)
            # The request line and headers were read as Latin-1: back to their bytes.
            body = text.encode("latin-1", "replace")
            content_type = "text/plain; charset=iso-8859-1"
        else:
            body = json.dumps(chosen).encode()
            content_type = "application/json"
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def serve(state_dir):
    global _state_dir
    _state_dir = state_dir
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    write_atomically(os.path.join(state_dir, "faultserver.port"),
                     "%d\n" % server.server_address[1])
    server.serve_forever()


def start(state_dir):
    stop(state_dir)
    log = open(os.path.join(state_dir, "faultserver.log"), "ab")
    process = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", "--state-dir", state_dir],
        stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    write_atomically(os.path.join(state_dir, "faultserver.pid"), "%d\n" % process.pid)
    port_file = os.path.join(state_dir, "faultserver.port")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and process.poll() is None:
        if os.path.exists(port_file):
            port = int(open(port_file).read())
            if wait_for_port(port):
                print("faultserver on 127.0.0.1:%d" % port)
                return 0
        time.sleep(0.05)
    stop(state_dir)
    return 1


def stop(state_dir):
    stop_process(os.path.join(state_dir, "faultserver.pid"), os.path.abspath(__file__))
    try:
        os.remove(os.path.join(state_dir, "faultserver.port"))
    except OSError:
        pass
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop", "serve"])
    parser.add_argument("--state-dir", required=True)
    args = parser.parse_args()
    state_dir = os.path.abspath(args.state_dir)
    os.makedirs(state_dir, exist_ok=True)
    if args.command == "serve":
        serve(state_dir)
        return 0
    return start(state_dir) if args.command == "start" else stop(state_dir)


if __name__ == "__main__":
    sys.exit(main())
