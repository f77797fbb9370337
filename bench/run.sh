#!/usr/bin/env bash
# make bench: the typing benchmark (bench/typing.sh).
set -euo pipefail
exec "$(dirname "$0")/typing.sh" "${1:-build}"
