// The settings file: where it lies and how each key reads and writes. The file
// follows the running executable, so every case runs a copy of ini_probe.exe
// (built beside this program) in a fresh folder under a chosen name.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ownFolder() {
    char path[MAX_PATH * 2] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.rfind('\\'));
}

std::string asciiLower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void writeFile(const std::string &path, const std::string &bytes) {
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// What the probe printed: path, found, hotkey, ime, folder.
using Report = std::map<std::string, std::string>;

// A copy of the probe at folder\name below a fresh temporary folder; all of it
// goes at the end.
class Probe {
  public:
    Probe(const std::string &folder, const std::string &name) {
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        root_ = std::string(temp) + "jotwell-ini-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter_++);
        e2e::removeTree(root_);
        CreateDirectoryA(root_.c_str(), nullptr);
        dir_ = folder.empty() ? root_ : root_ + "\\" + folder;
        CreateDirectoryA(dir_.c_str(), nullptr);
        exe_ = dir_ + "\\" + name;
        copied_ = CopyFileA((ownFolder() + "\\ini_probe.exe").c_str(), exe_.c_str(), FALSE) != 0;
    }
    ~Probe() {
        e2e::removeTree(root_);
    }
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    bool copied() const {
        return copied_;
    }
    const std::string &root() const {
        return root_;
    }
    const std::string &dir() const {
        return dir_;
    }

    // Runs the probe and parses its report; empty when it did not run.
    Report run(bool save = false) const {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            return {};
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = nullptr;
        std::string commandLine = "\"" + exe_ + "\"" + (save ? " save" : "");
        PROCESS_INFORMATION process{};
        const bool started =
            CreateProcessA(exe_.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, dir_.c_str(), &startup, &process) != 0;
        CloseHandle(writeEnd);
        std::string output;
        if (started) {
            char buffer[1024];
            DWORD got = 0;
            while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
                output.append(buffer, got);
            WaitForSingleObject(process.hProcess, 30000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        CloseHandle(readEnd);
        Report report;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                report[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return report;
    }

  private:
    static inline int counter_ = 0;
    std::string root_, dir_, exe_;
    bool copied_ = false;
};

std::string iniFile(const char *hotkey, const char *ime, const char *folder) {
    std::string text = "[ホットキー]\r\n";
    if (hotkey)
        text += std::string("表示の切り替え=") + hotkey + "\r\n";
    text += "[quillomat]\r\n";
    if (ime)
        text += std::string("日本語入力=") + ime + "\r\n";
    if (folder)
        text += std::string("文書保存フォルダ=") + folder + "\r\n";
    return text;
}

// The file's lines, blank ones left out.
std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            out.push_back(line);
    }
    return out;
}

TEST(SettingsFile, WithoutAFileEveryFieldHasItsDefault) {
    Probe probe("", "memo.exe");
    ASSERT_TRUE(probe.copied());
    const Report r = probe.run();
    ASSERT_EQ(r.count("found"), 1u) << "the probe did not run";
    EXPECT_EQ(r.at("found"), "1");
    EXPECT_EQ(r.at("hotkey"), "0");
    EXPECT_EQ(r.at("ime"), "1");
    EXPECT_EQ(r.at("folder"), probe.dir()) << "the executable's folder, no trailing backslash";
    EXPECT_EQ(GetFileAttributesA((probe.dir() + "\\memo.ini").c_str()), INVALID_FILE_ATTRIBUTES)
        << "loading creates no file";
}

TEST(SettingsFile, EachKeyReadsAsTheTableSays) {
    Probe probe("", "memo.exe");
    ASSERT_TRUE(probe.copied());
    const std::string longFolder = "C:\\" + std::string(296, 'a');           // 299 bytes
    const std::string splitFolder = "C:\\" + std::string(255, 'b') + "アイ"; // ア at 258-259
    const std::string wholeFolder = "C:\\" + std::string(254, 'c') + "アイ"; // ア at 257-258
    struct Case {
        const char *name;
        std::string ini;
        const char *hotkey, *ime;
        std::string folder; // "<dir>" stands for the executable's folder
    } const cases[] = {
        {"Ctrl+Alt+A as stored", iniFile("1601", "1", "C:\\Notes"), "1601", "1", "C:\\Notes"},
        {"leading digits", iniFile("12abc", "0", ""), "12", "0", ""},
        {"no digits", iniFile("abc", nullptr, nullptr), "0", "1", "<dir>"},
        {"negative stays", iniFile("-5", "2", nullptr), "-5", "1", "<dir>"},
        {"empty value", iniFile("", "", nullptr), "0", "1", "<dir>"},
        {"ime -1", iniFile(nullptr, "-1", nullptr), "0", "1", "<dir>"},
        {"ime x", iniFile(nullptr, "x", nullptr), "0", "1", "<dir>"},
        {"ime 0 alone", iniFile(nullptr, "0", nullptr), "0", "0", "<dir>"},
        {"Japanese folder byte for byte", iniFile(nullptr, nullptr, "D:\\メモ\\表ソ"), "0", "1",
         "D:\\メモ\\表ソ"},
        {"folder over 259 bytes is cut", iniFile(nullptr, nullptr, longFolder.c_str()), "0", "1",
         longFolder.substr(0, 259)},
        {"a cut never splits a character", iniFile(nullptr, nullptr, splitFolder.c_str()), "0", "1",
         splitFolder.substr(0, 258)},
        {"a character ending at 259 stays", iniFile(nullptr, nullptr, wholeFolder.c_str()), "0",
         "1", wholeFolder.substr(0, 259)},
        {"other sections are not read",
         "[quillomat]\r\n表示の切り替え=77\r\n[ホットキー]\r\n日本語入力=0\r\n", "0", "1", "<dir>"},
    };
    for (const Case &c : cases) {
        writeFile(probe.dir() + "\\memo.ini", c.ini);
        const Report r = probe.run();
        ASSERT_EQ(r.count("hotkey"), 1u) << c.name << ": the probe did not run";
        EXPECT_EQ(r.at("hotkey"), c.hotkey) << c.name;
        EXPECT_EQ(r.at("ime"), c.ime) << c.name;
        const std::string folder = c.folder == "<dir>" ? probe.dir() : c.folder;
        EXPECT_EQ(e2e::hexBytes(r.at("folder")), e2e::hexBytes(folder)) << c.name;
    }
}

TEST(SettingsFile, PathIsTheExecutablesWithIniLowerCased) {
    struct Case {
        const char *name, *folder, *exe, *ini;
        const char *defaultFolderTail; // the folder's own name in the default
    } const cases[] = {
        {"extension replaced, lower-cased", "Tools", "Memo.EXE", "tools\\memo.ini", "Tools"},
        {"no extension: appended", "v1.2", "MEMO", "v1.2\\memo.ini", "v1.2"},
        {"only the last dot", "x", "Memo.Tool.exe", "x\\memo.tool.ini", "x"},
        {"ア keeps its second byte 0x41", "アプリ", "MEMO.EXE", "アプリ\\memo.ini", "アプリ"},
        {"表 ends in 0x5C, not a backslash", "表", "MEMO.EXE", "表\\memo.ini", "表"},
    };
    for (const Case &c : cases) {
        Probe probe(c.folder, c.exe);
        ASSERT_TRUE(probe.copied()) << c.name;
        const std::string expected = asciiLower(probe.root()) + "\\" + c.ini;
        // The file at that path is the one read.
        writeFile(expected, iniFile("77", nullptr, nullptr));
        const Report r = probe.run();
        ASSERT_EQ(r.count("path"), 1u) << c.name << ": the probe did not run";
        EXPECT_EQ(e2e::hexBytes(r.at("path")), e2e::hexBytes(expected)) << c.name;
        EXPECT_EQ(r.at("hotkey"), "77") << c.name;
        EXPECT_EQ(e2e::hexBytes(r.at("folder")),
                  e2e::hexBytes(probe.root() + "\\" + c.defaultFolderTail))
            << c.name;
    }
}

TEST(SettingsFile, SaveWritesAllThreeKeysInOrderAndAgainTheSame) {
    Probe probe("", "memo.exe");
    ASSERT_TRUE(probe.copied());
    const std::string ini = probe.dir() + "\\memo.ini";
    ASSERT_EQ(probe.run(true).count("path"), 1u) << "the probe did not run";
    const std::string first = e2e::readFileBytes(ini);
    const std::vector<std::string> expected = {
        "[ホットキー]",
        "表示の切り替え=0",
        "[quillomat]",
        "日本語入力=1",
        "文書保存フォルダ=" + probe.dir(),
    };
    EXPECT_EQ(lines(first), expected);
    probe.run(true);
    EXPECT_EQ(e2e::hexBytes(e2e::readFileBytes(ini)), e2e::hexBytes(first))
        << "a second save changes nothing";
}

TEST(SettingsFile, SaveWritesBackWhatWasReadNormalised) {
    Probe probe("", "memo.exe");
    ASSERT_TRUE(probe.copied());
    const std::string ini = probe.dir() + "\\memo.ini";
    struct Case {
        const char *name, *hotkey, *ime, *folder;
        const char *savedHotkey, *savedIme, *savedFolder;
    } const cases[] = {
        {"ime 2 saved as 1", "1601", "2", "C:\\a", "1601", "1", "C:\\a"},
        {"ime -1 saved as 1", "1601", "-1", "C:\\a", "1601", "1", "C:\\a"},
        {"ime 0 saved as 0", "12abc", "0", "", "12", "0", ""},
        {"negative hotkey stays", "-5", "x", "D:\\メモ", "-5", "1", "D:\\メモ"},
    };
    for (const Case &c : cases) {
        writeFile(ini, "; kept\r\n" + iniFile(c.hotkey, c.ime, c.folder));
        ASSERT_EQ(probe.run(true).count("path"), 1u) << c.name << ": the probe did not run";
        char value[300];
        GetPrivateProfileStringA("ホットキー", "表示の切り替え", "?", value, sizeof value,
                                 ini.c_str());
        EXPECT_STREQ(value, c.savedHotkey) << c.name;
        GetPrivateProfileStringA("quillomat", "日本語入力", "?", value, sizeof value, ini.c_str());
        EXPECT_STREQ(value, c.savedIme) << c.name;
        GetPrivateProfileStringA("quillomat", "文書保存フォルダ", "?", value, sizeof value,
                                 ini.c_str());
        EXPECT_EQ(e2e::hexBytes(value), e2e::hexBytes(c.savedFolder)) << c.name;
        EXPECT_EQ(e2e::readFileBytes(ini).rfind("; kept\r\n", 0), 0u)
            << c.name << ": comment survives";
    }
}

} // namespace
