#!/usr/bin/env bash
# Checks a built jotwell.exe without running it, so it covers the i686 build
# that this machine cannot execute:
#  - it imports only DLLs that ship with Windows (no mingw runtime DLLs);
#  - its resources carry the Japanese texts (stored as UTF-16) and its code
#    carries its narrow texts as Shift-JIS bytes.
set -u
objdump=$1 exe=$2 arch=$3
failures=0
fail() { echo "FAIL ($arch): $*"; failures=$((failures + 1)); }

[ -f "$exe" ] || { echo "FAIL: $exe does not exist"; exit 1; }

system_dlls=" kernel32.dll user32.dll gdi32.dll shell32.dll ole32.dll comctl32.dll imm32.dll
 version.dll msvcrt.dll advapi32.dll "
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || fail "no import table found"
for dll in $imports; do
    case "$system_dlls" in
    *" $dll"[[:space:]]*) ;;
    *) fail "imports $dll, which does not ship with Windows" ;;
    esac
done
echo "$arch imports: $(echo $imports)"

# Search the file for a byte sequence given as hex pairs.
contains() { LC_ALL=C grep -q -a -P "$(printf '%s' "$1" | sed 's/\([0-9a-fA-F]\{2\}\) \?/\\x\1/g')" "$exe"; }

# "終了(&Q)" in the menu resource, UTF-16LE (7D42 4E86, then ASCII).
contains "42 7d 86 4e 28 00 26 00 51 00 29 00" || fail "menu text 終了(&Q) is not UTF-16 in the resources"
# "ﾎﾟｯﾌﾟｱｯﾌﾟ" (half-width katakana) as UTF-16LE: FF8E FF9F FF6F.
contains "8e ff 9f ff 6f ff" || fail "menu caption ﾎﾟｯﾌﾟｱｯﾌﾟ is not UTF-16 in the resources"
# The version resource's "ProductName" "Jotwell".
contains "4a 00 6f 00 74 00 77 00 65 00 6c 00 6c 00" || fail "ProductName Jotwell missing"

for hex in ${JOTWELL_SJIS_LITERALS:-}; do
    contains "${hex//_/ }" || fail "narrow literal $hex is not Shift-JIS in the code"
done

[ "$failures" -eq 0 ] && echo "$arch: binary checks passed"
exit $((failures > 0))
