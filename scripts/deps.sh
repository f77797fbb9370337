#!/usr/bin/env bash
# Installs the Debian packages that building, the demo and the tests need.
# Idempotent: installs only what is missing. As root it runs apt-get;
# otherwise it prints the command to run.
#
# Usage: deps.sh [--list] [GROUP...]
#   GROUP is build, demo, tests, office, checks, fuzz or lane; with none,
#   build demo tests office checks.
#   --list prints the packages of the groups, one a line, and installs nothing
#   (the distribution lane makes its trees from that list).
#   --optional prints the packages installed only where the release has them
#   (with the build group, wherever apt-cache knows them), one a line.
set -euo pipefail

# Compiling bexlow; GoogleTest because the build also compiles the tests.
build=(
    cmake make g++ pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev
    libx11-dev libxcb1-dev libxtst-dev libxi-dev libxext-dev libxkbcommon-dev libxkbcommon-x11-dev libx11-xcb-dev libxkbregistry-dev libglib2.0-dev
    libwayland-dev libwayland-bin qt6-wayland
    googletest libgtest-dev
)
# Built in where the release has it: libei, through which keys go to the
# desktop portal's EIS connection (Debian 13 and later; not in Debian 12).
# The .deb then depends on libei1 by its shared library.
optional_build=(libei-dev)
# make demo: a private X server, a window to type into, a virtual serial line.
demo=(
    xvfb xterm xdotool xfonts-base fonts-dejavu-core socat python3 imagemagick
)
tests=(
    xauth x11-xkb-utils x11-utils x11-apps openbox
    # Wayland typing tests: headless sway and weston, native receivers, wtype to compare
    sway foot wtype xwayland x11-xserver-utils weston
    # Browser, GTK and Qt receivers (the last two in Python)
    chromium python3-gi gir1.2-gtk-3.0 python3-pyqt6
    clang-format
    desktop-file-utils dpkg-dev file groff-base man-db procps
    # GNOME typing tests: headless mutter on a private bus, foot as receiver;
    # the input sources written to GSettings through dconf
    mutter dbus-daemon python3-dbus python3-gi dconf-service libglib2.0-bin gsettings-desktop-schemas
    # KDE typing tests: headless KWin, xterm under its Xwayland; the desktop
    # portal with KDE's backend (a Qt 5 Wayland client on Debian 12), which
    # wants KWin's screencast plugin (kwin-common; Debian 13's kwin-wayland
    # no longer pulls it in)
    kwin-wayland kwin-common xdg-desktop-portal xdg-desktop-portal-kde qtwayland5
)
# Office and Java receivers (typing_office_end_to_end_test): LibreOffice Calc
# on its own X11 toolkit and on GTK 3, read back over UNO, and a Java Swing
# text area (Swing needs the full JDK, not the headless one, to open a window;
# default-jdk is the release's own: 17 on Debian 12, 21 on Debian 13), and
# Notepad under Wine, read back through the clipboard with xclip.
office=(libreoffice-calc libreoffice-gtk3 python3-uno default-jdk wine xclip)
fuzz=(clang libclang-rt-14-dev)
# The static analysis CI runs on this machine (scripts/tidy.sh); the lane's
# trees go without it.
checks=(clang-tidy)
# The distribution lane (scripts/test-distro.sh) makes its Debian trees with it.
lane=(mmdebstrap rsync)

list=0
if [ "${1:-}" = --optional ]; then
    printf '%s\n' "${optional_build[@]}"
    exit 0
fi
if [ "${1:-}" = --list ]; then
    list=1
    shift
fi
[ $# -gt 0 ] || set -- build demo tests office checks

packages=()
for group in "$@"; do
    case "$group" in
    build)
        packages+=("${build[@]}")
        [ "$list" = 1 ] || for package in "${optional_build[@]}"; do
            apt-cache show "$package" >/dev/null 2>&1 && packages+=("$package")
        done
        ;;
    demo) packages+=("${demo[@]}") ;;
    tests) packages+=("${tests[@]}") ;;
    office) packages+=("${office[@]}") ;;
    checks) packages+=("${checks[@]}") ;;
    fuzz) packages+=("${fuzz[@]}") ;;
    lane) packages+=("${lane[@]}") ;;
    *) echo "deps: unknown group \"$group\" (build, demo, tests, office, checks, fuzz, lane)" >&2; exit 2 ;;
    esac
done

if [ "$list" = 1 ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "deps: all packages for $* are installed"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing Debian packages: ${missing[*]}"
    echo "deps: run: sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
fi

echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
