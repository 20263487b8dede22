// The link label's hand cursor as the two bit planes CreateCursor takes.
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
