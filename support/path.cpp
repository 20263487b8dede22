#include "support/path.h"

#include "support/sjis.h"

#include <cstring>

namespace {

constexpr std::size_t kPathMaxLength = kPathBufferSize - 1;

// Walks backwards because only the last component matters, yet asks sjisByteKind
// about every byte: only a walk from the start can tell a trail 0x5C from a backslash.
bool isBackslashAt(const char *path, std::size_t index) {
    return path[index] == '\\' && sjisByteKind(path, index) != kSjisTrail;
}

// Appends whole characters of the segment while they fit in the path buffer.
void appendBounded(char *destination, const char *segment, std::size_t segmentLength) {
    std::size_t length = std::strlen(destination);
    const char *at = segment;
    const char *end = segment + segmentLength;
    while (at < end) {
        const char *next = sjisNext(at);
        const std::size_t charLength = static_cast<std::size_t>(next - at);
        if (length + charLength > kPathMaxLength)
            break;
        std::memcpy(destination + length, at, charLength);
        length += charLength;
        at = next;
    }
    destination[length] = '\0';
}

// A lead byte with nothing after it is half a character: a backslash appended to it would
// become its second byte and separate nothing, so it goes first.
void dropDanglingLeadByte(char *destination) {
    const std::size_t length = std::strlen(destination);
    if (length > 0 && sjisIsLead(static_cast<unsigned char>(destination[length - 1])) &&
        sjisByteKind(destination, length - 1) == kSjisLead)
        destination[length - 1] = '\0';
}

void climbOneLevel(char *destination) {
    if (char *last = pathLastBackslash(destination))
        *last = '\0';
    else
        destination[0] = '\0';
}

} // namespace

const char *pathFirstBackslash(const char *path) {
    return sjisFindChar(path, '\\');
}

const char *pathLastBackslash(const char *path) {
    const char *last = nullptr;
    for (const char *hit = pathFirstBackslash(path); hit; hit = pathFirstBackslash(hit + 1))
        last = hit;
    return last;
}

const char *pathTrailingBackslash(const char *path) {
    const char *last = pathLastBackslash(path);
    return last && last[1] == '\0' ? last : nullptr;
}

bool pathEndsWithBackslash(const char *path) {
    return pathTrailingBackslash(path) != nullptr;
}

char *pathCutExtension(char *path) {
    for (std::size_t i = std::strlen(path); i-- > 0;) {
        if (isBackslashAt(path, i))
            break;
        if (path[i] == '.') {
            path[i] = '\0';
            return path + i + 1;
        }
    }
    return strEnd(path);
}

char *pathCutLastComponent(char *path) {
    for (std::size_t i = std::strlen(path); i-- > 0;) {
        if (isBackslashAt(path, i)) {
            path[i] = '\0';
            return path + i + 1;
        }
    }
    return path;
}

bool pathJoin(char destination[kPathBufferSize], const char *base, const char *relative) {
    // Joining onto the buffer itself is allowed: the base is then already in place.
    if (destination != base)
        sjisCopyBounded(kPathBufferSize, destination, base);

    const char *segment = relative;
    for (;;) {
        // Separators are found by characters, so a trail 0x5C never splits a segment.
        const std::size_t length = sjisCSpan("/\\", segment);
        if (length == 2 && sjisEqualN(segment, "..", 2)) {
            if (char *trailing = pathTrailingBackslash(destination))
                *trailing = '\0';
            if (destination[0] == '\0')
                return false;
            climbOneLevel(destination);
        } else if (!(length == 1 && segment[0] == '.')) {
            dropDanglingLeadByte(destination);
            if (destination[0] != '\0' && !pathEndsWithBackslash(destination))
                appendBounded(destination, "\\", 1);
            appendBounded(destination, segment, length);
        }
        if (segment[length] == '\0')
            return true;
        segment += length + 1;
    }
}

bool pathIsAbsolute(const char *path) {
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && path[2] == '\\';
    return drive || (path[0] == '\\' && path[1] == '\\');
}

// The length of base's root: D: of a drive path, \\server\share of a network path; 0 when
// it has neither.
static std::size_t rootLength(const char *base) {
    if (base[0] != '\0' && base[1] == ':')
        return 2;
    if (base[0] != '\\' || base[1] != '\\')
        return 0;
    const char *share = pathFirstBackslash(base + 2);
    const char *end = share ? pathFirstBackslash(share + 1) : nullptr;
    return end ? static_cast<std::size_t>(end - base) : std::strlen(base);
}

bool pathResolve(char destination[kPathBufferSize], const char *base, const char *path) {
    destination[0] = '\0';
    if (!pathIsAbsolute(path) && path[0] != '\\') {
        // Below base; a join that reached the buffer's end may have been cut.
        if (pathJoin(destination, base, path) && std::strlen(destination) < kPathMaxLength)
            return true;
        destination[0] = '\0';
        return false;
    }
    // An absolute path as it is; a rooted one on base's drive or share.
    const std::size_t prefix = pathIsAbsolute(path) ? 0 : rootLength(base);
    if (prefix + std::strlen(path) > kPathMaxLength)
        return false;
    std::memcpy(destination, base, prefix);
    std::strcpy(destination + prefix, path);
    return true;
}
