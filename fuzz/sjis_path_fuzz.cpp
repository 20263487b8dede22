// The Shift-JIS string and path operations. Every position result is checked against
// sjisByteKind (a backslash is never the second byte of a double-byte character), copies
// and joins never write past their buffers nor split a double-byte character, and
// pathJoin gives what its rules give, built here a second, independent way.
//
// Input: two parameter bytes (a number, low byte first: a buffer size, a character code,
// a byte count), then text A up to a NUL byte, then text B. A is the string operated on
// and the base of the join; B is the relative path, the byte set and the comparand.
#include "support/path.h"
#include "support/sjis.h"

#include "fuzz/check.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kPathMax = kPathBufferSize - 1;

// A NUL-terminated copy in a block of exactly its size, so that any read past the
// terminator is an overflow AddressSanitizer reports.
struct Exact {
    char *text;
    explicit Exact(const std::string &s) : text(static_cast<char *>(std::malloc(s.size() + 1))) {
        std::memcpy(text, s.c_str(), s.size() + 1);
    }
    ~Exact() {
        std::free(text);
    }
    Exact(const Exact &) = delete;
    Exact &operator=(const Exact &) = delete;
};

bool isLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrail(unsigned char b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

unsigned char at(const std::string &s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// Byte kinds in one walk; positions at and past the end are single.
std::vector<int> kindsOf(const std::string &s) {
    std::vector<int> kinds(s.size() + 2, kSjisSingle);
    int state = kSjisSingle;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (state == kSjisLead)
            state = isTrail(at(s, i)) ? kSjisTrail : kSjisSingle;
        else
            state = isLead(at(s, i)) ? kSjisLead : kSjisSingle;
        kinds[i] = state;
    }
    return kinds;
}

// Length of the character at i by stepping: a lead byte takes any byte but the end along.
std::size_t stepAt(const std::string &s, std::size_t i) {
    return isLead(at(s, i)) && i + 1 < s.size() ? 2 : 1;
}

bool isRealBackslash(const std::string &s, const std::vector<int> &kinds, std::size_t i) {
    return s[i] == '\\' && kinds[i] != kSjisTrail;
}

long offsetOf(const char *base, const char *hit) {
    return hit ? static_cast<long>(hit - base) : -1;
}

void checkKindsAndStepping(const std::string &a, const std::vector<int> &kinds) {
    const Exact text(a);
    // sjisByteKind walks from byte 0 on every call: all of a short text, a sample of a long one.
    const std::size_t stride = a.size() <= 64 ? 1 : a.size() / 64;
    for (std::size_t i = 0; i < a.size() + 2; i += stride)
        FUZZ_CHECK(sjisByteKind(text.text, i) == kinds[i], "sjisByteKind at %zu: %d, expected %d",
                   i, sjisByteKind(text.text, i), kinds[i]);

    std::size_t i = 0;
    for (const char *p = text.text; *p != '\0'; p = sjisNext(p)) {
        const std::size_t step = stepAt(a, i);
        FUZZ_CHECK(sjisNext(p) == p + step, "sjisNext at %zu steps %td, expected %zu", i,
                   sjisNext(p) - p, step);
        const unsigned code = step == 2 ? at(a, i) * 256u + at(a, i + 1) : at(a, i);
        FUZZ_CHECK(sjisCharAt(p) == code, "sjisCharAt at %zu: %#x, expected %#x", i, sjisCharAt(p),
                   code);
        // A character starts where no double-byte character has its second byte.
        FUZZ_CHECK(kinds[i] != kSjisTrail, "a character starts at %zu, a trail byte", i);
        if (step == 2 && kinds[i + 1] != kSjisTrail)
            FUZZ_CHECK(!isTrail(at(a, i + 1)), "byte %zu pairs by stepping, kind %d", i + 1,
                       kinds[i + 1]);
        i += step;
    }
    FUZZ_CHECK(i == a.size(), "stepping ended at %zu of %zu", i, a.size());
    FUZZ_CHECK(sjisNext(text.text + i) == text.text + i, "sjisNext moved off the terminator");
}

void checkSearchAndCompare(const std::string &a, const std::string &b, unsigned number) {
    const Exact textA(a), textB(b);
    const unsigned code = number & 0xFFFF;
    long expected = -1;
    for (std::size_t i = 0; i <= a.size(); i += i < a.size() ? stepAt(a, i) : 1) {
        const unsigned here = i == a.size()       ? 0
                              : stepAt(a, i) == 2 ? at(a, i) * 256u + at(a, i + 1)
                                                  : at(a, i);
        if (here == code) {
            expected = static_cast<long>(i);
            break;
        }
    }
    FUZZ_CHECK(offsetOf(textA.text, sjisFindChar(textA.text, code)) == expected,
               "sjisFindChar(%#x) at %ld, expected %ld", code,
               offsetOf(textA.text, sjisFindChar(textA.text, code)), expected);

    // Character by character while both offsets are below count; the terminator is code 0.
    const std::size_t count = number % (std::max(a.size(), b.size()) + 3);
    bool equal = true;
    for (std::size_t i = 0, j = 0; i < count && j < count;) {
        const bool endA = i == a.size(), endB = j == b.size();
        const unsigned codeA = endA                ? 0
                               : stepAt(a, i) == 2 ? at(a, i) * 256u + at(a, i + 1)
                                                   : at(a, i);
        const unsigned codeB = endB                ? 0
                               : stepAt(b, j) == 2 ? at(b, j) * 256u + at(b, j + 1)
                                                   : at(b, j);
        if (codeA != codeB) {
            equal = false;
            break;
        }
        if (endA && endB)
            break;
        i += endA ? 0 : stepAt(a, i);
        j += endB ? 0 : stepAt(b, j);
    }
    FUZZ_CHECK(sjisEqualN(textA.text, textB.text, count) == equal, "sjisEqualN over %zu: %d", count,
               !equal);

    // Spans stop only at a character boundary, at the first character that breaks the run.
    bool member[256] = {};
    for (const char c : b)
        member[static_cast<unsigned char>(c)] = true;
    const std::size_t span = sjisSpan(textB.text, textA.text);
    const std::size_t cspan = sjisCSpan(textB.text, textA.text);
    std::size_t expectedSpan = a.size(), expectedCSpan = a.size();
    for (std::size_t i = 0; i < a.size(); i += stepAt(a, i)) {
        const bool singleMember = stepAt(a, i) == 1 && member[at(a, i)];
        if (!singleMember && expectedSpan == a.size())
            expectedSpan = i;
        if (singleMember && expectedCSpan == a.size())
            expectedCSpan = i;
    }
    FUZZ_CHECK(span == expectedSpan, "sjisSpan %zu, expected %zu", span, expectedSpan);
    FUZZ_CHECK(cspan == expectedCSpan, "sjisCSpan %zu, expected %zu", cspan, expectedCSpan);
}

void checkLowerCopyAndFormat(const std::string &a, const std::vector<int> &kinds, unsigned number) {
    {
        const Exact lower(a);
        sjisToLowerAscii(lower.text);
        for (std::size_t i = 0; i < a.size(); ++i) {
            const bool upper = a[i] >= 'A' && a[i] <= 'Z' && kinds[i] != kSjisTrail;
            const char expected = upper ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
            FUZZ_CHECK(lower.text[i] == expected, "sjisToLowerAscii: byte %zu is %#x, expected %#x",
                       i, static_cast<unsigned char>(lower.text[i]),
                       static_cast<unsigned char>(expected));
        }
    }

    const std::size_t size = number % 700;
    // Exactly size bytes (one sentinel byte for size 0, which must stay untouched).
    char *copy = static_cast<char *>(std::malloc(size ? size : 1));
    std::memset(copy, 0xA5, size ? size : 1);
    const Exact source(a);
    FUZZ_CHECK(sjisCopyBounded(size, copy, source.text) == copy, "sjisCopyBounded's result");
    if (size == 0) {
        FUZZ_CHECK(static_cast<unsigned char>(copy[0]) == 0xA5,
                   "sjisCopyBounded wrote with size 0");
    } else {
        const std::size_t n = strnlen(copy, size);
        FUZZ_CHECK(n < size, "sjisCopyBounded left no terminator in %zu bytes", size);
        FUZZ_CHECK(n <= a.size() && std::memcmp(copy, a.data(), n) == 0,
                   "sjisCopyBounded: not a prefix");
        // Longest prefix that fits and does not end between a lead byte and its trail.
        FUZZ_CHECK(n == a.size() || kinds[n] != kSjisTrail,
                   "sjisCopyBounded split a character at %zu", n);
        const std::size_t fit = std::min(a.size(), size - 1);
        FUZZ_CHECK(n == fit || (n + 1 == fit && kinds[fit] == kSjisTrail),
                   "sjisCopyBounded kept %zu of %zu bytes in %zu", n, a.size(), size);
        // A shorter source is followed by zero bytes up to the end of the buffer.
        for (std::size_t i = a.size(); i < size; ++i)
            FUZZ_CHECK(copy[i] == '\0', "sjisCopyBounded: byte %zu not cleared", i);
    }
    std::free(copy);

    char *formatted = static_cast<char *>(std::malloc(size ? size : 1));
    std::memset(formatted, 0xA5, size ? size : 1);
    const int length = formatBounded(size, formatted, "%s", source.text);
    if (size == 0) {
        FUZZ_CHECK(length == -1 && static_cast<unsigned char>(formatted[0]) == 0xA5,
                   "formatBounded with size 0");
    } else {
        const bool fits = a.size() <= size - 1;
        FUZZ_CHECK(length == (fits ? static_cast<int>(a.size()) : -1),
                   "formatBounded returned %d for %zu bytes in %zu", length, a.size(), size);
        const std::size_t kept = fits ? a.size() : size - 1;
        FUZZ_CHECK(std::memcmp(formatted, a.data(), kept) == 0 && formatted[kept] == '\0',
                   "formatBounded kept the wrong text");
    }
    std::free(formatted);
}

void checkPathSearchesAndCuts(const std::string &a, const std::vector<int> &kinds) {
    std::vector<std::size_t> backslashes;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (isRealBackslash(a, kinds, i))
            backslashes.push_back(i);
    }
    const long first = backslashes.empty() ? -1 : static_cast<long>(backslashes.front());
    const long last = backslashes.empty() ? -1 : static_cast<long>(backslashes.back());
    const bool trailing = last >= 0 && static_cast<std::size_t>(last) + 1 == a.size();
    const Exact path(a);
    FUZZ_CHECK(offsetOf(path.text, pathFirstBackslash(path.text)) == first,
               "pathFirstBackslash at %ld, expected %ld",
               offsetOf(path.text, pathFirstBackslash(path.text)), first);
    FUZZ_CHECK(offsetOf(path.text, pathLastBackslash(path.text)) == last,
               "pathLastBackslash at %ld, expected %ld",
               offsetOf(path.text, pathLastBackslash(path.text)), last);
    FUZZ_CHECK(offsetOf(path.text, pathTrailingBackslash(path.text)) == (trailing ? last : -1),
               "pathTrailingBackslash");
    FUZZ_CHECK(pathEndsWithBackslash(path.text) == trailing, "pathEndsWithBackslash");

    // The extension's dot is the last one after the last backslash.
    long dot = -1;
    for (std::size_t i = a.size(); i-- > 0 && static_cast<long>(i) > last;) {
        if (a[i] == '.') {
            dot = static_cast<long>(i);
            break;
        }
    }
    {
        const Exact cut(a);
        const char *extension = pathCutExtension(cut.text);
        const std::size_t expectedLength = dot < 0 ? a.size() : static_cast<std::size_t>(dot);
        FUZZ_CHECK(std::strlen(cut.text) == expectedLength &&
                       std::memcmp(cut.text, a.data(), expectedLength) == 0,
                   "pathCutExtension left %zu bytes, expected %zu", std::strlen(cut.text),
                   expectedLength);
        FUZZ_CHECK(extension == cut.text + (dot < 0 ? a.size() : dot + 1),
                   "pathCutExtension returned offset %td", extension - cut.text);
    }
    {
        const Exact cut(a);
        const char *component = pathCutLastComponent(cut.text);
        const std::size_t expectedLength = last < 0 ? a.size() : static_cast<std::size_t>(last);
        FUZZ_CHECK(std::strlen(cut.text) == expectedLength,
                   "pathCutLastComponent left %zu bytes, expected %zu", std::strlen(cut.text),
                   expectedLength);
        FUZZ_CHECK(component == cut.text + (last < 0 ? 0 : last + 1),
                   "pathCutLastComponent returned offset %td", component - cut.text);
    }
}

