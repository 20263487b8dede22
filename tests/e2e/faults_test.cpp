// Saving under faults, end to end: the folder cannot take the note (its root
// is a file, its parent is missing, the month or day folder's name is a
// file's, the disk is full), or a read-only file already holds the note's
// name. The text stays in the editor and the user is told once; nothing, cut
// or whole, is left under a note's name; once the folder is fixed the next
// close saves the note whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/note_driving.h"

using namespace e2e;
using namespace drive;

namespace {

struct Fault {
    const char *name;
    std::string root; // the document folder
    std::function<void()> breakIt, fixIt;
    std::string pasted; // pasted from the clipboard before typing ("" for none)
    std::wstring typed; // typed after it
};

// Opens the editor in a fresh Jotwell whose notes go to fault.root inside world,
// and proves the fault's whole story; failures name the fault.
void provesKeptThenSaved(const Fault &fault, const std::string &world) {
    const std::string text = fault.pasted + sjisOf(fault.typed);
    fault.breakIt();
    JotwellProcess app;
    app.writeIni(iniText(0, false, fault.root.c_str()));
    ASSERT_TRUE(app.start()) << fault.name;
    const auto before = filesBelow(world);

    HWND editor = openEditor(app);
    ASSERT_NE(editor, nullptr) << fault.name;
    if (!fault.pasted.empty()) {
        ASSERT_TRUE(pasteInto(editor, fault.pasted)) << fault.name;
    }
    ASSERT_TRUE(typeInto(editor, fault.typed)) << fault.name;
    pressKey(VK_ESCAPE);

    // Told: one box naming the place below the root that failed.
    HWND box = saveErrorBox(app, 10000);
    ASSERT_NE(box, nullptr) << fault.name << ": no message";
    const std::string message = messageBoxText(box);
    const std::string head = "メモを保存できませんでした。\r\n\r\n" + fault.root;
    EXPECT_EQ(message.substr(0, head.size()), head) << fault.name << ": " << message;
    EXPECT_NE(message.find("フォルダを確認してから、もう一度閉じてください。"), std::string::npos)
        << fault.name << ": " << message;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); })) << fault.name;
    Sleep(300);
    EXPECT_EQ(app.findWindow("#32770"), nullptr) << fault.name << ": one box only";

    // Kept: the editor is open with every byte; nothing new on disk.
    ASSERT_TRUE(IsWindow(editor)) << fault.name;
    EXPECT_TRUE(editorText(editor) == text) << fault.name << ": the editor lost text";
    for (const auto &file : newOrChanged(before, filesBelow(world)))
        ADD_FAILURE() << fault.name << ": left " << file.first << " (" << file.second.size()
                      << " bytes)";

    // Fixed: the next close saves the whole note and nothing else.
    fault.fixIt();
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == editor; })) << fault.name;
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); }, 10000)) << fault.name;
    EXPECT_EQ(app.findWindow("#32770"), nullptr) << fault.name << ": no message once fixed";
    const auto saved = newOrChanged(before, filesBelow(world));
    ASSERT_EQ(saved.size(), 1u) << fault.name;
    const std::string &name = saved.begin()->first;
    const std::string rootName = fault.root.substr(world.size() + 1);
    EXPECT_EQ(name.compare(0, rootName.size() + 1, rootName + "\\"), 0)
        << fault.name << ": " << name;
    EXPECT_TRUE(isNoteName(name)) << fault.name << ": " << name;
    EXPECT_TRUE(saved.begin()->second == text)
        << fault.name << ": saved " << saved.begin()->second.size() << " of " << text.size()
        << " bytes";
    EXPECT_TRUE(app.quit()) << fault.name;
}

// Today's month and day folder names below a root, as the store makes them.
std::string todayBelow(const std::string &root) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return root + "\\" + dayFolderOf(now);
}

// The faults of a folder that cannot be made, each in a world of its own.
std::vector<Fault> folderFaults(const TempFolder &world) {
    const std::string notes = world / "notes";
    const std::string dayPath = todayBelow(notes);
    const std::string monthPath = dayPath.substr(0, dayPath.find_last_of('\\'));
    const std::string missing = world / "missing";
    return {
        {"the root is a file", notes, [=] { writeFileBytes(notes, "user's file"); },
         [=] { DeleteFileA(notes.c_str()); }, "", L"表示 kept\n"},
        {"the root's parent is missing", missing + "\\notes", [] {},
         [=] { CreateDirectoryA(missing.c_str(), nullptr); }, "", L"ソ 親\nなし"},
        {"the month folder's name is a file's", notes,
         [=] {
             CreateDirectoryA(notes.c_str(), nullptr);
             writeFileBytes(monthPath, "month");
         },
         [=] { DeleteFileA(monthPath.c_str()); }, "", L"月 month"},
        {"the day folder's name is a file's", notes,
         [=] {
             CreateDirectoryA(notes.c_str(), nullptr);
             CreateDirectoryA(monthPath.c_str(), nullptr);
             writeFileBytes(dayPath, "day");
         },
         [=] { DeleteFileA(dayPath.c_str()); }, "", L"日 day\n"},
    };
}

TEST(Faults, AFolderThatCannotBeMadeKeepsTheTextUntilItIsFixed) {
    for (size_t i = 0;; ++i) {
        TempFolder world;
        const std::vector<Fault> faults = folderFaults(world);
        if (i >= faults.size())
            break;
        provesKeptThenSaved(faults[i], world.path());
        if (HasFatalFailure())
            return;
    }
}

