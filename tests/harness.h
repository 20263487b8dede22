// The one harness of the Windows tests, the end-to-end tests and the benchmark:
// waiting, folders and files, the user's keys and mouse, other processes' windows,
// and the real jotwell.exe in a folder of its own.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "res/resource.h"

namespace th {

// Every text of Jotwell is Shift-JIS: a run under another ANSI code page would prove nothing,
// unless it is the one a test asks for (JOTWELL_TEST_CODEPAGE).
[[maybe_unused]] inline const bool kCodePage =
    std::to_string(GetACP()) ==
        (std::getenv("JOTWELL_TEST_CODEPAGE") ? std::getenv("JOTWELL_TEST_CODEPAGE") : "932") ||
    (std::fputs("The ANSI code page is not the test's: run with LANG=ja_JP.UTF-8\n", stderr),
     std::exit(2), false);

// Checks the condition until it holds or the time is up, dispatching the calling
// thread's messages (timers, windows of its own) meanwhile.
inline bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 5000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (MSG msg;; Sleep(10)) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return false;
    }
}

// Runs the undo when it goes out of scope, whatever happened before: a test that changes
// what other tests share (a file in the system folder, a hotkey) puts it back.
struct Undo {
    std::function<void()> undo;
    ~Undo() {
        undo();
    }
};

// A fresh folder under %TEMP%, removed with everything in it. Its name holds ア (whose
// second byte is an 'A') and ends in 表 (whose second byte is a backslash's); under another
// code page those bytes are other characters, 表's second a backslash, so it has neither.
struct TempFolder {
    std::string path;
    TempFolder() {
        char temp[MAX_PATH];
        static int count = 0;
        const bool shiftJis = GetACP() == 932;
        do
            path = std::string(temp, GetTempPathA(MAX_PATH, temp)) +
                   (shiftJis ? "jotwell-アプリ-" : "jotwell-") +
                   std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count) +
                   (shiftJis ? "-表" : "");
        while (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) // fails the test at once
            throw std::runtime_error("a temporary folder cannot be made: " + path);
    }
    TempFolder(const TempFolder &) = delete;
    ~TempFolder() {
        remove(path);
    }
    // The folder and everything in it.
    static void remove(const std::string &folder) {
        const std::string from = folder + '\0'; // the list ends in two NULs
        SHFILEOPSTRUCTA remove{nullptr,   FO_DELETE, from.c_str(), nullptr,
                               FOF_NO_UI, FALSE,     nullptr,      nullptr};
        SHFileOperationA(&remove);
    }
    std::string operator/(const std::string &name) const {
        return path + "\\" + name;
    }
};

// "<missing>" when it cannot be opened.
inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

inline void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file and folder below root, relative to it, sorted; folders end in "\".
inline std::vector<std::string> listTree(const std::string &root) {
    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY && name != "." && name != "..") {
            entries.push_back(name + "\\");
            for (const std::string &inner : listTree(root + "\\" + name))
                entries.push_back(name + "\\" + inner);
        } else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            entries.push_back(name);
        }
    }
    FindClose(search);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The running program's folder.
inline std::string ownFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, std::strrchr(path, '\\'));
}

// The folder without the drafts (and their records) that a run cut short left there, which the
// next start would recover: how many there were.
inline int noDrafts(const std::string &folder) {
    int removed = 0;
    for (const std::string &name : listTree(folder))
        removed +=
            name.rfind("~jotwell-draft", 0) == 0 && DeleteFileA((folder + "\\" + name).c_str());
    return removed;
}

