#include "capture/draft_record.h"

#include <cstring>

#include "support/sjis.h"

namespace {

constexpr char kFirstLine[] = "Jotwell draft record\r\n";
constexpr char kLastLine[] = "end\r\n";

} // namespace

std::uint64_t textHash(const char *text, std::size_t length) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(text[i])) * 0x100000001B3u;
    return hash;
}

bool formatDraftRecord(const DraftRecord &record, char (&text)[kDraftRecordSize]) {
    const unsigned long long size = record.size, hash = record.hash;
    if (record.kind == DraftRecord::kErased)
        return formatBounded(sizeof text, text, "%serased %llu %016llx\r\n%s", kFirstLine, size,
                             hash, kLastLine) > 0;
    const NoteTime &t = record.time;
    return formatBounded(sizeof text, text, "%s%s %llu %016llx %d %d %d %d %d %d\r\n%s\r\n%s",
                         kFirstLine, record.kind == DraftRecord::kNoteFirst ? "saved" : "saving",
                         size, hash, t.year, t.month, t.day, t.hour, t.minute, t.second,
                         record.temporary, kLastLine) > 0;
}

namespace {

// The next number of a line, in the base, and the space after it, or its line end when it is the
// last; at moves past them. False for anything else, or a number beyond 64 bits.
bool field(const char *&at, unsigned base, bool last, unsigned long long *value) {
    const char *start = at;
    unsigned long long number = 0;
    for (;; ++at) {
        const unsigned digit = *at >= '0' && *at <= '9'                 ? *at - '0'
                               : base == 16 && *at >= 'a' && *at <= 'f' ? *at - 'a' + 10
                                                                        : base;
        if (digit >= base)
            break;
        if (number > (~0ull - digit) / base)
            return false;
        number = number * base + digit;
    }
    const char *end = last ? "\r\n" : " ";
    if (at == start || std::strncmp(at, end, std::strlen(end)) != 0)
        return false;
    at += std::strlen(end);
    *value = number;
    return true;
}

} // namespace

bool parseDraftRecord(const char *text, DraftRecord *record) {
    zeroFill(record, sizeof *record);
    const std::size_t length = std::strlen(text), first = sizeof kFirstLine - 1,
                      last = sizeof kLastLine - 1;
    if (length < first + last || std::strncmp(text, kFirstLine, first) != 0 ||
        std::strcmp(text + length - last, kLastLine) != 0)
        return false;
    const char *line = text + first;
    unsigned long long size = 0, hash = 0, time[6] = {};
    const bool erased = std::strncmp(line, "erased ", 7) == 0,
               saved = std::strncmp(line, "saved ", 6) == 0,
               saving = std::strncmp(line, "saving ", 7) == 0;
    line += erased || saving ? 7 : 6;
    if (erased) {
        if (!field(line, 10, false, &size) || !field(line, 16, true, &hash))
            return false;
        record->kind = DraftRecord::kErased;
    } else {
        bool read =
            (saved || saving) && field(line, 10, false, &size) && field(line, 16, false, &hash);
        for (int i = 0; i < 6 && read; ++i)
            read = field(line, 10, i == 5, &time[i]) && time[i] <= 99999;
        NoteTime &t = record->time;
        t = {int(time[0]), int(time[1]), int(time[2]), int(time[3]), int(time[4]), int(time[5])};
        if (!read || !noteTimeIsValid(t))
            return false;
        record->kind = saved ? DraftRecord::kNoteFirst : DraftRecord::kDraftFirst;
        // The temporary file's path, up to the line's end.
        const char *end = std::strstr(line, "\r\n");
        const std::size_t pathLength = end ? static_cast<std::size_t>(end - line) : 0;
        if (pathLength == 0 || pathLength >= sizeof record->temporary)
            return false;
        std::memcpy(record->temporary, line, pathLength);
        record->temporary[pathLength] = '\0';
        line = end + 2;
    }
    record->size = size;
    record->hash = hash;
    return std::strcmp(line, kLastLine) == 0;
}
