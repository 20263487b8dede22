// What other parties can hand Jotwell, end to end: libraries planted beside
// it and in its current folder, document folders that are not folders,
// messages from other processes, hostile command lines. None of it is
// loaded, run, or able to make the program misbehave.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/note_driving.h"

using namespace e2e;
using namespace drive;

namespace {

std::string testFolder() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    const std::string path(exe);
    return path.substr(0, path.find_last_of('\\'));
}

// A copy of jotwell.exe started with a command line and current folder of the
// test's choosing; quit (or ended) when it goes out of scope.
class Started {
  public:
    Started(const std::string &exe, const std::string &commandLine, const std::string &current) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string line = commandLine;
        if (CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                           current.c_str(), &startup, &info_))
            CloseHandle(info_.hThread);
        else
            info_ = {};
    }
    ~Started() {
        if (!info_.hProcess)
            return;
        if (running()) {
            if (HWND main = mainWindow())
                PostMessageA(main, WM_COMMAND, IDM_QUIT, 0);
            if (WaitForSingleObject(info_.hProcess, 5000) != WAIT_OBJECT_0)
                TerminateProcess(info_.hProcess, 99);
        }
        CloseHandle(info_.hProcess);
    }
    Started(const Started &) = delete;
    Started &operator=(const Started &) = delete;
    DWORD pid() const {
        return info_.dwProcessId;
    }
    HANDLE process() const {
        return info_.hProcess;
    }
    bool running() const {
        return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
    }
    HWND mainWindow() const {
        return findWindowOfProcess(info_.dwProcessId, "quillomat", "quillomat");
    }
    HWND waitForMainWindow() const {
        HWND main = nullptr;
        waitUntil([&] { return (main = mainWindow()) != nullptr || !running(); }, 15000);
        return main;
    }
    DWORD exitCode(DWORD timeoutMs) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

  private:
    PROCESS_INFORMATION info_{};
};

struct Module {
    std::string path;
    const BYTE *base;
};

std::vector<Module> modulesOf(DWORD pid) {
    std::vector<Module> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
        modules.push_back({entry.szExePath, entry.modBaseAddr});
    CloseHandle(snapshot);
    return modules;
}

