#!/usr/bin/env python3
"""A TCP relay on a loopback port in front of an HTTP server (nginx) that breaks replies on purpose
and counts what it relays.

A request for /cut/PLAN/PATH is sent on as /PATH; PLAN is a comma-separated list of
  30p        cut the client's connection once 30 % of the file's bytes have been relayed
  1048576    the same after that many body bytes
  norange    the request goes on without Range and If-Range (a server without ranges)
  stall      at a cut, stop relaying and hold the connection open instead of closing it
  swap       after the first cut, www/NAME.swap replaces www/NAME (a file replaced between attempts)
  endless    a 200 reply loses its length and, after the file, goes on with "; more" lines until
             the client closes the connection
  -, other   no effect: a tag that makes another set of counters
Body bytes are counted per PLAN/PATH across connections and requests, so the cuts fall at those
points of the whole transfer, each once. The file's size is taken from the first reply (its
Content-Range total, or its Content-Length). Replies to the probes that come before a download
(user agent "HTTP_Connect_2": the first-byte pre-open and the size query) are relayed but neither
counted as body nor cut. Other paths go on unchanged, uncounted.

STATSFILE is rewritten whole after every reply and connection: a line "open=N" (connections now
open), then one line per PLAN/PATH: "KEY relayed=N body=N requests=N cuts=N", where relayed counts
every byte sent from the server to the client (headers included). STATSFILE.replies gets a line per
reply of a PLAN/PATH once it has ended: "KEY status=N range=R if-range=0|1 content-range=R
relayed=N end=complete|cut|closed|endless" (R is "-" for none), which tells a resume from a start over.
Usage: cut_relay.py PORTFILE STATSFILE SERVER_PORT
Ends when its parent process has gone.
"""
import collections
import os
import socket
import sys
import threading

from loopback import announce_port, end_with_parent

BUF = 1 << 20
PORT_FILE, STATS_FILE, SERVER_PORT = sys.argv[1], sys.argv[2], int(sys.argv[3])

lock = threading.Lock()
keys = {}  # PLAN/PATH -> Key
open_connections = 0


class Key:
    def __init__(self, name, plan, path):
        self.name = name
        self.items = [i for i in plan.split(",") if i]
        self.path = path
        self.norange = "norange" in self.items
        self.stall = "stall" in self.items
        self.swap = "swap" in self.items
        self.endless = "endless" in self.items
        self.size = None
        self.cuts = None
        self.body = self.relayed = self.requests = self.cut_count = 0

    def resolve(self, size):
        """The cut points in bytes, once the file's size is known."""
        if self.cuts is not None:
            return
        self.size = size
        cuts = []
        for i in self.items:
            if i.endswith("p") and i[:-1].replace(".", "", 1).isdigit() and size is not None:
                cuts.append(int(size * float(i[:-1]) / 100))
            elif i.isdigit():
                cuts.append(int(i))
        self.cuts = sorted(cuts)

    def next_cut(self):
        return self.cuts[self.cut_count] if self.cuts and self.cut_count < len(self.cuts) else None


class Reply:
    """One reply of a PLAN/PATH on its way, logged once it has ended."""
    def __init__(self, key, status, asked, if_range, content_range, probe):
        self.key, self.status, self.asked, self.if_range = key, status, asked, if_range
        self.content_range, self.probe, self.relayed = content_range or "-", probe, 0

    def log(self, end):
        with lock:
            with open(STATS_FILE + ".replies", "a") as f:
                f.write("%s status=%d range=%s if-range=%d content-range=%s relayed=%d end=%s%s\n"
                        % (self.key.name, self.status, self.asked.replace(" ", ""), self.if_range,
                           self.content_range.replace(" ", ""), self.relayed, end, " probe" if self.probe else ""))


