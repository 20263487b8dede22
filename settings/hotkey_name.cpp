#include "settings/hotkey_name.h"

#include <cstring>

#include "app/hotkey.h"
#include "support/sjis.h"

namespace {

constexpr unsigned kVkF1 = 0x70, kVkF24 = 0x87;

struct ModifierName {
    unsigned bit;
    const char *name;
};

// The order the hotkey control draws them in.
constexpr ModifierName kModifierNames[] = {
    {kHotkeyfControl, "Ctrl"},
    {kHotkeyfShift, "Shift"},
    {kHotkeyfAlt, "Alt"},
};

bool isLetterOrDigit(unsigned key) {
    return (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9');
}

bool isFunctionKey(unsigned key) {
    return key >= kVkF1 && key <= kVkF24;
}

void keyOwnName(unsigned key, const char *keyName, char (&text)[kHotkeyNameSize]) {
    if (isLetterOrDigit(key))
        formatBounded(sizeof text, text, "%c", static_cast<char>(key));
    else if (isFunctionKey(key))
        formatBounded(sizeof text, text, "F%u", key - kVkF1 + 1);
    else if (keyName && *keyName)
        sjisCopyBounded(sizeof text, text, keyName);
    else
        formatBounded(sizeof text, text, "0x%02X", key);
}

} // namespace

bool hotkeyNeedsKeyName(std::uint32_t hotkey) {
    const unsigned key = hotkey & 0xFF;
    return key != 0 && !isLetterOrDigit(key) && !isFunctionKey(key);
}

void hotkeyName(std::uint32_t hotkey, const char *keyName, char (&name)[kHotkeyNameSize]) {
    const unsigned modifiers = (hotkey >> 8) & 0xFF;
    const unsigned key = hotkey & 0xFF;
    name[0] = '\0';
    std::size_t length = 0;
    const auto add = [&name, &length](const char *part) {
        if (length > 0)
            length += std::strlen(sjisCopyBounded(sizeof name - length, name + length, " + "));
        length += std::strlen(sjisCopyBounded(sizeof name - length, name + length, part));
    };
    for (const ModifierName &modifier : kModifierNames)
        if (modifiers & modifier.bit)
            add(modifier.name);
    if (key != 0) {
        char keyText[kHotkeyNameSize];
        keyOwnName(key, keyName, keyText);
        add(keyText);
    }
    if (length == 0)
        sjisCopyBounded(sizeof name, name, "なし");
}
