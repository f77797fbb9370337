#!/usr/bin/env python3
"""The Wayland part of make bench: on a headless sway of its own, with foot
in raw mode as the focused receiver, the virtual-keyboard backend (through
bexlow-typing-driver --wayland) beside wtype, on printable ASCII and mixed
text: exactness and chars/s; then the real bexlow on a pty: latency from the
first byte written to the first character in foot.

Usage: waylandbench.py BUILD_DIR   (run as root: sway runs as nobody)
"""
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import typingbench as tb  # noqa: E402  (shares corpora, comparison, Bexlow, latency)

NOBODY = 65534


class Sway:
    def __init__(self):
        os.chmod(tb.WORK, 0o711)  # nobody must reach its runtime folder inside
        self.runtime = os.path.join(tb.WORK, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        os.chown(self.runtime, NOBODY, NOBODY)
        config = os.path.join(self.runtime, "sway.conf")
        with open(config, "w") as f:
            f.write("xwayland disable\noutput HEADLESS-1 resolution 1024x768\n")
        env = dict(PATH="/usr/bin:/bin", HOME=self.runtime, LANG="C.UTF-8", XDG_RUNTIME_DIR=self.runtime,
                   WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        tb.start(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups",
                  "sway", "-c", config], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = os.path.join(self.runtime, "wayland-1")
        if not tb.wait_for(lambda: os.path.exists(socket), 20):
            sys.exit("waylandbench: sway did not start")
        os.environ["WAYLAND_DISPLAY"] = socket
        os.environ.pop("DISPLAY", None)

    def focus(self, pid):
        sockets = glob.glob(os.path.join(self.runtime, "sway-ipc.*.sock"))
        subprocess.run(["swaymsg", "-s", sockets[0], "[pid=%d] focus" % pid], check=True,
                       stdout=subprocess.DEVNULL)
        time.sleep(0.2)


class Foot(tb.Xterm):
    """foot in raw mode appending what it gets to a file; the same interface
    as the X11 benchmark's xterm."""

    def __init__(self, sway):
        self.sway = sway
        self.file = os.path.join(tb.WORK, "received")
        open(self.file, "wb").close()
        ready = os.path.join(tb.WORK, "foot-ready")
        script = "stty raw -echo; : > '%s'; exec cat >> '%s'" % (ready, self.file)
        self.process = tb.start(["foot", "sh", "-c", script], env=dict(os.environ, LC_ALL="C.UTF-8"),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not tb.wait_for(lambda: os.path.exists(ready), 20):
            sys.exit("waylandbench: foot did not start")
        time.sleep(0.5)

    def focus(self):
        self.sway.focus(self.process.pid)


def typing_comparison(foot):
    corpora = [("printable ASCII", tb.ascii_corpus(5000), 1000),
               ("ASCII, doubled characters", tb.doubled_corpus(5000), 1000),
               ("mixed, ~40 characters beyond ASCII", tb.mixed_corpus(2000), 600)]
    print("Typing into foot (exactness; throughput until foot has it all)")
    for name, text, wtype_slice in corpora:
        path = os.path.join(tb.WORK, "corpus.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        print(" %s:" % name)
        nbytes = len(text.encode("utf-8"))
        result = tb.measure_typing(foot, "bexlow VirtualKeyboardInjector", text,
                                   [tb.DRIVER, "--wayland", path, foot.file, str(foot.size() + nbytes), "120"])
        if name == "printable ASCII":
            tb.beside_line_rates("(virtual keyboard, paced)", result["rate"])
        part = text[:wtype_slice]
        tb.measure_typing(foot, "wtype (first %d)" % len(part), part, ["wtype", part])


def main():
    sys.stdout.reconfigure(line_buffering=True)
    print("bexlow Wayland typing benchmark, %s, %s, headless sway %s, %d CPUs"
          % (time.strftime("%Y-%m-%d %H:%M"), tb.distribution(),
             subprocess.run(["sway", "--version"], capture_output=True, text=True).stdout.split()[-1],
             os.cpu_count()))
    try:
        sway = Sway()
        # bexlow first: its virtual keyboard stands for the keyboard every
        # real seat has (a seat without one makes each new virtual keyboard
        # wait for clients to bind it, wtype's included).
        bexlow = tb.Bexlow()
        foot = Foot(sway)
        typing_comparison(foot)
        print("(latency below: into foot, through the virtual keyboard)")
        tb.latency(bexlow, foot)
    finally:
        tb.stop_children()


if __name__ == "__main__":
    main()
