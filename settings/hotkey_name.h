// A hotkey control's word named the way the control itself shows it, for
// messages about the combination ("Ctrl + Alt + J").
#pragma once

#include <cstddef>
#include <cstdint>

// Room for every modifier and a key name of up to 63 bytes (all the platform's
// key-name buffer holds), with the separators and the terminator.
constexpr std::size_t kHotkeyNameSize = 96;

// True when hotkeyName cannot name the key of this value by itself (it is not
// a letter, a digit or an F-key), so the platform's key name must be given.
bool hotkeyNeedsKeyName(std::uint32_t hotkey);

// Ctrl, Shift and Alt in the control's order, then the key, joined by " + ".
// keyName is used only when hotkeyNeedsKeyName; null or empty names the key by
// its virtual-key code instead. A value of 0 is "なし". A longer key name is cut
// at a character boundary, so the name always fits and stays terminated.
void hotkeyName(std::uint32_t hotkey, const char *keyName, char (&name)[kHotkeyNameSize]);
