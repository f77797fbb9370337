#!/usr/bin/env bash
# Runs every test. Tests that need a display get a private Xvfb each
# (scripts/with-xvfb.sh), so this works with no display at all.
# Usage: run-tests.sh [BUILD [CTEST-OPTIONS...]], e.g. run-tests.sh build -LE office
set -euo pipefail
build=${1:-build}
shift $(($# > 0 ? 1 : 0))
cd "$(dirname "$0")/.."
unset DISPLAY WAYLAND_DISPLAY
# Under SANITIZE=1: leaks of system libraries are not ours to report.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2 "$@"
