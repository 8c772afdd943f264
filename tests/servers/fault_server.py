#!/usr/bin/env python3
"""HTTP server on a loopback port for the replies a plain file server does not give.

Bodies are the test pattern: byte i is (i * 31 + 7) mod 256.
  /chunked/N            N bytes, chunked transfer, no Content-Length
  /empty                Content-Length: 0
  /drop/TOTAL/SENT      Content-Length TOTAL, SENT bytes, then the connection is dropped
  /trickle/TOTAL/PIECE/MS   Content-Length TOTAL, PIECE bytes every MS milliseconds
  /lastmod/N            N bytes with Last-Modified: Tue, 05 Mar 2024 14:30:20 GMT
  /errorpage            status 200 with an HTML error page
  /file/chunked/NAME    the file www/NAME of the working folder, chunked, no Content-Length
  /file/slow/MS/NAME    the file www/NAME with its length, 64 KiB every MS milliseconds
  /endless              no length, pattern bytes for as long as the client reads (at most 2 GiB)
  /silent               reads the request and answers nothing (the connection is held for 30 s)
Resumable bodies, with a strong ETag and Last-Modified, honouring Range: bytes=N- (206 with
Content-Range) and If-Range (200 with the whole body when it names another version). TOKEN keeps
the state of one test apart from another's: what a route does to the first request of a token
differs from what it does to the later ones. BODY is a number N (the pattern of N bytes) or the
name of a file in www/.
  /res/TOKEN/BODY                 served plainly
  /res/TOKEN/BODY/drop/P          the first request's connection drops after P % of the body
  /res/TOKEN/BODY/norange/P       likewise, and Range is ignored (always 200 with the whole body)
  /res/TOKEN/BODY/replace/P       likewise, and the later requests get a new version of the body
                                  (byte i = (i * 17 + 3) mod 256, another ETag and date)
  /res/TOKEN/BODY/weak/P          likewise, with a weak ETag and no Last-Modified
  /res/TOKEN/BODY/stall/P         every reply stops after P % of the body and then sends nothing
                                  (the connection is held for 30 s)
  /res/TOKEN/BODY/status/CODE     status CODE, the body's length announced, half of it sent,
                                  then the connection drops
  /log/TOKEN                      the requests of TOKEN so far, one line each:
                                  "<path> range=<Range or -> if-range=<If-Range or ->"
A probe for the first byte (Range: bytes=0-0) gets it with 206 and does not count as the first
request of its token.
Usage: fault_server.py PORTFILE   (writes the chosen port to PORTFILE once listening)
Ends when its parent process has gone, so that a killed test run leaves nothing behind.
"""
import os
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler

from loopback import serve


def pattern(n):
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


def _period(mul, add):
    return bytes((i * mul + add) & 0xFF for i in range(256)) * 257


class PatternBody:
    """N bytes of byte i = (i * MUL + ADD) mod 256, sliced without building the whole body."""

    def __init__(self, size, mul=31, add=7):
        self.size, self.period = size, _period(mul, add)

    def read(self, start, end):
        out = bytearray()
        while start < end:
            n = min(end - start, 65536)
            at = start % 256
            out += self.period[at:at + n]
            start += n
        return bytes(out)


class FileBody:
    def __init__(self, path):
        self.path, self.size = path, os.path.getsize(path)

    def read(self, start, end):
        with open(self.path, "rb") as f:
            f.seek(start)
            return f.read(end - start)


_lock = threading.Lock()
_requests = {}  # token -> request lines seen


