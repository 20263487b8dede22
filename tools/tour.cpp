// The run command's tour where there is no display to look at: starts jotwell.exe,
// shows that it answers (tray menu opened and closed, the editor popped, a note typed
// and saved), prints the note, leaves screenshots beside itself and quits Jotwell.
//
//   tour JOTWELL_EXE            the tour
//   tour --start JOTWELL_EXE    only its start and its end: Jotwell comes up with its
//                               hidden main window and quits with exit code 0 (the
//                               release package's check)
//   tour --shots SCENE FOLDER   the README's pictures of one Wine session, as BMP files in
//                               FOLDER, of the jotwell.exe beside the tour
//                               (scripts/screenshots): "desktop" the tray icon with its menu,
//                               the box of 「フォルダを開く」 on a notes folder not made yet,
//                               the editor, the settings dialog and the About box; "dpi" the
//                               editor on a screen of 144 dots per inch; "monitors" the editor
//                               on the left of two monitors
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/harness.h"

using namespace th;

namespace {

int fail(const char *what) {
    std::printf("run: %s\n", what);
    return 1;
}

// Shift-JIS to UTF-8, for the terminal.
std::string toUtf8(const std::string &sjis) {
    std::wstring wide(sjis.size() + 1, L'\0');
    const int n = MultiByteToWideChar(932, 0, sjis.data(), static_cast<int>(sjis.size()), &wide[0],
                                      static_cast<int>(wide.size()));
    std::string out(static_cast<size_t>(n) * 4 + 1, '\0');
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &out[0],
                                      static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<size_t>(m));
    return out;
}

std::string newestNote(const std::string &folder) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char day[32];
    std::snprintf(day, sizeof day, "\\%04d-%02d\\%02d", now.wYear, now.wMonth, now.wDay);
    const std::string dayFolder = folder + day;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dayFolder + "\\*.txt").c_str(), &data);
    std::string newest;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (newest.empty() || std::string(data.cFileName) > newest)
                newest = data.cFileName;
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return newest.empty() ? "" : dayFolder + "\\" + newest;
}

// Saves that part of the screen as a BMP file; draw, when given, paints over it first, in
// screen coordinates.
bool saveScreen(const std::string &path, const RECT &area,
                const std::function<void(HDC)> &draw = {}) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
        if (draw) {
            SetWindowOrgEx(memory, area.left, area.top, nullptr);
            draw(memory);
        }
        SelectObject(memory, old);
        GdiFlush();
        const DWORD stride = ((w * 3) + 3) & ~3u;
        const DWORD imageSize = stride * h;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        if (FILE *f = std::fopen(path.c_str(), "wb")) {
            saved = std::fwrite(&file, sizeof file, 1, f) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
                    std::fwrite(bits, imageSize, 1, f) == 1;
            saved = std::fclose(f) == 0 && saved;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// The whole screen as screenshots\\NAME.bmp beside this program (the run command turns it
// into PNG).
bool saveScreenshot(const std::string &name) {
    return saveScreen(ownFolder() + "\\screenshots\\" + name + ".bmp",
                      {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
}

// Starts the program in its own folder and waits until its hidden main window exists and
// it waits for input.
bool start(const std::string &exe, PROCESS_INFORMATION *info, HWND *main) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    const std::string folder = exe.substr(0, exe.find_last_of('\\'));
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, info)) {
        fail("jotwell.exe could not be started");
        return false;
    }
    CloseHandle(info->hThread);
    waitUntil([&] { return (*main = findWindow(info->dwProcessId, "quillomat")) != nullptr; },
              15000);
    if (!*main || WaitForInputIdle(info->hProcess, 15000) != 0) {
        fail("jotwell.exe did not come up");
        return false;
    }
    // The main window outlives its creation when the notification area took the icon or the
    // hotkey works; with neither, Jotwell says so in a box and ends.
    std::printf("run: jotwell.exe is running (process %lu) with its hidden main window\n",
                info->dwProcessId);
    return true;
}

