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

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A path taken apart: the root it starts from and the segments after it.
struct Folder {
    char text[2 * kPathBufferSize]; // root, then "\segment" for each; room to see it overflow
    std::size_t rootLength;
    std::size_t ends[kPathBufferSize]; // where each segment's "\segment" starts
    std::size_t segments;
    bool overflow;
};

void appendBytes(Folder *folder, const char *bytes, std::size_t length) {
    std::size_t used = std::strlen(folder->text);
    if (used + length >= sizeof folder->text) {
        folder->overflow = true;
        return;
    }
    std::memcpy(folder->text + used, bytes, length);
    folder->text[used + length] = '\0';
}

// Adds the segments of the path after its root. False when ".." climbs above the root.
bool addSegments(Folder *folder, const char *at) {
    for (;;) {
        const std::size_t length = sjisCSpan("/\\", at);
        if (length == 2 && at[0] == '.' && at[1] == '.') {
            if (folder->segments == 0)
                return false;
            folder->text[folder->ends[--folder->segments]] = '\0';
        } else if (length > 0 && !(length == 1 && at[0] == '.')) {
            if (folder->segments == kPathBufferSize) {
                folder->overflow = true;
                return true;
            }
            folder->ends[folder->segments++] = std::strlen(folder->text);
            appendBytes(folder, "\\", 1);
            appendBytes(folder, at, length);
        }
        if (at[length] == '\0')
            return true;
        at += length + 1;
    }
}

enum RootKind { kRootFull, kRootOfBase, kRelative, kRootInvalid };

// Reads the root of path into folder: a drive (D:\ or a bare D:), a share (\\server\share, by
// either separator); a single separator means base's root, nothing at all base itself. rest is
// what follows the root.
RootKind readRoot(const char *path, Folder *folder, const char **rest) {
    zeroFill(folder, sizeof *folder);
    if (isDriveLetter(path[0]) && path[1] == ':') {
        // E:notes is relative to whatever folder drive E: last had current: no folder of ours.
        if (path[2] != '\0' && !isSeparator(path[2]))
            return kRootInvalid;
        folder->text[0] = static_cast<char>(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0]);
        folder->text[1] = ':';
        folder->rootLength = 2;
        *rest = path + 2;
        return kRootFull;
    }
    if (isSeparator(path[0]) && isSeparator(path[1])) {
        const char *server = path + 2;
        const std::size_t serverLength = sjisCSpan("/\\", server);
        const char *share = server + serverLength + (server[serverLength] ? 1 : 0);
        const std::size_t shareLength = sjisCSpan("/\\", share);
        if (serverLength == 0 || shareLength == 0 || !isSeparator(server[serverLength]))
            return kRootInvalid;
        appendBytes(folder, "\\\\", 2);
        appendBytes(folder, server, serverLength);
        appendBytes(folder, "\\", 1);
        appendBytes(folder, share, shareLength);
        folder->rootLength = std::strlen(folder->text);
        *rest = share + shareLength;
        return kRootFull;
    }
    *rest = path;
    return isSeparator(path[0]) ? kRootOfBase : kRelative;
}

} // namespace

PathResolution pathResolve(char destination[kPathBufferSize], const char *base, const char *path) {
    destination[0] = '\0';
    // The platform's own long and device forms mean exactly what they say.
    if (isSeparator(path[0]) && isSeparator(path[1]) && (path[2] == '?' || path[2] == '.') &&
        isSeparator(path[3])) {
        if (std::strlen(path) > kPathMaxLength)
            return kPathTooLong;
        std::strcpy(destination, path);
        return kPathResolved;
    }
    Folder folder;
    const char *rest = nullptr;
    const RootKind kind = readRoot(path, &folder, &rest);
    if (kind == kRootInvalid)
        return kPathInvalid;
    if (kind != kRootFull) {
        // From the program's folder: its root, and for a relative path its segments too.
        const char *baseRest = nullptr;
        if (readRoot(base, &folder, &baseRest) != kRootFull)
            return kPathInvalid;
        if (kind == kRelative && !addSegments(&folder, baseRest))
            return kPathInvalid;
    }
    if (!addSegments(&folder, rest))
        return kPathInvalid;
    // The root itself: D:\ and \\server\share\ . After a share's name that ends in half a
    // double-byte character, a backslash would be that character's second byte: the name is
    // left as written, and the note store refuses it for that half character.
    const std::size_t length = std::strlen(folder.text);
    if (folder.segments == 0 && sjisByteKind(folder.text, length - 1) != kSjisLead)
        appendBytes(&folder, "\\", 1);
    if (folder.overflow || std::strlen(folder.text) > kPathMaxLength)
        return kPathTooLong;
    std::strcpy(destination, folder.text);
    return kPathResolved;
}
