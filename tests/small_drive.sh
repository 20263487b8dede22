#!/usr/bin/env bash
# The disk-full test's drive Q: (2 MB tmpfs) in the build's Wine prefix, set up and
# removed by CTest around the Windows tests. The test fails, saying why, when
# BUILD/small_drive/status holds anything but "ready", unless JOTWELL_NO_SMALL_DRIVE=1
# says this machine cannot mount one: then it skips. A drive left by a run that was cut
# short is taken down and set up afresh.
#   small_drive.sh setup|cleanup BUILD_DIR
set -u
dir="$2/small_drive" mnt="$2/small_drive/mnt"
link="$(. "$2/wine-session.env" 2>/dev/null && echo "$WINEPREFIX")/dosdevices/q:"
cleanup() {
    [ "$(readlink "$link" 2>/dev/null)" = "$mnt" ] && rm -f "$link"
    mountpoint -q "$mnt" 2>/dev/null && { umount "$mnt" 2>/dev/null || umount -l "$mnt"; }
    rm -rf "$dir"
}
cleanup
[ "$1" = cleanup ] && exit 0
mkdir -p "$mnt"
why() { echo "$*" >"$dir/status"; echo "small_drive: $*"; exit 0; }
[ "$(id -u)" = 0 ] || why "mounting a tmpfs needs root"
[ -e "$link" ] || [ -L "$link" ] && why "drive Q: is another folder's in the Wine prefix"
mount -t tmpfs -o size=2m,mode=0777 jotwell-small-drive "$mnt" 2>/dev/null || why "mount failed"
ln -s "$mnt" "$link" || { umount "$mnt"; why "could not map Q:"; }
echo ready >"$dir/status"