// Its Quit command; 0 when it ended with exit code 0.
int quit(const PROCESS_INFORMATION &info, HWND main) {
    PostMessageA(main, WM_COMMAND, IDM_QUIT, 0);
    DWORD code = 1;
    if (WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    std::printf("run: jotwell.exe quit with exit code %lu\n", code);
    std::fflush(stdout);
    return code == 0 ? 0 : 1;
}

int tour(const std::string &exe) {
    CreateDirectoryA((ownFolder() + "\\screenshots").c_str(), nullptr);
    const std::string folder = exe.substr(0, exe.find_last_of('\\'));
    PROCESS_INFORMATION info{};
    HWND main = nullptr;
    if (!start(exe, &info, &main))
        return 1;

    const int trayX = 1014, trayY = 758; // the first icon of the Wine taskbar
    mouseMove(trayX, trayY);
    SendNotifyMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
    HWND menu = nullptr;
    waitUntil([&] { return (menu = findWindow(info.dwProcessId, "#32768", IsWindowVisible)); });
    if (!menu)
        return fail("the tray menu did not open");
    Sleep(300);
    saveScreenshot("run-tray-menu");
    std::printf("run: the tray menu opened\n");
    mouseClick(300, 300);
    waitUntil([&] { return !IsWindowVisible(menu); });
    std::printf("run: the tray menu closed without a command\n");

    SendNotifyMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONUP);
    HWND editor = nullptr;
    waitUntil([&] {
        editor = findWindow(info.dwProcessId, "JotwellPane");
        return editor && IsWindowVisible(editor);
    });
    if (!editor)
        return fail("the editor did not open");
    typeText(L"Jotwell のメモ");
    pressKeys({VK_RETURN});
    typeText(L"hello from the run command");
    Sleep(300);
    saveScreenshot("run-editor");
    pressKeys({VK_ESCAPE});
    waitUntil([&] { return !IsWindowVisible(editor); });
    const std::string note = newestNote(folder);
    if (note.empty())
        return fail("no note was saved");
    const std::string bytes = readFile(note);
    std::printf("run: the note was saved as %s (%u bytes)\n", note.c_str(),
                static_cast<unsigned>(bytes.size()));
    std::printf("run: bytes:");
    for (const unsigned char byte : bytes)
        std::printf(" %02X", byte);
    std::printf("\n");
    std::printf("run: text (Shift-JIS shown as UTF-8):\n%s\n", toUtf8(bytes).c_str());

    return quit(info, main);
}

void frameMonitors(HDC dc);

// A window of Jotwell's as the user sees it, once the input has settled, painted afresh (in
// a new prefix the text may arrive while the fonts are still being loaded): the window alone,
// or the whole virtual screen with its monitors framed.
bool shoot(HWND window, const std::string &path, bool wholeScreen = false) {
    settle();
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300); // for the X server to show it
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    RECT area{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
              top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    return window && (wholeScreen || GetWindowRect(window, &area)) &&
           saveScreen(path, area, wholeScreen ? frameMonitors : std::function<void(HDC)>{});
}

// Each monitor framed and named at its bottom left, for the picture of the virtual screen.
void frameMonitors(HDC dc) {
    std::vector<std::pair<RECT, bool>> monitors;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM list) {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            GetMonitorInfoA(monitor, &info);
            reinterpret_cast<std::vector<std::pair<RECT, bool>> *>(list)->emplace_back(
                info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&monitors));
    HFONT font = CreateFontA(-24, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                             ANTIALIASED_QUALITY, 0, "IPAGothic");
    HGDIOBJ oldFont = SelectObject(dc, font);
    HBRUSH frame = CreateSolidBrush(RGB(160, 160, 160));
    SetTextColor(dc, RGB(220, 220, 220));
    SetBkMode(dc, TRANSPARENT);
    for (const auto &[r, primary] : monitors) {
        FrameRect(dc, &r, frame);
        char label[96];
        std::snprintf(label, sizeof label, "%s monitor (%ld,%ld)-(%ld,%ld)",
                      primary      ? "primary"
                      : r.left < 0 ? "left"
                                   : "second",
                      r.left, r.top, r.right, r.bottom);
        TextOutA(dc, r.left + 20, r.bottom - 40, label, static_cast<int>(std::strlen(label)));
    }
    DeleteObject(frame);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

// The editor opened at the cursor, with the text typed into it; null when it did not open or
// the text did not arrive. By the hotkey, as a user opens it, where the hotkey reaches
// Jotwell (on a virtual desktop); else by a tray click.
HWND editorWith(const Jotwell &app, int x, int y, const std::vector<std::wstring> &lines,
                const std::string &shown, bool byHotkey) {
    mouseMove(x, y);
    if (byHotkey)
        app.hotkey();
    else
        app.tray(WM_LBUTTONUP);
    HWND editor = nullptr;
    if (!waitUntil([&] { return (editor = app.editor()) != nullptr; }, 10000))
        return nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            pressKeys({VK_RETURN});
        typeText(lines[i]);
    }
    return waitUntil([&] { return windowText(GetDlgItem(editor, IDC_NOTE_EDIT)) == shown; }, 10000)
               ? editor
               : nullptr;
}

