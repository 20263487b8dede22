#include "tests/harness.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <cstring>
#include <iterator>

#include "res/resource.h"

namespace th {

// Every text of Jotwell is Shift-JIS: a run under another ANSI code page would prove nothing,
// unless it is the one a test asks for (JOTWELL_TEST_CODEPAGE).
[[maybe_unused]] static const bool kCodePage =
    GetACP() == (std::getenv("JOTWELL_TEST_CODEPAGE")
                     ? std::strtoul(std::getenv("JOTWELL_TEST_CODEPAGE"), nullptr, 10)
                     : 932) ||
    (std::fputs("The ANSI code page is not the test's: run with LANG=ja_JP.UTF-8\n", stderr),
     std::exit(2), false);

bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs) {
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

TempFolder::TempFolder() {
    char temp[MAX_PATH];
    static int count = 0;
    // Under another code page those bytes are other characters, 表's second a backslash.
    const bool shiftJis = GetACP() == 932;
    do
        path = std::string(temp, GetTempPathA(MAX_PATH, temp)) +
               (shiftJis ? "jotwell-アプリ-" : "jotwell-") + std::to_string(GetCurrentProcessId()) +
               "-" + std::to_string(++count) + (shiftJis ? "-表" : "");
    while (!CreateDirectoryA(path.c_str(), nullptr));
}

TempFolder::~TempFolder() {
    const std::string from = path + '\0'; // the list ends in two NULs
    SHFILEOPSTRUCTA remove{nullptr,   FO_DELETE, from.c_str(), nullptr,
                           FOF_NO_UI, FALSE,     nullptr,      nullptr};
    SHFileOperationA(&remove);
}

std::string TempFolder::operator/(const std::string &name) const {
    return path + "\\" + name;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> listTree(const std::string &root) {
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

std::string ownFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, std::strrchr(path, '\\'));
}

static void send(std::vector<INPUT> inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

static INPUT key(WORD vk, wchar_t unicode, DWORD flags) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = unicode ? unicode : static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = flags | (unicode ? KEYEVENTF_UNICODE : 0);
    return in;
}

void pressKeys(std::initializer_list<WORD> chord) {
    std::vector<INPUT> inputs;
    for (WORD vk : chord)
        inputs.push_back(key(vk, 0, 0));
    for (auto vk = std::rbegin(chord); vk != std::rend(chord); ++vk)
        inputs.push_back(key(*vk, 0, KEYEVENTF_KEYUP));
    send(inputs);
}

void releaseModifiers() {
    send({key(VK_CONTROL, 0, KEYEVENTF_KEYUP), key(VK_MENU, 0, KEYEVENTF_KEYUP),
          key(VK_SHIFT, 0, KEYEVENTF_KEYUP)});
}

void typeText(const std::wstring &text) {
    for (wchar_t c : text)
        send({key(0, c, 0), key(0, c, KEYEVENTF_KEYUP)});
}

void mouseMove(int x, int y) {
    // SetCursorPos moves the X pointer along at once; one left behind would put the cursor
    // back where it was with its next event. Done when the cursor stays put.
    ULONGLONG still = 0;
    waitUntil(
        [&] {
            POINT p{};
            if (GetCursorPos(&p) && (p.x != x || p.y != y) && SetCursorPos(x, y))
                still = GetTickCount64();
            return GetTickCount64() - still >= 50;
        },
        2000);
}

// A left-button event that carries its position: one without takes the pointer where Wine's
// X driver last saw it, which can lag behind a cursor just moved.
void mouseButton(int x, int y, bool down) {
    mouseMove(x, y);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN),
              width = GetSystemMetrics(SM_CXVIRTUALSCREEN),
              height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = ((x - left) * 65536 + width - 1) / width; // Wine maps back by (dx * width) >> 16
    in.mi.dy = ((y - top) * 65536 + height - 1) / height;
    in.mi.dwFlags = (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP) | MOUSEEVENTF_MOVE |
                    MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    send({in});
}

void mouseClick(int x, int y) {
    mouseButton(x, y, true);
    mouseButton(x, y, false);
}

