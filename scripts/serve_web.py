#!/usr/bin/env python3
"""Serves the reference page (web/) on 127.0.0.1:8080, quietly.

Prints "ready" once it holds the port, or "taken" (and ends) when another
program holds it, so scripts/serve-and-start.sh can tell the two apart
without guessing. Ends by itself when the script that started it is gone,
so it never outlives it.

Like the bridge, it answers only requests whose Host is 127.0.0.1 or
localhost (alone or with the served port), so a page of another origin
whose name was pointed at 127.0.0.1 cannot read what it serves. It serves
files only, never a folder's listing, and closes a connection that sends
nothing for IDLE_SECONDS; at most MAX_CONNECTIONS are served at once, the
next ones wait for a free place.
"""
import errno
import functools
import http.server
import io
import os
import sys
import threading
import time

WEB_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web")
IDLE_SECONDS = 10
MAX_CONNECTIONS = 32


class Handler(http.server.SimpleHTTPRequestHandler):
    # Every read and write on the connection: one that stays silent this
    # long is closed, and its thread ends.
    timeout = IDLE_SECONDS

    # The bridge's rule: no Host at all, or exactly one of the loopback
    # names, alone or with the served port.
    def host_allowed(self):
        hosts = self.headers.get_all("Host") or []
        return not hosts or (len(hosts) == 1 and hosts[0] in self.server.allowed_hosts)

    # GET and HEAD both come here.
    def send_head(self):
        if not self.host_allowed():
            body = b"Host not allowed\n"
            self.send_response(403)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            return io.BytesIO(body)
        # http://localhost:8080/ on its own opens the page.
        if self.path.split("?")[0] == "/":
            self.send_response(302)
            self.send_header("Location", "/adb.html")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return None
        # Files only: a folder is neither listed nor redirected to.
        if os.path.isdir(self.translate_path(self.path)):
            self.send_error(404)
            return None
        return super().send_head()

    # The page changes during development: never let the browser keep an old copy.
    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    # The bridge's console stays readable: no line per request.
    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, address, handler):
        super().__init__(address, handler)
        port = self.server_address[1]
        self.allowed_hosts = {"127.0.0.1", "localhost", "127.0.0.1:%d" % port, "localhost:%d" % port}
        self.places = threading.BoundedSemaphore(MAX_CONNECTIONS)

    # A connection past the cap waits, accepted, until one ends (at the
    # latest when it has been idle for IDLE_SECONDS).
    def process_request(self, request, client_address):
        self.places.acquire()
        try:
            super().process_request(request, client_address)
        except BaseException:
            self.places.release()
            raise

    def process_request_thread(self, request, client_address):
        try:
            super().process_request_thread(request, client_address)
        finally:
            self.places.release()

    # A browser that drops a connection is no error worth a traceback.
    def handle_error(self, request, client_address):
        pass

    # HTTPServer would look up the host's full name here, which can wait on DNS.
    def server_bind(self):
        http.server.socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


def watch_parent(parent):
    while os.getppid() == parent:
        time.sleep(1)
    os._exit(0)


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 8080
    parent = os.getppid()
    try:
        server = Server(("127.0.0.1", port), functools.partial(Handler, directory=os.path.normpath(WEB_DIR)))
    except OSError as e:
        if e.errno != errno.EADDRINUSE:
            raise
        print("taken", flush=True)
        return
    threading.Thread(target=watch_parent, args=(parent,), daemon=True).start()
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
