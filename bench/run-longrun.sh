#!/usr/bin/env bash
# The long run, headless: bench/run-longrun.sh [BUILD_DIR] [--minutes N]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-build}
shift || true
exec "$top/scripts/with-xvfb.sh" python3 "$top/bench/longrun.py" "$top/$build/app/bexlow" "$@"
