#!/usr/bin/env bash
# Shows bexlow at work with no serial device and no screen of your own:
#   a virtual serial line (a socat pty pair) stands in for a scanner or scale,
#   a temporary settings folder maps Com1 to it (your ~/.config is not touched),
#   an xterm window takes the keyboard focus and records what it receives,
#   bexlow 1,9600,n,8,1 types what the "device" sends into that window.
# Then it prints what was sent next to what the window received, line by line,
# saves a screenshot as BUILD/demo.png and what the window received as
# BUILD/demo-received.txt, and stops everything it started.
#
# Usage: scripts/demo.sh [BUILD]      (BUILD defaults to build/)
# With DISPLAY unset it runs on a private Xvfb display; with DISPLAY set the
# windows appear on your screen for a few seconds.
# Exit status: 0 every line arrived as typed, 1 something differs,
# 2 the demo could not be set up.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
binary="$build/app/bexlow"

fail() { echo "demo: $*" >&2; exit 2; }

[ -x "$binary" ] || fail "$binary not found: build first (make, or make demo)"
for tool in socat xterm xdotool python3 import; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (make deps)"
done

# No display: run this same script again on a private Xvfb display.
if [ -z "${DISPLAY:-}" ]; then
    unset WAYLAND_DISPLAY
    exec "$root/scripts/with-xvfb.sh" env BEXLOW_DEMO_PRIVATE_DISPLAY=1 "$0" "$build"
fi
private_display=${BEXLOW_DEMO_PRIVATE_DISPLAY:-0}

