#!/usr/bin/env bash
# The disk-full test's drive Q: (2 MB tmpfs) in the build's Wine prefix, set up and
# removed by CTest around the Windows tests. Mounted as root, or with sudo where it asks
# for no password; otherwise in a user namespace of its own, which needs no root: a process
# holds the namespace, and Q: reaches its tmpfs through /proc/PID/root. The test fails,
# saying why, when BUILD/small_drive/status holds anything but "ready", unless
# JOTWELL_NO_SMALL_DRIVE=1 says this machine cannot have one: then it skips. A drive left
# by a run that was cut short is taken down and set up afresh.
#   small_drive.sh setup|cleanup BUILD_DIR
set -u
dir="$2/small_drive" mnt="$2/small_drive/mnt"
link="$(. "$2/wine-session.env" 2>/dev/null && echo "$WINEPREFIX")/dosdevices/q:"
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi; }
cleanup() {
    case "$(readlink "$link" 2>/dev/null)" in "$mnt" | /proc/*"$mnt") rm -f "$link" ;; esac
    [ -f "$dir/holder" ] && kill "$(cat "$dir/holder")" 2>/dev/null
    mountpoint -q "$mnt" 2>/dev/null && { as_root umount "$mnt" 2>/dev/null || as_root umount -l "$mnt"; }
    rm -rf "$dir"
}
cleanup
[ "$1" = cleanup ] && exit 0
mkdir -p "$mnt"
why() { echo "$*" >"$dir/status"; echo "small_drive: $*"; exit 0; }
[ -e "$link" ] || [ -L "$link" ] && why "drive Q: is another folder's in the Wine prefix"
tmpfs="mount -t tmpfs -o size=2m,mode=0777 jotwell-small-drive" target=$mnt
if ! as_root $tmpfs "$mnt" 2>/dev/null; then
    setsid unshare -rm sh -c "$tmpfs \"\$0\" && exec sleep infinity" "$mnt" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/holder" && target=/proc/$!/root$mnt
    for _ in $(seq 100); do [ "$(stat -f -c %T "$target" 2>/dev/null)" = tmpfs ] && break; sleep 0.05; done
    [ "$(stat -f -c %T "$target")" = tmpfs ] || why "a tmpfs needs root, sudo without a password or user namespaces"
fi
ln -s "$target" "$link" || why "could not map Q:"
echo ready >"$dir/status"
