#include "capture/draft_record.h"

#include <cinttypes>
#include <cstdio>
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

bool parseDraftRecord(const char *text, DraftRecord *record) {
    zeroFill(record, sizeof *record);
    const std::size_t length = std::strlen(text), first = sizeof kFirstLine - 1,
                      last = sizeof kLastLine - 1;
    if (length < first + last || std::strncmp(text, kFirstLine, first) != 0 ||
        std::strcmp(text + length - last, kLastLine) != 0)
        return false;
    const char *line = text + first;
    unsigned long long size = 0, hash = 0;
    int used = 0;
    char kind[8] = "";
    NoteTime &t = record->time;
    if (std::sscanf(line, "erased %llu %16llx\r\n%n", &size, &hash, &used) == 2 && used > 0) {
        record->kind = DraftRecord::kErased;
        line += used;
    } else if (std::sscanf(line, "%7s %llu %16llx %d %d %d %d %d %d\r\n%n", kind, &size, &hash,
                           &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second, &used) == 9 &&
               used > 0 && noteTimeIsValid(t) &&
               (std::strcmp(kind, "saved") == 0 || std::strcmp(kind, "saving") == 0)) {
        record->kind = kind[4] == 'd' ? DraftRecord::kNoteFirst : DraftRecord::kDraftFirst;
        line += used;
        // The temporary file's path, up to the line's end.
        const char *end = std::strstr(line, "\r\n");
        const std::size_t pathLength = end ? static_cast<std::size_t>(end - line) : 0;
        if (pathLength == 0 || pathLength >= sizeof record->temporary)
            return false;
        std::memcpy(record->temporary, line, pathLength);
        record->temporary[pathLength] = '\0';
        line = end + 2;
    } else {
        return false;
    }
    record->size = size;
    record->hash = hash;
    return std::strcmp(line, kLastLine) == 0;
}
