#!/usr/bin/env python3
"""GUI tests of the launcher: the real GTK/WebKitGTK program on its own Xvfb
screen with a real window manager (openbox), against the demo portal served
on loopback. The test looks at the program from outside, as a user would:
window properties (xprop, xwininfo), screenshots of the screen (ImageMagick
import), keys (xdotool) and window-manager requests (EWMH client messages).

  gui_test.py SCENARIO --exe Qorv_test_portal --port N --demo DIR --splash JPEG
              [--keep DIR]

Scenarios: splash, portal, link, frames, close. Every wait is bounded; on
failure the screenshots so far are kept under --keep (or a temporary folder)
and named in the message. Exit code 0 when every check passed.
"""
import argparse
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SCREEN_W, SCREEN_H = 1280, 800
# The demo's first page: background and header colours.
INDEX_BG, INDEX_HEADER = "#f4f7f6", "#2f6f73"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)
    print("ok:", message, flush=True)


def wait_for(what, predicate, timeout, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise Failure(f"timed out after {timeout} s waiting for {what}")


# --- pictures -------------------------------------------------------------

class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i : i + 3])


def read_ppm(data):
    # "P6\n<w> <h>\n<max>\n" then bytes; ImageMagick writes no comments.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at : at + 1].isspace():
            at += 1
        start = at
        while not data[at : at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    at += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure("unexpected picture format")
    w, h = int(fields[1]), int(fields[2])
    return Picture(w, h, data[at : at + 3 * w * h])


def decode(path):
    data = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "ppm:-"], check=True,
                          capture_output=True, timeout=30).stdout
    return read_ppm(data)


def close_to(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def hex_rgb(text):
    return tuple(int(text[i : i + 2], 16) for i in (1, 3, 5))


# --- X ----------------------------------------------------------------------

class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessage), ("pad", ctypes.c_long * 24)]


