#!/usr/bin/env bash
# Installs the Debian packages that building and testing bexlow need.
# Idempotent: installs only what is missing. As root it runs apt-get;
# otherwise it prints the command to run.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev
    libx11-dev libxcb1-dev libxtst-dev libxkbcommon-dev
    libwayland-dev libwayland-bin qt6-wayland
    googletest libgtest-dev
    xvfb xauth xterm xdotool x11-xkb-utils x11-utils x11-apps xfonts-base fonts-dejavu-core openbox
    # Wayland typing tests: headless sway and weston, native receivers, wtype to compare
    sway foot wtype xwayland x11-xserver-utils weston
    # Browser and GTK receivers
    chromium libgtk-3-dev
    clang-format ccache
    socat python3 desktop-file-utils dpkg-dev file imagemagick groff-base man-db procps
    # GNOME typing tests: headless mutter on a private bus, foot as receiver
    mutter dbus-daemon python3-dbus python3-gi
    # KDE typing tests: headless KWin, xterm under its Xwayland; the desktop
    # portal with KDE's backend (a Qt 5 Wayland client)
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5
    # Office and Java receivers: LibreOffice Calc on its own X11 toolkit and
    # on GTK 3, read back over UNO, and a Java Swing text area
    libreoffice-calc libreoffice-gtk3 python3-uno openjdk-17-jdk-headless
)

# `deps.sh fuzz` adds what the fuzzers need.
if [ "${1:-}" = fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "deps: all build and test packages are installed"
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
