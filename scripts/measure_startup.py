#!/usr/bin/python3
"""Measures how long the window takes from start to its first paint on screen.

Starts a private Xvfb (no window manager), then runs the real program several
times. For each run the clock starts just before the process is spawned and
stops when the form's first painted pixels reach the X server: a pixel inside
the form, which shows the root window's colour until the program paints,
changes. The program itself is not modified and needs no flag.

    /usr/bin/python3 scripts/measure_startup.py [BINARY] [RUNS]

Needs xvfb and libX11 (both Debian packages). Prints every run and the median.
"""

import ctypes
import ctypes.util
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BINARY = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/default/app/quadfind")
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 9
# An empty spot of the form (client 400, 450) at its designed place (33, 139).
PROBE = (33 + 400, 139 + 450)
TIMEOUT = 20.0

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]

class XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, up to the pixel data pointer.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p)]


x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
ALL_PLANES = (1 << 64) - 1
Z_PIXMAP = 2


def probe(display, root):
    image = x11.XGetImage(display, root, PROBE[0], PROBE[1], 1, 1, ALL_PLANES, Z_PIXMAP)
    if not image:
        return None
    # A 24-bit screen stores a pixel in 32 bits; this one is the first.
    value = ctypes.cast(image.contents.data, ctypes.POINTER(ctypes.c_uint32))[0] & 0xFFFFFF
    # What the XDestroyImage macro does for an image Xlib allocated.
    x11.XFree(image.contents.data)
    x11.XFree(image)
    return value


def start_xvfb():
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=[write_fd], stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = os.read(read_fd, 16).decode().strip()
    # Left open: the server dies of SIGPIPE if it writes to a closed pipe.
    return server, ":" + number


def main():
    if not os.access(BINARY, os.X_OK):
        sys.exit(f"{BINARY} not found; build it first (make build)")
    server, name = start_xvfb()
    try:
        display = None
        for _ in range(200):  # the server may accept clients a moment after it reports its number
            display = x11.XOpenDisplay(name.encode())
            if display:
                break
            time.sleep(0.01)
        if not display:
            sys.exit(f"cannot open the X display {name}")
        root = x11.XDefaultRootWindow(display)
        background = probe(display, root)
        env = dict(os.environ, DISPLAY=name)
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("QT_QPA_PLATFORM", None)
        times = []
        for run in range(RUNS):
            start = time.perf_counter()
            program = subprocess.Popen([BINARY], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while probe(display, root) == background:
                if time.perf_counter() - start > TIMEOUT:
                    program.kill()
                    sys.exit("the window never painted")
                time.sleep(0.0005)
            elapsed = (time.perf_counter() - start) * 1000
            times.append(elapsed)
            print(f"run {run + 1}: {elapsed:.1f} ms")
            program.terminate()
            program.wait()
            while probe(display, root) != background:  # the window is gone
                time.sleep(0.001)
        print(f"median of {RUNS}: {statistics.median(times):.1f} ms "
              f"(min {min(times):.1f}, max {max(times):.1f})")
        x11.XCloseDisplay(display)
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    main()
