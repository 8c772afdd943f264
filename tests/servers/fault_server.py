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
Usage: fault_server.py PORTFILE   (writes the chosen port to PORTFILE once listening)
Ends when its parent process has gone, so that a killed test run leaves nothing behind.
"""
import os
import socket
import sys
import time
from http.server import BaseHTTPRequestHandler

from loopback import serve


def pattern(n):
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


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

    def do_GET(self):
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        if parts[:1] == ["file"]:
            self.serve_file(parts)
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