// The path the join builds, with the kind of each byte kept up to date as it grows.
struct ModelPath {
    std::string text;
    std::vector<int> kinds;

    void push(char c) {
        const int previous = kinds.empty() ? kSjisSingle : kinds.back();
        const unsigned char b = static_cast<unsigned char>(c);
        kinds.push_back(previous == kSjisLead ? (isTrail(b) ? kSjisTrail : kSjisSingle)
                                              : (isLead(b) ? kSjisLead : kSjisSingle));
        text += c;
    }
    void cut(std::size_t length) {
        text.resize(length);
        kinds.resize(length);
    }
    long lastBackslash() const {
        for (std::size_t i = text.size(); i-- > 0;) {
            if (text[i] == '\\' && kinds[i] != kSjisTrail)
                return static_cast<long>(i);
        }
        return -1;
    }
    bool endsWithBackslash() const {
        return !text.empty() && text.back() == '\\' && kinds.back() != kSjisTrail;
    }
    // A lead byte with nothing after it.
    bool endsWithHalfCharacter() const {
        return !kinds.empty() && kinds.back() == kSjisLead;
    }
};

struct Joined {
    ModelPath path;
    bool result;
    std::vector<std::size_t> separators; // where the join put a backslash of its own
};

Joined referenceJoin(const std::string &base, const std::string &relative) {
    Joined joined = {{}, true, {}};
    ModelPath &path = joined.path;
    // The base as the bounded copy leaves it: no lead byte whose trail did not fit.
    for (std::size_t i = 0; i < base.size() && i <= kPathMax; ++i)
        path.push(base[i]);
    if (path.text.size() > kPathMax)
        path.cut(path.kinds[kPathMax] == kSjisTrail ? kPathMax - 1 : kPathMax);

    std::size_t i = 0;
    for (;;) {
        // A separator is a single-byte '/' or '\\'; a lead byte takes the next byte along.
        std::size_t end = i;
        while (end < relative.size() && relative[end] != '/' && relative[end] != '\\')
            end += stepAt(relative, end);
        const std::size_t length = end - i;
        if (length == 2 && relative.compare(i, 2, "..") == 0) {
            if (path.endsWithBackslash())
                path.cut(path.text.size() - 1);
            if (path.text.empty()) {
                joined.result = false;
                joined.separators.clear();
                return joined;
            }
            const long cut = path.lastBackslash();
            path.cut(cut < 0 ? 0 : static_cast<std::size_t>(cut));
            while (!joined.separators.empty() && joined.separators.back() >= path.text.size())
                joined.separators.pop_back();
        } else if (!(length == 1 && relative[i] == '.')) {
            // Half a character at the end would swallow the separator.
            if (path.endsWithHalfCharacter())
                path.cut(path.text.size() - 1);
            if (!path.text.empty() && !path.endsWithBackslash() && path.text.size() < kPathMax) {
                joined.separators.push_back(path.text.size());
                path.push('\\');
            }
            // Whole characters (by stepping) while the path stays within 521 bytes.
            for (std::size_t at = i; at < end;) {
                const std::size_t step = stepAt(relative, at);
                if (path.text.size() + step > kPathMax)
                    break;
                for (std::size_t k = 0; k < step; ++k)
                    path.push(relative[at + k]);
                at += step;
            }
        }
        if (end == relative.size())
            return joined;
        i = end + 1;
    }
}

