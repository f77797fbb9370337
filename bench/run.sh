#!/usr/bin/env bash
# make bench: the X11 typing benchmark (bench/typing.sh), the Wayland one
# (bench/wayland.sh), then bexlow on headless GNOME and KDE compositors
# (bench/desktopsbench.py), in one run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$(pwd)/$build" ;; esac
"$here/typing.sh" "$build"
echo
"$here/wayland.sh" "$build"
echo
for tool in mutter foot dbus-daemon gdbus xterm kwin_wayland; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed (make deps)" >&2; exit 2; }
done
python3 "$here/desktopsbench.py" "$build" 2> >(grep -v -e '^info:' -e '^warn:' >&2)
