#!/usr/bin/env python3
"""The desktop lines of make bench: bexlow typing on a headless GNOME
compositor (mutter, through its remote desktop service, into foot) and a
headless KDE one (KWin, through its fake input, into xterm under Xwayland),
and that KDE one again through the desktop portal (KDE's backend), as when
KWin does not grant bexlow the fake input.

Usage: desktopsbench.py BUILD_DIR [gnome|kde|portal]  (with a name, only that line)

Each on a private session bus with the US layout, it measures: printable
ASCII (5,000) and mixed text (2,000, with characters the layout lacks) typed
and ASCII with every third character doubled (2,000) typed through
bexlow-typing-driver --gnome / --kde / --portal, exactness against the text less the
characters named as not typed, and chars/s until foot has it all; then
latency through the real bexlow on a pty, as for X11.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ONLY = sys.argv[2:3]
sys.argv = sys.argv[:2]
import typingbench as tb  # noqa: E402  (its corpora, comparison, bexlow and latency)

SOCKET = "bexlow-bench-mutter"
FAKE_LOCALE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "keyboard", "fakelocale1.py")


class Receiver:
    """A terminal in raw mode recording what it receives (it touches `ready`
    first); what typingbench's measurements ask of a receiver. The
    compositor gave it the focus."""

    def __init__(self, name, ready):
        self.name = name
        self.file = os.path.join(tb.WORK, "received")
        if not tb.wait_for(lambda: os.path.exists(ready), 30):
            sys.exit("desktopsbench: %s did not start" % name)
        time.sleep(0.5)

    focus = staticmethod(lambda: None)
    size = tb.Xterm.size
    since = tb.Xterm.since
    settle = tb.Xterm.settle


def raw_cat(ready):
    return "stty raw -echo; touch '%s'; exec cat > '%s'" % (ready, os.path.join(tb.WORK, "received"))


def private_session():
    runtime = os.path.join(tb.WORK, "runtime")
    os.mkdir(runtime, 0o700)
    bus = "unix:path=%s/bus" % runtime
    os.environ.update(XDG_RUNTIME_DIR=runtime, DBUS_SESSION_BUS_ADDRESS=bus, DBUS_SYSTEM_BUS_ADDRESS=bus,
                      LC_ALL="C.UTF-8", QT_QPA_PLATFORM="offscreen",
                      WAYLAND_DISPLAY=os.path.join(runtime, SOCKET))  # absolute: bexlow gets its own runtime dir
    os.environ.pop("DISPLAY", None)
    tb.start(["dbus-daemon", "--session", "--nofork", "--address=" + bus])
    tb.wait_for(lambda: os.path.exists(os.path.join(runtime, "bus")), 10)


def start_service(args, name, env):
    """Starts a service and waits until it, not another, owns its name: the
    bus may have started one under that name before, with the bus's own
    environment (KWin 6 and KDE's backend ask the portal at start), as
    PrivateSession::startService in the tests knows."""
    process = tb.start(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def owns():
        said = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                               "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                               name], capture_output=True, text=True).stdout
        return said.strip() == "(uint32 %d,)" % process.pid
    if not tb.wait_for(owns, 30, step=0.2):
        sys.exit("desktopsbench: %s did not start" % name)


def start_mutter():
    private_session()
    tb.start([FAKE_LOCALE, "us"])
    tb.start(["mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor", "1024x768",
              "--wayland-display", SOCKET], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def answers():
        return subprocess.run(["gdbus", "introspect", "--session", "-d", "org.gnome.Mutter.RemoteDesktop",
                               "-o", "/org/gnome/Mutter/RemoteDesktop"], capture_output=True).returncode == 0
    if not tb.wait_for(lambda: os.path.exists(os.environ["WAYLAND_DISPLAY"]) and answers(), 30, step=0.2):
        sys.exit("desktopsbench: mutter did not start")
    ready = os.path.join(tb.WORK, "ready")
    tb.start(["foot", "sh", "-c", raw_cat(ready)])
    return Receiver("foot", ready)


def start_kwin(grant=True):
    """KWin (a copy without the file capability some containers refuse),
    with desktop entries that grant the driver and bexlow its fake input;
    without them, and with the desktop portal, when not `grant`."""
    private_session()
    kwin = os.path.join(tb.WORK, "kwin_wayland")
    shutil.copy("/usr/bin/kwin_wayland", kwin)
    config, data = os.path.join(tb.WORK, "kwin-config"), os.path.join(tb.WORK, "kwin-data", "applications")
    os.makedirs(os.path.join(config, "kwin"))
    os.makedirs(data)
    with open(os.path.join(config, "kwin", "kxkbrc"), "w") as f:
        f.write("[Layout]\nLayoutList=us\nUse=true\n")
    for name, program in (("driver", tb.DRIVER), ("bexlow", tb.BEXLOW)) if grant else ():
        with open(os.path.join(data, "bexlow-%s.desktop" % name), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=%s\nExec=%s\n"
                    "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" % (name, os.path.abspath(program)))
    ready = os.path.join(tb.WORK, "ready")
    receiver = os.path.join(tb.WORK, "receiver")
    with open(receiver, "w") as f:
        f.write("#!/bin/sh\nexec xterm -u8 -e sh -c \"%s\"\n" % raw_cat(ready))
    os.chmod(receiver, 0o700)
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(config, "kwin"), XDG_DATA_HOME=os.path.dirname(data))
    tb.start([kwin, "--virtual", "--xwayland", "--width", "1024", "--height", "768", "--no-lockscreen",
              "--no-global-shortcuts", "--socket", SOCKET, receiver], env=env,
             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    receiver = Receiver("xterm", ready)
    if not grant:
        # KDE's backend 6.3 and later asks the person first unless the
        # permission store holds a standing grant (README, "The desktop portal").
        store = "org.freedesktop.impl.portal.PermissionStore"
        start_service(["/usr/libexec/xdg-permission-store", "--replace"], store,
                      dict(os.environ, XDG_DATA_HOME=os.path.join(tb.WORK, "permissions")))
        subprocess.run(["gdbus", "call", "--session", "--dest", store, "--object-path",
                        "/org/freedesktop/impl/portal/PermissionStore", "--method", store + ".SetPermission",
                        "kde-authorized", "true", "remote-desktop", "''", "['yes']"], check=True, capture_output=True)
        env = dict(os.environ, XDG_CURRENT_DESKTOP="KDE", QT_QPA_PLATFORM="wayland")
        # Each has its name before the next starts: else the portal has the bus
        # start a second KDE backend, which outlives the bench. KDE's backend
        # 6 asks for the portal at start, and the portal the bus starts then
        # knows no KDE desktop (no remote desktop): the bench's replaces it.
        start_service(["/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"],
                      "org.freedesktop.impl.portal.desktop.kde", env)
        start_service(["/usr/libexec/xdg-desktop-portal", "--replace"], "org.freedesktop.portal.Desktop", env)
    return receiver


def measure(foot, flag, label, text):
    path = os.path.join(tb.WORK, "corpus.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    foot.settle()
    mark = foot.size()
    begin = time.monotonic()
    driver = subprocess.run([tb.DRIVER, flag, path, foot.file, "0", "1"], capture_output=True, text=True)
    lacking = {chr(int(code, 16)) for code in re.findall(r"\(U\+([0-9A-F]+)\)", driver.stderr)}
    expected = "".join(c for c in text if c not in lacking)
    done = tb.wait_for(lambda: foot.size() - mark >= len(expected.encode("utf-8")), 120, step=0.001)
    elapsed = time.monotonic() - begin
    foot.settle()
    wrong, missing, extra = tb.compare(expected, foot.since(mark))
    rate = "%9.0f chars/s" % (len(expected) / elapsed) if done else "  incomplete"
    print("  %-30s %5d chars  not typed, named %3d distinct  wrong %d  missing %d  extra %d  %s"
          % (label, len(text), len(lacking), wrong, missing, extra, rate))
    if not done:
        print("    the driver said: %s" % driver.stderr.strip().replace("\n", "\n    "))
    elif flag == "--portal":
        # The way the keys went: the compositor's EIS connection where the
        # portal gave one, else one portal call a key.
        print("    keys went through %s" % ("the EIS connection" if "EIS connection" in driver.stderr
                                             else "the portal's calls, one a key"))
    return len(expected) / elapsed if done else None


def desktop(title, start, flag):
    if ONLY and "--" + ONLY[0] != flag:
        return
    print(title)
    try:
        receiver = start()
        print("Typing into %s (%s)" % (receiver.name, flag))
        tb.beside_line_rates("(%s, paced)" % flag, measure(receiver, flag, "printable ASCII", tb.ascii_corpus(5000)))
        measure(receiver, flag, "mixed, ~40 missing from layout", tb.mixed_corpus(2000))
        measure(receiver, flag, "ASCII, every third doubled", tb.doubled_corpus(2000))
        bexlow = tb.Bexlow()
        tb.latency(bexlow, receiver, receiver=receiver.name)
    finally:
        tb.stop_children()
        del tb.children[:]
        tb.WORK = tempfile.mkdtemp(prefix="bexlow-bench.")


def main():
    sys.stdout.reconfigure(line_buffering=True)
    print("bexlow GNOME and KDE typing benchmark, %s, %s, %d CPUs"
          % (time.strftime("%Y-%m-%d %H:%M"), tb.distribution(), os.cpu_count()))
    version = subprocess.run(["mutter", "--version"], capture_output=True, text=True).stdout.split("\n")[0]
    desktop("bexlow on GNOME: headless %s (US layout), foot as receiver" % version, start_mutter, "--gnome")
    print()
    desktop("bexlow on KDE: headless KWin %s (US layout), xterm under Xwayland as receiver"
            % subprocess.run(["dpkg-query", "-W", "-f=${Version}", "kwin-wayland"], capture_output=True,
                             text=True).stdout, start_kwin, "--kde")
    print()
    desktop("bexlow on KDE without fake input for it: the desktop portal (KDE's backend), xterm as receiver",
            lambda: start_kwin(grant=False), "--portal")
    shutil.rmtree(tb.WORK, ignore_errors=True)


main()