work=$(mktemp -d "${TMPDIR:-/tmp}/bexlow-demo.XXXXXX")
pids=()
cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 2' INT TERM HUP

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for ((n = 0; n < tenths; n++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

echo "demo: display $DISPLAY$([ "$private_display" = 1 ] && echo ' (private Xvfb)')"

# 1. The serial line: what is written to ttyDEVICE arrives on ttyBEXLOW.
socat -d -d "pty,raw,echo=0,link=$work/ttyDEVICE" "pty,raw,echo=0,link=$work/ttyBEXLOW" \
    2>"$work/socat.log" &
pids+=($!)
wait_for 50 test -e "$work/ttyDEVICE" -a -e "$work/ttyBEXLOW" || fail "socat did not create the pty pair"
echo "demo: virtual serial line $work/ttyDEVICE -> $work/ttyBEXLOW ($(readlink "$work/ttyBEXLOW"))"

# 2. A temporary settings folder; Com1 is the virtual line.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
printf '[Ports]\nCom1=%s\n' "$work/ttyBEXLOW" >"$XDG_CONFIG_HOME/bexlow.conf"
echo "demo: settings in $XDG_CONFIG_HOME/bexlow.conf: [Ports] Com1=$work/ttyBEXLOW"

# 3. The receiving window: an xterm whose terminal is in raw mode, so a
# Return arrives as CR. It appends every byte to a file and shows the text.
received="$work/received"
: >"$received"
title="bexlow demo: received text"
LC_ALL=C.UTF-8 xterm -u8 -T "$title" -geometry 70x12+10+10 -fa Monospace -fs 11 \
    -e python3 -c '
import os, sys, termios, tty
tty.setraw(0)
attrs = termios.tcgetattr(0)
attrs[3] &= ~termios.ECHO
termios.tcsetattr(0, termios.TCSANOW, attrs)
with open(sys.argv[1], "ab", buffering=0) as out:
    os.write(1, b"Text typed into this window:\r\n\r\n")
    while True:
        data = os.read(0, 4096)
        if not data:
            break
        out.write(data)
        os.write(1, data.replace(b"\r", b"\r\n"))
' "$received" 2>"$work/xterm.log" &
pids+=($!)
xterm_pid=$!
receiver=$(wait_for 100 xdotool search --name "^${title}\$" 2>/dev/null | head -n1) || true
[ -n "$receiver" ] || fail "the xterm window did not appear"

# 4. bexlow, as a user starts it.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
"$binary" 1,9600,n,8,1 >"$work/bexlow.out" 2>"$work/bexlow.err" &
bexlow_pid=$!
pids+=($bexlow_pid)
pty=$(readlink -f "$work/ttyBEXLOW")
port_is_open() {
    local fd
    for fd in /proc/"$bexlow_pid"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$pty" ] && return 0
    done
    return 1
}
if ! wait_for 100 port_is_open; then
    sed 's/^/demo: bexlow said: /' "$work/bexlow.err" >&2
    kill -0 "$bexlow_pid" 2>/dev/null || fail "bexlow ended before it opened the port"
    fail "bexlow did not open $pty"
fi
wait_for 50 xdotool search --pid "$bexlow_pid" >/dev/null 2>&1 || true
sleep 0.5 # let bexlow's windows settle before the focus moves away from them
for window in $(xdotool search --onlyvisible --pid "$bexlow_pid" 2>/dev/null); do
    xdotool windowmove "$window" 10 280 2>/dev/null || true
    break
done
echo "demo: bexlow is running (pid $bexlow_pid) and has opened Com1"

# 5. The keyboard focus goes to the xterm. Without a window manager (Xvfb)
# xdotool sets it directly; with one, it asks the window manager.
focus_receiver() {
    if [ "$private_display" = 1 ]; then
        xdotool windowfocus --sync "$receiver"
    else
        xdotool windowactivate --sync "$receiver" 2>/dev/null || xdotool windowfocus --sync "$receiver"
    fi
    local focused
    focused=$(xdotool getwindowfocus 2>/dev/null) || return 1
    [ "$focused" = "$receiver" ] || xdotool search --name "^${title}\$" 2>/dev/null | grep -qx "$focused" \
        || [ "$(xdotool getwindowpid "$focused" 2>/dev/null)" = "$xterm_pid" ]
}
wait_for 30 focus_receiver || fail "could not give the keyboard focus to the xterm"
echo "demo: the xterm has the keyboard focus"
echo

# 6. The device speaks; each line waits for the window to receive it.
# Expected typing: CR, LF and CR LF each give one Return, which a raw terminal
# receives as CR; everything else arrives as it was sent.
status=0
python3 - "$work/ttyDEVICE" "$received" "$build/demo-received.txt" <<'PYTHON' || status=$?
import os, sys, time

device, received_path, keep_path = sys.argv[1:4]
lines = [
    ("barcode scanner, EAN-13", "4006381333931\r"),
    ("barcode scanner, Code 128", "BX-2024/07+A\r"),
    ("scale, weight with unit", "  12.345 kg\r\n"),
    ("scanner, accents and euro", "Crème brûlée 4,50 €\r"),
]

def typed(text):
    """What a window receives when the text is typed: Return is CR."""
    return text.replace("\r\n", "\r").replace("\n", "\r")

def visible(data):
    out = []
    for ch in data:
        if ch == "\r": out.append("\\r")
        elif ch == "\n": out.append("\\n")
        elif ch == "\t": out.append("\\t")
        elif ord(ch) < 0x20 or ord(ch) == 0x7f: out.append("\\x%02x" % ord(ch))
        elif ch == "\\": out.append("\\\\")
        else: out.append(ch)
    return '"' + "".join(out) + '"'

def size():
    return os.path.getsize(received_path)

fd = os.open(device, os.O_WRONLY | os.O_NOCTTY)
rows, all_match = [], True
for label, text in lines:
    start = size()
    want = typed(text).encode()
    os.write(fd, text.encode())
    deadline = time.monotonic() + 3
    last, quiet_since = start, time.monotonic()
    while time.monotonic() < deadline:
        time.sleep(0.05)
        now = size()
        if now != last:
            last, quiet_since = now, time.monotonic()
        if now - start >= len(want) and time.monotonic() - quiet_since > 0.3:
            break
    with open(received_path, "rb") as f:
        f.seek(start)
        got = f.read().decode("utf-8", errors="backslashreplace")
    match = got == typed(text)
    all_match &= match
    rows.append((label, text, got, match))
time.sleep(0.5)
extra = open(received_path, "rb").read()[sum(len(typed(t).encode()) for _, t in lines):]
os.close(fd)
with open(received_path, "rb") as f, open(keep_path, "wb") as keep:
    keep.write(f.read())

for label, text, got, match in rows:
    print(f"{label}")
    print(f"  sent     {visible(text)}")
    print(f"  received {visible(got)}   {'MATCH' if match else 'DIFFERENT'}")
    if match and typed(text) != text:
        print("           (CR LF is typed as one Return, which the window receives as \\r)")
if extra and all_match:
    print(f"received after the last line: {visible(extra.decode('utf-8', 'backslashreplace'))}   DIFFERENT")
    all_match = False
print()
print("demo: every line arrived as typed" if all_match
      else "demo: what the window received differs from what was sent")
sys.exit(0 if all_match else 1)
PYTHON

# 7. A screenshot: the corner of the private screen that holds both windows,
# or only the demo's window on your screen.
sleep 0.3
if [ "$private_display" = 1 ]; then
    import -window root -crop 660x340+0+0 +repage "$build/demo.png" 2>/dev/null || echo "demo: the screenshot failed" >&2
else
    import -window "$receiver" "$build/demo.png" 2>/dev/null || echo "demo: the screenshot failed" >&2
fi
[ -s "$build/demo.png" ] && echo "demo: screenshot $build/demo.png; received bytes $build/demo-received.txt"

if [ -s "$work/bexlow.err" ]; then
    echo "demo: bexlow wrote on stderr:"
    sed 's/^/  /' "$work/bexlow.err"
fi
kill -0 "$bexlow_pid" 2>/dev/null || { echo "demo: bexlow ended early" >&2; status=1; }
exit "$status"
