#!/usr/bin/env bash
# Runs every test. Tests that need a display get a private Xvfb each
# (scripts/with-xvfb.sh), so this works with no display at all.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
unset DISPLAY WAYLAND_DISPLAY
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2