constexpr std::size_t kGuard = 16;
constexpr unsigned char kGuardByte = 0xA5;

void checkJoin(const std::string &base, const std::string &relative) {
    const Joined expected = referenceJoin(base, relative);

    // The path buffer and guard bytes after it, poisoned: a write past 522 bytes is
    // reported where it happens, and still seen in the guard without the sanitizer.
    auto *buffer = static_cast<char *>(std::malloc(kPathBufferSize + kGuard));
    std::memset(buffer, 0x5A, kPathBufferSize);
    std::memset(buffer + kPathBufferSize, kGuardByte, kGuard);
    ASAN_POISON_MEMORY_REGION(buffer + kPathBufferSize, kGuard);
    const Exact baseText(base), relativeText(relative);
    const bool result = pathJoin(buffer, baseText.text, relativeText.text);
    ASAN_UNPOISON_MEMORY_REGION(buffer + kPathBufferSize, kGuard);
    for (std::size_t i = 0; i < kGuard; ++i)
        FUZZ_CHECK(static_cast<unsigned char>(buffer[kPathBufferSize + i]) == kGuardByte,
                   "pathJoin wrote %zu bytes past the path buffer", i + 1);
    const std::size_t length = strnlen(buffer, kPathBufferSize);
    FUZZ_CHECK(length <= kPathMax, "pathJoin left no terminator in 522 bytes");
    const std::string joined(buffer, length);

    FUZZ_CHECK(result == expected.result, "pathJoin returned %d", result);
    FUZZ_CHECK(joined == expected.path.text,
               "pathJoin gave %zu bytes \"%s\", the rules give %zu bytes \"%s\"", joined.size(),
               printable(joined).c_str(), expected.path.text.size(),
               printable(expected.path.text).c_str());
    // Every separator the join puts in is a backslash of the result, not a trail byte.
    const std::vector<int> kinds = kindsOf(joined);
    for (const std::size_t separator : expected.separators)
        FUZZ_CHECK(isRealBackslash(joined, kinds, separator),
                   "the separator at %zu became the second byte of a character", separator);

    // Joining onto the buffer itself gives the same.
    sjisCopyBounded(kPathBufferSize, buffer, baseText.text);
    const bool inPlace = pathJoin(buffer, buffer, relativeText.text);
    FUZZ_CHECK(inPlace == result && joined == buffer, "joining in place gave \"%s\"",
               printable(buffer).c_str());
    std::free(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const unsigned number = data[0] | data[1] << 8;
    const char *text = reinterpret_cast<const char *>(data + 2);
    const std::size_t rest = size - 2;
    const std::size_t lengthA = strnlen(text, rest);
    const std::string a(text, lengthA);
    const std::string b =
        lengthA < rest
            ? std::string(text + lengthA + 1, strnlen(text + lengthA + 1, rest - lengthA - 1))
            : std::string();

    const std::vector<int> kinds = kindsOf(a);
    checkKindsAndStepping(a, kinds);
    checkSearchAndCompare(a, b, number);
    checkLowerCopyAndFormat(a, kinds, number);
    // The cuts walk back from the end asking sjisByteKind at every byte, quadratic by
    // design: past a path buffer's size that is time not spent finding anything.
    if (a.size() < kPathBufferSize + 64)
        checkPathSearchesAndCuts(a, kinds);
    checkJoin(a, b);
    return 0;
}
