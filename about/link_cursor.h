// The link label's hand cursor as the two bit planes CreateCursor takes, and
// how the platform reads a pixel from them. Platform-free, so the picture is
// checked without a display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr int kHandCursorSize = 32;
constexpr int kHandCursorHotX = 7; // the index fingertip
constexpr int kHandCursorHotY = 0;
constexpr std::size_t kHandCursorRowBytes = 4; // most significant bit = leftmost pixel

using CursorPlane = std::array<std::uint8_t, kHandCursorSize * kHandCursorRowBytes>;

extern const CursorPlane kHandCursorAnd;
extern const CursorPlane kHandCursorXor;

enum class CursorPixel {
    Black,       // AND 0, XOR 0
    White,       // AND 0, XOR 1
    Transparent, // AND 1, XOR 0: the screen shows through
    Inverted,    // AND 1, XOR 1: the screen is inverted
};

// x and y must lie inside the 32 by 32 picture.
CursorPixel cursorPixel(const CursorPlane &andPlane, const CursorPlane &xorPlane, int x, int y);
