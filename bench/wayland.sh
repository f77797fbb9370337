#!/usr/bin/env bash
# Wayland typing benchmark, headless: bench/wayland.sh [BUILD_DIR]   (default: build)
#
# On a private headless sway (run as nobody, so this needs root), with foot
# in raw mode as the focused receiver, it measures the virtual-keyboard
# backend beside wtype: exactness and chars/s on printable ASCII (5,000) and
# mixed text (2,000; wtype on a shorter slice), and the latency of the real
# bexlow from the first byte on a pty to the first character in foot.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$top/$build" ;; esac
for tool in sway foot wtype swaymsg setpriv socat python3; do
    command -v "$tool" >/dev/null || { echo "wayland.sh: $tool is not installed (make deps)" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "wayland.sh: run as root (sway is started as nobody)" >&2; exit 2; }
[ -x "$build/app/bexlow" ] && [ -x "$build/bench/bexlow-typing-driver" ] \
    || { echo "wayland.sh: build first: cmake --build $build" >&2; exit 2; }
unset DISPLAY WAYLAND_DISPLAY
exec python3 "$top/bench/waylandbench.py" "$build"
