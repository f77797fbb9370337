#!/usr/bin/env python3
"""A long run of the whole bridge: mixed traffic from a virtual device, with
silences and an adapter pulled out and plugged back every few minutes, typed
by bexlow into an xterm. At the end it checks that everything sent while the
line was present was typed exactly once, that memory stayed level after the
first minute, and that bexlow printed nothing but its line-state messages.

Usage: bench/longrun.py BEXLOW_BINARY [--minutes 30] [--pull-every 180]
Needs a display: run it through scripts/with-xvfb.sh (bench/run-longrun.sh does).
"""
import argparse
import os
import pty
import random
import shutil
import subprocess
import sys
import tempfile
import time

CORPUS_WORDS = ["4006381333931", "5901234123457", "ABC-1234", "  12.345 kg", "0.250 mm",
                "Crème", "brûlée", "4,50 €", "Ærø", "Ω", "中文", "✓", "+^%~(){}[]", "a b\tc"]


class Line:
    """A virtual serial device behind a stable name, like /dev/serial/by-id."""

    def __init__(self, folder):
        self.link = os.path.join(folder, "usb-LongRun_Device-if00")
        self.master = None
        self.plug()

    def plug(self):
        self.master, slave = pty.openpty()
        os.set_inheritable(self.master, False)
        name = os.ttyname(slave)
        os.close(slave)
        tmp = self.link + ".new"
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(name, tmp)
        os.replace(tmp, self.link)

    def pull(self):
        # The device hangs up and its name goes, as udev removes a by-id link.
        os.close(self.master)
        os.unlink(self.link)
        self.master = None

    def send(self, data):
        view = memoryview(data)
        while view:
            view = view[os.write(self.master, view):]


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_for(condition, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--pull-every", type=float, default=180, help="seconds between pulled adapters")
    args = parser.parse_args()
    random.seed(2026)

    work = tempfile.mkdtemp(prefix="bexlow-longrun.")
    received = os.path.join(work, "received")
    open(received, "wb").close()
    line = Line(work)
    with open(os.path.join(work, "bexlow.conf"), "w") as conf:
        conf.write(f"[Ports]\nCom1={line.link}\n")
    env = dict(os.environ, XDG_CONFIG_HOME=work, XDG_RUNTIME_DIR=work, LC_ALL="C.UTF-8")

    idfile = os.path.join(work, "window-id")
    xterm = subprocess.Popen(["xterm", "-u8", "-geometry", "80x24+0+0", "-e", "sh", "-c",
                              f"echo $WINDOWID > '{idfile}'; stty raw -echo; exec cat >> '{received}'"],
                             env=env, stderr=subprocess.DEVNULL)
    errors_path = os.path.join(work, "stderr")
    errors = open(errors_path, "wb")
    bexlow = subprocess.Popen([args.binary, "1,115200,n,8,1"], env=env, stderr=errors)
    try:
        if not wait_for(lambda: os.path.exists(idfile) and open(idfile).read().strip(), 20):
            sys.exit("the xterm did not start")
        window = open(idfile).read().strip()
        time.sleep(1.5)  # bexlow's window shows; then the focus goes to the xterm
        subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True, env=env)

        expected = b""
        sent_bytes = bursts = pulls = 0
        rss_samples = []
        start = time.monotonic()
        next_pull = start + args.pull_every
        next_sample = start
        deadline = start + args.minutes * 60
        while time.monotonic() < deadline:
            now = time.monotonic()
            if now >= next_sample:
                rss_samples.append((now - start, rss_kib(bexlow.pid)))
                next_sample += 10
            if now >= next_pull:
                line.pull()
                pulls += 1
                time.sleep(random.uniform(1, 5))   # unplugged for a while
                line.plug()
                # Typed again once bexlow has found the device.
                wait_for(lambda: open(errors_path, "rb").read().count(b"is back") >= pulls, 10)
                next_pull = time.monotonic() + args.pull_every
                continue
            words = random.choices(CORPUS_WORDS, k=random.randint(1, 6))
            burst = (" ".join(words) + random.choice(["\r", "\r\n", "\n", ""])).encode()
            line.send(burst)
            expected += burst.replace(b"\r\n", b"\r").replace(b"\n", b"\r")
            sent_bytes += len(burst)
            bursts += 1
            # Mostly quick bursts like a scanner's, now and then a silence.
            time.sleep(random.choices([0.05, 0.1, 0.2, 0.5, 1.0, random.uniform(5, 20)],
                                      weights=[30, 30, 20, 10, 5, 2])[0])

        typed = lambda: open(received, "rb").read()
        wait_for(lambda: len(typed()) >= len(expected), 60)
        time.sleep(1)
        got = typed()
        idle_cpu_start = cpu_seconds(bexlow.pid)
        time.sleep(10)
        idle_cpu = (cpu_seconds(bexlow.pid) - idle_cpu_start) / 10 * 100
    finally:
        bexlow.terminate()
        bexlow.wait(15)
        xterm.terminate()
        xterm.wait(15)
        errors.close()

    messages = [m for m in open(errors_path, encoding="utf-8", errors="replace").read().splitlines()
                if not m.startswith("QStandardPaths")]
    # Line-state messages: gone, back, and why a reopening attempt failed.
    stray = [m for m in messages if not any(state in m for state in ("has gone away", "is back", "trying again"))]
    retries = [m for m in messages if "trying again" in m]
    after_first_minute = [kib for t, kib in rss_samples if t >= 60] or [rss_samples[-1][1]]
    growth = max(after_first_minute) - after_first_minute[0]
    exact = got == expected

    print(f"duration           {args.minutes:g} min, {bursts} bursts, {sent_bytes} bytes, {pulls} adapters pulled")
    print(f"typed exactly      {'yes' if exact else 'NO'} ({len(got)} of {len(expected)} bytes received)")
    if not exact:
        at = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
        print(f"first difference   at byte {at}: got {got[at:at + 40]!r}, expected {expected[at:at + 40]!r}")
    print(f"memory (RSS)       {rss_samples[0][1]} KiB at start, {after_first_minute[0]} KiB after 1 min, "
          f"{max(after_first_minute)} KiB peak after, growth {growth} KiB")
    print(f"idle CPU           {idle_cpu:.2f} % over 10 s")
    print(f"stderr             {len(messages)} lines, {len(retries)} failed reopening attempts, {len(stray)} stray"
          + "".join("\n  " + m for m in retries + stray))
    shutil.rmtree(work, ignore_errors=True)
    return 0 if exact and not stray and growth < 2048 else 1


if __name__ == "__main__":
    sys.exit(main())
