// A hotkey control's word (virtual key in the low byte, HOTKEYF_ bits in the
// second byte) turned into what RegisterHotKey takes.
#pragma once

#include <cstdint>

// The hotkey control's modifier bits and RegisterHotKey's, which differ: Alt
// and Shift swap places, Control keeps its bit.
constexpr unsigned kHotkeyfShift = 0x01, kHotkeyfControl = 0x02, kHotkeyfAlt = 0x04,
                   kHotkeyfExt = 0x08;
constexpr unsigned kModAlt = 0x0001, kModControl = 0x0002, kModShift = 0x0004;
// Held down, the combination counts once, not once per repeat of the key (Windows 7 on).
constexpr unsigned kModNoRepeat = 0x4000;

struct HotkeyRegistration {
    unsigned modifiers;  // MOD_ bits; never MOD_WIN
    unsigned virtualKey; // 0 when there is no hotkey
};

// The extended-key bit has no modifier and is dropped.
HotkeyRegistration hotkeyRegistration(std::uint32_t value);

// True when the value, with neither Ctrl nor Alt, would take a key used for typing (a letter,
// a digit, Space, Enter, Tab, Backspace, punctuation, the number pad's keys): registered, it
// would take that key from every program.
bool hotkeyTakesTypingKey(std::uint32_t value);
