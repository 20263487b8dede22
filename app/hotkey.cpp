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
