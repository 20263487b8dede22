// A hotkey control's word (virtual key in the low byte, HOTKEYF_ bits in the
// second byte) turned into what RegisterHotKey takes.
#pragma once

#include <cstdint>

// The hotkey control's modifier bits and RegisterHotKey's, which differ: Alt
// and Shift swap places, Control keeps its bit.
constexpr unsigned kHotkeyfShift = 0x01, kHotkeyfControl = 0x02, kHotkeyfAlt = 0x04,
                   kHotkeyfExt = 0x08;
constexpr unsigned kModAlt = 0x0001, kModControl = 0x0002, kModShift = 0x0004;

struct HotkeyRegistration {
    unsigned modifiers;  // MOD_ bits; never MOD_WIN
    unsigned virtualKey; // 0 when there is no hotkey
};

// The extended-key bit has no modifier and is dropped.
HotkeyRegistration hotkeyRegistration(std::uint32_t value);
