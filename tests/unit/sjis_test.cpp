#include "support/sjis.h"

#include <gtest/gtest.h>

#include <string>

// Narrow literals are code page 932: 表 is "\x95\x5C" and ソ is "\x83\x5C", both ending
// in the byte of a backslash.
static_assert(sizeof("表") == 3 && "表"[0] == '\x95' && "表"[1] == '\x5C', "CP932 literals");

TEST(Sjis, ByteRangesAtTheirEdges) {
    // Per byte: lead?, trail?
    const struct {
        unsigned char byte;
        bool lead, trail;
    } cases[] = {{0x00, 0, 0}, {0x3F, 0, 0}, {0x40, 0, 1}, {0x7E, 0, 1}, {0x7F, 0, 0},
                 {0x80, 0, 1}, {0x81, 1, 1}, {0x9F, 1, 1}, {0xA0, 0, 1}, {0xDF, 0, 1},
                 {0xE0, 1, 1}, {0xFC, 1, 1}, {0xFD, 0, 0}, {0xFF, 0, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(sjisIsLead(c.byte), c.lead) << "byte " << int(c.byte);
        EXPECT_EQ(sjisIsTrail(c.byte), c.trail) << "byte " << int(c.byte);
    }
}

TEST(Sjis, ByteKindCharAtAndNext) {
    const struct {
        const char *name, *text;
        std::size_t index;
        int kind;
    } kinds[] = {
        {"second byte of 表", "a表", 2, kSjisTrail},    {"first byte of 表", "a表", 1, kSjisLead},
        {"after a pair, afresh", "表表", 2, kSjisLead}, {"space after lead", "\x81 ", 1, 0},
        {"0x7F after lead", "\x81\x7F", 1, 0},          {"beyond the terminator", "\x95", 5, 0}};
    for (const auto &c : kinds)
        EXPECT_EQ(sjisByteKind(c.text, c.index), c.kind) << c.name;

    const struct {
        const char *name, *text;
        unsigned code;
        std::size_t step;
    } steps[] = {{"single", "ab", 'a', 1},
                 {"double", "表x", 0x955C, 2},
                 {"terminator", "", 0, 0},
                 {"lead before terminator", "\x81", 0x81, 1},
                 {"lead pairs with any byte", "\x81 ", 0x8120, 2},
                 {"half-width katakana", "\xB1\x81", 0xB1, 1}};
    for (const auto &c : steps) {
        EXPECT_EQ(sjisCharAt(c.text), c.code) << c.name;
        EXPECT_EQ(sjisNext(c.text), c.text + c.step) << c.name;
    }
}

TEST(Sjis, SearchCompareAndSpans) {
    const char text[] = "a表\\b";
    EXPECT_EQ(sjisFindChar(text, '\\'), text + 3) << "the 0x5C inside 表 is no backslash";
    EXPECT_EQ(sjisFindChar(text, 0), text + 5);
    EXPECT_EQ(sjisFindChar(text, 'z'), nullptr);

    const struct {
        const char *a, *b;
        std::size_t n;
        bool equal;
    } compares[] = {{".", ".", 1, true},
                    {"..", ".", 2, false},
                    {"", "x", 0, true},
                    {"abc", "abd", 2, true},
                    {"表", "\x95\x5D", 2, false}};
    for (const auto &c : compares)
        EXPECT_EQ(sjisEqualN(c.a, c.b, c.n), c.equal) << c.a << " vs " << c.b << " n=" << c.n;

    const struct {
        const char *name, *set, *text;
        std::size_t span, cspan;
    } spans[] = {{"表 hides its 0x5C", "/\\", "表/x", 0, 2},
                 {"blanks", " \t", " \t x", 3, 0},
                 {"span stops at double-byte", " \t", "  表 ", 2, 0},
                 {"set taken byte by byte", "\x95\x5C", "\\表", 1, 0}};
    for (const auto &c : spans) {
        EXPECT_EQ(sjisSpan(c.set, c.text), c.span) << c.name;
        EXPECT_EQ(sjisCSpan(c.set, c.text), c.cspan) << c.name;
    }
    char upper[] = "ABCソDEF\x82\x41Z"; // 0x82 0x41 (Ａ) has an 'A' for its second byte
    EXPECT_STREQ(sjisToLowerAscii(upper), "abcソdef\x82\x41z");
}

TEST(Sjis, BoundedCopyAndFormat) {
    const struct {
        const char *name, *source;
        std::size_t size;
        const char *copied;
    } copies[] = {{"trail at size-1 drops its lead", "ab表", 4, "ab"},
                  {"lead at size-1", "abc表", 4, "abc"},
                  {"fits whole", "ab表", 5, "ab表"},
                  {"size 1", "abc", 1, ""},
                  {"lead without trail is single", "ab\x81 ", 4, "ab\x81"},
                  {"short source", "a", 8, "a"}};
    for (const auto &c : copies) {
        std::string buffer(c.size + 1, '#');
        EXPECT_STREQ(sjisCopyBounded(c.size, &buffer[0], c.source), c.copied) << c.name;
        EXPECT_EQ(buffer[c.size], '#') << c.name << ": wrote past size";
    }

    const struct {
        std::size_t size;
        const char *text;
        int result;
        const char *kept;
    } formats[] = {{5, "abcd", 4, "abcd"},
                   {5, "abcde", -1, "abcd"},
                   {5, "", 0, ""},
                   {1, "a", -1, ""},
                   {3, "a表", -1, "a\x95"}}; // the cut is by bytes
    for (const auto &c : formats) {
        std::string buffer(c.size + 1, '#');
        EXPECT_EQ(formatBounded(c.size, &buffer[0], "%s", c.text), c.result) << c.text;
        EXPECT_STREQ(buffer.c_str(), c.kept) << c.text << " in " << c.size;
        EXPECT_EQ(buffer[c.size], '#') << c.text << ": wrote past size";
    }
    char untouched = '#';
    EXPECT_EQ(formatBounded(0, &untouched, "x"), -1);
    EXPECT_EQ(untouched, '#');
}
