#!/usr/bin/env bash
# Makes the release zip of a build tree as its package target does (cpack) and checks it:
# one folder NAME holding exactly jotwell.exe (the one built), README.txt (UTF-8 with a
# byte-order mark) and LICENSE.txt, both with CRLF line ends; and that the exe starts. With
# a START command (x86_64) it is started from the unpacked folder and quit; without (i686,
# which this machine cannot run) it must be an i386 PE executable.
#   check_package.sh BUILD_DIR NAME OBJDUMP [START...]
set -u
build=$1 name=$2 objdump=$3
shift 3
fail() { echo "FAIL ($name): $1"; exit 1; }
cd "$build" && cpack -G ZIP --config CPackConfig.cmake >package.log 2>&1 || fail "cpack: $(cat package.log)"
rm -rf package-check && mkdir package-check && cd package-check && cmake -E tar xf "../$name.zip" ||
    fail "$name.zip does not unpack"
files=$(find . -mindepth 1 | sort | tr '\n' ' ')
[ "$files" = "./$name ./$name/LICENSE.txt ./$name/README.txt ./$name/jotwell.exe " ] || fail "holds $files"
cmp -s "$name/jotwell.exe" ../bin/jotwell.exe || fail "jotwell.exe is not the one built"
[ "$(head -c 3 "$name/README.txt")" = $'\xef\xbb\xbf' ] && iconv -f UTF-8 -t UTF-8 "$name/README.txt" >/dev/null ||
    fail "README.txt is not UTF-8 with a byte-order mark"
lf=$(grep -l $'[^\r]$\|^$' "$name/README.txt" "$name/LICENSE.txt") && fail "$(echo $lf): a line without CRLF"
if [ $# -gt 0 ]; then
    exe="Z:$(pwd | tr / '\\')\\$name\\jotwell.exe"
    "$@" "$exe" || fail "$exe did not start and quit with exit code 0"
    echo "$name.zip as it must be; its jotwell.exe started and quit"
else
    "$objdump" -f "$name/jotwell.exe" | grep -q 'file format pei-i386' || fail "not an i386 PE file"
    echo "$name.zip as it must be; its jotwell.exe an i386 PE file"
fi
