// Bad settings files, end to end: random bytes, a 1 MB line, no sections, a
// byte-order mark, LF-only lines, folder values cut inside a double-byte
// character, hotkeys at the ends of the 32-bit range. Jotwell starts, uses
// what it can read, takes a note where the settings say (or beside itself),
// quits cleanly, never rewrites the file and writes nothing anywhere else.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/note_driving.h"

using namespace e2e;
using namespace drive;

namespace {

struct Case {
    const char *name;
    std::string ini;
    bool hotkeyWorks; // Ctrl+Alt+J was read from the file
    std::string root; // where the note must land, relative to the program's folder
};

// The INI file the settings dialog would write, with the given line break.
std::string validIni(const std::string &folder, const char *lineBreak = "\r\n") {
    return "[ホットキー]" + std::string(lineBreak) + "表示の切り替え=" + std::to_string(kCtrlAltJ) +
           lineBreak + "[quillomat]" + lineBreak + "日本語入力=0" + lineBreak +
           "文書保存フォルダ=" + folder + lineBreak;
}

std::string randomBytes(unsigned seed, size_t size) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (char &b : bytes)
        b = static_cast<char>(byte(generator));
    return bytes;
}

// Lines of random printable junk, none of which can open a section.
std::string junkLines(unsigned seed, int lines) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0x21, 0xFC), length(0, 200);
    std::string text;
    for (int i = 0; i < lines; ++i) {
        std::string line(static_cast<size_t>(length(generator)), 'x');
        for (char &b : line)
            b = static_cast<char>(byte(generator));
        if (!line.empty() && line[0] == '[')
            line[0] = ';';
        text += line + "\r\n";
    }
    return text;
}

