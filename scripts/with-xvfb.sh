#!/usr/bin/env bash
# Runs a command on a private Xvfb display of its own, so that tests that
# change the keymap or the focus never disturb each other or the user's screen.
# Usage: with-xvfb.sh COMMAND [ARGS...]
set -euo pipefail

command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is not installed (make deps)" >&2; exit 1; }

displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$displayfile" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$displayfile"' EXIT

for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.05
done
[ -s "$displayfile" ] || { echo "with-xvfb: Xvfb did not start" >&2; exit 1; }

export DISPLAY=":$(head -n1 "$displayfile")"
unset WAYLAND_DISPLAY
"$@"
