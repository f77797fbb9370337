#!/usr/bin/env python3
"""The measurements of bench/typing.sh; runs on the display in $DISPLAY.

Usage: typingbench.py BUILD_DIR
"""
import difflib
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHROMIUM_RECEIVER = os.path.join(TOP, "tests", "receivers", "chromiumreceiver.py")
BEXLOW = os.path.join(BUILD, "app", "bexlow")
DRIVER = os.path.join(BUILD, "bench", "bexlow-typing-driver")
WORK = tempfile.mkdtemp(prefix="bexlow-bench.")
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
children = []


def start(args, **kwargs):
    process = subprocess.Popen(args, **kwargs)
    children.append(process)
    return process


def wait_for(condition, timeout, step=0.01):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


# --- corpora -----------------------------------------------------------------

def ascii_corpus(n):
    rng = random.Random(1)
    return "".join(rng.choice([chr(c) for c in range(0x20, 0x7F)]) for _ in range(n))


MIXED_WORDS = ("Größe Straße Müller café naïve résumé déjà façade Ærø Øresund Łódź "
               "Dvořák œuvre señor São 10€ 25€ ✓ “quoted” — … ° ± µ ½ × 中文 Ωmega").split()
ASCII_WORDS = "the quick brown fox jumps over the lazy dog SCAN-1234 +^%~(){}[] x=y; a|b".split()


def mixed_corpus(n, share=0.4):
    """Text as a European shop or lab might send it: about 40 distinct
    characters that the US layout lacks."""
    rng = random.Random(2)
    words = []
    while sum(len(w) + 1 for w in words) < n:
        words.append(rng.choice(MIXED_WORDS) if rng.random() < share else rng.choice(ASCII_WORDS))
    return " ".join(words)[:n]


