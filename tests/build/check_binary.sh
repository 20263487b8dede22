#!/usr/bin/env bash
# Checks a built jotwell.exe without running it, so it covers the i686 build too: it is
# small, imports only DLLs that ship with Windows, and carries its resource texts as
# UTF-16 and its narrow texts as Shift-JIS.
#   check_binary.sh OBJDUMP EXE ARCH
set -u
failures=0
fail() { echo "FAIL ($3): $4"; failures=$((failures + 1)); }
size=$(stat -c %s "$2") || exit 1
[ "$size" -le 204800 ] || fail "$@" "$size bytes, more than 200 KB"
for dll in $("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case " kernel32.dll user32.dll gdi32.dll shell32.dll ole32.dll comctl32.dll imm32.dll version.dll msvcrt.dll advapi32.dll " in
    *" $dll "*) ;;
    *) fail "$@" "imports $dll, which does not ship with Windows" ;;
    esac
done
# Each text as the bytes it must have in the file.
while read -r hex text; do
    LC_ALL=C grep -q -a -P "$(echo "$hex" | sed 's/../\\x&/g')" "$2" || fail "$@" "$text"
done <<'TABLE'
427d864e28002600510029 menu item 終了(&Q) in UTF-16
8eff9fff6fff8cff9fff71ff6fff8cff9fff menu caption ﾎﾟｯﾌﾟｱｯﾌﾟ in UTF-16
2d8a9a5b menu item 設定 and the settings caption in UTF-16
8765f866dd4f585bd530a930eb30c030 label 文書保存フォルダ in UTF-16
8381838282f095db91b682c582ab82dc82b982f182c582b582bd message メモを保存できませんでした in Shift-JIS
955c8ea682cc90d882e891d682a6 INI key 表示の切り替え in Shift-JIS (表 ends in 0x5C)
5065724d6f6e69746f725632 manifest: aware of each monitor's DPI (PerMonitorV2)
TABLE
[ "$failures" -eq 0 ] && echo "$3: $size bytes, imports and texts as they must be"
exit $((failures > 0))
