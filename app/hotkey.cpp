#include "app/hotkey.h"

namespace {

struct ModifierRow {
    unsigned hotkeyBit;
    unsigned modifier;
};

constexpr ModifierRow kModifierTable[] = {
    {kHotkeyfAlt, kModAlt},
    {kHotkeyfControl, kModControl},
    {kHotkeyfShift, kModShift},
};

} // namespace

HotkeyRegistration hotkeyRegistration(std::uint32_t value) {
    const unsigned bits = (value >> 8) & 0xFF;
    unsigned modifiers = 0;
    for (const ModifierRow &row : kModifierTable)
        if (bits & row.hotkeyBit)
            modifiers |= row.modifier;
    return {modifiers, value & 0xFF};
}

bool hotkeyTakesTypingKey(std::uint32_t value) {
    const unsigned key = value & 0xFF;
    if (key == 0 || ((value >> 8) & (kHotkeyfControl | kHotkeyfAlt)))
        return false;
    constexpr unsigned kBackspace = 0x08, kTab = 0x09, kEnter = 0x0D, kSpace = 0x20;
    const bool letterOrDigit = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
    const bool numberPad = key >= 0x60 && key <= 0x6F;       // 0 to 9, * + , - . /
    const bool punctuation = (key >= 0xBA && key <= 0xC0) || // ; = , - . / `
                             (key >= 0xDB && key <= 0xDF) || // [ \ ] ' and the eighth
                             key == 0xE2;                    // the 102nd key's \ (_ on Japanese)
    return letterOrDigit || numberPad || punctuation || key == kBackspace || key == kTab ||
           key == kEnter || key == kSpace;
}
