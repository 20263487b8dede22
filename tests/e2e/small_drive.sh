#!/usr/bin/env bash
# The small drive of the disk-full test: a 2 MB tmpfs under the build tree,
# mapped into the build's Wine prefix as drive Q:. CTest runs it as the
# fixture small_drive around the end-to-end tests.
#
#   small_drive.sh setup BUILD_DIR     mount and map; writes BUILD_DIR/small_drive/status:
#                                      "ready", or why there is no drive (the test then
#                                      skips and says so); always exits 0, so that the
#                                      other end-to-end tests run either way
#   small_drive.sh cleanup BUILD_DIR   unmap, unmount, remove
set -u
cmd=${1:-} build=${2:-}
[ -n "$cmd" ] && [ -d "$build" ] || { sed -n '2,12p' "$0" >&2; exit 2; }
dir="$build/small_drive"
mnt="$dir/mnt"
status="$dir/status"
prefix="$build/wineprefix"
[ -f "$build/wine-session.env" ] && prefix=$(. "$build/wine-session.env" && echo "$WINEPREFIX")
link="$prefix/dosdevices/q:"

cleanup() {
    if [ -L "$link" ] && [ "$(readlink "$link")" = "$mnt" ]; then rm -f "$link"; fi
    if mountpoint -q "$mnt" 2>/dev/null; then
        # A Wine process may still hold a file there: detach it lazily then.
        umount "$mnt" 2>/dev/null || umount -l "$mnt"
    fi
    [ -d "$mnt" ] && rmdir "$mnt" 2>/dev/null
    rm -f "$status"
    rmdir "$dir" 2>/dev/null
    return 0
}

unavailable() {
    echo "$*" >"$status"
    echo "small_drive: $*"
    exit 0
}

setup() {
    cleanup
    mkdir -p "$mnt"
    [ "$(id -u)" = 0 ] || unavailable "not root (uid $(id -u)): mounting a small filesystem needs root"
    [ -d "$prefix/dosdevices" ] || unavailable "no Wine prefix at $prefix (start scripts/wine-session first)"
    if [ -e "$link" ] || [ -L "$link" ]; then
        unavailable "drive Q: is already taken in $prefix"
    fi
    local err
    err=$(mount -t tmpfs -o size=2m,mode=0777 jotwell-small-drive "$mnt" 2>&1) \
        || unavailable "mount -t tmpfs failed: $err"
    touch "$mnt/jotwell-small-drive"
    ln -s "$mnt" "$link" || { umount "$mnt"; unavailable "could not map $mnt as Q: in $prefix"; }
    echo ready >"$status"
    echo "small_drive: a 2 MB tmpfs at $mnt is drive Q:"
}

case "$cmd" in
setup) setup ;;
cleanup) cleanup ;;
*) sed -n '2,12p' "$0" >&2; exit 2 ;;
esac
