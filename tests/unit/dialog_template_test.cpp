#include "about/dialog_template.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Words = std::vector<std::uint16_t>;

Words build(const DialogSpec &header, const std::vector<DialogItemSpec> &items) {
    std::size_t size = 0;
    void *block = BuildDialogTemplate(header, items.data(), &size);
    EXPECT_NE(block, nullptr);
    if (!block)
        return {};
    Words words(size / 2);
    std::memcpy(words.data(), block, size);
    EXPECT_TRUE(FreeDialogTemplate(block));
    return words;
}

// Skips a name-or-ordinal or string field the way the dialog manager reads it.
std::size_t skipField(const Words &w, std::size_t at) {
    if (w.at(at) == 0xFFFF)
        return at + 2;
    while (w.at(at) != 0)
        ++at;
    return at + 1;
}

constexpr std::uintptr_t kButton = 0x0080, kStatic = 0x0082;

} // namespace

TEST(DialogTemplate, AboutBoxLayout) {
    const DialogSpec header = {0x90C820C2, 0, 5, 0, 0, 38, 56, 0, u"", 0, u"ＭＳ Ｐゴシック", 9};
    const std::uintptr_t empty = dialogString(u"");
    const std::vector<DialogItemSpec> items = {
        {kStatic, empty, 0x50000003, 0, 7, 7, 20, 21, 100},
        {kStatic, empty, 0x50000000, 0, 30, 7, 1, 8, 101},
        {kStatic, empty, 0x50000000, 0, 30, 16, 1, 8, 102},
        {kStatic, empty, 0x50000000, 0, 30, 25, 1, 8, 103},
        {kButton, dialogString(u"OK"), 0x50020001, 0, 45, 35, 45, 14, 1},
    };
    const Words w = build(header, items);
    ASSERT_EQ(w.size() * 2, 188u);

    std::size_t at = skipField(w, skipField(w, skipField(w, 9))); // menu, class, title
    EXPECT_EQ(w[at], 9) << "point size";
    EXPECT_EQ(w[at + 1], u'Ｍ') << "face";
    at = skipField(w, at + 1);
    EXPECT_EQ(at, 22u) << "header words";
    std::vector<std::size_t> itemOffsets;
    for (const DialogItemSpec &item : items) {
        if (at % 2 != 0) {
            EXPECT_EQ(w[at], 0) << "alignment word before item " << item.id;
            ++at;
        }
        itemOffsets.push_back(at * 2);
        EXPECT_EQ(w[at + 8], item.id);
        EXPECT_EQ(w[at + 9], 0xFFFF) << "item " << item.id;
        EXPECT_EQ(w[at + 10], item.windowClass) << "item " << item.id;
        at = skipField(w, at + 11);
        EXPECT_EQ(w.at(at), 0) << "item " << item.id << ": creation data";
        ++at;
    }
    // Each DLGITEMTEMPLATE on a DWORD boundary: 22 header words, then 13 + 1 per static.
    EXPECT_EQ(itemOffsets, (std::vector<std::size_t>{44, 72, 100, 128, 156}));
    EXPECT_EQ(w[w.size() - 4], u'K') << "button text last";
    EXPECT_EQ(at + at % 2, w.size());
}

TEST(DialogTemplate, WordsOfEachField) {
    const DialogItemSpec plain = {0, 0, 0, 0, 1, 2, 3, 4, 9};
    DialogItemSpec child = {dialogString(u"Ab"), 5, 0x50000001, 7, 1, 2, 3, 4, 9};
    DialogItemSpec emptyText = {kButton, dialogString(u""), 0, 0, 1, 2, 3, 4, 9};
    // Words laid out one row per header or item.
    // clang-format off
    struct Case {
        const char *name;
        DialogSpec header;
        std::vector<DialogItemSpec> items;
        Words words;
    } const cases[] = {
        {"empty template is 24 bytes",
         {0x80C80000, 1, 0, 1, 2, 3, 4, 0, nullptr, 0, nullptr, 0},
         {},
         {0x0000, 0x80C8, 1, 0, 0, 1, 2, 3, 4, 0, 0, 0}},
        {"odd header is padded; item class 0 is an ordinal, text 0 one word, WS_CHILD added",
         {0, 0, 1, 0, 0, 0, 0, 0, u"A", 0, nullptr, 0},
         {plain},
         {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, u'A', 0, 0,
          0, 0x4000, 0, 0, 1, 2, 3, 4, 9, 0xFFFF, 0, 0, 0, 0}},
        {"even header unpadded; ordinals and strings for menu, class and text",
         {0, 0, 2, 0, 0, 0, 0, dialogString(u"C"), nullptr, 7, nullptr, 0},
         {emptyText, child},
         {0, 0, 0, 0, 2, 0, 0, 0, 0, 0xFFFF, 7, u'C', 0, 0,
          0, 0x4000, 0, 0, 1, 2, 3, 4, 9, 0xFFFF, 0x80, 0, 0, 0,
          1, 0x5000, 7, 0, 1, 2, 3, 4, 9, u'A', u'b', 0, 0xFFFF, 5, 0, 0}},
    };
    // clang-format on
    for (const Case &c : cases)
        EXPECT_EQ(build(c.header, c.items), c.words) << c.name;
}

TEST(DialogTemplate, PiecesThatDoNotFitAreSkippedWhole) {
    const DialogSpec header = {0, 0, 0, 0, 0, 0, 0, 0, u"Title", 0, nullptr, 0};
    EXPECT_EQ(EmitDialogTemplate(header, nullptr, nullptr, 0), 18u);
    Words buffer(18, 0xAAAA);
    // 12 words: the title (6 words at word 11) does not fit, the alignment word does.
    EXPECT_EQ(EmitDialogTemplate(header, nullptr, buffer.data(), 24), 12u);
    EXPECT_EQ(buffer[10], 0) << "class";
    EXPECT_EQ(buffer[11], 0) << "alignment word in place of the title";
    EXPECT_EQ(buffer[12], 0xAAAA) << "written beyond capacity";
}
