#!/usr/bin/env python3
"""The demo portal's server: serves this folder on a loopback address.

  serve.py [--port N] [--root PAGE] [--port-file FILE]

The portal's root URL ("/") answers with PAGE (default index.html), so a test
can make a page with frames the first page the launcher loads. Port 0 picks a
free port; the port actually bound is printed on the first line of stdout and,
with --port-file, written to FILE once the server listens. Files placed here
later (an update channel's Version.inf and program files) are served as they
are, by their names.
"""
import argparse
import functools
import http.server
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class Handler(http.server.SimpleHTTPRequestHandler):
    root_page = "index.html"

    def do_GET(self):
        if self.path == "/" or self.path.startswith("/?"):
            self.path = "/" + self.root_page
        super().do_GET()

    def do_HEAD(self):
        if self.path == "/":
            self.path = "/" + self.root_page
        super().do_HEAD()

    def end_headers(self):
        # The launcher must see every change of the demo at once.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, fmt, *args):
        sys.stderr.write("serve.py: " + (fmt % args) + "\n")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, default=8731)
    p.add_argument("--root", default="index.html")
    p.add_argument("--port-file")
    a = p.parse_args()
    if "/" in a.root or a.root.startswith(".") or not os.path.isfile(os.path.join(HERE, a.root)):
        sys.exit(f"serve.py: no page {a.root!r} in {HERE}")
    Handler.root_page = a.root
    handler = functools.partial(Handler, directory=HERE)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", a.port), handler)
    port = server.server_address[1]
    print(port, flush=True)
    if a.port_file:
        tmp = a.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(f"{port}\n")
        os.replace(tmp, a.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