def doubled_corpus(n):
    """Printable ASCII where every other character repeats the one before it
    ("aa", "00", "  "): the same key released and pressed again at once."""
    rng = random.Random(4)
    pairs = [rng.choice([chr(c) for c in range(0x20, 0x7F)]) * 2 for _ in range(n // 3)]
    return "".join(pair + rng.choice("abcdefghijklmnopqrstuvwxyz0123456789") for pair in pairs)[:n]


def diverse_corpus(n):
    """Many more distinct missing characters than spare keycodes: CJK,
    Cyrillic, Greek and symbols drawn at random, half of the text."""
    rng = random.Random(3)
    missing = ([chr(c) for c in range(0x4E00, 0x4E00 + 100)] + [chr(c) for c in range(0x410, 0x450)]
               + [chr(c) for c in range(0x3B1, 0x3CA)] + list("€✓“”—…←→∞≈≠≤≥"))
    printable = [chr(c) for c in range(0x21, 0x7F)]
    return "".join(rng.choice(missing) if rng.random() < 0.5 else rng.choice(printable) for _ in range(n))


# --- the receiver ------------------------------------------------------------

class Xterm:
    def __init__(self):
        self.file = os.path.join(WORK, "received")
        open(self.file, "wb").close()
        idfile = os.path.join(WORK, "xterm-id")
        script = "echo $WINDOWID > '%s'; stty raw -echo; exec cat >> '%s'" % (idfile, self.file)
        env = dict(os.environ, LC_ALL="C.UTF-8")
        self.process = start(["xterm", "-u8", "-geometry", "100x30+0+0", "-e", "sh", "-c", script],
                             env=env, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(idfile) and open(idfile).read().strip(), 20):
            sys.exit("typing.sh: the xterm did not start")
        self.window = open(idfile).read().strip()

    def focus(self):
        subprocess.run(["xdotool", "windowfocus", "--sync", self.window], check=True,
                       stderr=subprocess.DEVNULL)

    def size(self):
        return os.path.getsize(self.file)

    def since(self, mark):
        with open(self.file, "rb") as f:
            f.seek(mark)
            return f.read()

    def settle(self, quiet=0.3, timeout=30):
        """Waits until nothing more arrives for `quiet` seconds."""
        last, since = self.size(), time.monotonic()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(0.02)
            now = self.size()
            if now != last:
                last, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet:
                return


class Chromium(Xterm):
    """A text area in Chromium (X11 mode), through the test receiver, which
    keeps a file equal to the text area's value: Return arrives as \\n."""

    def __init__(self):
        self.file = os.path.join(WORK, "chromium-received")
        idfile = os.path.join(WORK, "chromium-id")
        self.process = start([sys.executable, CHROMIUM_RECEIVER, self.file, idfile], stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(idfile) and open(idfile).read().strip(), 90):
            sys.exit("typing.sh: Chromium did not start")
        self.window = open(idfile).read().strip()

    def since(self, mark):
        return super().since(mark).replace(b"\n", b"\r")


def compare(expected, received_bytes):
    """Counts wrong, missing and extra characters. Aligns by lines first, so
    that long texts compare quickly, then by characters where lines differ."""
    received = received_bytes.decode("utf-8", errors="replace")
    if received == expected:
        return 0, 0, 0
    expected_lines = expected.split("\r")
    received_lines = received.split("\r")
    wrong = missing = extra = 0
    lines = difflib.SequenceMatcher(None, expected_lines, received_lines, autojunk=False)
    for op, a0, a1, b0, b1 in lines.get_opcodes():
        if op != "equal":
            w, m, e = compare_characters("\r".join(expected_lines[a0:a1]), "\r".join(received_lines[b0:b1]))
            wrong, missing, extra = wrong + w, missing + m, extra + e
    return wrong, missing, extra


def compare_characters(expected, received):
    wrong = missing = extra = 0
    matcher = difflib.SequenceMatcher(None, expected, received, autojunk=False)
    for op, a0, a1, b0, b1 in matcher.get_opcodes():
        if op == "replace":
            common = min(a1 - a0, b1 - b0)
            wrong += common
            missing += (a1 - a0) - common
            extra += (b1 - b0) - common
        elif op == "delete":
            missing += a1 - a0
        elif op == "insert":
            extra += b1 - b0
    return wrong, missing, extra


def measure_typing(xterm, label, text, command):
    """Runs a typer and waits until the xterm has all the text's bytes, or
    until the typer has ended and nothing more came for 3 s."""
    xterm.focus()
    xterm.settle(quiet=0.6)  # also lets the injector's keymap be restored
    expected_bytes = len(text.encode("utf-8"))
    mark = xterm.size()
    begin = time.monotonic()
    typer = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    done = False
    last_size, last_change = mark, time.monotonic()
    while True:
        size = xterm.size()
        if size - mark >= expected_bytes:
            done = True
            break
        if size != last_size:
            last_size, last_change = size, time.monotonic()
        elif typer.poll() is not None and time.monotonic() - last_change > 3:
            break
        time.sleep(0.001)
    elapsed = time.monotonic() - begin
    typer.communicate()
    xterm.settle()
    wrong, missing, extra = compare(text, xterm.since(mark))
    rate = "%9.0f chars/s" % (len(text) / elapsed) if done else "  incomplete"
    print("  %-34s %6d chars  wrong %4d  missing %4d  extra %4d  %s"
          % (label, len(text), wrong, missing, extra, rate))
    return dict(wrong=wrong, missing=missing, extra=extra, rate=len(text) / elapsed if done else None)


def beside_line_rates(label, rate):
    """Prints a sustained typing rate next to what serial lines deliver
    (8N1: ten bits a character)."""
    typed = "%.0f chars/s" % rate if rate else "incomplete"
    print("  sustained rate %s: %s; a 9600-baud line delivers 960 chars/s, a 115200-baud one 11,520"
          % (label, typed))


def distinct_missing(text):
    """Characters of text that the US layout lacks, counted once each."""
    return len({c for c in text if not (" " <= c <= "~")})


def typing_comparison(xterm):
    corpora = [("printable ASCII", ascii_corpus(5000), 500),
               ("ASCII, doubled characters", doubled_corpus(5000), 500),
               ("mixed, %d missing from layout" % distinct_missing(mixed_corpus(2000)), mixed_corpus(2000), 300),
               ("diverse, %d missing from layout" % distinct_missing(diverse_corpus(2000)), diverse_corpus(2000),
                None)]
    print("Typing into xterm (exactness; throughput until the xterm has it all)")
    for name, text, default_delay_slice in corpora:
        path = os.path.join(WORK, "corpus.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        print(" %s:" % name)
        nbytes = str(len(text.encode("utf-8")))
        measure_typing(xterm, "bexlow XTestKeyInjector", text,
                       [DRIVER, path, xterm.file, str(xterm.size() + int(nbytes)), "120"])
        if default_delay_slice is None:
            continue
        measure_typing(xterm, "xdotool type --delay 0", text, ["xdotool", "type", "--delay", "0", text])
        part = text[:default_delay_slice]
        measure_typing(xterm, "xdotool type (12 ms, first %d)" % len(part), part,
                       ["xdotool", "type", part])


def chromium_beside_xterm(xterm, chromium):
    """The same texts typed by XTestKeyInjector into xterm and into Chromium:
    ASCII, and 1,000-character bursts of mixed and of diverse text."""
    long_mixed = mixed_corpus(1000, share=0.6)
    diverse = diverse_corpus(1000)
    corpora = [("printable ASCII", ascii_corpus(2000)),
               ("1,000-char burst, %d missing from layout" % distinct_missing(long_mixed), long_mixed),
               ("1,000-char diverse burst, %d missing from layout" % distinct_missing(diverse), diverse)]
    print("Typing into Chromium beside xterm (XTestKeyInjector, one burst each)")
    for name, text in corpora:
        path = os.path.join(WORK, "corpus.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        print(" %s:" % name)
        for label, receiver in (("xterm", xterm), ("Chromium", chromium)):
            nbytes = len(text.encode("utf-8"))
            measure_typing(receiver, label, text,
                           [DRIVER, path, receiver.file, str(receiver.size() + nbytes), "120"])


# --- through the real bexlow -------------------------------------------------

class Bexlow:
    def __init__(self):
        self.device = os.path.join(WORK, "ttyDEVICE")
        port = os.path.join(WORK, "ttyBEXLOW")
        start(["socat", "pty,raw,echo=0,link=" + self.device, "pty,raw,echo=0,link=" + port],
              stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(self.device) and os.path.exists(port), 10):
            sys.exit("typing.sh: socat did not make the pty pair")
        config = os.path.join(WORK, "config")
        os.makedirs(config)
        with open(os.path.join(config, "bexlow.conf"), "w") as f:
            f.write("[Ports]\nCom1=%s\n" % port)
        env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=WORK)
        self.process = start([BEXLOW, "1,9600,n,8,1"], env=env, stderr=open(os.path.join(WORK, "bexlow.err"), "w"))
        target = os.path.realpath(port)
        fd_dir = "/proc/%d/fd" % self.process.pid

        def port_open():
            try:
                return any(os.path.realpath(os.path.join(fd_dir, fd)) == target for fd in os.listdir(fd_dir))
            except OSError:
                return False
        if not wait_for(port_open, 20):
            sys.exit("typing.sh: bexlow did not open its port")
        time.sleep(1.0)  # its window settles
        self.line = os.open(self.device, os.O_WRONLY | os.O_NOCTTY)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS

    def peak_rss_kib(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        return -1

    def write(self, data):
        view = memoryview(data)
        while view:
            written = os.write(self.line, view)
            view = view[written:]


def idle_cpu(bexlow):
    before, begin = bexlow.cpu_seconds(), time.monotonic()
    time.sleep(10)
    used, elapsed = bexlow.cpu_seconds() - before, time.monotonic() - begin
    print("bexlow idle for %.0f s: CPU %.2f s (%.2f %%)" % (elapsed, used, 100 * used / elapsed))


def latency(bexlow, xterm, bursts=60, receiver="xterm"):
    xterm.focus()
    xterm.settle()
    samples, wrong_bursts = [], 0
    for i in range(bursts):
        burst = "40063813%05d\r" % i
        mark = xterm.size()
        begin = time.monotonic()
        bexlow.write(burst.encode())
        if not wait_for(lambda: xterm.size() > mark, 10, step=0.0002):
            wrong_bursts += 1
            continue
        samples.append(time.monotonic() - begin)
        wait_for(lambda: xterm.size() - mark >= len(burst), 10, step=0.001)
        time.sleep(0.05)
        if xterm.since(mark) != burst.encode():
            wrong_bursts += 1
        time.sleep(random.Random(i).uniform(0.05, 0.25))
    samples.sort()
    p99 = samples[min(len(samples) - 1, int(round(0.99 * (len(samples) - 1))))]
    print("Latency, first byte on the pty -> first character in the %s, %d bursts of 14 chars:" % (receiver, bursts))
    print("  median %.1f ms  p99 %.1f ms  min %.1f ms  max %.1f ms  (bursts not exact: %d)"
          % (1000 * statistics.median(samples), 1000 * p99, 1000 * samples[0], 1000 * samples[-1], wrong_bursts))
    print("  (bexlow waits a 50 ms settle delay after the first byte by design)")


def stream(bexlow, xterm, seconds=30, rate=11520):
    xterm.focus()
    xterm.settle()
    line = "%06d " + "The quick brown fox jumps over the lazy dog, 12.345 kg é € ✓\r\n"
    text, n = "", 0
    while len(text.encode()) < seconds * rate:
        text += line % n
        n += 1
    data = text.encode()[: seconds * rate]
    # Cut at a line end, so the text is whole characters.
    data = data[: data.rfind(b"\n") + 1]
    expected = text.encode()[: len(data)].decode().replace("\r\n", "\r")
    mark = xterm.size()
    cpu_before = bexlow.cpu_seconds()
    begin = time.monotonic()
    chunk = rate // 200  # every 5 ms
    sent = 0
    while sent < len(data):
        due = begin + sent / rate
        now = time.monotonic()
        if due > now:
            time.sleep(due - now)
        bexlow.write(data[sent:sent + chunk])
        sent += chunk
    end_of_writing = time.monotonic()
    expected_bytes = len(expected.encode())
    done = wait_for(lambda: xterm.size() - mark >= expected_bytes, 120, step=0.001)
    lag = time.monotonic() - end_of_writing
    cpu = bexlow.cpu_seconds() - cpu_before
    xterm.settle()
    wrong, missing, extra = compare(expected, xterm.since(mark))
    print("Stream through bexlow: %d bytes (%d chars) in %.1f s, paced at %d bytes/s (115200 baud 8N1)"
          % (len(data), len(expected), end_of_writing - begin, rate))
    print("  %s: wrong %d  missing %d  extra %d;  xterm lag at the end %.0f ms%s"
          % ("exact" if wrong == missing == extra == 0 else "NOT exact", wrong, missing, extra, 1000 * lag,
             "" if done else " (timed out)"))
    print("  bexlow CPU during the stream: %.1f s (%.0f %% of one core; the settle delay is a busy wait)"
          % (cpu, 100 * cpu / (time.monotonic() - begin)))


SCANNER_WORDS = ["4006381333931", "BX-2024/07+A", "  12.345 kg", "LOT 7 µg/l", "Crème brûlée", "x=y; a|b",
                 "Ærø 12", "Øre", "µm ±0,1", "東京 カナ", "€ 10,00", "Łódź", "Ωmega 5Ω", "½ × ¾", "“quoted”",
                 "→ ok", "Привет", "Ελλάδα", "ß-Größe", "ñandú", "ç ça", "東京", "Äpfel", "ÿ"]


def scanner_flow(bexlow, chromium, layout, bursts=500):
    """Bursts as a scanner or a scale sends them, each with CR, through bexlow
    into Chromium, with pauses on both sides of the 500 ms after which the
    spare keys are emptied; about half start with a character the US layout
    lacks. Compared burst by burst once all have arrived."""
    subprocess.run(["setxkbmap", layout], check=True)
    chromium.focus()
    chromium.settle(quiet=1.0)
    rng = random.Random(11)
    pauses = [0.02, 0.06, 0.15, 0.3, 0.56, 0.7]
    words = [rng.choice(SCANNER_WORDS) for _ in range(bursts)]
    mark = chromium.size()
    begin = time.monotonic()
    for word in words:
        bexlow.write((word + "\r").encode())
        time.sleep(rng.choice(pauses))
    expected = "".join(word + "\r" for word in words)
    wait_for(lambda: chromium.size() - mark >= len(expected.encode()), 120, step=0.05)
    chromium.settle()
    received = chromium.since(mark).decode("utf-8", errors="replace").split("\r")
    wrong = sum(1 for i, word in enumerate(words) if i >= len(received) or received[i] != word)
    starting_missing = sum(1 for word in words if not (" " <= word[0] <= "~"))
    print("  layout %-3s %d bursts (%d start with a character the US layout lacks) in %.0f s: %d wrong"
          % (layout, bursts, starting_missing, time.monotonic() - begin, wrong))
    subprocess.run(["setxkbmap", "us"], check=True)


def distribution():
    """The Linux distribution the numbers were taken on, from os-release."""
    try:
        with open("/etc/os-release", encoding="utf-8") as f:
            fields = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        return fields.get("PRETTY_NAME", "unknown distribution").strip('"')
    except OSError:
        return "unknown distribution"


def main():
    sys.stdout.reconfigure(line_buffering=True)
    print("bexlow typing benchmark, %s, %s, display %s (Xvfb, US layout), %d CPUs"
          % (time.strftime("%Y-%m-%d %H:%M"), distribution(), os.environ.get("DISPLAY"), os.cpu_count()))
    xterm = Xterm()
    try:
        typing_comparison(xterm)
        chromium = Chromium()
        chromium_beside_xterm(xterm, chromium)
        bexlow = Bexlow()
        idle_cpu(bexlow)
        latency(bexlow, xterm)
        print("Scanner flow through bexlow into Chromium")
        for layout in ("us", "de", "fr"):
            scanner_flow(bexlow, chromium, layout)
        stream(bexlow, xterm)
        print("bexlow peak RSS: %.1f MiB" % (bexlow.peak_rss_kib() / 1024))
    finally:
        stop_children()


def stop_children():
    """Ends what the benchmark started, newest first, and removes its files."""
    for process in reversed(children):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
