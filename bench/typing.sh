#!/usr/bin/env bash
# Typing benchmark, headless: bench/typing.sh [BUILD_DIR]   (default: build)
#
# On a private Xvfb with an xterm in raw mode as the focused receiver, it
# measures in one run:
#  - exactness (wrong, missing, extra characters) and throughput (characters
#    per second until the xterm has them all) of XTestKeyInjector (through
#    bexlow-typing-driver), `xdotool type --delay 0` and `xdotool type`
#    (default 12 ms delay, on a shorter slice), on printable ASCII (5,000),
#    mixed text with characters the US layout lacks (2,000) and, for the
#    injector, a text with many more distinct missing characters than there
#    are spare keycodes;
#  - the same injector into Chromium (X11 mode, a text area on a page, read
#    back through tests/receivers/chromiumreceiver.py) beside the xterm:
#    ASCII and a 1,000-character burst of mixed text;
#  - through the real bexlow on a pty: latency from the first byte written
#    to the first character in the xterm (median, p99 over 60 bursts); a
#    scanner flow of 500 bursts into Chromium under each of the us, de and
#    fr layouts (exactness); a 30 s stream paced at 11,520 bytes/s (115200
#    baud, 8N1): exact or not and the xterm's lag at the end; bexlow's CPU use idle for 10 s, during
#    the stream, and its peak RSS.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$top/$build" ;; esac
for tool in xterm xdotool socat python3 chromium setxkbmap; do
    command -v "$tool" >/dev/null || { echo "typing.sh: $tool is not installed (make deps)" >&2; exit 2; }
done
[ -x "$build/app/bexlow" ] && [ -x "$build/bench/bexlow-typing-driver" ] \
    || { echo "typing.sh: build first: cmake --build $build" >&2; exit 2; }
unset DISPLAY WAYLAND_DISPLAY
exec "$top/scripts/with-xvfb.sh" python3 "$top/bench/typingbench.py" "$build"
