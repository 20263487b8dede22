// The About box's auto-size arithmetic, in pixels. Platform-free: the dialog
// measures its lines and moves its windows, this decides by how much.
#pragma once

#include <array>
#include <cstdint>

// The name, link and free-resources lines, in that order.
constexpr int kAboutLineCount = 3;

struct AboutLineGrowth {
    std::array<int, kAboutLineCount> growth; // how much wider each line becomes, never negative
    int largest;                             // the dialog widens by this much
};

// textWidth: each line's measured text (0 when it could not be measured, so the
// line keeps its width); lineWidth: each line's current outer width.
AboutLineGrowth aboutLineGrowth(const std::array<int, kAboutLineCount> &textWidth,
                                const std::array<int, kAboutLineCount> &lineWidth);

// How far to move the button sideways so that its left edge lies
// (dialogWidth - buttonWidth) / 2 (rounded toward zero) right of the dialog's
// outer left edge; buttonLeft is its left edge relative to that same edge.
int centredButtonShift(int dialogWidth, int buttonWidth, int buttonLeft);

// The About box's template, in the numbers windows.h gives these names: a system-modal
// frame with caption, system menu and help button; the icon, the name, link and
// free-resources lines (each 1 unit wide until the auto-size step), and OK.
constexpr std::uint32_t kAboutDialogStyle = 0x90C820C2;
constexpr std::uint32_t kAboutLineStyle = 0x50000000;   // WS_CHILD | WS_VISIBLE
constexpr std::uint32_t kAboutIconStyle = 0x0003;       // SS_ICON
constexpr std::uint32_t kAboutButtonStyle = 0x00020001; // WS_GROUP | BS_DEFPUSHBUTTON
constexpr std::uint16_t kAboutOkId = 1;                 // IDOK

// Caller frees the result with FreeDialogTemplate. Null when it cannot be allocated.
void *buildAboutTemplate();