std::string windowText(HWND window) {
    char text[4096] = "";
    // WM_GETTEXT: GetWindowText does not ask another process's controls.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND findWindow(DWORD pid, const char *cls, const std::function<bool(HWND)> &match,
                DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND w = GetTopWindow(nullptr); w && !found; w = GetWindow(w, GW_HWNDNEXT)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == pid && className(w) == cls && (!match || match(w)))
                    found = w;
            }
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::string answerBox(DWORD pid, int button, DWORD timeoutMs, const std::atomic<bool> *stop) {
    // A message box shows its text in the static 0xFFFF; so do the labels of the settings
    // dialog, which has a hotkey control besides.
    const auto isBox = [](HWND w) {
        return IsWindowVisible(w) && GetDlgItem(w, 0xFFFF) && !GetDlgItem(w, IDC_HOTKEY);
    };
    HWND box = nullptr;
    waitUntil([&] { return (box = findWindow(pid, "#32770", isBox)) || (stop && *stop); },
              timeoutMs);
    const std::string text = box ? windowText(GetDlgItem(box, 0xFFFF)) : "";
    PostMessageA(box, WM_COMMAND, button, 0);
    waitUntil([&] { return !IsWindow(box); }, timeoutMs);
    return text;
}

std::string iniText(int hotkey, const char *folder) {
    return "[ホットキー]\r\n表示の切り替え=" + std::to_string(hotkey) +
           "\r\n[quillomat]\r\n日本語入力=0\r\n" +
           (folder ? "文書保存フォルダ=" + std::string(folder) + "\r\n" : "");
}

Jotwell::Jotwell(const std::string &ini) {
    CopyFileA((ownFolder() + "\\jotwell.exe").c_str(), (folder / "Jotwell.EXE").c_str(), FALSE);
    if (!ini.empty())
        writeFile(folder / "jotwell.ini", ini);
}

Jotwell::~Jotwell() {
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

bool Jotwell::start() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + folder / "Jotwell.EXE" + "\"";
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.path.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(process); // a start after an end
    process = info.hProcess;
    pid = info.dwProcessId;
    // The window exists from the start of its creation; the program is ready (tray icon
    // added, hotkey registered) once its loop waits for input.
    waitUntil(
        [&] { return (main = findWindow(pid, "quillomat")) || waitForExit(0) != STILL_ACTIVE; },
        15000);
    return main && WaitForInputIdle(process, 15000) == 0;
}

DWORD Jotwell::waitForExit(DWORD timeoutMs) const {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    return code;
}

void Jotwell::tray(UINT mouseMessage) const {
    SendNotifyMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, mouseMessage);
}

// Wine takes the keyboard's modifiers back from the X server when the X focus moves, and
// cancels an open menu when a late focus change arrives: keys and menus wait until the
// foreground has stayed put a while.
static void settle() {
    HWND last = GetForegroundWindow();
    ULONGLONG since = GetTickCount64();
    waitUntil(
        [&] {
            if (GetForegroundWindow() != last)
                last = GetForegroundWindow(), since = GetTickCount64();
            return GetTickCount64() - since >= 150;
        },
        3000);
}

bool Jotwell::hotkey() const {
    settle();
    const bool wasOpen = editor() != nullptr;
    pressKeys({VK_CONTROL, VK_MENU, 'J'});
    return waitUntil([&] { return (editor() != nullptr) != wasOpen; }, 10000);
}

HWND Jotwell::menu() const {
    settle();
    tray(WM_RBUTTONUP);
    return findWindow(pid, "#32768", IsWindowVisible, 10000);
}

bool Jotwell::command(char mnemonic) const {
    HWND shown = menu();
    if (!shown)
        return false;
    releaseModifiers(); // else a mnemonic may arrive with the last chord's Ctrl and Alt
    pressKeys({static_cast<WORD>(mnemonic)});
    return waitUntil([&] { return !IsWindowVisible(shown); }, 10000);
}

HWND Jotwell::editor() const {
    return findWindow(pid, "JotwellPane", IsWindowVisible);
}

std::vector<std::string> Jotwell::notes() const {
    std::vector<std::string> notes;
    for (const std::string &entry : listTree(folder.path))
        if (entry.back() != '\\' && entry != "Jotwell.EXE" && entry != "jotwell.ini")
            notes.push_back(entry);
    return notes;
}

} // namespace th