class Session:
    def __init__(self, args):
        self.args = args
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="qorv-gui-")
        self.keep = args.keep or os.path.join(self.tmp, "shots")
        os.makedirs(self.keep, exist_ok=True)
        self.shots = 0
        self.env = None
        self.launcher = None

    # Starting and stopping -------------------------------------------------
    def start_x(self):
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        self.procs.append(xvfb)
        number = b""
        end = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < end:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            raise Failure("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        home = os.path.join(self.tmp, "home")
        for sub in ("config/gtk-3.0", "cache", "data"):
            os.makedirs(os.path.join(home, sub), exist_ok=True)
        # Classic scroll bars, so that a page's scroll bar is there to see.
        with open(os.path.join(home, "config/gtk-3.0/settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-overlay-scrolling = false\n")
        self.env = dict(os.environ, DISPLAY=self.display, GTK_OVERLAY_SCROLLING="0", NO_AT_BRIDGE="1",
                        HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                        XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_DATA_HOME=os.path.join(home, "data"),
                        GDK_BACKEND="x11",
                        # Xvfb has no GPU: WebKit draws nothing on it unless
                        # it renders without compositing and DMA-BUF.
                        WEBKIT_DISABLE_COMPOSITING_MODE="1", WEBKIT_DISABLE_DMABUF_RENDERER="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("QORV_UI", None)
        wm = subprocess.Popen(["openbox", "--replace"], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        self.procs.append(wm)
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.xprop("-root"), 20)
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.POINTER(XEvent)]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11 = x11
        self.dpy = x11.XOpenDisplay(self.display.encode())
        if not self.dpy:
            raise Failure("cannot open the test display")

    def start_server(self, root):
        server = subprocess.Popen([sys.executable, os.path.join(self.args.demo, "serve.py"), "--port",
                                   str(self.args.port), "--root", root], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.procs.append(server)

        def up():
            if server.poll() is not None:
                raise Failure(f"the demo server did not start (is port {self.args.port} busy?)")
            try:
                socket.create_connection(("127.0.0.1", self.args.port), 0.2).close()
                return True
            except OSError:
                return False

        wait_for("the demo server", up, 10)
        # A server that lost the port to another one answers the probe
        # through that other one and then ends: make sure ours is the one.
        time.sleep(0.3)
        if server.poll() is not None:
            raise Failure(f"the demo server ended: port {self.args.port} is taken by another process")

    def start_launcher(self):
        self.launch_time = time.monotonic()
        self.launcher = subprocess.Popen([self.args.exe], env=self.env, stdout=subprocess.DEVNULL,
                                         stderr=open(os.path.join(self.tmp, "launcher.log"), "w"))
        self.procs.append(self.launcher)

        def window():
            if self.launcher.poll() is not None:
                raise Failure(f"the launcher ended early with {self.launcher.returncode}: {self.log()}")
            out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.launcher.pid)], check=False)
            ids = out.split()
            return ids[0] if ids else None

        self.window = wait_for("the launcher's window", window, 20)
        return self.window

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait(5)

    def log(self):
        try:
            with open(os.path.join(self.tmp, "launcher.log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    # Looking -----------------------------------------------------------------
    def run(self, cmd, check=True):
        r = subprocess.run(cmd, env=self.env, capture_output=True, text=True, timeout=30)
        if check and r.returncode != 0:
            raise Failure(f"{' '.join(cmd)} failed: {r.stderr.strip()}")
        return r.stdout

    def xprop(self, *args):
        return self.run(["xprop", *args], check=False)

    def geometry(self):
        out = self.run(["xwininfo", "-id", self.window])
        g = {}
        for line in out.splitlines():
            line = line.strip()
            for key, name in (("Absolute upper-left X:", "x"), ("Absolute upper-left Y:", "y"),
                              ("Width:", "w"), ("Height:", "h")):
                if line.startswith(key):
                    g[name] = int(line.split(":")[1])
        return g

    def net_state(self):
        return self.xprop("-id", self.window, "_NET_WM_STATE")

    def maximized(self):
        s = self.net_state()
        return "_NET_WM_STATE_MAXIMIZED_VERT" in s and "_NET_WM_STATE_MAXIMIZED_HORZ" in s

    def frame_extents(self):
        out = self.xprop("-id", self.window, "_NET_FRAME_EXTENTS")
        if "=" not in out:
            return (0, 0, 0, 0)
        return tuple(int(v) for v in out.split("=")[1].split(","))

    def screenshot(self, name):
        self.shots += 1
        path = os.path.join(self.keep, f"{self.shots:02d}-{name}.png")
        self.run(["import", "-display", self.display, "-window", "root", path])
        return path, decode(path)

    def client_message(self, message_type, data):
        a = lambda n: self.x11.XInternAtom(self.dpy, n.encode(), 0)
        ev = XEvent()
        ev.xclient.type = 33  # ClientMessage
        ev.xclient.send_event = 1
        ev.xclient.window = int(self.window, 0) if isinstance(self.window, str) else self.window
        ev.xclient.message_type = a(message_type)
        ev.xclient.format = 32
        for i, v in enumerate(data):
            ev.xclient.data[i] = a(v) if isinstance(v, str) else v
        mask = (1 << 20) | (1 << 19)  # SubstructureRedirect | SubstructureNotify
        self.x11.XSendEvent(self.dpy, self.x11.XDefaultRootWindow(self.dpy), 0, mask, ctypes.byref(ev))
        self.x11.XFlush(self.dpy)

    def set_maximized(self, on):
        # _NET_WM_STATE: 0 remove, 1 add; source 2 is a pager or tool.
        self.client_message("_NET_WM_STATE", [1 if on else 0, "_NET_WM_STATE_MAXIMIZED_VERT",
                                              "_NET_WM_STATE_MAXIMIZED_HORZ", 2, 0])

    # The portal window's page ---------------------------------------------
    def client_pixel(self, pic, g, x, y):
        return pic.pixel(g["x"] + x, g["y"] + y)

    def scroll_bar_rows(self, pic, g):
        """Rows where the window's right edge differs from the page just inside
        it: a classic scroll bar's trough and thumb; zero for a page without."""
        edge, inner = g["w"] - 4, g["w"] - 30
        count = 0
        for y in range(10, g["h"] - 10):
            if not close_to(self.client_pixel(pic, g, edge, y), self.client_pixel(pic, g, inner, y), 12):
                count += 1
        return count

    def wait_page(self, name, background, header):
        """Waits until the window shows the page: its background low in the
        window and its header in the client area's top left corner (the
        toolkit's own grey is close to some page backgrounds, so one colour
        alone does not tell that the page is drawn)."""
        bg, top = hex_rgb(background), hex_rgb(header)

        def shown():
            g = self.geometry()
            _, pic = self.screenshot(name)
            low = self.client_pixel(pic, g, g["w"] // 2, g["h"] - 20)
            corner = self.client_pixel(pic, g, 3, 3)
            return (g, pic) if close_to(low, bg, 6) and close_to(corner, top, 8) else None

        result = wait_for(f"the page {name} drawn from the client area's top left corner", shown, 25, step=0.5)
        print(f"ok: the page {name} fills the client area from its top left corner", flush=True)
        return result


# --- scenarios --------------------------------------------------------------

def splash_checks(s, args):
    g = s.geometry()
    path, pic = s.screenshot("splash")
    check(not s.maximized(), "the splash is not maximized")
    check(s.frame_extents() == (0, 0, 0, 0), f"the splash has no frame (extents {s.frame_extents()})")
    check((g["w"], g["h"]) == (700, 420), f"the splash's client area is 700 x 420 (got {g['w']} x {g['h']})")
    want_x, want_y = (SCREEN_W - 700) // 2, (SCREEN_H - 420) // 2
    check(abs(g["x"] - want_x) <= 2 and abs(g["y"] - want_y) <= 2,
          f"the splash is centred at {want_x},{want_y} (got {g['x']},{g['y']})")
    splash = decode(args.splash)
    for x, y in [(10, 10), (690, 410), (350, 40), (30, 380), (250, 180), (300, 271)]:
        got, want = s.client_pixel(pic, g, x, y), splash.pixel(x, y)
        check(close_to(got, want, 16), f"the splash shows the picture at {x},{y} (screen {got}, picture {want})")
    return path


def portal_checks(s):
    g, pic = s.wait_page("portal", INDEX_BG, INDEX_HEADER)
    ext = s.frame_extents()
    check(ext != (0, 0, 0, 0), f"the portal window has a frame (extents {ext})")
    # The page's header runs to the top left of the client area: the browser
    # fills it, and the picture is gone.
    # The page is drawn before it has completed, so its scroll bar may show
    # for a moment; it must be gone once the document has completed.
    def without_scroll_bar():
        gg = s.geometry()
        _, p = s.screenshot("portal")
        return (gg, p) if s.scroll_bar_rows(p, gg) == 0 else None

    g, pic = wait_for("the first page without its scroll bar", without_scroll_bar, 10, step=0.5)
    print("ok: the first page shows no scroll bar", flush=True)
    return g, pic


def scenario_splash(s, args):
    s.start_server("index.html")
    s.start_launcher()
    splash_checks(s, args)


def scenario_portal(s, args):
    s.start_server("index.html")
    s.start_launcher()
    portal_checks(s)
    wait_for("the maximized portal window", s.maximized, 15)
    g, pic = s.wait_page("portal-maximized", INDEX_BG, INDEX_HEADER)
    check(g["w"] >= SCREEN_W - 20 and g["h"] >= SCREEN_H - 80,
          f"the portal window fills the screen (client {g['w']} x {g['h']})")
    check(s.scroll_bar_rows(pic, g) == 0, "the maximized first page shows no scroll bar")
    path = s.screenshot("portal")[0]
    # The timer fired once: restoring and maximizing again changes nothing
    # else, and no later tick undoes it.
    s.set_maximized(False)
    wait_for("the restored window", lambda: not s.maximized(), 10)
    time.sleep(4)  # longer than the timer's interval
    check(s.launcher.poll() is None, "the launcher still runs after the restore")
    check(not s.maximized(), "the restored window stays restored")
    check(s.frame_extents() != (0, 0, 0, 0), "the restored window keeps its frame")
    g, pic = s.wait_page("restored", INDEX_BG, INDEX_HEADER)
    s.set_maximized(True)
    wait_for("the maximized window again", s.maximized, 10)
    g, pic = s.wait_page("re-maximized", INDEX_BG, INDEX_HEADER)
    check(s.scroll_bar_rows(pic, g) == 0, "the first page still shows no scroll bar")
    if args.keep:
        shutil.copy(path, os.path.join(args.keep, "portal.png"))


def scenario_link(s, args):
    s.start_server("index.html")
    s.start_launcher()
    g, pic = portal_checks(s)
    # The link is the first line below the page's header, 40 px from the left.
    header = hex_rgb(INDEX_HEADER)
    bottom = next(y for y in range(3, g["h"]) if not close_to(s.client_pixel(pic, g, 3, y), header, 8))
    s.run(["xdotool", "mousemove", "--window", s.window, "60", str(bottom + 44), "click", "1"])
    g, pic = s.wait_page("page2", "#fbf6ec", "#8a6a2f")
    rows = s.scroll_bar_rows(pic, g)
    check(rows > 20, f"the page reached by the link shows its scroll bar ({rows} rows)")


def scenario_frames(s, args):
    s.start_server("frames.html")
    s.start_launcher()
    g, pic = s.wait_page("frames", "#eef1f7", "#3a4f8a")
    rows = s.scroll_bar_rows(pic, g)
    check(rows > 20, f"the first page with frames keeps its scroll bar ({rows} rows)")


def scenario_close(s, args):
    s.start_server("index.html")
    s.start_launcher()
    check(not s.maximized(), "the window is still the splash")
    s.run(["xdotool", "windowactivate", "--sync", s.window], check=False)
    s.run(["xdotool", "key", "--clearmodifiers", "alt+F4"])
    try:
        rc = s.launcher.wait(10)
    except subprocess.TimeoutExpired:
        raise Failure("the launcher did not end within 10 s of alt+F4")
    check(rc == 0, f"the launcher ended with exit code 0 (got {rc}): {s.log()}")


SCENARIOS = {"splash": scenario_splash, "portal": scenario_portal, "link": scenario_link,
             "frames": scenario_frames, "close": scenario_close}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("scenario", choices=sorted(SCENARIOS))
    p.add_argument("--exe", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--demo", required=True)
    p.add_argument("--splash", required=True)
    p.add_argument("--keep")
    args = p.parse_args()
    s = Session(args)
    # The whole scenario is bounded, whatever hangs.
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(Failure("the scenario took over 90 s")))
    signal.alarm(90)
    try:
        s.start_x()
        SCENARIOS[args.scenario](s, args)
        print(f"PASS {args.scenario}")
        return 0
    except Failure as e:
        print(f"FAIL {args.scenario}: {e}\n  screenshots: {s.keep}\n  launcher log: {s.log()}", flush=True)
        args.keep = args.keep or s.keep
        return 1
    finally:
        signal.alarm(0)
        s.stop()
        if not args.keep:
            shutil.rmtree(s.tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
