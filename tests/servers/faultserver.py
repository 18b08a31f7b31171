#!/usr/bin/env python3
"""Scripted HTTP server for fault tests (standard library only).

Listens on loopback only. With --port 0 it picks a free port; in every case
the port is printed on stdout as the first line, so that a test that started
it as a child process knows where to connect. It ends on SIGTERM or when its
stdin reaches end of file (the test that started it is gone).

Behaviours, chosen by path:
  /ok/<n>                 200, n bytes of the pattern byte(i) = PATTERN[i % 36]
  /status/<code>          that status with a small HTML page
  /auth                   401 with WWW-Authenticate: Basic realm="<realm>"
                          unless the Basic credentials match --user/--password
  /cut/<n>/<m>            Content-Length n, sends m < n bytes, then closes
  /nolength/<n>           no Content-Length; n bytes, then closes
  /slow/<ms>              stalls ms milliseconds before answering 200 "slow\n"
  /stall/<n>/<m>[/<ms>]   Content-Length n, m bytes, then stalls (default 30 s)
  /range/<n>              honours Range: 206 with Content-Range, 416 past the end
  /ignore-range/<n>       200 with the whole body whatever Range says
  /echo                   200 text/plain: the request line, the header lines as
                          received, a blank line and the request body
  /redirect/<code>?to=URL that status with Location: URL
  /setcookie?name=value   200 with Set-Cookie: name=value
Requests whose target is an absolute http:// URL are handled as a forward
proxy: with --proxy-user given they need the matching Proxy-Authorization
(else 407 with Proxy-Authenticate), then they are forwarded and the answer is
relayed with the extra header "X-Qorv-Proxy: 1".
"""

import argparse
import base64
import http.client
import os
import re
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PATTERN = b"0123456789abcdefghijklmnopqrstuvwxyz"
LAST_MODIFIED = "Wed, 21 Oct 2015 07:28:00 GMT"


def pattern(start, count):
    return bytes(PATTERN[(start + i) % len(PATTERN)] for i in range(count))


