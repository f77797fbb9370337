#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks what it holds.
# Usage: package_test.sh BUILD_DIR BEXLOW_BINARY
set -euo pipefail
build=$1
binary=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/checks.sh"

version=$("$binary" --version 2>/dev/null | awk '{print $2}')
[ -n "$version" ] || { echo "FAILED: bexlow --version printed no version"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 \
    || { cat "$tmp/cpack.log"; echo "FAILED: cpack"; exit 1; }
mapfile -t debs < <(find "$tmp/out" -maxdepth 1 -name '*.deb')
[ ${#debs[@]} -eq 1 ] || { echo "FAILED: expected one .deb, found ${#debs[@]}"; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
check "package name is bexlow" test "$(field Package)" = bexlow
check "package version $version is the program's" test "$(field Version)" = "$version"
check "file name bexlow_${version}_<arch>.deb" \
    test "$(basename "$deb")" = "bexlow_${version}_$(dpkg --print-architecture).deb"
check "maintainer is named" grep -q '<.*@.*>' <<<"$(field Maintainer)"
check "description has a summary and a body" test "$(field Description | wc -l)" -ge 3
depends=$(field Depends)
for dependency in libqt6serialport6 libqt6widgets6 libxtst6 libx11-6 qt6-qpa-plugins; do
    check "depends on $dependency" grep -q "\b$dependency\b" <<<"$depends"
done

dpkg-deb -c "$deb" | awk '{print $NF}' >"$tmp/contents"
for path in ./usr/bin/bexlow ./usr/share/applications/bexlow.desktop \
    ./usr/share/icons/hicolor/32x32/apps/bexlow.png ./usr/share/icons/hicolor/scalable/apps/bexlow.svg \
    ./usr/share/man/man1/bexlow.1.gz; do
    check "package holds $path" grep -qx -- "$path" "$tmp/contents"
done
check "nothing outside /usr" test -z "$(grep -v '^\./usr/\|^\./$' "$tmp/contents")"
check "no test programs in the package" test -z "$(grep -i 'test' "$tmp/contents")"

# What is inside is what the source says, and it works.
dpkg-deb -x "$deb" "$tmp/root"
usr="$tmp/root/usr"
check "the packaged desktop entry is packaging/bexlow.desktop with the binary's path" \
    cmp -s "$usr/share/applications/bexlow.desktop" \
    <(sed 's|^Exec=bexlow$|Exec=/usr/bin/bexlow|' "$source_dir/packaging/bexlow.desktop")
check "the packaged manual page is the build's, for version $version" \
    cmp -s <(gzip -dc "$usr/share/man/man1/bexlow.1.gz") "$build/packaging/bexlow.1"
icon="$usr/share/icons/hicolor/32x32/apps/bexlow.png"
check "the PNG icon is 32x32 with a palette of at most 16 colours" \
    grep -q 'PNG image data, 32 x 32, [1-4]-bit colormap' <<<"$(file -b "$icon")"
check "the PNG icon has no transparent colour" test -z "$(grep -a tRNS "$icon")"
check "the scalable icon is an SVG document" python3 -c '
import sys, xml.etree.ElementTree as ET
sys.exit(0 if ET.parse(sys.argv[1]).getroot().tag == "{http://www.w3.org/2000/svg}svg" else 1)' \
    "$usr/share/icons/hicolor/scalable/apps/bexlow.svg"
check "the packaged binary runs: --version" \
    test "$(env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/bexlow" --version 2>/dev/null)" = "bexlow $version"
check "the packaged binary is stripped" grep -q 'stripped' <<<"$(file -b "$usr/bin/bexlow" | sed 's/not stripped/NOT/')"

finish
