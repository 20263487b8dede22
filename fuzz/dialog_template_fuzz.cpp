// BuildDialogTemplate and EmitDialogTemplate: the block is as long as the measuring pass
// said and every word of it is written; read back field by field the way the dialog
// manager reads a template, it holds exactly the header and its items, every item starting
// on a DWORD boundary; a filling pass into a smaller buffer never writes past it.
//
// Input, little-endian: capacity selector (u16), style (u32), exStyle (u32), x, y, cx, cy
// (i16), menu, class, title, font, point size (u16), then items while input remains:
// class, text, style (u32), exStyle (u32), x, y, cx, cy (i16), id (u16). A name-or-ordinal
// field is a tag byte: tag % 3 = 0 for 0, 1 for an ordinal (u16), 2 for a string; an
// optional string (title, font) is tag % 2 = 0 for none, 1 for a string. A string is a
// length byte and that many UTF-16 code units.
#include "about/dialog_template.h"

#include "fuzz/check.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::size_t kMaxItems = 64;

struct Reader {
    const std::uint8_t *data;
    std::size_t size, position;

    bool empty() const {
        return position >= size;
    }
    std::uint8_t byte() {
        return position < size ? data[position++] : 0;
    }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | static_cast<std::uint32_t>(u16()) << 16;
    }
    std::int16_t i16() {
        return static_cast<std::int16_t>(u16());
    }
};

// Owns the strings the specs point at, each in a block of exactly its size.
struct Strings {
    std::vector<std::unique_ptr<char16_t[]>> blocks;

    const char16_t *read(Reader &in, bool nameField) {
        const std::size_t length = in.byte();
        blocks.emplace_back(new char16_t[length + 1]);
        char16_t *text = blocks.back().get();
        for (std::size_t i = 0; i < length; ++i)
            text[i] = static_cast<char16_t>(in.u16());
        text[length] = u'\0';
        // A name that began with 0xFFFF would read back as an ordinal: not a valid name.
        if (nameField && text[0] == 0xFFFF)
            text[0] = u'?';
        return text;
    }
    std::uintptr_t nameOrOrdinal(Reader &in) {
        switch (in.byte() % 3) {
        case 0: return 0;
        case 1: return in.u16();
        default: return dialogString(read(in, true));
        }
    }
    const char16_t *optional(Reader &in) {
        return in.byte() % 2 == 0 ? nullptr : read(in, false);
    }
};

std::u16string textOf(const char16_t *text) {
    return text ? std::u16string(text) : std::u16string();
}

// A field as the dialog manager reads it: 0xFFFF and an ordinal, or a string.
struct Field {
    bool ordinal;
    std::uint16_t value;
    std::u16string text;
};

struct Parser {
    const std::uint16_t *words;
    std::size_t count, at;

    std::uint16_t next() {
        FUZZ_CHECK(at < count, "the template ends inside a field at word %zu", at);
        return words[at++];
    }
    std::uint32_t dword() {
        const std::uint32_t low = next();
        return low | static_cast<std::uint32_t>(next()) << 16;
    }
    std::u16string string() {
        std::u16string text;
        for (std::uint16_t w = next(); w != 0; w = next())
            text += static_cast<char16_t>(w);
        return text;
    }
    Field field() {
        if (at < count && words[at] == 0xFFFF) {
            ++at;
            return {true, next(), {}};
        }
        return {false, 0, string()};
    }
};

// What a name-or-ordinal value must read back as; absentIsEmpty for the header's fields.
void checkField(const Field &field, std::uintptr_t value, bool absentIsEmpty, const char *what) {
    if (value == 0 && absentIsEmpty) {
        FUZZ_CHECK(!field.ordinal && field.text.empty(), "%s 0 is not one 0 word", what);
    } else if (value <= 0xFFFF) {
        FUZZ_CHECK(field.ordinal && field.value == value, "%s ordinal %#zx read back wrong", what,
                   static_cast<std::size_t>(value));
    } else {
        FUZZ_CHECK(!field.ordinal && field.text == reinterpret_cast<const char16_t *>(value),
                   "%s string read back wrong", what);
    }
}