def basic_ok(header, user, password):
    if not header or not header.startswith("Basic "):
        return False
    try:
        got = base64.b64decode(header[6:].strip()).decode("latin-1")
    except Exception:
        return False
    return got == f"{user}:{password}"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "faultserver/1"
    options = None

    def log_message(self, fmt, *args):
        if self.options.verbose:
            sys.stderr.write("faultserver: " + (fmt % args) + "\n")

    # The request body, read once, so that the connection stays usable.
    def body(self):
        if hasattr(self, "_body"):
            return self._body
        length = int(self.headers.get("Content-Length") or 0)
        self._body = self.rfile.read(length) if length > 0 else b""
        return self._body

    def send_simple(self, code, data, ctype="text/html", extra=None, head=False):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        for k, v in (extra or []):
            self.send_header(k, v)
        self.end_headers()
        if not head:
            self.wfile.write(data)

    def do_HEAD(self):
        self.dispatch(head=True)

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    def do_PUT(self):
        self.dispatch()

    def dispatch(self, head=False):
        self.body()
        if self.path.startswith("http://"):
            return self.proxy(head)
        url = urllib.parse.urlsplit(self.path)
        parts = [p for p in url.path.split("/") if p]
        query = urllib.parse.parse_qs(url.query)
        name = parts[0] if parts else ""
        args = parts[1:]
        try:
            nums = [int(a) for a in args]
        except ValueError:
            nums = []
        o = self.options
        if name == "ok" and len(nums) == 1:
            self.send_simple(200, pattern(0, nums[0]), "application/octet-stream",
                             [("Last-Modified", LAST_MODIFIED), ("ETag", '"qorv-%d"' % nums[0])], head)
        elif name == "status" and len(nums) == 1:
            self.send_simple(nums[0], b"<html><body>status %d</body></html>\n" % nums[0], head=head)
        elif name == "auth":
            if basic_ok(self.headers.get("Authorization"), o.user, o.password):
                self.send_simple(200, b"welcome\n", "text/plain", head=head)
            else:
                self.send_simple(401, b"<html><body>401 Unauthorized</body></html>\n",
                                 extra=[("WWW-Authenticate", 'Basic realm="%s"' % o.realm)], head=head)
        elif name == "cut" and len(nums) == 2:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(nums[0]))
            self.end_headers()
            self.wfile.write(pattern(0, min(nums[1], nums[0])))
            self.wfile.flush()
            self.close_connection = True
        elif name == "nolength" and len(nums) == 1:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(pattern(0, nums[0]))
            self.wfile.flush()
            self.close_connection = True
        elif name == "slow" and len(nums) == 1:
            time.sleep(nums[0] / 1000.0)
            self.send_simple(200, b"slow\n", "text/plain", head=head)
        elif name == "stall" and len(nums) in (2, 3):
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(nums[0]))
            self.end_headers()
            self.wfile.write(pattern(0, nums[1]))
            self.wfile.flush()
            time.sleep((nums[2] if len(nums) == 3 else 30000) / 1000.0)
            self.close_connection = True
        elif name in ("range", "ignore-range") and len(nums) == 1:
            self.ranged(nums[0], name == "range", head)
        elif name == "echo":
            text = (self.requestline + "\r\n").encode("latin-1")
            text += str(self.headers).replace("\n", "\r\n").encode("latin-1")
            text += self.body()
            self.send_simple(200, text, "text/plain", head=head)
        elif name == "redirect" and len(nums) == 1:
            to = query.get("to", ["/"])[0]
            self.send_simple(nums[0], b"<html><body>moved</body></html>\n",
                             extra=[("Location", to)], head=head)
        elif name == "setcookie":
            cookies = [("Set-Cookie", "%s=%s; Path=/" % (k, v[0])) for k, v in query.items()]
            self.send_simple(200, b"cookie\n", "text/plain", cookies, head)
        else:
            self.send_simple(404, b"<html><body>404 Not Found</body></html>\n", head=head)

    def ranged(self, size, honour, head):
        data = pattern(0, size)
        rng = self.headers.get("Range")
        m = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", rng or "") if honour else None
        common = [("Accept-Ranges", "bytes"), ("Last-Modified", LAST_MODIFIED)]
        if not m or (m.group(1) == "" and m.group(2) == ""):
            return self.send_simple(200, data, "application/octet-stream", common, head)
        if m.group(1) == "":
            first, last = max(0, size - int(m.group(2))), size - 1
        else:
            first = int(m.group(1))
            last = int(m.group(2)) if m.group(2) else size - 1
        if first >= size or last < first:
            return self.send_simple(416, b"<html><body>416</body></html>\n", "text/html",
                                    [("Content-Range", "bytes */%d" % size)], head)
        last = min(last, size - 1)
        self.send_simple(206, data[first:last + 1], "application/octet-stream",
                         common + [("Content-Range", "bytes %d-%d/%d" % (first, last, size))], head)

    def proxy(self, head):
        o = self.options
        if o.proxy_user is not None and not basic_ok(self.headers.get("Proxy-Authorization"),
                                                     o.proxy_user, o.proxy_password):
            return self.send_simple(407, b"<html><body>407 Proxy Authentication Required</body></html>\n",
                                    extra=[("Proxy-Authenticate", 'Basic realm="%s"' % o.proxy_realm)],
                                    head=head)
        target = urllib.parse.urlsplit(self.path)
        if target.hostname not in ("127.0.0.1", "localhost", "::1"):
            # Loopback only: the proxy never reaches out of this machine.
            return self.send_simple(502, b"<html><body>502 loopback only</body></html>\n", head=head)
        conn = http.client.HTTPConnection(target.hostname, target.port or 80, timeout=10)
        path = target.path or "/"
        if target.query:
            path += "?" + target.query
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")}
        try:
            conn.request(self.command, path, body=self.body() or None, headers=headers)
            resp = conn.getresponse()
            data = resp.read()
        except Exception as exc:
            return self.send_simple(502, ("<html><body>502 %s</body></html>\n" % exc).encode(), head=head)
        finally:
            conn.close()
        self.send_response(resp.status, resp.reason)
        for k, v in resp.getheaders():
            if k.lower() not in ("content-length", "transfer-encoding", "connection", "server", "date"):
                self.send_header(k, v)
        self.send_header("X-Qorv-Proxy", "1")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if not head:
            self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that hangs up mid-answer is part of the fault tests.
        if Handler.options.verbose:
            super().handle_error(request, client_address)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    p.add_argument("--user", default="user")
    p.add_argument("--password", default="secret")
    p.add_argument("--realm", default="Qorv test")
    p.add_argument("--proxy-user")
    p.add_argument("--proxy-password", default="")
    p.add_argument("--proxy-realm", default="Qorv proxy")
    p.add_argument("--verbose", action="store_true")
    o = p.parse_args()
    Handler.options = o
    server = Server(("127.0.0.1", o.port), Handler)
    if o.tls:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(o.tls[0], o.tls[1])
        server.socket = ctx.wrap_socket(server.socket, server_side=True,
                                        do_handshake_on_connect=False)
    print(server.server_address[1], flush=True)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

    # Ends with its parent: the test closes our stdin (or dies).
    def watch_stdin():
        try:
            while sys.stdin.buffer.read(1):
                pass
        except Exception:
            pass
        os._exit(0)
    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
