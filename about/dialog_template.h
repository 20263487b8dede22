// Dialog templates built in memory, in the platform's standard (not extended) layout:
// a DLGTEMPLATE and its variable fields, then one DLGITEMTEMPLATE per control.
// Platform-free: strings are UTF-16 (char16_t) on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

// Name-or-ordinal fields hold an ordinal (0 to 0xFFFF) or the address of a
// NUL-terminated UTF-16 string (anything above 0xFFFF).
inline std::uintptr_t dialogString(const char16_t *text) {
    return reinterpret_cast<std::uintptr_t>(text);
}

struct DialogSpec {
    std::uint32_t style; // includes DS_SETFONT when fontFace is given; never added here
    std::uint32_t exStyle;
    std::uint16_t itemCount;
    std::int16_t x, y, cx, cy;
    std::uintptr_t windowClass; // 0: the default dialog class
    const char16_t *title;      // null: empty caption
    std::uintptr_t menu;        // 0: no menu
    const char16_t *fontFace;   // null: no font in the template
    std::uint16_t pointSize;
};

struct DialogItemSpec {
    std::uintptr_t windowClass; // 0 is ordinal 0 here, unlike the header's class
    std::uintptr_t text;        // 0: empty text
    std::uint32_t style;        // WS_CHILD is always added
    std::uint32_t exStyle;
    std::int16_t x, y, cx, cy;
    std::uint16_t id;
};

// Caller frees the result with FreeDialogTemplate. Null when the block cannot be
// allocated. items has header.itemCount entries.
void *BuildDialogTemplate(const DialogSpec &header, const DialogItemSpec *items);

// Always true.
bool FreeDialogTemplate(void *dialogTemplate);
