// The one harness of the Windows tests, the end-to-end tests and the benchmark:
// waiting, folders and files, the user's keys and mouse, other processes' windows,
// and the real jotwell.exe in a folder of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace th {

// Checks the condition until it holds or the time is up, dispatching the calling
// thread's messages (timers, windows of its own) meanwhile.
bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 5000);

// Runs the undo when it goes out of scope, whatever happened before: a test that changes
// what other tests share (a file in the system folder, a hotkey) puts it back.
struct Undo {
    std::function<void()> undo;
    ~Undo() {
        undo();
    }
};

// A fresh folder under %TEMP%, removed with everything in it. Its name holds ア (whose
// second byte is an 'A') and ends in 表 (whose second byte is a backslash's).
struct TempFolder {
    std::string path;
    TempFolder();
    TempFolder(const TempFolder &) = delete;
    ~TempFolder();
    std::string operator/(const std::string &name) const;
};
std::string readFile(const std::string &path); // "<missing>" when it cannot be opened
void writeFile(const std::string &path, const std::string &bytes);
// Every file and folder below root, relative to it, sorted; folders end in "\".
std::vector<std::string> listTree(const std::string &root);
std::string ownFolder(); // the running program's folder

// Keys and mouse through SendInput, as the user gives them.
void pressKeys(std::initializer_list<WORD> chord); // down in order, up in reverse
void typeText(const std::wstring &text);           // as Unicode key events
// Key-ups for Ctrl, Alt and Shift: Wine now and then leaves one of the last chord down in
// the program's keyboard state (its key-up went to another queue), and the next key would
// arrive with it. Types nothing.
void releaseModifiers();
void mouseMove(int x, int y);
void mouseButton(int x, int y, bool down); // the left button, pressed or released there
void mouseClick(int x, int y);

// Windows of any process.
std::string windowText(HWND window);
std::string className(HWND window);
// The first top-level window of the process with the class that also matches, waiting
// for one up to the time given.
HWND findWindow(DWORD pid, const char *className, const std::function<bool(HWND)> &match = {},
                DWORD timeoutMs = 0);
// Waits for a message box of the process, answers it with the button and returns its
// text; "" when none came in time or before *stop turned true.
std::string answerBox(DWORD pid, int button = IDOK, DWORD timeoutMs = 5000,
                      const std::atomic<bool> *stop = nullptr);

// Ctrl+Alt+J as the hotkey control stores it.
constexpr int kCtrlAltJ = 0x0600 | 'J';
// An INI file (Shift-JIS) with the input method off, and the folder key only when given.
std::string iniText(int hotkey, const char *folder = nullptr);

// The jotwell.exe beside the running program, copied as Jotwell.EXE into a fresh folder of
// its own, so that its INI file (jotwell.ini) and its notes land there.
struct Jotwell {
    TempFolder folder;
    HANDLE process = nullptr;
    DWORD pid = 0;
    HWND main = nullptr;
    explicit Jotwell(const std::string &ini = "");
    ~Jotwell(); // closes its dialogs, quits it, ends it if it will not
    // True once the hidden main window exists and the program waits for input.
    bool start();
    DWORD waitForExit(DWORD timeoutMs = 10000) const; // STILL_ACTIVE when it did not end
    // The tray icon's notification as the shell sends it, the cursor where it is.
    void tray(UINT mouseMessage) const;
    // Ctrl+Alt+J, pressed once the input has settled; true when the editor opened or closed.
    bool hotkey() const;
    // The tray menu, opened at the cursor: its window, or null when none came.
    HWND menu() const;
    // The menu's item chosen by its mnemonic key; true once the menu has gone.
    bool command(char mnemonic) const;
    HWND editor() const;                    // the visible popup editor, or null
    std::vector<std::string> notes() const; // listTree's files but the program and its INI
};

} // namespace th
