// Shift-JIS (code page 932) character primitives and string operations.
//
// The byte ranges are hard-wired rather than asked of the platform, so these
// functions behave the same on every system and build natively for tests.
// Nothing here allocates; every buffer belongs to the caller.
#pragma once

#include <cstdarg>
#include <cstddef>

// Lets the compiler check printf-style calls. MinGW's C++ runtime formats like C99, not
// like the Microsoft runtime, hence gnu_printf there.
#if defined(__MINGW32__) && !defined(__clang__)
#define JOTWELL_PRINTF_LIKE(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#elif defined(__GNUC__)
#define JOTWELL_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define JOTWELL_PRINTF_LIKE(fmt, first)
#endif

// Kinds returned by sjisByteKind.
enum : int {
    kSjisSingle = 0, // starts a single-byte character (or lies at/after the terminator)
    kSjisLead = 1,   // first byte of a double-byte character
    kSjisTrail = 2,  // second byte of a double-byte character
};

bool sjisIsLead(unsigned char byte);
bool sjisIsTrail(unsigned char byte);

// Classifies by walking from byte 0, pairing a lead byte only with a valid trail byte.
int sjisByteKind(const char *text, std::size_t index);

// Steps pair a lead byte with whatever follows it except the terminator.
unsigned sjisCharAt(const char *at);
const char *sjisNext(const char *at);
inline char *sjisNext(char *at) {
    return const_cast<char *>(sjisNext(static_cast<const char *>(at)));
}

const char *strEnd(const char *text);
inline char *strEnd(char *text) {
    return const_cast<char *>(strEnd(static_cast<const char *>(text)));
}

void *zeroFill(void *bytes, std::size_t count);

// Byte c is a member when bit (c % 8) of bits[c / 8] is set.
struct ByteSet {
    unsigned char bits[32];
};

// Every byte of members joins the set, without grouping them into characters.
void byteSetBuild(ByteSet *set, const char *members);
bool byteSetHas(const ByteSet &set, unsigned char byte);

// Code 0 finds the terminator.
const char *sjisFindChar(const char *text, unsigned code);
inline char *sjisFindChar(char *text, unsigned code) {
    return const_cast<char *>(sjisFindChar(static_cast<const char *>(text), code));
}

bool sjisEqualN(const char *a, const char *b, std::size_t count);

// Both count bytes; a double-byte character is never a member of the set.
std::size_t sjisSpan(const char *set, const char *text);
std::size_t sjisCSpan(const char *set, const char *text);

char *sjisToLowerAscii(char *text);

// Copies at most size - 1 bytes, never the lead byte of a character without its
// trail, and always terminates. A size of 0 writes nothing.
char *sjisCopyBounded(std::size_t size, char *destination, const char *source);

// Length of the text, or -1 when size is 0 or the text was cut (still terminated).
// The cut is by bytes and may fall inside a double-byte character.
int formatBounded(std::size_t size, char *destination, const char *format, ...)
    JOTWELL_PRINTF_LIKE(3, 4);
int vformatBounded(std::size_t size, char *destination, const char *format, va_list args)
    JOTWELL_PRINTF_LIKE(3, 0);
