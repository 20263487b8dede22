#!/usr/bin/env bash
# The disk-full test's drive Q: (2 MB tmpfs) in the build's Wine prefix, set up and
# removed by CTest around the Windows tests: mounted as root, or with sudo where it asks
# for no password. (A tmpfs in a user namespace, reached through /proc/PID/root, fills up
# at 2 MB, but Wine cannot delete a file there: its server takes the path as the host sees
# it.) The test fails, saying why, when BUILD/small_drive/status holds anything but
# "ready", unless JOTWELL_NO_SMALL_DRIVE=1 says this machine cannot have one: then it
# skips. A drive left by a run that was cut short is taken down and set up afresh.
#   small_drive.sh setup|cleanup BUILD_DIR
set -u
dir="$2/small_drive" mnt="$2/small_drive/mnt"
link="$(. "$2/wine-session.env" 2>/dev/null && echo "$WINEPREFIX")/dosdevices/q:"
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi; }
cleanup() {
    [ "$(readlink "$link" 2>/dev/null)" = "$mnt" ] && rm -f "$link"
    mountpoint -q "$mnt" 2>/dev/null && { as_root umount "$mnt" 2>/dev/null || as_root umount -l "$mnt"; }
    rm -rf "$dir"
}
cleanup
[ "$1" = cleanup ] && exit 0
mkdir -p "$mnt"
why() { echo "$*" >"$dir/status"; echo "small_drive: $*"; exit 0; }
[ -e "$link" ] || [ -L "$link" ] && why "drive Q: is another folder's in the Wine prefix"
as_root mount -t tmpfs -o size=2m,mode=0777 jotwell-small-drive "$mnt" 2>/dev/null ||
    why "mounting a tmpfs needs root or sudo without a password (JOTWELL_NO_SMALL_DRIVE=1 skips)"
ln -s "$mnt" "$link" || { as_root umount "$mnt"; why "could not map Q:"; }
echo ready >"$dir/status"
