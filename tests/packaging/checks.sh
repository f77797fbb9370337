# Shared by the packaging tests (sourced): a scratch folder that goes at exit,
# check() that runs one check and counts it if it fails, and finish().
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

failures=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

finish() {
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}
