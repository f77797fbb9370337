#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: bugprone, performance) over the program's own
# C++ files, with the compile commands of a configured build folder; fails
# on any finding. Usage: scripts/tidy.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json; run make build first"; exit 1; }
# Compiler warnings are the build's business (WERROR=1 there): here they stay
# warnings, which .clang-tidy does not list.
# Only the files this build compiles (libei's part is left out where there is
# no libei). clang-tidy counts the warnings it left out on stderr; only
# findings remain.
git ls-files '*.cpp' | grep -v -E '^(tests|bench)/' \
    | while read -r file; do if grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json"; then echo "$file"; fi; done \
    | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-error \
        2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)
echo "tidy: no findings"
