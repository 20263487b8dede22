// End-to-end harness: starts the real jotwell.exe in a fresh folder of its
// own and drives it the way the shell and the user do (tray notifications,
// SendInput keys and mouse, real windows), then reads what it left on disk.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// The jotwell.exe under test: --jotwell=PATH on the command line, else the
// one beside the test program.
const std::string &jotwellExe();
// The folder for screenshots (the test program's folder\screenshots).
std::string screenshotFolder();

// Polls until the condition holds or the time is up; true when it held.
bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 5000);

// Removes a file, or a folder with everything in it (read-only ones too).
void removeTree(const std::string &path);

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &path() const {
        return path_;
    }
    std::string operator/(const std::string &name) const {
        return path_ + "\\" + name;
    }

  private:
    std::string path_;
};

// Text of the INI file Jotwell reads (Shift-JIS literals), for JotwellProcess.
std::string iniText(int hotkey, bool imeOn, const char *folder /* null: key absent */);

// One jotwell.exe, copied into a fresh folder (so its INI and notes land there).
class JotwellProcess {
  public:
    JotwellProcess();
    // Ends the process if it still runs (Quit, then termination) and closes
    // every window it left; the folder goes with the TempFolder.
    ~JotwellProcess();
    JotwellProcess(const JotwellProcess &) = delete;
    JotwellProcess &operator=(const JotwellProcess &) = delete;

    const std::string &folder() const {
        return folder_.path();
    }
    std::string exePath() const;
    std::string iniPath() const;
    // Writes the INI file beside the executable (bytes as given).
    void writeIni(const std::string &text) const;

    // Starts the program; with waitForMainWindow, waits until its hidden main
    // window exists (false if it did not appear in time).
    bool start(bool waitForMainWindow = true, DWORD timeoutMs = 15000);
    HWND mainWindow() const {
        return mainWindow_;
    }
    DWORD pid() const {
        return pid_;
    }
    HANDLE process() const {
        return process_;
    }
    bool running() const;
    // The exit code, or STILL_ACTIVE when it has not ended in time.
    DWORD waitForExit(DWORD timeoutMs = 10000) const;
    // Ends it the quick way (IDM_QUIT), waits; true when it exited with 0.
    bool quit(DWORD timeoutMs = 10000);

    // The tray icon as the notification area reports mouse events: the
    // callback message with the icon's id and the mouse message.
    void trayNotify(UINT mouseMessage) const;
    // A left click on the tray icon (button down, then up), as the shell
    // reports it. The cursor is moved to (x, y) first, where the user clicked.
    void trayClick(UINT button = WM_LBUTTONUP, int x = 1000, int y = 758) const;

    // A top-level window of this process, by class and (optional) title.
    HWND findWindow(const char *className, const char *title = nullptr) const;
    HWND waitForWindow(const char *className, const char *title = nullptr,
                       DWORD timeoutMs = 5000) const;
    // Every visible top-level window of this process.
    std::vector<HWND> visibleWindows() const;
    // The open popup editor (class JotwellPane), or null.
    HWND editor() const {
        return findWindow("JotwellPane");
    }

    // Every regular file below the folder, as paths relative to it (sorted),
    // leaving out the executable and its INI file.
    std::vector<std::string> notes() const;

  private:
    TempFolder folder_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND mainWindow_ = nullptr;
};

// Windows of any process.
HWND findWindowOfProcess(DWORD pid, const char *className, const char *title = nullptr);
std::string windowText(HWND window);
std::string className(HWND window);
// A message box's text (its static control 0xFFFF).
std::string messageBoxText(HWND box);

// Keyboard and mouse through SendInput, as a user would.
void pressKeys(std::initializer_list<WORD> chord); // down in order, up in reverse
void pressKey(WORD vk);
// Types text as Unicode key events ('\n' is the Enter key).
void typeText(const std::wstring &text);
void mouseMove(int x, int y);
void mouseClick(int x, int y, bool right = false);
void mouseDown(int x, int y);
void mouseUp(int x, int y);
POINT cursorPos();

// Colour of a screen pixel.
COLORREF screenPixel(int x, int y);
// Saves the whole screen as screenshots\NAME.bmp (scripts turn it into PNG).
bool saveScreenshot(const std::string &name);

// Files.
bool fileExistsAt(const std::string &path);
bool isDirectoryAt(const std::string &path);
std::string readFileBytes(const std::string &path);
void writeFileBytes(const std::string &path, const std::string &bytes);
std::string hexBytes(const std::string &bytes);
// Local time as "YYYY-MM" and "DD" folder names.
std::string monthFolderNow();

// The open menu window of the tray (class #32768) and the vertical bands of
// its selectable items, found by hovering down the menu and watching which
// rows are highlighted (menus cannot be read across processes).
HWND waitForMenuWindow(DWORD timeoutMs = 5000);
struct MenuBand {
    int top, bottom; // screen coordinates, bottom exclusive
};
std::vector<MenuBand> scanMenuItems(HWND menuWindow);

// Stands in for the shell's notification area: a "Shell_TrayWnd" with a
// "TrayNotifyWnd" child, both with empty titles, on a thread of its own. It
// answers the icon messages that Shell_NotifyIcon sends and counts them.
class FakeTray {
  public:
    // Refuses the first refuseAdds NIM_ADD requests.
    explicit FakeTray(int refuseAdds = 0, bool withNotifyWindow = true);
    ~FakeTray();
    FakeTray(const FakeTray &) = delete;
    FakeTray &operator=(const FakeTray &) = delete;
    int adds() const;    // NIM_ADD requests seen (accepted or not)
    int deletes() const; // NIM_DELETE requests seen
    int refused() const; // NIM_ADD requests refused
    void setRefuseAdds(int count);
    // The notification area goes away (the shell ended) or comes back.
    void destroyNotifyWindow();
    void createNotifyWindow();
    HWND trayWindow() const;

    struct State; // shared with the tray's own thread

  private:
    State *state_;
};

} // namespace e2e