// The small drive that tests/e2e/small_drive.sh mounts as Q: for this build,
// or why there is none.
std::string smallDriveProblem() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string bin(exe);
    bin = bin.substr(0, bin.find_last_of('\\'));
    const std::string status =
        readFileBytes(bin.substr(0, bin.find_last_of('\\')) + "\\small_drive\\status");
    if (status.empty())
        return "the small drive was not set up: run the test through CTest, whose fixture "
               "small_drive mounts it (tests/e2e/small_drive.sh)";
    if (status.compare(0, 5, "ready") != 0)
        return "no small drive on this machine: " + status;
    ULARGE_INTEGER available, total, free;
    if (!fileExistsAt("Q:\\jotwell-small-drive") ||
        !GetDiskFreeSpaceExA("Q:\\", &available, &total, &free) || total.QuadPart > 16u << 20)
        return "Q: is not the small drive the fixture reported ready";
    return "";
}

// Fills the drive of path, then frees the last bytes of the filler: what is
// left is less than a page or two of note.
bool fillDriveLeaving(const std::string &filler, LONGLONG leave) {
    HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static char block[4096];
    DWORD written = 0;
    LONGLONG size = 0;
    while (WriteFile(file, block, sizeof block, &written, nullptr) && written > 0)
        size += written;
    LARGE_INTEGER end;
    end.QuadPart = size > leave ? size - leave : 0;
    const bool done = GetLastError() == ERROR_DISK_FULL &&
                      SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done;
}

// A 64 KB note of mixed Japanese and ASCII lines.
std::string longNote() {
    std::string text;
    for (int line = 0; text.size() < 65536 - 64; ++line)
        text += "行 " + std::to_string(line) + " 表示ソ ﾊﾝｶｸ mixed text\r\n";
    return text;
}

TEST(Faults, AFullDiskKeepsTheTextAndLeavesNoCutNote) {
    const std::string problem = smallDriveProblem();
    if (!problem.empty())
        GTEST_SKIP() << problem;
    const std::string notes = "Q:\\notes", filler = "Q:\\filler";
    // The drive outlives the test program: start from an empty one.
    for (const auto &file : filesBelow("Q:\\"))
        if (file.first != "jotwell-small-drive")
            DeleteFileA(("Q:\\" + file.first).c_str());
    const Fault fault{"the disk is full",
                      notes,
                      [&] { ASSERT_TRUE(fillDriveLeaving(filler, 16384)) << "filling Q:"; },
                      [&] { DeleteFileA(filler.c_str()); },
                      longNote(),
                      L"末尾 end"};
    provesKeptThenSaved(fault, "Q:");
    for (const auto &file : filesBelow("Q:\\"))
        if (file.first != "jotwell-small-drive")
            DeleteFileA(("Q:\\" + file.first).c_str());
}

// Local time now plus some seconds.
SYSTEMTIME localTimeIn(int seconds) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME t;
    SystemTimeToFileTime(&now, &t);
    ULARGE_INTEGER u{{t.dwLowDateTime, t.dwHighDateTime}};
    u.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
    t = {u.LowPart, u.HighPart};
    SYSTEMTIME later;
    FileTimeToSystemTime(&t, &later);
    return later;
}

TEST(Faults, ANameHeldByAReadOnlyFileIsNeverTouched) {
    TempFolder world;
    const std::string notes = world / "notes";
    JotwellProcess app;
    app.writeIni(iniText(0, false, notes.c_str()));
    ASSERT_TRUE(app.start());
    HWND editor = openEditor(app);
    ASSERT_NE(editor, nullptr);
    const std::wstring typed = L"読み取り専用 read-only\n";
    ASSERT_TRUE(typeInto(editor, typed));

    // Every name the note could take in the next seconds, its own and its
    // temporary one, is a read-only file of the user's.
    CreateDirectoryA(notes.c_str(), nullptr);
    std::vector<std::string> planted;
    for (int s = 0; s < 20; ++s) {
        const SYSTEMTIME t = localTimeIn(s);
        const std::string day = notes + "\\" + dayFolderOf(t);
        CreateDirectoryA(day.substr(0, day.find_last_of('\\')).c_str(), nullptr);
        CreateDirectoryA(day.c_str(), nullptr);
        char hhmmss[8];
        wsprintfA(hhmmss, "%02d%02d%02d", t.wHour, t.wMinute, t.wSecond);
        for (const std::string &name :
             {std::string(hhmmss) + ".txt", "~" + std::string(hhmmss) + ".tmp"}) {
            const std::string path = day + "\\" + name;
            writeFileBytes(path, "user's own " + name);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
            planted.push_back(path);
        }
    }
    const auto before = filesBelow(world.path());
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); }, 10000)) << "the save failed";
    EXPECT_EQ(app.findWindow("#32770"), nullptr) << "nothing to tell";

    const auto saved = newOrChanged(before, filesBelow(world.path()));
    ASSERT_EQ(saved.size(), 1u);
    const std::string &name = saved.begin()->first;
    EXPECT_TRUE(std::regex_match(baseName(name), std::regex(R"(\d{6}_2\.txt)"))) << name;
    EXPECT_TRUE(saved.begin()->second == sjisOf(typed)) << name;
    for (const std::string &path : planted) {
        EXPECT_EQ(readFileBytes(path), "user's own " + baseName(path)) << path;
        EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) << path;
    }
    EXPECT_TRUE(app.quit());
}

} // namespace
