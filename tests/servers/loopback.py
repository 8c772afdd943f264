"""What the loopback test servers share: serving a handler on a free port of 127.0.0.1, telling the
port through a file written whole (so a reader never sees half a number), and ending when the parent
process has gone, so that a killed test run leaves nothing behind."""
import os
import threading
import time
from http.server import ThreadingHTTPServer


def _watch_parent(parent, server):
    while os.getppid() == parent:
        time.sleep(0.5)
    server.shutdown()


def serve(handler, port_file):
    server = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    threading.Thread(target=_watch_parent, args=(os.getppid(), server), daemon=True).start()
    server.serve_forever()
