#!/usr/bin/env bash
# The distribution lane: builds bexlow with WERROR=1 inside a tree of another
# Debian release and runs the test suite there, or makes that release's .deb.
#
# Usage: scripts/test-distro.sh DIST [test|package|prepare|run COMMAND...]
#   DIST     a Debian suite or codename: trixie, testing, ...
#   test     (default) build and run every test inside the tree
#   prepare  only make the tree, if it is not there yet
#   package  build and make the .deb, copied to build-DIST/ here
#   run      run COMMAND in the tree's copy of the sources (for example
#            bash, or build/...: the lane's build folder is /root/build)
#
# The tree is made with mmdebstrap from the packages that scripts/deps.sh
# lists, and kept in $BEXLOW_TREES (default /var/cache/bexlow) as
# DIST-<digest of the package list>: a changed list makes a new tree and
# removes the old one. Needs root: it makes the tree and enters it by chroot.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dist=${1:?usage: scripts/test-distro.sh DIST [test|package|prepare|run COMMAND...]}
step=${2:-test}
shift $(($# < 2 ? $# : 2))
trees=${BEXLOW_TREES:-/var/cache/bexlow}

fail() { echo "test-distro: $*" >&2; exit 2; }
say() { echo "test-distro[$dist]: $*"; }

case "$step" in test | package | prepare | run) ;; *) fail "unknown step \"$step\" (test, package, prepare or run)" ;; esac
[ "$(id -u)" -eq 0 ] || fail "run as root: the lane makes a Debian tree and enters it by chroot"
"$root/scripts/deps.sh" lane >/dev/null

# Mirrors of Debian's archive may serve Release files past their Valid-Until.
apt_options=(--aptopt='Acquire::Check-Valid-Until "false"' --aptopt='Acquire::Check-Date "false"')
packages=$("$root/scripts/deps.sh" --list build demo tests | sort -u)
# Packages only some releases have go in where the tree's apt knows them.
optional=$("$root/scripts/deps.sh" --optional | paste -sd' ')
digest=$(printf '%s\n' "$dist" "$packages" "$optional" | sha256sum | cut -c1-12)
tree=$trees/$dist-$digest

# One step at a time on a release: another waits here for it to end.
mkdir -p "$trees"
exec 9>"$trees/$dist.lock"
flock 9

# The mount points at or below $1, the shortest first.
mounts_under() {
    awk -v t="$1" '$5 == t || index($5, t "/") == 1 { print length($5), $5 }' /proc/self/mountinfo |
        sort -n | cut -d' ' -f2-
}

# Detaches whatever is mounted at or below $1. A lazy unmount takes the
# mounts below along; mounts stacked on one another go one at a time.
unmount_all() {
    local target
    for _ in $(seq 100); do
        target=$(mounts_under "$1" | head -n1)
        [ -n "$target" ] || return 0
        umount -l "$target" || true
    done
    fail "could not unmount everything under $1"
}

# A tree with /dev bound into it is never removed while anything is mounted.
# Ends the processes whose root is in the tree $1: services a test had its
# bus start (a wallet, a document portal) may outlive it, and would keep
# files open and mounts busy.
processes_in() {
    local process root
    for process in /proc/[0-9]*; do
        root=$(readlink "$process/root" 2>/dev/null) || continue
        case "$root" in "$1" | "$1"/*) echo "${process#/proc/}" ;; esac
    done
}
kill_leftovers() {
    local left
    for _ in $(seq 50); do
        left=$(processes_in "$1")
        [ -n "$left" ] || return 0
        kill -KILL $left 2>/dev/null || true
        sleep 0.1
    done
    say "processes still running in $1: $left"
}

remove_tree() {
    kill_leftovers "$1"
    unmount_all "$1"
    [ -z "$(mounts_under "$1")" ] || fail "$1 still has mounts; not removing it"
    rm -rf --one-file-system "$1"
}

if [ ! -e "$tree/.bexlow-complete" ]; then
    for old in "$trees/$dist"-*; do
        [ -e "$old" ] && say "removing the tree of an older package list, $old" && remove_tree "$old"
    done
    mkdir -p "$trees"
    say "making the tree $tree ($(wc -l <<<"$packages") packages and their dependencies)"
    mmdebstrap --variant=apt "${apt_options[@]}" --include="$(paste -sd, <<<"$packages")" \
        --chrooted-customize-hook="for p in $optional; do ! apt-cache show \$p >/dev/null 2>&1 ||
            apt-get install -y -q --no-install-recommends \$p; done" \
        "$dist" "$tree.partial"
    touch "$tree.partial/.bexlow-complete"
    mv "$tree.partial" "$tree"
fi
[ "$step" != prepare ] || exit 0

# The tree becomes a private mount of its own: nothing mounted in it shows
# among the machine's mounts, and one lazy unmount takes it all away.
kill_leftovers "$tree" # left by a run that was killed
unmount_all "$tree"
trap 'kill_leftovers "$tree"; unmount_all "$tree"' EXIT
mount --bind "$tree" "$tree"
mount --make-private "$tree"
mount -t proc proc "$tree/proc"
mount --rbind /sys "$tree/sys" && mount --make-rslave "$tree/sys"
mount --rbind /dev "$tree/dev" && mount --make-rslave "$tree/dev"
mount -t tmpfs -o mode=1777 tmpfs "$tree/tmp"
# KWin starts its Xwayland only where this folder is root's, mode 1777.
install -d -m 1777 -o root -g root "$tree/tmp/.X11-unix"

# The sources as they are here, committed or not; the build folder in the
# tree is kept, so a second run builds only what changed. Files are compared
# by content and a changed one gets the time of this copy: the build may
# come from another checkout (a worktree) whose files are newer, and a file
# taken over with its own older time would leave stale objects behind.
staging=$(mktemp -d)
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf -) | tar -xf - -C "$staging"
mkdir -p "$tree/root/bexlow"
rsync -r --checksum --perms --delete "$staging/" "$tree/root/bexlow/"
rm -rf "$staging"

# Cases this release is known to fail, each with why; they still run on the
# releases where they pass. Once the product is mended, the line goes.
known_failures=()
case "$dist" in
trixie | testing | forky) ;; # none now
esac
filter=$(IFS=:; echo "${known_failures[*]}")
[ -z "$filter" ] || say "not run here (known to fail): $filter"

case "$step" in
# The office receivers (LibreOffice, Java) run on the machine only: they
# would double the tree and the lane's time.
test) commands='make build BUILD=/root/build && scripts/run-tests.sh /root/build -LE office' ;;
package) commands='make package BUILD=/root/build && cp /root/build/*.deb /root/deb/' ;;
run) commands=$(printf '%q ' "$@") ;;
esac
mkdir -p "$tree/root/deb"
rm -f "$tree"/root/deb/*.deb
say "$(chroot "$tree" sh -c '. /etc/os-release; echo "$PRETTY_NAME"'), step: $step"
chroot "$tree" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 CI=true WERROR=1 CCACHE_DIR=/root/.ccache \
    ${filter:+GTEST_FILTER="-$filter"} \
    bash -c "cd /root/bexlow && $commands"

if [ "$step" = package ]; then
    mkdir -p "$root/build-$dist"
    cp "$tree"/root/deb/*.deb "$root/build-$dist/"
    say "package: $(ls "$root/build-$dist"/*.deb)"
fi
