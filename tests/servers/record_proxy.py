#!/usr/bin/env python3
"""A recording HTTP proxy on a loopback port.

Every request line it receives is appended to LOGFILE; the request is then served by the origin
server ORIGIN_PORT on 127.0.0.1, whatever host the request names, so that nothing leaves the
machine and a made-up host name proves the request went through the proxy.
Usage: record_proxy.py PORTFILE LOGFILE ORIGIN_PORT
Ends when its parent process has gone.
"""
import http.client
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler

from loopback import serve

LOG = sys.argv[2]
ORIGIN = int(sys.argv[3])
lock = threading.Lock()


class Proxy(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        with lock, open(LOG, "a") as f:
            f.write(self.requestline + "\n")
        target = urllib.parse.urlsplit(self.path)
        path = (target.path or "/") + ("?" + target.query if target.query else "")
        origin = http.client.HTTPConnection("127.0.0.1", ORIGIN, timeout=30)
        try:
            origin.request("GET", path, headers={"Host": "127.0.0.1:%d" % ORIGIN})
            reply = origin.getresponse()
            body = reply.read()
        except OSError as e:
            self.send_error(502, str(e))
            return
        finally:
            origin.close()
        self.send_response(reply.status)
        for k, v in reply.getheaders():
            if k.lower() not in ("connection", "transfer-encoding", "content-length", "keep-alive"):
                self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


if __name__ == "__main__":
    serve(Proxy, sys.argv[1])