def _record(token, line):
    with _lock:
        seen = _requests.setdefault(token, [])
        seen.append(line)
        return len(seen)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def head(self, length=None, extra=()):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()

    def serve_file(self, parts):
        """Routes under /file/: a served file in the ways nginx does not send it."""
        name = parts[-1]
        path = os.path.join("www", name)
        if "/" in name or name.startswith(".") or not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            body = f.read()
        try:
            if parts[1:2] == ["chunked"] and len(parts) == 3:
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                for at in range(0, len(body), 65536):
                    piece = body[at:at + 65536]
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.write(b"0\r\n\r\n")
            elif parts[1:2] == ["slow"] and len(parts) == 4 and parts[2].isdigit():
                self.head(len(body))
                for at in range(0, len(body), 65536):
                    self.wfile.write(body[at:at + 65536])
                    self.wfile.flush()
                    time.sleep(int(parts[2]) / 1000.0)
            else:
                self.send_error(404)
        except OSError:
            self.close_connection = True  # the client went away

    def send_body(self, body, start, end, stop=None):
        """Writes body[start:end] in 64 KiB pieces; at stop the connection drops."""
        at = start
        while at < end:
            upto = min(end, at + 65536)
            if stop is not None and at < stop <= upto:
                self.wfile.write(body.read(at, stop))
                self.wfile.flush()
                self.connection.shutdown(socket.SHUT_RDWR)
                self.close_connection = True
                return
            self.wfile.write(body.read(at, upto))
            at = upto

    def serve_resumable(self, parts):
        """Routes under /res/: resumable bodies and the faults of a transfer."""
        token, source = parts[1], parts[2]
        fault, arg = (parts[3], parts[4]) if len(parts) == 5 else ("", "0")
        if len(parts) not in (3, 5) or not arg.isdigit():
            self.send_error(404)
            return
        wanted = self.headers.get("Range", "")
        probe = wanted == "bytes=0-0"
        _record(token, "%s range=%s if-range=%s" % (self.path, wanted or "-", self.headers.get("If-Range", "-")))
        with _lock:
            first = sum(not line.split()[1] == "range=bytes=0-0" for line in _requests[token]) == 1
        if source.isdigit():
            body = PatternBody(int(source))
        elif "/" not in source and not source.startswith(".") and os.path.isfile(os.path.join("www", source)):
            body = FileBody(os.path.join("www", source))
        else:
            self.send_error(404)
            return
        tag, date = '"v1-%d"' % body.size, "Tue, 05 Mar 2024 14:30:20 GMT"
        if fault == "replace" and not first:
            body = PatternBody(body.size, 17, 3)
            tag, date = '"v2-%d"' % body.size, "Wed, 06 Mar 2024 09:00:00 GMT"
        validators = [("ETag", tag), ("Last-Modified", date)]
        if fault == "weak":
            validators = [("ETag", "W/" + tag)]
        size, pct = body.size, int(arg)
        try:
            if fault == "status":
                self.send_response(pct)
                self.send_header("Content-Length", str(size))
                self.end_headers()
                self.send_body(body, 0, size, size // 2)
                return
            if probe and fault not in ("norange", "stall"):
                self.send_response(206)
                self.send_header("Content-Length", "1")
                self.send_header("Content-Range", "bytes 0-0/%d" % size)
                for k, v in validators:
                    self.send_header(k, v)
                self.end_headers()
                self.wfile.write(body.read(0, 1))
                return
            start = 0
            if_range = self.headers.get("If-Range")
            if (fault != "norange" and wanted.startswith("bytes=") and wanted.endswith("-")
                    and wanted[6:-1].isdigit() and int(wanted[6:-1]) < size
                    and (if_range is None or if_range in (tag, date))):
                start = int(wanted[6:-1])
            self.send_response(206 if start else 200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size - start))
            if start:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
            self.send_header("Accept-Ranges", "none" if fault == "norange" else "bytes")
            for k, v in validators:
                self.send_header(k, v)
            self.end_headers()
            if fault == "stall":
                upto = min(size, start + size * pct // 100)
                self.wfile.write(body.read(start, upto))
                self.wfile.flush()
                if upto == size:
                    return  # nothing left to hold back
                time.sleep(30)
                self.close_connection = True
                return
            stop = size * pct // 100 if first and fault in ("drop", "norange", "replace", "weak") else None
            self.send_body(body, start, size, stop)
        except OSError:
            self.close_connection = True  # the client went away

    def serve_endless(self):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        piece = PatternBody(65536).read(0, 65536)
        try:
            for _ in range(32768):  # 2 GiB: bounded even for a client that never stops
                self.wfile.write(piece)
        except OSError:
            pass  # the client went away

    def do_GET(self):
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        if parts[:1] == ["file"]:
            self.serve_file(parts)
            return
        if parts[:1] == ["res"] and len(parts) >= 3:
            self.serve_resumable(parts)
            return
        if parts[:1] == ["endless"]:
            self.serve_endless()
            return
        if parts[:1] == ["silent"]:
            time.sleep(30)
            self.close_connection = True
            return
        if parts[:1] == ["log"] and len(parts) == 2:
            with _lock:
                body = "".join(line + "\n" for line in _requests.get(parts[1], [])).encode()
            self.head(len(body), [("Content-Type", "text/plain")])
            self.wfile.write(body)
            return
        try:
            route, args = parts[0], [int(a) for a in parts[1:]]
        except (IndexError, ValueError):
            route, args = "", []
        if route == "chunked" and len(args) == 1:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            body = pattern(args[0])
            for at in range(0, len(body), 1000):
                piece = body[at:at + 1000]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif route == "empty":
            self.head(0)
        elif route == "drop" and len(args) == 2:
            self.head(args[0])
            self.wfile.write(pattern(args[0])[:args[1]])
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
        elif route == "trickle" and len(args) == 3:
            total, piece, ms = args
            self.head(total)
            body = pattern(total)
            try:
                for at in range(0, total, piece):
                    self.wfile.write(body[at:at + piece])
                    self.wfile.flush()
                    time.sleep(ms / 1000.0)
            except OSError:
                self.close_connection = True  # the client went away
        elif route == "lastmod" and len(args) == 1:
            self.head(args[0], [("Last-Modified", "Tue, 05 Mar 2024 14:30:20 GMT")])
            self.wfile.write(pattern(args[0]))
        elif route == "errorpage":
            body = b"<HTML><HEAD><TITLE>Service unavailable</TITLE></HEAD><BODY>Try later</BODY></HTML>"
            self.head(len(body), [("Content-Type", "text/html")])
            self.wfile.write(body)
        else:
            self.send_error(404)


if __name__ == "__main__":
    serve(Handler, sys.argv[1])
