"""What the loopback test servers share: serving a handler on a free port of 127.0.0.1, telling the
port through a file written whole (so a reader never sees half a number), and ending when the parent
process has gone, so that a killed test run leaves nothing behind."""
import os
import threading
import time
from http.server import ThreadingHTTPServer


def announce_port(port, port_file):
    with open(port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(port_file + ".tmp", port_file)


def end_with_parent(stop):
    """Calls stop() from a watching thread once the parent process has gone."""
    parent = os.getppid()

    def watch():
        while os.getppid() == parent:
            time.sleep(0.5)
        stop()

    threading.Thread(target=watch, daemon=True).start()


def serve(handler, port_file):
    server = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    announce_port(server.server_address[1], port_file)
    end_with_parent(server.shutdown)
    server.serve_forever()
