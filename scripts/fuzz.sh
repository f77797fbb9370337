#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, each on a working corpus
# under the build folder that starts from the seeds in tests/fuzz/corpus.
# Usage: fuzz.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
top="$(cd "$(dirname "$0")/.." && pwd)"
status=0
for target in linesettings decoder inivalue typedtext; do
    binary="$build/tests/fuzz/${target}_fuzz"
    corpus="$build/fuzz-corpus/$target"
    mkdir -p "$corpus"
    echo "== ${target}_fuzz for ${seconds}s"
    if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/fuzz-" \
        "$corpus" "$top/tests/fuzz/corpus/$target" 2>"$build/fuzz-$target.log"; then
        echo "== ${target}_fuzz FOUND A FAILURE: see $build/fuzz-$target.log and $build/fuzz-*"
        status=1
    fi
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/fuzz-$target.log" | tail -2 || true
done
exit $status
