#include "support/sjis.h"

#include <cstdio>
#include <cstring>

namespace {

unsigned char byteAt(const char *at) {
    return static_cast<unsigned char>(*at);
}

} // namespace

bool sjisIsLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool sjisIsTrail(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

int sjisByteKind(const char *text, std::size_t index) {
    // A byte's kind depends on everything before it, so the walk always starts at 0.
    int state = kSjisSingle;
    for (std::size_t i = 0; i <= index; ++i) {
        const unsigned char byte = byteAt(text + i);
        if (byte == 0)
            return kSjisSingle;
        if (state == kSjisLead)
            state = sjisIsTrail(byte) ? kSjisTrail : kSjisSingle;
        else
            state = sjisIsLead(byte) ? kSjisLead : kSjisSingle;
    }
    return state;
}

unsigned sjisCharAt(const char *at) {
    const unsigned char byte = byteAt(at);
    if (sjisIsLead(byte) && at[1] != '\0')
        return byte * 256u + byteAt(at + 1);
    return byte;
}

const char *sjisNext(const char *at) {
    if (*at == '\0')
        return at;
    // A lead byte right before the terminator is a character of its own; stepping
    // two would leave the string.
    if (sjisIsLead(byteAt(at)) && at[1] != '\0')
        return at + 2;
    return at + 1;
}

const char *strEnd(const char *text) {
    return text + std::strlen(text);
}

void *zeroFill(void *bytes, std::size_t count) {
    std::memset(bytes, 0, count);
    return static_cast<unsigned char *>(bytes) + count;
}

void byteSetBuild(ByteSet *set, const char *members) {
    zeroFill(set->bits, sizeof set->bits);
    for (const char *at = members; *at != '\0'; ++at) {
        const unsigned char byte = byteAt(at);
        set->bits[byte / 8] |= static_cast<unsigned char>(1u << (byte % 8));
    }
}

bool byteSetHas(const ByteSet &set, unsigned char byte) {
    return (set.bits[byte / 8] >> (byte % 8)) & 1u;
}

const char *sjisFindChar(const char *text, unsigned code) {
    for (const char *at = text;; at = sjisNext(at)) {
        if (sjisCharAt(at) == code)
            return at;
        if (*at == '\0')
            return nullptr;
    }
}

bool sjisEqualN(const char *a, const char *b, std::size_t count) {
    const char *atA = a;
    const char *atB = b;
    while (static_cast<std::size_t>(atA - a) < count && static_cast<std::size_t>(atB - b) < count) {
        if (sjisCharAt(atA) != sjisCharAt(atB))
            return false;
        if (*atA == '\0' && *atB == '\0')
            return true;
        atA = sjisNext(atA);
        atB = sjisNext(atB);
    }
    return true;
}

std::size_t sjisSpan(const char *set, const char *text) {
    ByteSet members;
    byteSetBuild(&members, set);
    const char *at = text;
    for (; *at != '\0'; at = sjisNext(at)) {
        const unsigned code = sjisCharAt(at);
        if (code > 0xFF || !byteSetHas(members, static_cast<unsigned char>(code)))
            break;
    }
    return static_cast<std::size_t>(at - text);
}

std::size_t sjisCSpan(const char *set, const char *text) {
    ByteSet members;
    byteSetBuild(&members, set);
    const char *at = text;
    for (; *at != '\0'; at = sjisNext(at)) {
        const unsigned code = sjisCharAt(at);
        if (code <= 0xFF && byteSetHas(members, static_cast<unsigned char>(code)))
            break;
    }
    return static_cast<std::size_t>(at - text);
}

char *sjisToLowerAscii(char *text) {
    // Only first bytes are looked at: many trail bytes fall in 'A'..'Z'.
    for (char *at = text; *at != '\0'; at = sjisNext(at)) {
        if (*at >= 'A' && *at <= 'Z')
            *at = static_cast<char>(*at - 'A' + 'a');
    }
    return text;
}

char *sjisCopyBounded(std::size_t size, char *destination, const char *source) {
    if (size == 0)
        return destination;
    std::size_t count = size - 1;
    // A trail byte at the last copied position would leave its lead byte dangling.
    if (count > 0 && sjisByteKind(source, count) == kSjisTrail)
        --count;
    std::strncpy(destination, source, count);
    destination[count] = '\0';
    return destination;
}

int formatBounded(std::size_t size, char *destination, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int length = vformatBounded(size, destination, format, args);
    va_end(args);
    return length;
}

int vformatBounded(std::size_t size, char *destination, const char *format, va_list args) {
    if (size == 0)
        return -1;
    const int length = std::vsnprintf(destination, size, format, args);
    if (length < 0 || static_cast<std::size_t>(length) >= size) {
        // Not every C runtime terminates a cut text.
        destination[size - 1] = '\0';
        return -1;
    }
    return length;
}