// Jotwell's folder of drafts in the user's local application data, there and without drafts,
// and none beside this program, where a draft goes when that folder cannot be had.
inline std::string localDrafts() {
    char base[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
    const std::string local = std::string(base) + "\\Jotwell";
    // A file in its place, which a test that failed put there, goes: no later test would pass.
    if (!(GetFileAttributesA(local.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileA(local.c_str());
    CreateDirectoryA(local.c_str(), nullptr);
    noDrafts(local);
    noDrafts(ownFolder());
    return local;
}

// A program started in the folder (the current one when empty): its process, null if none (and
// always for a program of the machine Wine runs on, Z:\\bin\\ln say: Wine gives no handle to
// wait on, so the caller waits for what it does). A start that Wine fails with
// ERROR_INTERNAL_ERROR (seen once in thousands, right after a process was killed) is tried again.
inline HANDLE startProgram(std::string commandLine, const std::string &folder = "") {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    for (int tries = 1;
         !CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                         folder.empty() ? nullptr : folder.c_str(), &startup, &info);
         ++tries)
        if (GetLastError() != ERROR_INTERNAL_ERROR || tries == 3)
            return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

// A drive letter of Wine's for a folder of the machine it runs on beside this program, as a
// second disk or a USB stick is to Windows: there or not, as the test says; gone at the end.
struct WineDrive {
    const std::string letter, folder;
    explicit WineDrive(char name) : letter(1, name), folder(ownFolder() + "\\drive-" + letter) {
        TempFolder::remove(folder); // what a run cut short left
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    ~WineDrive() {
        there(false);
        TempFolder::remove(folder);
    }
    // True once Windows sees it come or go: Wine gives no process to wait on.
    bool there(bool mapped) const {
        std::string unix = folder.substr(2); // as the machine Wine runs on names it
        std::replace(unix.begin(), unix.end(), '\\', '/');
        startProgram(mapped ? "Z:\\bin\\ln -sfn " + unix + " " + letter + ":"
                            : "Z:\\bin\\rm -f " + letter + ":",
                     "Z:" + std::string(std::getenv("WINEPREFIX")) + "/dosdevices");
        return waitUntil([&] {
            return (GetFileAttributesA((letter + ":\\").c_str()) != INVALID_FILE_ATTRIBUTES) ==
                   mapped;
        });
    }
};

// Keys and mouse through SendInput, as the user gives them.
inline void send(std::vector<INPUT> inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

inline INPUT key(WORD vk, wchar_t unicode, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki = {vk, static_cast<WORD>(unicode ? unicode : MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)),
             flags | (unicode ? KEYEVENTF_UNICODE : 0u), 0, 0};
    return in;
}

// Down in order, up in reverse: each key's down and up go into the middle of those before.
inline void pressKeys(std::initializer_list<WORD> chord) {
    std::vector<INPUT> inputs;
    for (WORD vk : chord)
        inputs.insert(inputs.begin() + inputs.size() / 2,
                      {key(vk, 0, 0), key(vk, 0, KEYEVENTF_KEYUP)});
    send(inputs);
}

// Key-ups for Ctrl, Alt and Shift: Wine now and then leaves one of the last chord down in
// the program's keyboard state (its key-up went to another queue), and the next key would
// arrive with it. Types nothing.
inline void releaseModifiers() {
    send({key(VK_CONTROL, 0, KEYEVENTF_KEYUP), key(VK_MENU, 0, KEYEVENTF_KEYUP),
          key(VK_SHIFT, 0, KEYEVENTF_KEYUP)});
}

// As Unicode key events.
inline void typeText(const std::wstring &text) {
    for (wchar_t c : text)
        send({key(0, c, 0), key(0, c, KEYEVENTF_KEYUP)});
}

inline void mouseMove(int x, int y) {
    // SetCursorPos moves the X pointer along at once; one left behind would put the cursor
    // back where it was with its next event. Done when the cursor stays put.
    ULONGLONG still = 0;
    const auto stays = [&] {
        POINT p{};
        if (GetCursorPos(&p) && (p.x != x || p.y != y) && SetCursorPos(x, y))
            still = GetTickCount64();
        return GetTickCount64() - still >= 50;
    };
    waitUntil(stays, 2000);
}

// The left button pressed and released there, the events carrying their position: one
// without takes the pointer where Wine's X driver last saw it, which can lag behind a cursor
// just moved.
inline void mouseClick(int x, int y) {
    mouseMove(x, y);
    const auto at = [](int pixel, int first, int count) { // Wine maps back by (at * count) >> 16
        return (pixel - GetSystemMetrics(first)) * 65536 / GetSystemMetrics(count) + 1;
    };
    const LONG dx = at(x, SM_XVIRTUALSCREEN, SM_CXVIRTUALSCREEN),
               dy = at(y, SM_YVIRTUALSCREEN, SM_CYVIRTUALSCREEN);
    const DWORD flags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    INPUT down{}, up{};
    down.type = up.type = INPUT_MOUSE;
    down.mi = {dx, dy, 0, flags | MOUSEEVENTF_LEFTDOWN, 0, 0};
    up.mi = {dx, dy, 0, flags | MOUSEEVENTF_LEFTUP, 0, 0};
    send({down, up});
}

// Windows of any process.
inline std::string windowText(HWND window) {
    char text[4096] = "";
    // WM_GETTEXT: GetWindowText does not ask another process's controls. Waited for even when
    // the window's thread has not looked at its messages for seconds (a box shown after the
    // tray's tries), which Wine would take for hung.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 2000, nullptr);
    return text;
}

inline std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The first top-level window of the process with the class (any for null) that also
// matches, waiting for one up to the time given.
inline HWND findWindow(DWORD pid, const char *cls, const std::function<bool(HWND)> &match = {},
                       DWORD timeoutMs = 0) {
    HWND found = nullptr;
    const auto seen = [&] {
        for (HWND w = GetTopWindow(nullptr); w && !found; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid && (!cls || className(w) == cls) && (!match || match(w)))
                found = w;
        }
        return found != nullptr;
    };
    waitUntil(seen, timeoutMs);
    return found;
}

// The process's dialog with this caption once it is shown, waiting up to 5 s; null if none came.
inline HWND findDialog(DWORD pid, const std::string &caption) {
    const auto shown = [&](HWND w) { return IsWindowVisible(w) && windowText(w) == caption; };
    return findWindow(pid, "#32770", shown, 5000);
}

// Waits for a message box of the process, answers it with the button (after whileShown, if
// given) and returns its text; "" when none came in time or before *stop turned true.
inline std::string answerBox(DWORD pid, int button = IDOK, DWORD timeoutMs = 5000,
                             const std::atomic<bool> *stop = nullptr,
                             const std::function<void()> &whileShown = {}) {
    // A message box shows its text in the static 0xFFFF; so do the labels of the settings
    // dialog, which has a hotkey control besides.
    const auto isBox = [](HWND w) {
        return IsWindowVisible(w) && GetDlgItem(w, 0xFFFF) && !GetDlgItem(w, IDC_HOTKEY);
    };
    HWND box = nullptr;
    waitUntil([&] { return (box = findWindow(pid, "#32770", isBox)) || (stop && *stop); },
              timeoutMs);
    const std::string text = box ? windowText(GetDlgItem(box, 0xFFFF)) : "";
    if (box && whileShown)
        whileShown();
    PostMessageA(box, WM_COMMAND, button, 0);
    waitUntil([&] { return !IsWindow(box); }, timeoutMs);
    return text;
}

// Ctrl+Alt+J as the hotkey control stores it.
constexpr int kCtrlAltJ = 0x0600 | 'J';

// An INI file (Shift-JIS) with the input method off, and the folder key only when given.
inline std::string iniText(int hotkey, const char *folder = nullptr) {
    return "[ホットキー]\r\n表示の切り替え=" + std::to_string(hotkey) +
           "\r\n[quillomat]\r\n日本語入力=0\r\n" +
           (folder ? "文書保存フォルダ=" + std::string(folder) + "\r\n" : "");
}

// Wine takes the keyboard's modifiers back from the X server when the X focus moves, and
// cancels an open menu when a late focus change arrives: keys and menus wait until the
// foreground has stayed put a while.
inline void settle() {
    HWND last = GetForegroundWindow();
    ULONGLONG since = GetTickCount64();
    const auto stayed = [&] {
        if (GetForegroundWindow() != last)
            last = GetForegroundWindow(), since = GetTickCount64();
        return GetTickCount64() - since >= 150;
    };
    waitUntil(stayed, 3000);
}

// The jotwell.exe beside the running program, copied as Jotwell.EXE into a fresh folder of
// its own, so that its INI file (jotwell.ini) and its notes land there.
struct Jotwell {
    TempFolder folder;
    HANDLE process = nullptr;
    DWORD pid = 0;
    HWND main = nullptr;
    explicit Jotwell(const std::string &ini = "") {
        localDrafts();
        CopyFileA((ownFolder() + "\\jotwell.exe").c_str(), (folder / "Jotwell.EXE").c_str(), FALSE);
        if (!ini.empty())
            writeFile(folder / "jotwell.ini", ini);
    }
    // Closes its dialogs, quits it, ends it if it will not.
    ~Jotwell() {
        PostMessageA(main, WM_COMMAND, IDM_QUIT, 0);
        // Dialogs and boxes left open by a failed test would keep it from quitting.
        if (process && !waitUntil([&] {
                PostMessageA(findWindow(pid, "#32770"), WM_COMMAND, IDCANCEL, 0);
                return waitForExit(0) != STILL_ACTIVE;
            }))
            TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    // True once the hidden main window exists and the program waits for input.
    bool start() {
        CloseHandle(process); // a start after an end
        if (!(process = startProgram("\"" + folder.path + "\\Jotwell.EXE\"", folder.path)))
            return false;
        pid = GetProcessId(process);
        // The window exists from the start of its creation; the program is ready (tray icon
        // added, hotkey registered) once its loop waits for input.
        waitUntil(
            [&] { return (main = findWindow(pid, "quillomat")) || waitForExit(0) != STILL_ACTIVE; },
            15000);
        return main && WaitForInputIdle(process, 15000) == 0;
    }
    // STILL_ACTIVE when it did not end in time.
    DWORD waitForExit(DWORD timeoutMs = 10000) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process, &code);
        return code;
    }
    // The tray icon's notification as the shell sends it, the cursor where it is.
    void tray(UINT mouseMessage) const {
        SendNotifyMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, mouseMessage);
    }
    // Ctrl+Alt+the key, pressed once the input has settled; true when the editor opened or
    // closed.
    bool hotkey(WORD key = 'J') const {
        settle();
        const bool wasOpen = editor() != nullptr;
        pressKeys({VK_CONTROL, VK_MENU, key});
        return waitUntil([&] { return (editor() != nullptr) != wasOpen; }, 10000);
    }
    // The tray menu, opened at the cursor: its window, or null when none came.
    HWND menu() const {
        settle();
        tray(WM_RBUTTONUP);
        return findWindow(pid, "#32768", IsWindowVisible, 10000);
    }
    // The menu's item chosen by its mnemonic key; true once the menu has gone.
    bool command(char mnemonic) const {
        HWND shown = menu();
        if (!shown)
            return false;
        releaseModifiers(); // else a mnemonic may arrive with the last chord's Ctrl and Alt
        pressKeys({static_cast<WORD>(mnemonic)});
        return waitUntil([&] { return !IsWindowVisible(shown); }, 10000);
    }
    // The visible popup editor, or null.
    HWND editor() const {
        return findWindow(pid, "JotwellPane", IsWindowVisible);
    }
};

} // namespace th