def write_stats():
    lines = ["open=%d" % open_connections]
    for k in keys.values():
        lines.append("%s relayed=%d body=%d requests=%d cuts=%d"
                     % (k.name, k.relayed, k.body, k.requests, k.cut_count))
    with open(STATS_FILE + ".tmp", "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(STATS_FILE + ".tmp", STATS_FILE)


def read_head(sock, buf):
    """Reads up to the end of a header block; (head, rest) or (None, buf) at the end of the stream."""
    while b"\r\n\r\n" not in buf:
        data = sock.recv(BUF)
        if not data:
            return None, buf
        buf += data
    at = buf.index(b"\r\n\r\n") + 4
    return buf[:at], buf[at:]


def header(lines, name):
    for line in lines[1:]:
        k, _, v = line.partition(":")
        if k.strip().lower() == name:
            return v.strip()
    return None


class Connection:
    def __init__(self, client):
        self.client = client
        self.server = socket.create_connection(("127.0.0.1", SERVER_PORT))
        for s in (client, self.server):
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 * BUF)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 * BUF)
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = collections.deque()  # (key or None, method, probe, asked range, if-range) per request
        self.ready = threading.Condition()
        self.closed = threading.Event()
        self.reply = None  # the Reply being relayed

    def reply_ended(self, end):
        with self.ready:
            reply, self.reply = self.reply, None
        if reply is not None:
            reply.log(end)

    def requests(self):
        """Client to server: each request, rewritten when it names /cut/PLAN/."""
        buf = b""
        try:
            while True:
                head, buf = read_head(self.client, buf)
                if head is None:
                    break
                lines = head.decode("latin-1").split("\r\n")[:-2]
                method, target, version = (lines[0].split(" ") + ["", ""])[:3]
                key = None
                parts = target.split("/", 3)
                if target.startswith("/cut/") and len(parts) == 4:
                    plan, path = parts[2], "/" + parts[3]
                    with lock:
                        key = keys.setdefault(plan + path, Key(plan + path, plan, path))
                        key.requests += 1
                    lines[0] = "%s %s %s" % (method, path, version)
                    if key.norange:
                        lines = [lines[0]] + [l for l in lines[1:]
                                              if l.split(":")[0].strip().lower() not in ("range", "if-range")]
                length = int(header(lines, "content-length") or 0)
                probe = header(lines, "user-agent") == "HTTP_Connect_2"
                with self.ready:
                    self.pending.append((key, method, probe, header(lines, "range") or "-",
                                         header(lines, "if-range") is not None))
                    self.ready.notify()
                self.server.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
                while length > 0:  # a request body goes on as it is
                    if not buf:
                        buf = self.client.recv(BUF)
                        if not buf:
                            raise OSError("client ended in a request body")
                    piece, buf = buf[:length], buf[length:]
                    self.server.sendall(piece)
                    length -= len(piece)
        except OSError:
            pass
        self.end()

    def replies(self):
        """Server to client: each reply, counted, cut where its key says."""
        buf = b""
        try:
            while not self.closed.is_set():
                head, buf = read_head(self.server, buf)
                if head is None:
                    break
                with self.ready:
                    while not self.pending and not self.closed.is_set():
                        self.ready.wait(0.5)
                    if not self.pending:
                        break
                    key, method, probe, asked, if_range = self.pending.popleft()
                lines = head.decode("latin-1").split("\r\n")[:-2]
                status = int(lines[0].split(" ")[1])
                length = header(lines, "content-length")
                if method == "HEAD" or status < 200 or status in (204, 304):
                    length = 0
                elif length is not None:
                    length = int(length)
                if key is not None:
                    total = header(lines, "content-range")
                    with lock:
                        if total and "/" in total and total.rsplit("/", 1)[1].isdigit():
                            key.resolve(int(total.rsplit("/", 1)[1]))
                        elif status == 200:
                            key.resolve(length)
                endless = key is not None and key.endless and status == 200 and not probe
                if endless:
                    lines = [l for l in lines if l.split(":")[0].strip().lower() not in ("content-length", "connection")]
                    head = ("\r\n".join(lines + ["Connection: close"]) + "\r\n\r\n").encode("latin-1")
                reply = None
                if key is not None:
                    reply = self.reply = Reply(key, status, asked, if_range, header(lines, "content-range"), probe)
                    reply.relayed += len(head)
                    with lock:
                        key.relayed += len(head)
                self.client.sendall(head)
                left = length  # None: to the end of the stream
                while left is None or left > 0:
                    if not buf:
                        buf = self.server.recv(BUF)
                        if not buf:
                            break
                    piece = buf if left is None else buf[:left]
                    cut = False
                    if key is not None and probe:
                        with lock:
                            key.relayed += len(piece)
                    elif key is not None:
                        with lock:
                            at = key.next_cut()
                            if at is not None and key.body + len(piece) >= at:
                                piece, cut = piece[:at - key.body], True
                            key.body += len(piece)
                            key.relayed += len(piece)
                    if reply is not None:
                        reply.relayed += len(piece)
                    self.client.sendall(piece)
                    buf = buf[len(piece):]
                    if left is not None:
                        left -= len(piece)
                    if cut:
                        self.reply_ended("cut")
                        self.cut(key)
                        return
                if endless:
                    self.endless(key, reply)
                    return
                self.reply_ended("complete" if not left else "closed")
                with lock:
                    write_stats()
                if left is None:
                    break
        except OSError:
            pass
        self.end()

    def endless(self, key, reply):
        filler = b"; more\r\n" * (BUF // 8)
        try:
            while True:
                self.client.sendall(filler)
                reply.relayed += len(filler)
                with lock:
                    key.relayed += len(filler)
        except OSError:
            pass
        self.reply_ended("endless")
        self.end()

    def cut(self, key):
        with lock:
            key.cut_count += 1
            if key.swap and key.cut_count == 1:
                name = os.path.join("www", os.path.basename(key.path))
                if os.path.isfile(name + ".swap"):
                    os.replace(name + ".swap", name)
            write_stats()
        if key.stall:
            self.closed.wait()  # the client ends it
        self.end()

    def end(self):
        global open_connections
        self.reply_ended("closed")
        with self.ready:
            first = not self.closed.is_set()
            self.closed.set()
            self.ready.notify_all()
        if not first:
            return
        for s in (self.client, self.server):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
        with lock:
            open_connections -= 1
            write_stats()


def accept(listener):
    global open_connections
    while True:
        client, _ = listener.accept()
        try:
            c = Connection(client)
        except OSError:
            client.close()
            continue
        with lock:
            open_connections += 1
        threading.Thread(target=c.requests, daemon=True).start()
        threading.Thread(target=c.replies, daemon=True).start()


if __name__ == "__main__":
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    open(STATS_FILE + ".replies", "w").close()
    with lock:
        write_stats()
    announce_port(listener.getsockname()[1], PORT_FILE)
    end_with_parent(lambda: os._exit(0))
    accept(listener)
