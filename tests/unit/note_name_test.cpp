#include "capture/note_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string describe(const NoteTime &t) {
    return std::to_string(t.year) + "/" + std::to_string(t.month) + "/" + std::to_string(t.day) +
           " " + std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" +
           std::to_string(t.second);
}

TEST(NoteName, NamesAreZeroPadded) {
    struct Case {
        NoteTime time;
        int sequence;
        const char *month, *day, *file, *temporary;
    } const cases[] = {
        {{2024, 5, 7, 9, 5, 2}, 1, "2024-05", "07", "090502.txt", "~090502.tmp"},
        {{2024, 5, 7, 9, 5, 2}, 2, "2024-05", "07", "090502_2.txt", "~090502_2.tmp"},
        {{2024, 1, 1, 0, 1, 0}, 1, "2024-01", "01", "000100.txt", "~000100.tmp"},
        {{2023, 12, 31, 23, 59, 59}, 10, "2023-12", "31", "235959_10.txt", "~235959_10.tmp"},
        {{2024, 2, 29, 0, 0, 0}, 999, "2024-02", "29", "000000_999.txt", "~000000_999.tmp"},
        {{999, 10, 10, 10, 10, 10}, 1, "0999-10", "10", "101010.txt", "~101010.tmp"},
        {{1, 1, 1, 0, 0, 0}, 1, "0001-01", "01", "000000.txt", "~000000.tmp"},
        {{30827, 12, 31, 23, 59, 59}, 1, "30827-12", "31", "235959.txt", "~235959.tmp"},
        {{99999, 12, 31, 23, 59, 59}, 999, "99999-12", "31", "235959_999.txt", "~235959_999.tmp"},
    };
    for (const Case &c : cases) {
        const std::string name = describe(c.time) + " #" + std::to_string(c.sequence);
        char month[kNoteNameSize], day[kNoteNameSize], file[kNoteNameSize],
            temporary[kNoteNameSize];
        EXPECT_TRUE(noteTimeIsValid(c.time)) << name;
        EXPECT_TRUE(noteMonthFolderName(c.time, month)) << name;
        EXPECT_TRUE(noteDayFolderName(c.time, day)) << name;
        EXPECT_TRUE(noteFileName(c.time, c.sequence, file)) << name;
        EXPECT_TRUE(noteTemporaryFileName(c.time, c.sequence, temporary)) << name;
        EXPECT_STREQ(month, c.month) << name;
        EXPECT_STREQ(day, c.day) << name;
        EXPECT_STREQ(file, c.file) << name;
        EXPECT_STREQ(temporary, c.temporary) << name;
    }
}

TEST(NoteName, OutOfRangeGivesNoName) {
    struct Case {
        const char *name;
        NoteTime time;
        int sequence;
        bool timeValid;
    } const cases[] = {
        {"sequence 0", {2024, 5, 7, 9, 5, 2}, 0, true},
        {"sequence -1", {2024, 5, 7, 9, 5, 2}, -1, true},
        {"sequence past the limit", {2024, 5, 7, 9, 5, 2}, kNoteSequenceLimit + 1, true},
        {"year 0", {0, 5, 7, 9, 5, 2}, 1, false},
        {"year 100000", {100000, 5, 7, 9, 5, 2}, 1, false},
        {"month 0", {2024, 0, 7, 9, 5, 2}, 1, false},
        {"month 13", {2024, 13, 7, 9, 5, 2}, 1, false},
        {"day 0", {2024, 5, 0, 9, 5, 2}, 1, false},
        {"31 April", {2024, 4, 31, 9, 5, 2}, 1, false},
        {"29 February 2023", {2023, 2, 29, 9, 5, 2}, 1, false},
        {"29 February 1900", {1900, 2, 29, 9, 5, 2}, 1, false},
        {"hour 24", {2024, 5, 7, 24, 5, 2}, 1, false},
        {"hour -1", {2024, 5, 7, -1, 5, 2}, 1, false},
        {"minute 60", {2024, 5, 7, 9, 60, 2}, 1, false},
        {"second 60", {2024, 5, 7, 9, 5, 60}, 1, false},
        {"second -1", {2024, 5, 7, 9, 5, -1}, 1, false},
    };
    for (const Case &c : cases) {
        char month[kNoteNameSize] = "x", day[kNoteNameSize] = "x", file[kNoteNameSize] = "x",
             temporary[kNoteNameSize] = "x";
        EXPECT_EQ(noteTimeIsValid(c.time), c.timeValid) << c.name;
        EXPECT_EQ(noteMonthFolderName(c.time, month), c.timeValid) << c.name;
        EXPECT_EQ(noteDayFolderName(c.time, day), c.timeValid) << c.name;
        EXPECT_FALSE(noteFileName(c.time, c.sequence, file)) << c.name;
        EXPECT_FALSE(noteTemporaryFileName(c.time, c.sequence, temporary)) << c.name;
        EXPECT_STREQ(file, "") << c.name;
        EXPECT_STREQ(temporary, "") << c.name;
        if (!c.timeValid) {
            EXPECT_STREQ(month, "") << c.name;
            EXPECT_STREQ(day, "") << c.name;
        }
    }
}

// Every day of a leap and a common year has a name, and the day after the last has none.
TEST(NoteName, EveryDayOfTheYear) {
    struct Case {
        int year;
        int days;
    } const cases[] = {{2024, 366}, {2023, 365}, {2000, 366}, {1900, 365}};
    for (const Case &c : cases) {
        int valid = 0;
        for (int month = 1; month <= 12; ++month)
            for (int day = 1; day <= 32; ++day)
                valid += noteTimeIsValid({c.year, month, day, 12, 0, 0}) ? 1 : 0;
        EXPECT_EQ(valid, c.days) << c.year;
    }
}

} // namespace
