#include "settings/hotkey_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t kShift = 0x100, kControl = 0x200, kAlt = 0x400, kExt = 0x800;

TEST(HotkeyName, NamesTheCombination) {
    struct Case {
        const char *name;
        std::uint32_t hotkey;
        const char *keyName;
        const char *expected;
    } const cases[] = {
        {"Ctrl+Alt+J as stored (1610)", 1610, nullptr, "Ctrl + Alt + J"},
        {"every modifier, control order", kAlt | kShift | kControl | 'A', nullptr,
         "Ctrl + Shift + Alt + A"},
        {"Shift and Alt", kShift | kAlt | 'Z', nullptr, "Shift + Alt + Z"},
        {"digit", kControl | '0', nullptr, "Ctrl + 0"},
        {"F1", kControl | kShift | 0x70, nullptr, "Ctrl + Shift + F1"},
        {"F24", kAlt | 0x87, nullptr, "Alt + F24"},
        {"F-key ignores a platform name", kAlt | 0x7B, "ignored", "Alt + F12"},
        {"letter ignores a platform name", kAlt | 'Q', "ignored", "Alt + Q"},
        {"the platform names a space", kControl | kAlt | 0x20, "Space", "Ctrl + Alt + Space"},
        {"a Japanese key name is kept whole", kAlt | 0x1C, "変換", "Alt + 変換"},
        {"extended bit is no modifier", kExt | kControl | kAlt | 0x2E, "Delete",
         "Ctrl + Alt + Delete"},
        {"no platform name: the code", kControl | 0xBA, nullptr, "Ctrl + 0xBA"},
        {"empty platform name: the code", kControl | 0x0D, "", "Ctrl + 0x0D"},
        {"no modifier", 'K', nullptr, "K"},
        {"modifiers without key", kControl | kAlt, nullptr, "Ctrl + Alt"},
        {"bits above the second byte are ignored", 0x10000 | kAlt | 'B', nullptr, "Alt + B"},
        {"no hotkey", 0, nullptr, "なし"},
    };
    for (const Case &c : cases) {
        char name[kHotkeyNameSize];
        hotkeyName(c.hotkey, c.keyName, name);
        EXPECT_STREQ(name, c.expected) << c.name;
    }
}

TEST(HotkeyName, ALongKeyNameIsCutWholeCharactersFirst) {
    // "Alt + " and a 90-byte name of double-byte characters: 89 bytes would
    // fit, but the 89th is the first half of a character, so 88 are kept.
    std::string keyName;
    for (int i = 0; i < 45; ++i)
        keyName += "変";
    char name[kHotkeyNameSize];
    std::memset(name, 'x', sizeof name);
    hotkeyName(kAlt | 0xBA, keyName.c_str(), name);
    const std::string text = name;
    const std::string prefix = "Alt + ";
    ASSERT_LT(text.size(), sizeof name);
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    const std::string kept = text.substr(prefix.size());
    EXPECT_EQ(kept.size() % 2, 0u) << "no lead byte without its trail";
    EXPECT_EQ(kept, keyName.substr(0, kept.size()));
    EXPECT_EQ(text.size(), sizeof name - 2) << "cut only as far as needed";
}

TEST(HotkeyName, AsksForThePlatformNameOnlyWhereItHasNone) {
    struct Case {
        std::uint32_t hotkey;
        bool needs;
    } const cases[] = {
        {kControl | 'A', false},  {kControl | 'Z', false},
        {kControl | '0', false},  {kControl | '9', false},
        {kControl | 0x70, false}, {kControl | 0x87, false},
        {kControl | 0x6F, true},  {kControl | 0x88, true},
        {kControl | 0x40, true},  {kControl | 0x5B, true},
        {kControl | 0x20, true},  {kExt | kAlt | 0x25, true},
        {kControl | kAlt, false}, {0, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(hotkeyNeedsKeyName(c.hotkey), c.needs) << "hotkey 0x" << std::hex << c.hotkey;
}

} // namespace
