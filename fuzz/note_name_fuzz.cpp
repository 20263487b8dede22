// Note naming: a time is valid exactly when it is a real date and time of day (checked
// here by counting days, not by month lengths); every valid time and sequence has all its
// names, which fit their buffer and read back as that time and sequence; anything else
// gives no name at all. Two notes share a name only if they share time and sequence, and
// the file names of one day sort in time order.
//
// Input: year, month, day, hour, minute, second, sequence as 32-bit little-endian
// integers, optionally a second such record.
#include "capture/note_name.h"

#include "fuzz/check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Note {
    NoteTime time;
    int sequence;
};

std::int32_t readInt(const std::uint8_t *at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(at[0]) | at[1] << 8 | at[2] << 16 |
                                     static_cast<std::uint32_t>(at[3]) << 24);
}

Note readNote(const std::uint8_t *at) {
    return {{readInt(at), readInt(at + 4), readInt(at + 8), readInt(at + 12), readInt(at + 16),
             readInt(at + 20)},
            readInt(at + 24)};
}

// Days since 1 March of year 0 in the proleptic Gregorian calendar, and back.
long long dayNumber(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = y / 400;
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
}

void dateOf(long long days, long long &y, long long &m, long long &d) {
    const long long era = days / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    d = dayOfYear - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yearOfEra + era * 400 + (m <= 2);
}

