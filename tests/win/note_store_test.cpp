// The note store on the real file system: each test in a fresh folder of its own.
#include "capture/note_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/win/note_files.h"

using namespace notetest;

namespace {

constexpr NoteTime kMay7 = {2024, 5, 7, 9, 5, 2};

// The note's path and bytes, or the failure, as one comparable text.
std::string save(const std::string &root, const std::string &text, const NoteTime &time = kMay7) {
    NoteSaveResult result;
    if (!createNoteFile(root.c_str(), time, text.c_str(), &result))
        return "failed " + std::to_string(result.error) + " at " + result.path;
    EXPECT_EQ(result.error, 0u) << root;
    return result.path;
}

bool hasTemporaryFile(const std::string &root) {
    for (const std::string &entry : listTree(root))
        if (entry.find('~') != std::string::npos || entry.find(".tmp") != std::string::npos)
            return true;
    return false;
}

TEST(NoteStore, WritesTheTextByteForByte) {
    struct Case {
        const char *name;
        std::string text;
    } const cases[] = {
        {"one space", " "},
        {"two lines keep CR LF", "first\r\nsecond"},
        {"a bare LF is not translated", "a\nb\r"},
        {"trailing line break kept", "x\r\n\r\n"},
        {"Shift-JIS with 0x5C trail bytes", "表示テスト ソ\\表"},
        {"half-width kana", "ﾒﾓ"},
        {"text of 300000 bytes", std::string(300000, 'q') + "表"},
    };
    TempFolder temp;
    int second = 0;
    for (const Case &c : cases) {
        const NoteTime time{2024, 5, 7, 9, 5, second++};
        const std::string path = save(temp / "notes", c.text, time);
        char expected[64];
        std::snprintf(expected, sizeof expected, "\\notes\\2024-05\\07\\0905%02d.txt", time.second);
        EXPECT_EQ(path, temp.path() + expected) << c.name;
        EXPECT_EQ(hex(readFile(path)), hex(c.text)) << c.name;
    }
    EXPECT_EQ(listTree(temp / "notes\\2024-05\\07").size(), std::size(cases));
    EXPECT_FALSE(hasTemporaryFile(temp.path()));
}

TEST(NoteStore, RootSpellings) {
    struct Case {
        const char *name, *root, *note;
    } const cases[] = {
        {"no trailing backslash", "Notes", "Notes\\2024-05\\07\\090502.txt"},
        {"trailing backslash", "Notes\\", "Notes\\2024-05\\07\\090502.txt"},
        {"ends in 表 (second byte 0x5C)", "表", "表\\2024-05\\07\\090502.txt"},
        {"ends in ソ and a backslash", "ソ\\", "ソ\\2024-05\\07\\090502.txt"},
        {"nested Japanese", "メモ\\表示", "メモ\\表示\\2024-05\\07\\090502.txt"},
    };
    for (const Case &c : cases) {
        TempFolder temp;
        if (std::string(c.root).find("メモ") == 0)
            CreateDirectoryA((temp / "メモ").c_str(), nullptr);
        EXPECT_EQ(save(temp / c.root, "note"), temp / c.note) << c.name;
        EXPECT_EQ(readFile(temp / c.note), "note") << c.name;
    }
}

TEST(NoteStore, SameSecondNeverOverwrites) {
    TempFolder temp;
    const std::string day = temp / "n\\2024-05\\07";
    struct Case {
        const char *name;
        std::function<void()> before;
        std::vector<std::string> notes; // saved in order, each to the next name
        std::vector<std::string> names;
    } const cases[] = {
        {"three notes in one second",
         [] {},
         {"1", "2", "3"},
         {"090502.txt", "090502_2.txt", "090502_3.txt"}},
        {"the user's read-only file keeps its name and bytes",
         [&] {
             writeFile(day + "\\090502.txt", "user's");
             SetFileAttributesA((day + "\\090502.txt").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         {"a", "b"},
         {"090502_2.txt", "090502_3.txt"}},
        {"a folder of the note's name",
         [&] { CreateDirectoryA((day + "\\090502.txt").c_str(), nullptr); },
         {"a"},
         {"090502_2.txt"}},
        {"a temporary file left by a crash is not touched",
         [&] { writeFile(day + "\\~090502.tmp", "old"); },
         {"a"},
         {"090502.txt"}},
    };
    for (const Case &c : cases) {
        removeTree(temp / "n");
        ASSERT_EQ(save(temp / "n", ""), day + "\\090502.txt") << "making the folders";
        DeleteFileA((day + "\\090502.txt").c_str());
        c.before();
        const std::vector<std::string> existing = listTree(day);
        std::vector<std::string> contents;
        for (const std::string &entry : existing)
            contents.push_back(readFile(day + "\\" + entry));
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            EXPECT_EQ(save(temp / "n", c.notes[i]), day + "\\" + c.names[i]) << c.name;
            EXPECT_EQ(readFile(day + "\\" + c.names[i]), c.notes[i]) << c.name;
        }
        for (std::size_t i = 0; i < existing.size(); ++i)
            EXPECT_EQ(readFile(day + "\\" + existing[i]), contents[i]) << c.name << existing[i];
        EXPECT_EQ(listTree(day).size(), existing.size() + c.notes.size()) << c.name;
    }
}

TEST(NoteStore, EveryNameOfTheSecondTaken) {
    TempFolder temp;
    const std::string day = temp / "n\\2024-05\\07";
    for (int sequence = 1; sequence <= kNoteSequenceLimit; ++sequence) {
        char name[kNoteNameSize];
        ASSERT_TRUE(noteFileName(kMay7, sequence, name));
        if (sequence == 1)
            ASSERT_EQ(save(temp / "n", "kept"), day + "\\" + name);
        else
            writeFile(day + "\\" + name, "kept");
    }
    EXPECT_EQ(save(temp / "n", "new"),
              "failed " + std::to_string(ERROR_FILE_EXISTS) + " at " + day + "\\090502_999.txt");
    EXPECT_EQ(readFile(day + "\\090502.txt"), "kept");
    EXPECT_EQ(readFile(day + "\\090502_999.txt"), "kept");
    EXPECT_FALSE(hasTemporaryFile(temp.path()));
}

TEST(NoteStore, FailuresWriteNothing) {
    TempFolder temp;
    const std::string longRoot = temp / std::string(515 - temp.path().size(), 'a');
    struct Case {
        const char *name;
        std::function<void()> before;
        std::string root;
        NoteTime time;
        DWORD error;
        std::string where;
    } const cases[] = {
        {"root is a file", [&] { writeFile(temp / "r", "file"); }, temp / "r", kMay7,
         ERROR_ALREADY_EXISTS, temp / "r"},
        {"root's parent missing", [] {}, temp / "gone\\r", kMay7, ERROR_PATH_NOT_FOUND,
         temp / "gone\\r"},
        {"month folder is a file",
         [&] {
             CreateDirectoryA((temp / "r").c_str(), nullptr);
             writeFile(temp / "r\\2024-05", "file");
         },
         temp / "r", kMay7, ERROR_ALREADY_EXISTS, temp / "r\\2024-05"},
        {"day folder is a file",
         [&] {
             CreateDirectoryA((temp / "r").c_str(), nullptr);
             CreateDirectoryA((temp / "r\\2024-05").c_str(), nullptr);
             writeFile(temp / "r\\2024-05\\07", "file");
         },
         temp / "r", kMay7, ERROR_ALREADY_EXISTS, temp / "r\\2024-05\\07"},
        {"path past 520 bytes", [] {}, longRoot, kMay7, ERROR_FILENAME_EXCED_RANGE,
         (longRoot + "\\2024-05").substr(0, 521)},
        {"no such day",
         [] {},
         temp / "r",
         {2023, 2, 29, 0, 0, 0},
         ERROR_INVALID_PARAMETER,
         temp / "r"},
        {"empty root", [] {}, "", kMay7, ERROR_PATH_NOT_FOUND, ""},
    };
    for (const Case &c : cases) {
        c.before();
        const std::vector<std::string> before = listTree(temp.path());
        EXPECT_EQ(save(c.root, "lost?", c.time),
                  "failed " + std::to_string(c.error) + " at " + c.where)
            << c.name;
        EXPECT_EQ(listTree(temp.path()), before) << c.name;
        removeTree(temp / "r");
    }
}

TEST(NoteStore, SaveNoteReadsTheClockAndFallsBackToTheProgramFolder) {
    auto nowNames = [](const std::string &root) {
        SYSTEMTIME st;
        GetLocalTime(&st);
        const NoteTime t{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
        char month[kNoteNameSize], day[kNoteNameSize], file[kNoteNameSize];
        noteMonthFolderName(t, month);
        noteDayFolderName(t, day);
        noteFileName(t, 1, file);
        return root + "\\" + month + "\\" + day + "\\" + file;
    };
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    *std::strrchr(program, '\\') = '\0';
    TempFolder temp;
    struct Case {
        const char *name, *folder;
        std::string root;
    } const cases[] = {
        {"document folder", temp.path().c_str(), temp.path()},
        {"empty: the program's folder", "", program},
    };
    for (const Case &c : cases) {
        const std::string earliest = nowNames(c.root);
        NoteSaveResult result;
        ASSERT_TRUE(saveNote(c.folder, "clock", &result)) << c.name << " " << result.error;
        const std::string latest = nowNames(c.root);
        const std::string path = result.path;
        EXPECT_TRUE(path == earliest || path == latest) << c.name << ": " << path;
        EXPECT_EQ(readFile(path), "clock") << c.name;
        if (c.root == program) {
            DeleteFileA(path.c_str());
            RemoveDirectoryA(path.substr(0, path.rfind('\\')).c_str());
            RemoveDirectoryA(path.substr(0, path.rfind('\\') - 3).c_str());
        }
    }
    NoteSaveResult result;
    EXPECT_FALSE(saveNote(std::string(600, 'x').c_str(), "long", &result));
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

} // namespace
