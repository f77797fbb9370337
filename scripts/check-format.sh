#!/usr/bin/env bash
# Fails, naming the files, when clang-format would change any C++ file.
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r file; do
    if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(git ls-files '*.cpp' '*.h')
if [ ${#unformatted[@]} -ne 0 ]; then
    echo "check-format: not formatted (run make format): ${unformatted[*]}"
    exit 1
fi
echo "check-format: every C++ file is formatted"
