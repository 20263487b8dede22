#!/usr/bin/env bash
# Checks a built jotwell.exe without running it, so it covers the i686 build too: it is
# small, imports only DLLs that ship with Windows, runs from swap on removable and network
# media, and carries the support address the build was configured with. (Its texts are read
# back by the end-to-end tests from the running win64 build, made from the same sources.)
#   check_binary.sh OBJDUMP EXE ARCH SUPPORT_URL
set -u
objdump=$1 exe=$2 arch=$3 url=$4 failures=0
fail() { echo "FAIL ($arch): $1"; failures=$((failures + 1)); }
size=$(stat -c %s "$exe") || exit 1
[ "$size" -le 180224 ] || fail "$size bytes, more than 176 KiB"
for dll in $("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case " kernel32.dll user32.dll gdi32.dll shell32.dll ole32.dll comctl32.dll imm32.dll version.dll msvcrt.dll advapi32.dll " in
    *" $dll "*) ;;
    *) fail "imports $dll, which does not ship with Windows" ;;
    esac
done
# Run from swap on removable and network media (0x0400 | 0x0800).
flags=$("$objdump" -p "$exe" | sed -n 's/^Characteristics[[:space:]]*0x//p')
[ $((0x${flags:-0} & 0x0C00)) -eq $((0x0C00)) ] || fail "not run from swap (characteristics 0x$flags)"
grep -q -a -F -- "$url" "$exe" || fail "does not carry the support address $url"
[ "$failures" -eq 0 ] && echo "$arch: $size bytes, imports as they must be, links to $url"
exit $((failures > 0))
