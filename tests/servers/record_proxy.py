#!/usr/bin/env python3
"""A recording HTTP proxy on a loopback port.

Every request line it receives is appended to LOGFILE; the request is then served by the origin
server ORIGIN_PORT on 127.0.0.1, whatever host the request names, so that nothing leaves the
machine and a made-up host name proves the request went through the proxy.
Usage: record_proxy.py PORTFILE LOGFILE ORIGIN_PORT
Ends when its parent process has gone.
"""
import http.client
import os
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

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


def watch_parent(parent, server):
    while os.getppid() == parent:
        time.sleep(0.5)
    server.shutdown()


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Proxy)
    server.daemon_threads = True
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    threading.Thread(target=watch_parent, args=(os.getppid(), server), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