std::string utf8Of(const std::string &sjis) {
    std::wstring wide(sjis.size() + 1, L'\0');
    wide.resize(
        static_cast<size_t>(MultiByteToWideChar(932, 0, sjis.data(), static_cast<int>(sjis.size()),
                                                &wide[0], static_cast<int>(wide.size()))));
    std::string utf8(wide.size() * 3 + 1, '\0');
    utf8.resize(static_cast<size_t>(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                            static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

bool isLead(char c) {
    return IsDBCSLeadByteEx(932, static_cast<BYTE>(c)) != 0;
}

// A backslash of its own, not the second byte of a character like 表.
bool endsWithBackslash(const std::string &path) {
    bool last = false;
    for (size_t i = 0; i < path.size(); i += isLead(path[i]) ? 2 : 1)
        last = path[i] == '\\';
    return last;
}

// The longest prefix of whole characters that fits the record's 259 bytes.
std::string wholeCharactersWithin259(const std::string &value) {
    size_t end = 0;
    while (end < value.size()) {
        const size_t next = end + (isLead(value[end]) ? 2 : 1);
        if (next > 259 || next > value.size())
            break;
        end = next;
    }
    return value.substr(0, end);
}

// A folder value of size bytes below base: folders of ten 表 (whose second
// byte is 0x5C) with a 表 starting at byte 258, so that a cut at 259 bytes
// falls inside it, and a lone first byte of 表 as the value's last byte.
std::string folderCutInsideACharacter(const std::string &base, size_t size) {
    for (std::string pad;; pad += 'x') {
        std::string value = base + "\\" + pad;
        while (value.size() < size + 32)
            value += "表表表表表表表表表表\\";
        size_t at = 0; // the character boundary at or before size - 1
        bool leadAt258 = false;
        while (at + (isLead(value[at]) ? 2 : 1) <= size - 1) {
            leadAt258 |= at == 258 && isLead(value[at]);
            at += isLead(value[at]) ? 2 : 1;
        }
        if (leadAt258 && at == size - 1)
            return value.substr(0, at) + "\x95";
    }
}

// Makes every folder above the last component of path below base, splitting
// only at single-byte backslashes.
void makeParents(const std::string &base, const std::string &path) {
    for (size_t i = base.size() + 1; i < path.size(); i += isLead(path[i]) ? 2 : 1)
        if (path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

std::set<std::string> namesIn(const std::string &folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.insert(data.cFileName);
        while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return names;
}

std::string parentOf(const std::string &path) {
    return path.substr(0, path.find_last_of('\\'));
}

// Starts Jotwell on the case's file and proves what it made of it.
void provesItStartsAndUsesWhatItCan(const Case &c, JotwellProcess &app) {
    app.writeIni(c.ini);
    const std::string temp = parentOf(app.folder());
    const auto tempBefore = namesIn(temp), driveBefore = namesIn("C:");
    const auto filesBefore = filesBelow(app.folder());
    ASSERT_TRUE(app.start()) << c.name << ": did not start";

    // Unread, the hotkey stays free; read, it opens the editor.
    EXPECT_EQ(ctrlAltJTaken(c.hotkeyWorks ? 5000 : 1500), c.hotkeyWorks) << c.name;
    HWND editor = openEditor(app, true, c.hotkeyWorks ? 5000 : 1000);
    EXPECT_EQ(editor != nullptr, c.hotkeyWorks) << c.name << ": the hotkey";
    if (!editor)
        editor = openEditor(app);
    ASSERT_NE(editor, nullptr) << c.name << ": the tray icon opens no editor";
    const std::wstring typed = L"設定 ok";
    ASSERT_TRUE(typeInto(editor, typed)) << c.name;
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); }, 10000))
        << c.name << ": not saved: " << messageBoxText(saveErrorBox(app, 0));

    const auto saved = newOrChanged(filesBefore, filesBelow(app.folder()));
    ASSERT_EQ(saved.size(), 1u) << c.name;
    const std::string &name = saved.begin()->first;
    const std::string expectedFolder =
        c.root.empty() || endsWithBackslash(c.root) ? c.root : c.root + "\\";
    EXPECT_EQ(name.substr(0, name.size() - baseName(name).size() - 11), expectedFolder)
        << c.name << ": " << name;
    EXPECT_TRUE(isNoteName(name)) << c.name << ": " << name;
    EXPECT_TRUE(saved.begin()->second == sjisOf(typed)) << c.name;

    EXPECT_TRUE(app.quit()) << c.name << ": it did not end cleanly";
    EXPECT_TRUE(readFileBytes(app.iniPath()) == c.ini) << c.name << ": the file was rewritten";
    EXPECT_EQ(namesIn(temp), tempBefore) << c.name << ": wrote beside its folder";
    EXPECT_EQ(namesIn("C:"), driveBefore) << c.name << ": wrote at the drive's root";
}

// Runs each case in a fresh program folder; the table is built for that folder.
template <typename MakeCases> void runCases(MakeCases makeCases) {
    for (size_t i = 0;; ++i) {
        JotwellProcess app;
        const std::vector<Case> cases = makeCases(app.folder());
        if (i >= cases.size())
            return;
        provesItStartsAndUsesWhatItCan(cases[i], app);
    }
}

TEST(BadSettings, RandomBytes) {
    runCases([](const std::string &folder) {
        const std::string notes = folder + "\\notes";
        std::vector<Case> cases;
        const char *const names[] = {"4 KB of random bytes, seed 1", "seed 2", "seed 3", "seed 4"};
        for (unsigned seed = 1; seed <= 4; ++seed)
            cases.push_back({names[seed - 1], randomBytes(seed, 4096), false, ""});
        cases.push_back({"random junk lines, then a good file", junkLines(5, 50) + validIni(notes),
                         true, "notes"});
        cases.push_back({"a good file, then random bytes", validIni(notes) + randomBytes(6, 4096),
                         true, "notes"});
        return cases;
    });
}

TEST(BadSettings, AOneMegabyteLine) {
    runCases([](const std::string &folder) {
        const std::string notes = folder + "\\notes";
        const std::string mega(1 << 20, '9');
        const std::string longFolder = folderCutInsideACharacter(notes, 1 << 20);
        const std::string cut = wholeCharactersWithin259(longFolder);
        makeParents(folder, cut);
        return std::vector<Case>{
            {"a 1 MB line before the sections",
             std::string(1 << 20, 'z') + "\r\n" + validIni(notes), true, "notes"},
            {"a 1 MB hotkey value",
             "[ホットキー]\r\n表示の切り替え=" + mega + "\r\n" +
                 validIni(notes).substr(validIni(notes).find("[quillomat]")),
             false, "notes"},
            {"a 1 MB folder value", validIni(longFolder), true, cut.substr(folder.size() + 1)},
            {"a 1 MB section name", "[" + mega + "]\r\n" + validIni(notes), true, "notes"},
        };
    });
}

TEST(BadSettings, ShapesOfTheFile) {
    runCases([](const std::string &folder) {
        const std::string notes = folder + "\\notes";
        const std::string memo = folder + "\\メモ";
        std::string noSections = validIni(notes);
        for (const char *header : {"[ホットキー]\r\n", "[quillomat]\r\n"})
            noSections.erase(noSections.find(header), std::strlen(header));
        return std::vector<Case>{
            {"no sections", noSections, false, ""},
            {"an empty file", "", false, ""},
            {"LF-only lines", validIni(notes, "\n"), true, "notes"},
            // Wine's profile reader also ends a line at a lone CR, and decodes a
            // file with a UTF-8 byte-order mark as UTF-8, handing the values
            // over in Shift-JIS.
            {"CR-only lines", validIni(notes, "\r"), true, "notes"},
            {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + utf8Of(validIni(memo)), true, "メモ"},
        };
    });
}

TEST(BadSettings, AFolderValueCutInsideADoubleByteCharacter) {
    runCases([](const std::string &folder) {
        const std::string value = folderCutInsideACharacter(folder + "\\notes", 300);
        const std::string cut = wholeCharactersWithin259(value);
        makeParents(folder, cut);
        EXPECT_EQ(value.size(), 300u);
        EXPECT_EQ(cut.size(), 258u) << "the cut drops the whole 表 at bytes 258 and 259";
        return std::vector<Case>{
            {"300 bytes ending in a lone first byte", validIni(value), true,
             cut.substr(folder.size() + 1)},
        };
    });
}

TEST(BadSettings, HotkeysAtTheEndsOfTheRange) {
    runCases([](const std::string &folder) {
        const std::string notes = folder + "\\notes";
        auto withHotkey = [&](const std::string &value) {
            std::string ini = validIni(notes);
            const std::string key = "表示の切り替え=";
            const size_t at = ini.find(key) + key.size();
            return ini.replace(at, ini.find('\r', at) - at, value);
        };
        return std::vector<Case>{
            {"2147483647", withHotkey("2147483647"), false, "notes"},
            {"-1", withHotkey("-1"), false, "notes"},
            {"2147483648 (one past)", withHotkey("2147483648"), false, "notes"},
            {"-2147483648", withHotkey("-2147483648"), false, "notes"},
        };
    });
}

} // namespace