std::string lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The headers the loader mapped for a module, as bytes to compare with a file's.
std::string mappedHeaders(HANDLE process, const BYTE *base) {
    std::string bytes(1024, '\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, base, &bytes[0], bytes.size(), &read))
        return "";
    return bytes.substr(0, read);
}

// A module is loaded from a folder when the image mapped is that folder's file
// (a system that loads its own copy may still report the name it searched for).
std::vector<std::string> loadedFrom(const Started &app, const std::set<std::string> &folders) {
    std::vector<std::string> found;
    for (const Module &m : modulesOf(app.pid())) {
        const std::string folder = lower(m.path.substr(0, m.path.find_last_of('\\')));
        if (!folders.count(folder) || lower(baseName(m.path)) == "jotwell.exe")
            continue;
        if (lower(baseName(m.path)) == "rsrc32.dll" ||
            mappedHeaders(app.process(), m.base) == readFileBytes(m.path).substr(0, 1024))
            found.push_back(m.path);
    }
    return found;
}

TEST(Security, NoLibraryIsLoadedFromTheProgramsOrTheCurrentFolder) {
    const std::string decoy = testFolder() + "\\fake_rsrc32.dll";
    ASSERT_TRUE(fileExistsAt(decoy)) << "build the tests' stand-in library first: " << decoy;
    JotwellProcess app; // for its folder and copy of the program
    TempFolder current;
    app.writeIni(iniText(0, false, ""));

    // Every library a plain run maps, and names programs commonly look for.
    std::set<std::string> names{"rsrc32.dll",  "version.dll",  "uxtheme.dll", "dwmapi.dll",
                                "winmm.dll",   "propsys.dll",  "profapi.dll", "cryptbase.dll",
                                "msimg32.dll", "comctl32.dll", "imm32.dll",   "shell32.dll"};
    {
        Started plain(app.exePath(), "\"" + app.exePath() + "\"", app.folder());
        ASSERT_NE(plain.waitForMainWindow(), nullptr);
        for (const Module &m : modulesOf(plain.pid()))
            if (lower(baseName(m.path)) != "jotwell.exe")
                names.insert(lower(baseName(m.path)));
    }
    for (const std::string &folder : {app.folder(), current.path()})
        for (const std::string &name : names)
            ASSERT_TRUE(CopyFileA(decoy.c_str(), (folder + "\\" + name).c_str(), FALSE)) << name;

    Started run(app.exePath(), "\"" + app.exePath() + "\"", current.path());
    HWND main = run.waitForMainWindow();
    ASSERT_NE(main, nullptr) << "it did not start beside " << names.size() << " planted libraries";
    const std::set<std::string> currentFolder{lower(current.path())};
    const std::set<std::string> programFolder{lower(app.folder())};
    EXPECT_EQ(loadedFrom(run, currentFolder), std::vector<std::string>{}) << "at start";
    // What the system's loader maps for the static imports' own imports before
    // Jotwell's first instruction is the system's search order, not Jotwell's:
    // Wine 8 takes a planted shcore.dll for its shell32 there (docs/security.md).
    // Everything Jotwell loads itself comes after, and none of it may come from
    // the program's folder.
    const std::vector<std::string> byTheLoader = loadedFrom(run, programFolder);
    for (const std::string &path : byTheLoader)
        EXPECT_NE(lower(baseName(path)), "rsrc32.dll");
    std::printf("mapped from the program's folder by the system's loader at start:");
    for (const std::string &path : byTheLoader)
        std::printf(" %s", baseName(path).c_str());
    std::printf("\n");
    auto expectNothingMore = [&](const char *when) {
        EXPECT_EQ(loadedFrom(run, currentFolder), std::vector<std::string>{}) << when;
        EXPECT_EQ(loadedFrom(run, programFolder), byTheLoader) << when;
    };

    // The About box looks for rsrc32.dll: the planted one would report 100 %.
    PostMessageA(main, WM_COMMAND, IDM_ABOUT, 0);
    HWND about = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        return (about = findWindowOfProcess(run.pid(), "#32770", "Jotwell について")) != nullptr;
    }));
    Sleep(500);
    EXPECT_EQ(windowText(GetDlgItem(about, IDC_ABOUT_RESOURCES)), "") << "rsrc32.dll was used";
    expectNothingMore("with the About box open");
    PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    PostMessageA(main, WM_COMMAND, IDM_SETTINGS, 0);
    HWND settings = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] { return (settings = findWindowOfProcess(run.pid(), "#32770", "設定")) != nullptr; }));
    expectNothingMore("with the settings open");
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(settings); }));

    mouseMove(500, 400);
    SendNotifyMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONUP);
    HWND editor = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        editor = findWindowOfProcess(run.pid(), "JotwellPane");
        return editor && GetForegroundWindow() == editor;
    }));
    ASSERT_TRUE(typeInto(editor, L"日本語 ok"));
    expectNothingMore("with the editor open");
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); }));
    EXPECT_EQ(run.running(), true);
}

