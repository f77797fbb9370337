#!/usr/bin/env bash
# Runs scripts/demo.sh headless, as `make demo` does on a machine without a
# display, and checks what the xterm received; then runs it with a stand-in
# that types the wrong text, which the demo must report as DIFFERENT.
# Usage: demo_test.sh SOURCE_DIR BEXLOW_BINARY
set -euo pipefail
source_dir=$1
binary=$2
source "$(dirname "$0")/checks.sh"
unset DISPLAY WAYLAND_DISPLAY

# run_demo NAME PROGRAM: the demo on a build folder of its own whose
# app/bexlow is PROGRAM, in a session of its own; sets demo_status.
run_demo() {
    local name=$1 program=$2
    mkdir -p "$tmp/$name/app" "$tmp/$name/tmp"
    ln -s "$program" "$tmp/$name/app/bexlow"
    demo_status=0
    TMPDIR="$tmp/$name/tmp" setsid --wait "$source_dir/scripts/demo.sh" "$tmp/$name" \
        >"$tmp/$name.out" 2>&1 || demo_status=$?
    sed "s/^/  $name| /" "$tmp/$name.out"
    # Everything the demo started has ended: nothing runs with its files.
    sleep 0.2
    check "$name: the demo left no process behind" test -z "$(pgrep -f "$tmp/$name/" || true)"
}

# The line statuses the demo printed, in order.
statuses() { grep -o '  \(MATCH\|DIFFERENT\)$' "$tmp/$1.out" | tr -d ' ' | paste -sd' '; }

# 1. The real program: every line arrives as it would be typed by hand.
run_demo real "$binary"
check "real: the demo exits 0" test "$demo_status" -eq 0
check "real: four lines, all MATCH" test "$(statuses real)" = "MATCH MATCH MATCH MATCH"
printf '4006381333931\rBX-2024/07+A\r  12.345 kg\rCr\xc3\xa8me br\xc3\xbbl\xc3\xa9e 4,50 \xe2\x82\xac\r' >"$tmp/expected"
check "real: the window received exactly the typed text" cmp "$tmp/expected" "$tmp/real/demo-received.txt"
check "real: a screenshot was saved" grep -q 'PNG image data' <<<"$(file -b "$tmp/real/demo.png" 2>&1)"
check "real: it ran on a private Xvfb" grep -q '(private Xvfb)' "$tmp/real.out"

# 2. A stand-in that reads the line and types it upper-cased through xdotool:
# the two lines without lower-case letters match, the two others differ.
cat >"$tmp/standin" <<'PYTHON'
#!/usr/bin/env python3
import os, re, subprocess, tty
conf = open(os.path.join(os.environ["XDG_CONFIG_HOME"], "bexlow.conf")).read()
fd = os.open(re.search(r"^Com1=(.*)$", conf, re.M).group(1), os.O_RDONLY | os.O_NOCTTY)
tty.setraw(fd)
while True:
    text = os.read(fd, 4096).decode().replace("\r\n", "\n").replace("\r", "\n").upper()
    for number, part in enumerate(text.split("\n")):
        if number:
            subprocess.run(["xdotool", "key", "Return"], check=False)
        if part:
            subprocess.run(["xdotool", "type", "--delay", "5", "--", part], check=False)
PYTHON
chmod +x "$tmp/standin"
run_demo wrong "$tmp/standin"
check "wrong: the demo exits 1" test "$demo_status" -eq 1
check "wrong: MATCH MATCH DIFFERENT DIFFERENT" test "$(statuses wrong)" = "MATCH MATCH DIFFERENT DIFFERENT"
check "wrong: the demo says so" grep -q 'differs from what was sent' "$tmp/wrong.out"

finish
