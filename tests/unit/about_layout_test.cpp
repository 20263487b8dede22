#include "about/about_layout.h"
#include "about/about_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(AboutLayout, LineGrowth) {
    struct Case {
        const char *name;
        std::array<int, 3> text, line, growth;
        int largest;
    } const cases[] = {
        {"every line grows to its text", {120, 200, 90}, {2, 2, 2}, {118, 198, 88}, 198},
        {"a line wider than its text keeps its width", {50, 10, 0}, {60, 10, 2}, {0, 0, 0}, 0},
        {"an unmeasured line (0) does not grow", {0, 80, 0}, {2, 2, 2}, {0, 78, 0}, 78},
        {"the widest line decides, wherever it is", {10, 20, 300}, {2, 2, 2}, {8, 18, 298}, 298},
    };
    for (const Case &c : cases) {
        const AboutLineGrowth g = aboutLineGrowth(c.text, c.line);
        EXPECT_EQ(g.growth, c.growth) << c.name;
        EXPECT_EQ(g.largest, c.largest) << c.name;
    }
}

TEST(AboutLayout, ButtonCentredAcrossTheWidenedDialog) {
    struct Case {
        const char *name;
        int dialog, button, left, shift;
    } const cases[] = {
        // A 64-pixel dialog grown by 198 to 262; the button starts at 71.
        {"widened dialog", 262, 71, 71, 24},
        {"odd difference rounds down", 101, 70, 0, 15},
        {"already centred", 100, 50, 25, 0},
        {"moves left", 100, 50, 60, -35},
        {"button wider than the dialog rounds toward zero", 60, 75, 0, -7},
    };
    for (const Case &c : cases) {
        const int shift = centredButtonShift(c.dialog, c.button, c.left);
        EXPECT_EQ(shift, c.shift) << c.name;
        EXPECT_EQ(c.left + shift, (c.dialog - c.button) / 2) << c.name;
    }
}

TEST(AboutText, Lines) {
    char text[kAboutTextSize];
    formatNameLine(text, "Jotwell", "0.04");
    EXPECT_STREQ(text, "Jotwell ver. 0.04");
    formatAboutCaption(text, "Jotwell");
    EXPECT_STREQ(text, "Jotwell \x82\xC9\x82\xC2\x82\xA2\x82\xC4") << "について in Shift-JIS";
    formatVersionKeyPath(text, 0x0411, 1200, "ProductName");
    EXPECT_STREQ(text, "\\StringFileInfo\\041104b0\\ProductName");
    formatVersionKeyPath(text, 0xABC, 0xFDE9, "ProductVersion");
    EXPECT_STREQ(text, "\\StringFileInfo\\0abcfde9\\ProductVersion") << "lower-case, padded";

    const std::string longName(600, 'n');
    formatNameLine(text, longName.c_str(), "0.04");
    EXPECT_EQ(std::strlen(text), kAboutFormatBound - 1) << "cut at 521 bytes with terminator";

    EXPECT_STREQ(aboutProductName("Jotwell", "desc"), "Jotwell");
    EXPECT_STREQ(aboutProductName("", "desc"), "desc") << "falls back to FileDescription";
}

TEST(AboutText, FreeResourcesLine) {
    const std::string prefix = "システムリソース： ", suffix = " ％使用可能";
    struct Case {
        int percent;
        std::string expected;
    } const cases[] = {
        {100, prefix + "100" + suffix}, // 33 bytes: exactly fills the buffer
        {5, prefix + "5" + suffix},
        {0, prefix + "0" + suffix},
        // 34 bytes would not fit; the cut falls between characters, never inside 能.
        {1000, prefix + "1000 ％使用可"},
        {-2147483647 - 1, prefix + "-2147483648 ％"},
    };
    for (const Case &c : cases) {
        char line[kFreeResourcesLineSize + 1];
        line[kFreeResourcesLineSize] = 'X'; // the byte after the buffer stays untouched
        formatFreeResourcesLine(line, c.percent);
        EXPECT_EQ(std::string(line), c.expected) << c.percent;
        EXPECT_EQ(line[kFreeResourcesLineSize], 'X') << c.percent;
    }
    char line[kFreeResourcesLineSize];
    formatFreeResourcesLine(line, 100);
    EXPECT_EQ(std::strlen(line), kFreeResourcesLineSize - 1);
}
