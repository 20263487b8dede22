// The run command's tour where there is no display to look at: starts jotwell.exe,
// shows that it answers (tray menu opened and closed, the editor popped, a note typed
// and saved), prints the note, leaves screenshots beside itself and quits Jotwell.
//
//   tour JOTWELL_EXE            the tour
//   tour --start JOTWELL_EXE    only its start and its end: Jotwell comes up with its
//                               hidden main window and quits with exit code 0 (the
//                               release package's check)
#include <cstdio>
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

// Saves the whole screen as screenshots\\NAME.bmp beside this program (the run command
// turns it into PNG).
bool saveScreenshot(const std::string &name) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
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
        BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();
        const DWORD stride = ((w * 3) + 3) & ~3u;
        const DWORD imageSize = stride * h;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        const std::string path = ownFolder() + "\\screenshots\\" + name + ".bmp";
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
    // The main window outlives its creation only when the notification area took the icon.
    std::printf("run: jotwell.exe is running (process %lu); its tray icon was accepted\n",
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

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 3 && mode == "--start") {
        PROCESS_INFORMATION info{};
        HWND main = nullptr;
        return start(argv[2], &info, &main) ? quit(info, main) : 1;
    }
    if (argc == 2 && mode[0] != '-')
        return tour(mode);
    return fail("usage: tour JOTWELL_EXE | tour --start JOTWELL_EXE");
}