// The dialog a tray menu command opens, shot with the cursor away from it (a cursor on the
// About box's link would show it hot), then cancelled.
bool shootDialog(const Jotwell &app, char mnemonic, const char *caption, const std::string &path) {
    mouseMove(1014, 758);
    HWND dialog = app.command(mnemonic) ? findDialog(app.pid, caption) : nullptr;
    mouseMove(5, 5);
    const bool shot = shoot(dialog, path);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return waitUntil([&] { return !IsWindow(dialog); }) && shot;
}

// The message box a tray menu command shows, shot with the cursor away from it, then
// answered with OK; false unless its text begins as expected.
bool shootBox(const Jotwell &app, char mnemonic, const std::string &expected,
              const std::string &path) {
    mouseMove(1014, 746);
    HWND box =
        app.command(mnemonic) ? findWindow(app.pid, "#32770", IsWindowVisible, 5000) : nullptr;
    mouseMove(5, 5);
    const bool meant = windowText(GetDlgItem(box, 0xFFFF)).rfind(expected, 0) == 0;
    const bool shot = meant && shoot(box, path);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return waitUntil([&] { return !IsWindow(box); }) && shot;
}

int screenshots(const std::string &scene, const std::string &folder) {
    const char notes[] = "C:\\メモ";
    // Made by an earlier run's note: 「フォルダを開く」 is shown before the first note makes it.
    TempFolder::remove(notes);
    Jotwell app(iniText(kCtrlAltJ, notes));
    if (!app.start())
        return fail("jotwell.exe did not start");
    const bool left = scene == "monitors";
    const std::vector<std::wstring> lines =
        left ? std::vector<std::wstring>{L"左のモニターで書いたメモ"}
             : std::vector<std::wstring>{L"明日の会議は10時から", L"資料を3部印刷しておく"};
    const std::string shown =
        left ? "左のモニターで書いたメモ" : "明日の会議は10時から\r\n資料を3部印刷しておく";
    if (scene == "desktop") {
        // At the top of the first icon of the Wine taskbar: the menu opens above the icon.
        mouseMove(1014, 746);
        HWND menu = app.menu();
        RECT area{};
        GetWindowRect(menu, &area);
        // The menu and, below it, the taskbar's corner with the icon.
        area = {area.left - 24, area.top - 24, GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN)};
        settle();
        Sleep(300); // for the X server to show it
        if (!menu || !saveScreen(folder + "\\tray-menu.bmp", area))
            return fail("the tray menu did not open");
        mouseClick(300, 300);
        waitUntil([&] { return !IsWindowVisible(menu); });
        if (!shootBox(app, 'O', "フォルダを開けませんでした。", folder + "\\open-folder.bmp"))
            return fail("Open folder did not say that the notes folder is not there yet");
    }
    // On the left monitor in its upper half, else in the middle of the screen.
    HWND editor = editorWith(app, left ? -400 : 512, left ? 200 : 300, lines, shown, !left);
    if (!editor)
        return fail("the editor did not open with the text typed");
    const std::string name = left ? "monitors" : scene == "dpi" ? "editor-150" : "editor";
    const bool shot = shoot(editor, folder + "\\" + name + ".bmp", left);
    if (!shot)
        return fail("the editor's picture could not be saved");
    pressKeys({VK_ESCAPE});
    waitUntil([&] { return !app.editor(); });
    if (scene == "desktop" && !(shootDialog(app, 'S', "設定", folder + "\\settings.bmp") &&
                                shootDialog(app, 'A', "Jotwell について", folder + "\\about.bmp")))
        return fail("a dialog of the tray menu did not open or close");
    std::printf("run: the pictures of \"%s\" are in %s\n", scene.c_str(), folder.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 3 && mode == "--start") {
        PROCESS_INFORMATION info{};
        HWND main = nullptr;
        return start(argv[2], &info, &main) ? quit(info, main) : 1;
    }
    if (argc == 4 && mode == "--shots")
        return screenshots(argv[2], argv[3]);
    if (argc == 2 && mode[0] != '-')
        return tour(mode);
    return fail("usage: tour JOTWELL_EXE | tour --start JOTWELL_EXE | tour --shots SCENE FOLDER");
}
