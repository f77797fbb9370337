#!/usr/bin/env python3
"""The mutter line of make bench: bexlow typing on a headless GNOME
compositor (mutter) through its remote desktop service, into foot.

Usage: desktopsbench.py BUILD_DIR

On a private session bus, with a fake org.freedesktop.locale1 giving the US
layout, it measures: printable ASCII (5,000) and mixed text (2,000, with
characters the layout lacks) typed by MutterKeyInjector through
bexlow-typing-driver --gnome, exactness against the text less the
characters named as not typed, and chars/s until foot has it all; then
latency through the real bexlow on a pty, as for X11.
"""
import os
import re
import subprocess
import sys
import time

sys.argv = sys.argv[:2]
import typingbench as tb  # noqa: E402  (its corpora, comparison, bexlow and latency)

SOCKET = "bexlow-bench-mutter"
FAKE_LOCALE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "keyboard", "fakelocale1.py")


class Foot:
    """foot in raw mode in mutter, recording what it receives; what
    typingbench's measurements ask of a receiver."""

    def __init__(self):
        self.file = os.path.join(tb.WORK, "received")
        ready = os.path.join(tb.WORK, "foot-ready")
        tb.start(["foot", "sh", "-c", "stty raw -echo; touch '%s'; exec cat > '%s'" % (ready, self.file)])
        if not tb.wait_for(lambda: os.path.exists(ready), 20):
            sys.exit("desktopsbench: foot did not start")
        time.sleep(0.5)

    focus = staticmethod(lambda: None)  # mutter gave it the focus
    size = tb.Xterm.size
    since = tb.Xterm.since
    settle = tb.Xterm.settle


def start_desktop():
    runtime = os.path.join(tb.WORK, "runtime")
    os.mkdir(runtime, 0o700)
    bus = "unix:path=%s/bus" % runtime
    os.environ.update(XDG_RUNTIME_DIR=runtime, DBUS_SESSION_BUS_ADDRESS=bus, DBUS_SYSTEM_BUS_ADDRESS=bus,
                      LC_ALL="C.UTF-8", QT_QPA_PLATFORM="offscreen",
                      WAYLAND_DISPLAY=os.path.join(runtime, SOCKET))  # absolute: bexlow gets its own runtime dir
    os.environ.pop("DISPLAY", None)
    tb.start(["dbus-daemon", "--session", "--nofork", "--address=" + bus])
    tb.wait_for(lambda: os.path.exists(os.path.join(runtime, "bus")), 10)
    tb.start([FAKE_LOCALE, "us"])
    mutter = tb.start(["mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor", "1024x768",
                       "--wayland-display", SOCKET], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def answers():
        return subprocess.run(["gdbus", "introspect", "--session", "-d", "org.gnome.Mutter.RemoteDesktop",
                               "-o", "/org/gnome/Mutter/RemoteDesktop"], capture_output=True).returncode == 0
    if not tb.wait_for(lambda: os.path.exists(os.environ["WAYLAND_DISPLAY"]) and answers(), 30, step=0.2):
        sys.exit("desktopsbench: mutter did not start")
    return mutter


def measure(foot, label, text):
    path = os.path.join(tb.WORK, "corpus.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    foot.settle()
    mark = foot.size()
    begin = time.monotonic()
    driver = subprocess.run([tb.DRIVER, "--gnome", path, foot.file, "0", "1"], capture_output=True, text=True)
    lacking = {chr(int(code, 16)) for code in re.findall(r"\(U\+([0-9A-F]+)\)", driver.stderr)}
    expected = "".join(c for c in text if c not in lacking)
    done = tb.wait_for(lambda: foot.size() - mark >= len(expected.encode("utf-8")), 60, step=0.001)
    elapsed = time.monotonic() - begin
    foot.settle()
    wrong, missing, extra = tb.compare(expected, foot.since(mark))
    rate = "%9.0f chars/s" % (len(expected) / elapsed) if done else "  incomplete"
    print("  %-30s %5d chars  not typed, named %3d distinct  wrong %d  missing %d  extra %d  %s"
          % (label, len(text), len(lacking), wrong, missing, extra, rate))


def main():
    sys.stdout.reconfigure(line_buffering=True)
    print("bexlow on GNOME: headless mutter %s (US layout), foot as receiver"
          % subprocess.run(["mutter", "--version"], capture_output=True, text=True).stdout.split("\n")[0])
    try:
        start_desktop()
        foot = Foot()
        print("Typing into foot through mutter's remote desktop service (MutterKeyInjector)")
        measure(foot, "printable ASCII", tb.ascii_corpus(5000))
        measure(foot, "mixed, ~40 missing from layout", tb.mixed_corpus(2000))
        bexlow = tb.Bexlow()
        tb.latency(bexlow, foot, receiver="foot")
        print("bexlow peak RSS: %.1f MiB" % (bexlow.peak_rss_kib() / 1024))
    finally:
        tb.stop_children()


main()