void parseAndCompare(const DialogSpec &header, const std::vector<DialogItemSpec> &items,
                     const std::uint16_t *words, std::size_t count) {
    Parser p = {words, count, 0};
    FUZZ_CHECK(p.dword() == header.style && p.dword() == header.exStyle, "header styles");
    FUZZ_CHECK(p.next() == header.itemCount, "item count");
    for (const std::int16_t v : {header.x, header.y, header.cx, header.cy})
        FUZZ_CHECK(static_cast<std::int16_t>(p.next()) == v, "header geometry");
    checkField(p.field(), header.menu, true, "menu");
    checkField(p.field(), header.windowClass, true, "dialog class");
    FUZZ_CHECK(p.string() == textOf(header.title), "title");
    if (header.fontFace) {
        FUZZ_CHECK(p.next() == header.pointSize, "point size");
        FUZZ_CHECK(p.string() == header.fontFace, "font face");
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        const DialogItemSpec &item = items[i];
        if (p.at % 2 != 0)
            FUZZ_CHECK(p.next() == 0, "alignment word before item %zu is not 0", i);
        FUZZ_CHECK(reinterpret_cast<std::uintptr_t>(words + p.at) % 4 == 0,
                   "item %zu at byte %zu is not DWORD-aligned", i, p.at * 2);
        FUZZ_CHECK(p.dword() == (item.style | kWsChild), "item %zu style", i);
        FUZZ_CHECK(p.dword() == item.exStyle, "item %zu extended style", i);
        for (const std::int16_t v : {item.x, item.y, item.cx, item.cy})
            FUZZ_CHECK(static_cast<std::int16_t>(p.next()) == v, "item %zu geometry", i);
        FUZZ_CHECK(p.next() == item.id, "item %zu id", i);
        checkField(p.field(), item.windowClass, false, "item class");
        checkField(p.field(), item.text, true, "item text");
        FUZZ_CHECK(p.next() == 0, "item %zu creation data", i);
    }
    if (p.at % 2 != 0)
        FUZZ_CHECK(p.next() == 0, "final alignment word is not 0");
    FUZZ_CHECK(p.at == count, "the template has %zu words, %zu were read back", count, p.at);
}

// Fills a block of exactly capacity bytes, first set to the pattern.
std::vector<std::uint16_t> emitInto(const DialogSpec &header, const DialogItemSpec *items,
                                    std::size_t capacity, std::uint16_t pattern,
                                    std::size_t *position) {
    auto *block = static_cast<std::uint16_t *>(std::malloc(capacity ? capacity : 1));
    for (std::size_t i = 0; i < capacity / 2; ++i)
        block[i] = pattern;
    *position = EmitDialogTemplate(header, items, block, capacity);
    std::vector<std::uint16_t> words(block, block + capacity / 2);
    std::free(block);
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Reader in = {data, size, 0};
    Strings strings;
    const std::uint16_t capacitySelector = in.u16();
    DialogSpec header = {};
    header.style = in.u32();
    header.exStyle = in.u32();
    header.x = in.i16();
    header.y = in.i16();
    header.cx = in.i16();
    header.cy = in.i16();
    header.menu = strings.nameOrOrdinal(in);
    header.windowClass = strings.nameOrOrdinal(in);
    header.title = strings.optional(in);
    header.fontFace = strings.optional(in);
    header.pointSize = in.u16();
    std::vector<DialogItemSpec> items;
    while (!in.empty() && items.size() < kMaxItems) {
        DialogItemSpec item = {};
        item.windowClass = strings.nameOrOrdinal(in);
        item.text = strings.nameOrOrdinal(in);
        item.style = in.u32();
        item.exStyle = in.u32();
        item.x = in.i16();
        item.y = in.i16();
        item.cx = in.i16();
        item.cy = in.i16();
        item.id = in.u16();
        items.push_back(item);
    }
    header.itemCount = static_cast<std::uint16_t>(items.size());

    const std::size_t measured = EmitDialogTemplate(header, items.data(), nullptr, 0);
    std::size_t bytes = 0;
    void *block = BuildDialogTemplate(header, items.data(), &bytes);
    FUZZ_CHECK(block != nullptr, "no template block");
    FUZZ_CHECK(bytes == measured * 2, "block of %zu bytes, measured %zu words", bytes, measured);
    FUZZ_CHECK(bytes % 2 == 0, "odd block size");
    const auto *words = static_cast<const std::uint16_t *>(block);
    parseAndCompare(header, items, words, bytes / 2);

    // Filled over two different patterns alike: every word of the block is written.
    std::size_t position = 0;
    for (const std::uint16_t pattern : {0xAAAA, 0x5555}) {
        const std::vector<std::uint16_t> filled =
            emitInto(header, items.data(), bytes, pattern, &position);
        FUZZ_CHECK(position == measured, "filling pass ended at %zu of %zu words", position,
                   measured);
        FUZZ_CHECK(std::memcmp(filled.data(), words, bytes) == 0,
                   "a word was left unwritten (pattern %#x)", pattern);
    }
    FUZZ_CHECK(FreeDialogTemplate(block), "FreeDialogTemplate");

    // A short buffer: only whole pieces within it, nothing written past the last of them.
    const std::size_t capacity = capacitySelector % (bytes + 1);
    for (const std::uint16_t pattern : {0xAAAA, 0x5555}) {
        const std::vector<std::uint16_t> filled =
            emitInto(header, items.data(), capacity, pattern, &position);
        FUZZ_CHECK(position * 2 <= capacity, "emission into %zu bytes ended at word %zu", capacity,
                   position);
        for (std::size_t i = position; i < filled.size(); ++i)
            FUZZ_CHECK(filled[i] == pattern, "word %zu written past the end position %zu", i,
                       position);
    }
    return 0;
}
