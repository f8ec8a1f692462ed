#!/usr/bin/env python3
"""Serves the reference page (web/) on 127.0.0.1:8080, quietly.

Prints "ready" once it holds the port, or "taken" (and ends) when another
program holds it, so scripts/serve-and-start.sh can tell the two apart
without guessing. Ends by itself when the script that started it is gone,
so it never outlives it.
"""
import errno
import functools
import http.server
import os
import sys
import threading
import time

WEB_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web")


class Handler(http.server.SimpleHTTPRequestHandler):
    # http://localhost:8080/ on its own opens the page.
    def do_GET(self):
        if self.path.split("?")[0] == "/":
            self.send_response(302)
            self.send_header("Location", "/adb.html")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        super().do_GET()

    # The page changes during development: never let the browser keep an old copy.
    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    # The bridge's console stays readable: no line per request.
    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

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
