#!/usr/bin/env bash
# make bench: the X11 typing benchmark (bench/typing.sh), then the Wayland
# one (bench/wayland.sh).
set -euo pipefail
"$(dirname "$0")/typing.sh" "${1:-build}"
echo
exec "$(dirname "$0")/wayland.sh" "${1:-build}"
