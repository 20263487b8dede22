#include "about/link_cursor.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pixel = std::pair<int, int>;

char symbol(CursorPixel pixel) {
    switch (pixel) {
    case CursorPixel::Black: return '#';
    case CursorPixel::White: return '.';
    case CursorPixel::Transparent: return ' ';
    case CursorPixel::Inverted: return '!';
    }
    return '?';
}

CursorPixel handPixel(int x, int y) {
    return cursorPixel(kHandCursorAnd, kHandCursorXor, x, y);
}

// The hand as text, shown with any failure.
std::string picture() {
    std::string text;
    for (int y = 0; y < kHandCursorSize; ++y) {
        text += '|';
        for (int x = 0; x < kHandCursorSize; ++x)
            text += symbol(handPixel(x, y));
        text += "|\n";
    }
    return text;
}

std::set<Pixel> pixelsWhere(bool (*keep)(CursorPixel)) {
    std::set<Pixel> found;
    for (int y = 0; y < kHandCursorSize; ++y)
        for (int x = 0; x < kHandCursorSize; ++x)
            if (keep(handPixel(x, y)))
                found.insert({x, y});
    return found;
}

int regionCount(std::set<Pixel> pixels) {
    int regions = 0;
    while (!pixels.empty()) {
        ++regions;
        std::vector<Pixel> pending = {*pixels.begin()};
        pixels.erase(pixels.begin());
        while (!pending.empty()) {
            const Pixel p = pending.back();
            pending.pop_back();
            for (const Pixel &step : {Pixel{1, 0}, Pixel{-1, 0}, Pixel{0, 1}, Pixel{0, -1}}) {
                auto next = pixels.find({p.first + step.first, p.second + step.second});
                if (next != pixels.end()) {
                    pending.push_back(*next);
                    pixels.erase(next);
                }
            }
        }
    }
    return regions;
}

bool isWhite(CursorPixel p) {
    return p == CursorPixel::White;
}
bool isOpaque(CursorPixel p) {
    return p == CursorPixel::Black || p == CursorPixel::White;
}

} // namespace

TEST(LinkCursor, PixelRuleAndBitOrder) {
    // One set bit at a time in otherwise empty planes (AND all 1: transparent).
    struct Case {
        const char *name;
        std::size_t byte;
        std::uint8_t andBits, xorBits;
        int x, y;
        CursorPixel expected;
    } const cases[] = {
        {"AND 0 XOR 0 is black", 0, 0x7F, 0x00, 0, 0, CursorPixel::Black},
        {"AND 0 XOR 1 is white", 0, 0x7F, 0x80, 0, 0, CursorPixel::White},
        {"AND 1 XOR 0 is transparent", 0, 0xFF, 0x00, 0, 0, CursorPixel::Transparent},
        {"AND 1 XOR 1 inverts", 0, 0xFF, 0x80, 0, 0, CursorPixel::Inverted},
        {"least significant bit is the eighth pixel", 0, 0xFE, 0x01, 7, 0, CursorPixel::White},
        {"second byte holds pixels 8 to 15", 1, 0x7F, 0x00, 8, 0, CursorPixel::Black},
        {"last byte of a row is pixel 31", 3, 0xFE, 0x00, 31, 0, CursorPixel::Black},
        {"four bytes per row", 4, 0x7F, 0x00, 0, 1, CursorPixel::Black},
        {"last row", 127, 0xFE, 0x01, 31, 31, CursorPixel::White},
    };
    for (const Case &c : cases) {
        CursorPlane andPlane, xorPlane;
        andPlane.fill(0xFF);
        xorPlane.fill(0x00);
        andPlane[c.byte] = c.andBits;
        xorPlane[c.byte] = c.xorBits;
        EXPECT_EQ(symbol(cursorPixel(andPlane, xorPlane, c.x, c.y)), symbol(c.expected)) << c.name;
        if (c.x > 0) { // the neighbour to the left stays transparent
            EXPECT_EQ(cursorPixel(andPlane, xorPlane, c.x - 1, c.y), CursorPixel::Transparent)
                << c.name;
        }
    }
}

TEST(LinkCursor, HotSpotIsTheFingertip) {
    EXPECT_EQ(kHandCursorHotX, 7);
    EXPECT_EQ(kHandCursorHotY, 0);
    EXPECT_EQ(handPixel(kHandCursorHotX, kHandCursorHotY), CursorPixel::Black)
        << "the hot spot is on the outline\n"
        << picture();
    // Nothing of the hand lies above the fingertip's row, and the tip is narrow.
    int tipWidth = 0;
    for (int x = 0; x < kHandCursorSize; ++x)
        tipWidth += isOpaque(handPixel(x, kHandCursorHotY));
    EXPECT_EQ(tipWidth, 2) << picture();
}

TEST(LinkCursor, BlackOutlineAroundWhiteFill) {
    const std::set<Pixel> white = pixelsWhere(isWhite);
    const std::set<Pixel> opaque = pixelsWhere(isOpaque);
    ASSERT_FALSE(white.empty()) << picture();
    EXPECT_EQ(regionCount(white), 1) << "the fill is one piece\n" << picture();
    EXPECT_EQ(regionCount(opaque), 1) << "the hand is one piece\n" << picture();
    EXPECT_TRUE(pixelsWhere([](CursorPixel p) { return p == CursorPixel::Inverted; }).empty())
        << "no pixel inverts the screen\n"
        << picture();
    for (const Pixel &p : white)
        for (const Pixel &step : {Pixel{1, 0}, Pixel{-1, 0}, Pixel{0, 1}, Pixel{0, -1}}) {
            const int x = p.first + step.first, y = p.second + step.second;
            const bool inside = x >= 0 && y >= 0 && x < kHandCursorSize && y < kHandCursorSize;
            EXPECT_TRUE(inside && handPixel(x, y) != CursorPixel::Transparent)
                << "white pixel " << p.first << "," << p.second << " touches the screen\n"
                << picture();
        }
    for (const Pixel &p : opaque)
        EXPECT_LT(p.second, 22) << "rows 22 to 31 are empty\n" << picture();
}