// A real date, the year between 1 and 99999 (the longest month folder name is "99999-12").
bool isRealTime(const NoteTime &t) {
    if (t.year < 1 || t.year > 99999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31)
        return false;
    long long y, m, d;
    dateOf(dayNumber(t.year, t.month, t.day), y, m, d);
    return y == t.year && m == t.month && d == t.day && t.hour >= 0 && t.hour <= 23 &&
           t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

struct Names {
    bool month, day, file, temporary;
    std::string monthName, dayName, fileName, temporaryName;
};

// Each name into a buffer of exactly kNoteNameSize bytes on the heap.
Names nameNote(const Note &note) {
    using Buffer = char[kNoteNameSize];
    Names names = {};
    auto call = [](auto &&function, std::string &out) {
        auto *buffer = static_cast<Buffer *>(std::malloc(sizeof(Buffer)));
        std::memset(*buffer, 'x', sizeof(Buffer));
        const bool result = function(*buffer);
        const std::size_t length = strnlen(*buffer, sizeof(Buffer));
        FUZZ_CHECK(length < sizeof(Buffer), "a name without a terminator");
        out.assign(*buffer, length);
        std::free(buffer);
        return result;
    };
    names.month =
        call([&](Buffer &b) { return noteMonthFolderName(note.time, b); }, names.monthName);
    names.day = call([&](Buffer &b) { return noteDayFolderName(note.time, b); }, names.dayName);
    names.file =
        call([&](Buffer &b) { return noteFileName(note.time, note.sequence, b); }, names.fileName);
    names.temporary =
        call([&](Buffer &b) { return noteTemporaryFileName(note.time, note.sequence, b); },
             names.temporaryName);
    return names;
}

bool allDigits(const std::string &s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Reads the time of day and sequence back out of "hhmmss.txt" or "hhmmss_N.txt".
void checkTimeName(const std::string &name, const Note &note, const char *prefix,
                   const char *extension) {
    const std::string p = prefix, e = extension;
    FUZZ_CHECK(name.compare(0, p.size(), p) == 0 && name.size() >= p.size() + 6 + e.size() &&
                   name.compare(name.size() - e.size(), e.size(), e) == 0,
               "\"%s\" is not %shhmmss...%s", name.c_str(), prefix, extension);
    const std::string stem = name.substr(p.size(), name.size() - p.size() - e.size());
    const std::string clock = stem.substr(0, 6);
    FUZZ_CHECK(allDigits(clock), "\"%s\": time of day is not six digits", name.c_str());
    const int hour = std::stoi(clock.substr(0, 2)), minute = std::stoi(clock.substr(2, 2)),
              second = std::stoi(clock.substr(4, 2));
    FUZZ_CHECK(hour == note.time.hour && minute == note.time.minute && second == note.time.second,
               "\"%s\" reads back as another time", name.c_str());
    if (note.sequence == 1) {
        FUZZ_CHECK(stem.size() == 6, "\"%s\": the first note of a second has a suffix",
                   name.c_str());
    } else {
        const std::string suffix = stem.substr(6);
        FUZZ_CHECK(suffix.size() >= 2 && suffix[0] == '_' && suffix[1] != '0' &&
                       allDigits(suffix.substr(1)) && std::stoi(suffix.substr(1)) == note.sequence,
                   "\"%s\" does not carry sequence %d", name.c_str(), note.sequence);
    }
}

Names checkNote(const Note &note) {
    const bool timeValid = isRealTime(note.time);
    const bool sequenceValid = note.sequence >= 1 && note.sequence <= kNoteSequenceLimit;
    FUZZ_CHECK(noteTimeIsValid(note.time) == timeValid, "%d-%d-%d %d:%d:%d is%s valid",
               note.time.year, note.time.month, note.time.day, note.time.hour, note.time.minute,
               note.time.second, timeValid ? " not" : "");
    const Names names = nameNote(note);
    FUZZ_CHECK(names.month == timeValid && names.day == timeValid, "folder names' results");
    FUZZ_CHECK(names.file == (timeValid && sequenceValid) &&
                   names.temporary == (timeValid && sequenceValid),
               "file names' results for sequence %d", note.sequence);
    if (!timeValid) {
        FUZZ_CHECK(names.monthName.empty() && names.dayName.empty(), "names for an invalid time");
    } else {
        // "YYYY-MM": the year with at least four digits, the month with two.
        const std::string &month = names.monthName;
        const std::size_t dash = month.find('-');
        FUZZ_CHECK(dash != std::string::npos && dash >= 4 && allDigits(month.substr(0, dash)) &&
                       (dash == 4 || month[0] != '0') && month.size() == dash + 3 &&
                       allDigits(month.substr(dash + 1)),
                   "month folder \"%s\"", month.c_str());
        FUZZ_CHECK(std::stoi(month.substr(0, dash)) == note.time.year &&
                       std::stoi(month.substr(dash + 1)) == note.time.month,
                   "month folder \"%s\" reads back as another month", month.c_str());
        FUZZ_CHECK(names.dayName.size() == 2 && allDigits(names.dayName) &&
                       std::stoi(names.dayName) == note.time.day,
                   "day folder \"%s\"", names.dayName.c_str());
    }
    if (timeValid && sequenceValid) {
        checkTimeName(names.fileName, note, "", ".txt");
        checkTimeName(names.temporaryName, note, "~", ".tmp");
    } else {
        FUZZ_CHECK(names.fileName.empty() && names.temporaryName.empty(),
                   "file names for an invalid time or sequence");
    }
    return names;
}

int secondOfDay(const NoteTime &t) {
    return (t.hour * 60 + t.minute) * 60 + t.second;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    constexpr std::size_t kRecord = 28;
    if (size < kRecord)
        return 0;
    const Note first = readNote(data);
    const Names firstNames = checkNote(first);
    if (size < 2 * kRecord)
        return 0;
    const Note second = readNote(data + kRecord);
    const Names secondNames = checkNote(second);
    if (!firstNames.file || !secondNames.file)
        return 0;

    const bool sameNote = std::memcmp(&first.time, &second.time, sizeof(NoteTime)) == 0 &&
                          first.sequence == second.sequence;
    const std::string firstPath =
        firstNames.monthName + "\\" + firstNames.dayName + "\\" + firstNames.fileName;
    const std::string secondPath =
        secondNames.monthName + "\\" + secondNames.dayName + "\\" + secondNames.fileName;
    FUZZ_CHECK((firstPath == secondPath) == sameNote, "\"%s\" and \"%s\": %s notes",
               firstPath.c_str(), secondPath.c_str(), sameNote ? "same" : "different");
    FUZZ_CHECK((firstNames.temporaryName == secondNames.temporaryName) ==
                   (firstNames.fileName == secondNames.fileName),
               "temporary names \"%s\", \"%s\" do not follow the file names",
               firstNames.temporaryName.c_str(), secondNames.temporaryName.c_str());
    // The first notes of two seconds of one day list in time order.
    if (firstNames.monthName == secondNames.monthName &&
        firstNames.dayName == secondNames.dayName && first.sequence == 1 && second.sequence == 1) {
        const int order = secondOfDay(first.time) - secondOfDay(second.time);
        const int nameOrder = firstNames.fileName.compare(secondNames.fileName);
        FUZZ_CHECK((order < 0) == (nameOrder < 0) && (order == 0) == (nameOrder == 0),
                   "\"%s\" and \"%s\" list out of time order", firstNames.fileName.c_str(),
                   secondNames.fileName.c_str());
    }
    return 0;
}
