// Jotwell's texts reach Windows as Shift-JIS: narrow literals in the code are
// Shift-JIS bytes, and the resources hold the Japanese texts that the "A"
// functions hand back as the same Shift-JIS bytes.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "res/resource.h"

namespace {

std::string hex(const std::string &s) {
    std::string out;
    char b[4];
    for (unsigned char c : s) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

TEST(Charset, NarrowLiteralsAreShiftJis) {
    struct Case {
        const char *literal;
        const char *bytes;
    } const cases[] = {
        {"表", "\x95\x5C"},           // second byte is a backslash
        {"ソ", "\x83\x5C"},           // likewise
        {"終了", "\x8F\x49\x97\xB9"}, // menu text
        {"ﾎﾟ", "\xCE\xDF"},           // half-width katakana are single bytes
    };
    for (const Case &c : cases)
        EXPECT_EQ(hex(c.literal), hex(c.bytes)) << c.bytes;
}

TEST(Charset, MenuTextsComeBackAsShiftJis) {
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MENU));
    ASSERT_NE(menu, nullptr);
    char text[64];
    struct Case {
        HMENU menu;
        UINT item;
        UINT flags;
        const char *expected;
    } const cases[] = {
        {menu, 0, MF_BYPOSITION, "ﾎﾟｯﾌﾟｱｯﾌﾟ"},
        {menu, 1, MF_BYPOSITION, "コマンドリスト"},
        {GetSubMenu(menu, 0), IDM_OPENFOLDER, MF_BYCOMMAND, "フォルダを開く(&O)"},
        {GetSubMenu(menu, 0), IDM_QUIT, MF_BYCOMMAND, "終了(&Q)"},
    };
    for (const Case &c : cases) {
        ASSERT_GT(GetMenuStringA(c.menu, c.item, text, sizeof text, c.flags), 0) << c.expected;
        EXPECT_EQ(hex(text), hex(c.expected)) << c.expected;
    }
    // The same resource read as UTF-16 is the real Japanese text.
    WCHAR wide[64];
    ASSERT_GT(GetMenuStringW(GetSubMenu(menu, 0), IDM_QUIT, wide, 64, MF_BYCOMMAND), 0);
    EXPECT_EQ(std::memcmp(wide, u"終了(&Q)", sizeof u"終了(&Q)"), 0);
    DestroyMenu(menu);
}

} // namespace
