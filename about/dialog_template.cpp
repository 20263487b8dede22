#include "about/dialog_template.h"

#include <cstdlib>

namespace {

constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::size_t kFixedWords = 9;

// Each piece returns the words it occupies; in the filling pass a piece that would not
// end within the buffer writes nothing and returns 0, so no piece is ever half written.
struct Emitter {
    std::uint16_t *buffer;
    std::size_t capacity;
    std::size_t position;
};

bool fits(const Emitter &emitter, std::size_t words) {
    return (emitter.position + words) * 2 <= emitter.capacity;
}

std::size_t pieceWord(const Emitter &emitter, std::uint16_t word) {
    if (!emitter.buffer)
        return 1;
    if (!fits(emitter, 1))
        return 0;
    emitter.buffer[emitter.position] = word;
    return 1;
}

std::size_t pieceString(const Emitter &emitter, const char16_t *text) {
    std::size_t length = 0;
    while (text[length] != u'\0')
        ++length;
    const std::size_t words = length + 1;
    if (!emitter.buffer)
        return words;
    if (!fits(emitter, words))
        return 0;
    for (std::size_t i = 0; i < words; ++i)
        emitter.buffer[emitter.position + i] = static_cast<std::uint16_t>(text[i]);
    return words;
}

std::size_t pieceFixed(const Emitter &emitter, const std::uint16_t (&words)[kFixedWords]) {
    if (!emitter.buffer)
        return kFixedWords;
    if (!fits(emitter, kFixedWords))
        return 0;
    for (std::size_t i = 0; i < kFixedWords; ++i)
        emitter.buffer[emitter.position + i] = words[i];
    return kFixedWords;
}

void emitWord(Emitter &emitter, std::uint16_t word) {
    emitter.position += pieceWord(emitter, word);
}

void emitString(Emitter &emitter, const char16_t *text) {
    emitter.position += pieceString(emitter, text);
}

void emitOrdinal(Emitter &emitter, std::uintptr_t ordinal) {
    emitWord(emitter, 0xFFFF);
    emitWord(emitter, static_cast<std::uint16_t>(ordinal));
}

bool isOrdinal(std::uintptr_t value) {
    return value <= 0xFFFF;
}

const char16_t *asString(std::uintptr_t value) {
    return reinterpret_cast<const char16_t *>(value);
}

// The header's menu and class: 0 means absent.
void emitHeaderNameOrOrdinal(Emitter &emitter, std::uintptr_t value) {
    if (value == 0)
        emitWord(emitter, 0);
    else if (isOrdinal(value))
        emitOrdinal(emitter, value);
    else
        emitString(emitter, asString(value));
}

void emitAlignment(Emitter &emitter) {
    if (emitter.position % 2 != 0)
        emitWord(emitter, 0);
}

std::uint16_t lowWord(std::uint32_t value) {
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

std::uint16_t highWord(std::uint32_t value) {
    return static_cast<std::uint16_t>(value >> 16);
}

std::uint16_t word(std::int16_t value) {
    return static_cast<std::uint16_t>(value);
}

void emitHeader(Emitter &emitter, const DialogSpec &header) {
    const std::uint16_t fixed[kFixedWords] = {
        lowWord(header.style),    highWord(header.style), lowWord(header.exStyle),
        highWord(header.exStyle), header.itemCount,       word(header.x),
        word(header.y),           word(header.cx),        word(header.cy)};
    emitter.position += pieceFixed(emitter, fixed);
    emitHeaderNameOrOrdinal(emitter, header.menu);
    emitHeaderNameOrOrdinal(emitter, header.windowClass);
    if (header.title)
        emitString(emitter, header.title);
    else
        emitWord(emitter, 0);
    if (header.fontFace) {
        emitWord(emitter, header.pointSize);
        emitString(emitter, header.fontFace);
    }
    emitAlignment(emitter);
}

void emitItem(Emitter &emitter, const DialogItemSpec &item) {
    const std::uint32_t style = item.style | kWsChild;
    const std::uint16_t fixed[kFixedWords] = {
        lowWord(style),         highWord(style), lowWord(item.exStyle),
        highWord(item.exStyle), word(item.x),    word(item.y),
        word(item.cx),          word(item.cy),   item.id};
    emitter.position += pieceFixed(emitter, fixed);
    if (isOrdinal(item.windowClass))
        emitOrdinal(emitter, item.windowClass);
    else
        emitString(emitter, asString(item.windowClass));
    if (item.text == 0)
        emitWord(emitter, 0);
    else if (isOrdinal(item.text))
        emitOrdinal(emitter, item.text);
    else
        emitString(emitter, asString(item.text));
    emitWord(emitter, 0); // no creation data
    // Every DLGITEMTEMPLATE must start on a DWORD boundary.
    emitAlignment(emitter);
}

// With a null buffer it only measures; otherwise it writes each piece that ends within
// capacity bytes and skips, whole, any piece that does not. Returns the final position
// in 16-bit words.
std::size_t emitDialogTemplate(const DialogSpec &header, const DialogItemSpec *items,
                               std::uint16_t *buffer, std::size_t capacity) {
    Emitter emitter = {buffer, capacity, 0};
    emitHeader(emitter, header);
    for (std::uint16_t i = 0; i < header.itemCount; ++i)
        emitItem(emitter, items[i]);
    return emitter.position;
}

} // namespace

void *BuildDialogTemplate(const DialogSpec &header, const DialogItemSpec *items) {
    const std::size_t bytes = emitDialogTemplate(header, items, nullptr, 0) * 2;
    // malloc's alignment (at least 4) keeps the even word positions DWORD-aligned.
    auto *block = static_cast<std::uint16_t *>(std::malloc(bytes));
    if (!block)
        return nullptr;
    // Both passes emit the same pieces, so every word of the block gets written.
    emitDialogTemplate(header, items, block, bytes);
    return block;
}

bool FreeDialogTemplate(void *dialogTemplate) {
    std::free(dialogTemplate);
    return true;
}