// Processes now running, by id.
std::set<DWORD> processIds() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        ids.insert(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// Ends what the shell started for a test, the way Wine wants it: by taskkill on
// the same desktop (ending a Wine process by its Linux id can take the desktop).
void endProcesses(const std::set<DWORD> &ids) {
    for (DWORD id : ids) {
        std::string line = "taskkill /f /pid " + std::to_string(id);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info)) {
            WaitForSingleObject(info.hProcess, 10000);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
}

std::set<DWORD> newProcesses(const std::set<DWORD> &before, DWORD except) {
    std::set<DWORD> started;
    for (DWORD id : processIds())
        if (!before.count(id) && id != except)
            started.insert(id);
    return started;
}

TEST(Security, OpenFolderOpensOnlyAFolder) {
    TempFolder world;
    const std::string marker = world / "ran.txt";
    const std::string script = "@echo ran>\"" + marker + "\"\r\n";
    writeFileBytes(world / "run.bat", script);
    writeFileBytes(world / "run.cmd", script);
    CreateDirectoryA((world / "folder.bat").c_str(), nullptr);
    CreateDirectoryA((world / "メモ 表").c_str(), nullptr);
    struct Case {
        const char *name;
        std::string folder;
        bool opens;
    } const cases[] = {
        {"a batch file", world / "run.bat", false},
        {"a command script", world / "run.cmd", false},
        {"a batch file reached through ..", world / "folder.bat\\..\\run.bat", false},
        {"a program", "C:\\windows\\system32\\cmd.exe", false},
        {"an address", "http://127.0.0.1:9/", false},
        {"a folder that does not exist", world / "missing", false},
        {"a folder named like a batch file", world / "folder.bat", true},
        {"a folder with a Japanese name", world / "メモ 表", true},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        app.writeIni(iniText(0, false, c.folder.c_str()));
        ASSERT_TRUE(app.start()) << c.name;
        const std::set<DWORD> before = processIds();
        PostMessageA(app.mainWindow(), WM_COMMAND, IDM_OPENFOLDER, 0);
        std::set<DWORD> started;
        waitUntil([&] { return !(started = newProcesses(before, app.pid())).empty(); },
                  c.opens ? 10000 : 3000);
        Sleep(500);
        started = newProcesses(before, app.pid());
        EXPECT_EQ(!started.empty(), c.opens) << c.name << ": the shell was started";
        EXPECT_FALSE(fileExistsAt(marker)) << c.name << ": a script ran";
        EXPECT_TRUE(app.running()) << c.name;
        endProcesses(started);
        DeleteFileA(marker.c_str());
        EXPECT_TRUE(app.quit()) << c.name;
    }
}

TEST(Security, MessagesFromOtherProcessesDoNoHarm) {
    JotwellProcess app;
    app.writeIni(iniText(0, false, ""));
    ASSERT_TRUE(app.start());
    HWND main = app.mainWindow();
    const std::set<UINT> commands{IDM_QUIT,  IDM_ABOUT,    IDM_CANCEL,
                                  IDM_POPUP, IDM_SETTINGS, IDM_OPENFOLDER};
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };

    // A timer message naming a callback address in Jotwell: a classic way to
    // make another process run code, which the system must refuse.
    for (LPARAM callback : {LPARAM(0x41414141), LPARAM(0x7FFE0000), LPARAM(-1)})
        for (WPARAM id : {WPARAM(TRAY_WATCHDOG_ID), WPARAM(7)})
            PostMessageA(main, WM_TIMER, id, callback);
    // Commands that are not Jotwell's, as menus, accelerators, controls and
    // hotkeys; tray notifications that are not clicks on its icon.
    for (int i = 0; i < 3000; ++i) {
        const WORD id = static_cast<WORD>(next() >> 8);
        if (commands.count(id))
            continue;
        const WORD high = static_cast<WORD>(next() % 3);
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(id, high), static_cast<LPARAM>(next()));
        PostMessageA(main, WM_HOTKEY, id, static_cast<LPARAM>(next()));
        const UINT mouse = WM_MOUSEFIRST + next() % (WM_MOUSELAST - WM_MOUSEFIRST + 1);
        if (mouse != WM_LBUTTONUP && mouse != WM_RBUTTONUP)
            PostMessageA(main, WM_TRAYNOTIFY, next() % 4, mouse);
        PostMessageA(main, WM_TRAYNOTIFY, 2 + next() % 100, WM_LBUTTONUP);
        PostMessageA(main, WM_USER + next() % 0x7C00, next(), next());
    }
    // A long title for the hidden window, and data it does not take.
    const std::string longTitle(65536, 'x');
    SendMessageA(main, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longTitle.c_str()));
    const char junk[] = "\x81\x40not a command";
    COPYDATASTRUCT data{1, sizeof junk, const_cast<char *>(junk)};
    SendMessageA(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));

    Sleep(2000);
    ASSERT_TRUE(app.running()) << "it crashed";
    EXPECT_TRUE(app.visibleWindows().empty()) << "a window opened";
    EXPECT_TRUE(app.notes().empty()) << "a file was written";
    // And it still works.
    HWND editor = openEditor(app);
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(typeInto(editor, L"まだ動く"));
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); }));
    ASSERT_EQ(app.notes().size(), 1u);
    EXPECT_EQ(readFileBytes(app.folder() + "\\" + app.notes()[0]), sjisOf(L"まだ動く"));
    EXPECT_TRUE(app.quit());
}

TEST(Security, AnyCommandLineIsOnlyTraced) {
    JotwellProcess app;
    app.writeIni(iniText(0, false, ""));
    const std::string exe = "\"" + app.exePath() + "\"";
    const std::string lines[] = {
        exe + " /?",
        exe + " --settings=C:\\ -quit /uninstall",
        exe + " \"unterminated",
        exe + " " + std::string(30000, '\\') + "\"",
        exe + " " + std::string(2000, '"'),
        exe + " 表\\ \"ソ\\\" \x81",
        "",
    };
    for (const std::string &line : lines) {
        const std::string shown = line.substr(0, 60);
        Started run(app.exePath(), line, app.folder());
        ASSERT_NE(run.waitForMainWindow(), nullptr) << shown;
        ASSERT_TRUE(run.running()) << shown;
        EXPECT_TRUE(app.notes().empty()) << shown;
        PostMessageA(run.mainWindow(), WM_COMMAND, IDM_QUIT, 0);
        EXPECT_EQ(run.exitCode(10000), 0u) << shown;
        EXPECT_EQ(readFileBytes(app.iniPath()), iniText(0, false, "")) << shown;
    }
}

} // namespace
