#!/usr/bin/env bash
# The desktop entry, the manual page and --help, and that the messages they
# explain are the ones the program says.
# Usage: docs_test.sh SOURCE_DIR BEXLOW_BINARY MANUAL_PAGE (as the build makes it)
set -euo pipefail
source_dir=$1
binary=$2
manpage=$3
desktop="$source_dir/packaging/bexlow.desktop"
source "$(dirname "$0")/checks.sh"

has() { grep -qF -- "$2" "$1"; }

# Desktop entry: valid, without even a hint or warning (any error is
# printed too), and launching bexlow.
check "desktop-file-validate has no remark" test -z "$(desktop-file-validate "$desktop" 2>&1)"
for line in 'Type=Application' 'Name=bexlow' 'Exec=bexlow' 'Icon=bexlow' 'Terminal=false' 'Comment=.\{10,\}' \
    'Categories=\(.*;\)\?Utility;.*'; do
    check "desktop entry: $line" grep -qx -- "$line" "$desktop"
done

# Manual page: renders with every warning on (groff -ww) and none given.
MANWIDTH=80 MAN_KEEP_FORMATTING= man --warnings=w -l "$manpage" >"$tmp/man.txt" 2>"$tmp/man.err" || true
check "man -l renders bexlow.1 without warnings" test ! -s "$tmp/man.err" -a -s "$tmp/man.txt"
for heading in NAME SYNOPSIS DESCRIPTION FILES 'EXIT STATUS' EXAMPLES TROUBLESHOOTING LIMITATIONS 'SEE ALSO'; do
    check "manual: section $heading" grep -qx "$heading" "$tmp/man.txt"
done
for text in 'bexlow 1,9600,n,8,1' 'SPEED,PARITY,DATABITS,STOPBITS' '~/.config/bexlow.conf' \
    '~/.config/BexxLow.conf' '[Ports]' '/dev/serial/by-id/' '/dev/ttyS0' 'dialout' 'fuser' 'lsof' \
    'XTEST' 'XWayland' '4 data bits' '1.5 stop bits'; do
    check "manual mentions $text" has "$tmp/man.txt" "$text"
done
version=$("$binary" --version 2>/dev/null | awk '{print $2}')
check "manual is for version $version" grep -q "^\.TH BEXLOW 1 .* \"bexlow $version\"" "$manpage"

# --help: a Linux tool's help, and it touches no settings file.
mkdir "$tmp/config"
status=0
XDG_CONFIG_HOME="$tmp/config" env -u DISPLAY -u WAYLAND_DISPLAY "$binary" --help >"$tmp/help.txt" 2>/dev/null || status=$?
check "--help exits 0" test "$status" -eq 0
check "--help starts with the usage line" test "$(head -n1 "$tmp/help.txt")" = \
    'Usage: bexlow [PORT,SPEED,PARITY,DATABITS,STOPBITS]'
for text in 'bexlow 1,9600,n,8,1' '~/.config/bexlow.conf' '~/.config/BexxLow.conf' 'Com<n>=' \
    '/dev/serial/by-id/' '--version' 'bexlow -h | --help | --version' 'man bexlow'; do
    check "--help mentions $text" has "$tmp/help.txt" "$text"
done
XDG_CONFIG_HOME="$tmp/config" env -u DISPLAY -u WAYLAND_DISPLAY "$binary" -h >"$tmp/h.txt" 2>/dev/null || true
check "-h prints the same help" cmp -s "$tmp/help.txt" "$tmp/h.txt"
check "--help writes no settings file" test -z "$(ls -A "$tmp/config")"

# The messages the manual and the README explain are the program's own texts.
messages=(
    'serial/openfailure.cpp|another program is using the port'
    'serial/mscomm.cpp|the device has gone away; waiting for it to come back'
    'serial/lineconfig.cpp|Invalid line settings'
    'serial/lineconfig.cpp|4 data bits are not supported by Linux serial drivers'
    'serial/lineconfig.cpp|1.5 stop bits are not supported by Linux serial drivers'
    'bridge/startup.cpp|Invalid port number'
    'store/inisettingsstore.cpp|Settings file'
    'keyboard/xserver/xconnection.cpp|typing needs an X11 display with the XTEST extension'
    'app/backendchoice.cpp|this Wayland desktop offers no virtual keyboard'
    'bridge/terminalbridge.cpp|not typed, the keyboard layout has no key for'
    'bridge/terminalbridge.cpp|not typed: '
    'keyboard/controlcharacters.cpp|no control character has that name'
)
for entry in "${messages[@]}"; do
    file=${entry%%|*}
    text=${entry#*|}
    check "$file says \"$text\"" has "$source_dir/$file" "$text"
    check "manual explains \"$text\"" has <(tr -s ' \n' ' ' <"$tmp/man.txt") "$text"
    check "README explains \"$text\"" has "$source_dir/README.md" "$text"
done

finish
