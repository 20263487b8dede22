#include "capture/note_name.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "support/sjis.h"

namespace {

constexpr int kYearLimit = 99999;

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool inRange(int value, int low, int high) {
    return value >= low && value <= high;
}

// The time of day, with "_N" from the second note of a second on.
bool formatTimeName(const NoteTime &time, int sequence, const char *prefix, const char *extension,
                    char (&name)[kNoteNameSize]) {
    name[0] = '\0';
    if (!noteTimeIsValid(time) || !inRange(sequence, 1, kNoteSequenceLimit))
        return false;
    const int length =
        sequence == 1 ? formatBounded(kNoteNameSize, name, "%s%02d%02d%02d%s", prefix, time.hour,
                                      time.minute, time.second, extension)
                      : formatBounded(kNoteNameSize, name, "%s%02d%02d%02d_%d%s", prefix, time.hour,
                                      time.minute, time.second, sequence, extension);
    return length >= 0;
}

} // namespace

bool noteTimeIsValid(const NoteTime &time) {
    return inRange(time.year, 1, kYearLimit) && inRange(time.month, 1, 12) &&
           inRange(time.day, 1, daysInMonth(time.year, time.month)) && inRange(time.hour, 0, 23) &&
           inRange(time.minute, 0, 59) && inRange(time.second, 0, 59);
}

bool noteMonthFolderName(const NoteTime &time, char (&name)[kNoteNameSize]) {
    name[0] = '\0';
    return noteTimeIsValid(time) &&
           formatBounded(kNoteNameSize, name, "%04d-%02d", time.year, time.month) >= 0;
}

bool noteDayFolderName(const NoteTime &time, char (&name)[kNoteNameSize]) {
    name[0] = '\0';
    return noteTimeIsValid(time) && formatBounded(kNoteNameSize, name, "%02d", time.day) >= 0;
}

bool noteFileName(const NoteTime &time, int sequence, char (&name)[kNoteNameSize]) {
    return formatTimeName(time, sequence, "", ".txt", name);
}

bool noteShortTemporaryFileName(const NoteTime &time, int sequence, char (&name)[kNoteNameSize]) {
    return formatTimeName(time, sequence, "~", ".tmp", name);
}

bool noteTemporaryFileName(const NoteTime &time, unsigned token, char (&name)[kNoteNameSize]) {
    name[0] = '\0';
    return noteTimeIsValid(time) && formatBounded(kNoteNameSize, name, "~%02d%02d%02d-%08X.tmp",
                                                  time.hour, time.minute, time.second, token) >= 0;
}

static bool formatDraftName(int sequence, const char *extension, char (&name)[kNoteNameSize]) {
    name[0] = '\0';
    if (!inRange(sequence, 1, kDraftSequenceLimit))
        return false;
    const int length =
        sequence == 1
            ? formatBounded(kNoteNameSize, name, "~jotwell-draft%s", extension)
            : formatBounded(kNoteNameSize, name, "~jotwell-draft_%d%s", sequence, extension);
    return length >= 0;
}

bool draftFileName(int sequence, char (&name)[kNoteNameSize]) {
    return formatDraftName(sequence, ".txt", name);
}

bool draftTemporaryName(int sequence, char (&name)[kNoteNameSize]) {
    return formatDraftName(sequence, ".tmp", name);
}

bool draftRecordName(int sequence, char (&name)[kNoteNameSize]) {
    return formatDraftName(sequence, ".rec", name);
}

bool draftLockName(int sequence, char (&name)[kNoteNameSize]) {
    return formatDraftName(sequence, ".lock", name);
}

namespace {

int sequenceOfName(const char *name, bool (*format)(int, char (&)[kNoteNameSize])) {
    char expected[kNoteNameSize];
    for (int sequence = 1; sequence <= kDraftSequenceLimit; ++sequence)
        if (format(sequence, expected) && std::strcmp(name, expected) == 0)
            return sequence;
    return 0;
}

bool isDigits(const char *text, int count) {
    for (int i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

} // namespace

int draftSequenceOf(const char *name) {
    return sequenceOfName(name, draftFileName);
}

int draftRecordSequenceOf(const char *name) {
    return sequenceOfName(name, draftRecordName);
}

int draftTemporarySequenceOf(const char *name) {
    return sequenceOfName(name, draftTemporaryName);
}

bool isNoteTemporaryName(const char *name, bool *token) {
    if (name[0] != '~' || !isDigits(name + 1, 6))
        return false;
    if (token)
        *token = name[7] == '-';
    const auto two = [&](int at) { return (name[at] - '0') * 10 + (name[at + 1] - '0'); };
    NoteTime time{2000, 1, 1, two(1), two(3), two(5)};
    char expected[kNoteNameSize];
    if (name[7] == '-')
        return noteTemporaryFileName(time, std::strtoul(name + 8, nullptr, 16), expected) &&
               std::strcmp(name, expected) == 0;
    int sequence = 1;
    if (name[7] == '_') {
        sequence = 0;
        for (const char *at = name + 8; *at >= '0' && *at <= '9' && sequence <= kNoteSequenceLimit;
             ++at)
            sequence = sequence * 10 + (*at - '0');
    }
    // Only the very name it makes: no leading zeros, nothing after.
    return formatTimeName(time, sequence, "~", ".tmp", expected) &&
           std::strcmp(name, expected) == 0;
}

bool isScratchName(const char *name) {
    if (std::strncmp(name, "~jw", 3) != 0)
        return false;
    int digits = 0;
    for (name += 3; std::isxdigit(static_cast<unsigned char>(*name)); ++name)
        ++digits;
    return digits >= 1 && digits <= 4 &&
           (std::strcmp(name, ".tmp") == 0 || std::strcmp(name, ".TMP") == 0);
}
