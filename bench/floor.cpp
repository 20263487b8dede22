// The platform's floor, measured beside Jotwell by the benchmark: the least any program
// needs on this machine for what Jotwell does.
//
//   floor window FOLDER  on Ctrl+Alt+K a tool window with an edit control is made, placed at
//                        the cursor, shown and focused; Esc writes its text into FOLDER as
//                        Jotwell writes a note and destroys the window (the fresh-window and
//                        save floors)
//   floor start          Jotwell's imports and manifest, a hidden window, a tray icon, its
//                        message loop (the start floor); the icon goes when the window is
//                        closed
//   floor idle           a hidden window with an empty timer once a second, in a message
//                        loop (the idle floor: a tray program has a window, and Wine charges
//                        each wake-up of a thread with windows for a look at its display
//                        connection)
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <string>

namespace {

HWND pane = nullptr;      // the window of "window" mode while it is open
std::string notesFolder;  // where "window" mode writes its notes
int notesWritten = 0;     // floor-N.txt is the Nth
NOTIFYICONDATAA trayIcon; // "start" mode's icon
// The libraries Jotwell imports that this program would otherwise not: referenced, not run.
const void *volatile imports[2];

void CALLBACK emptyTimer(HWND, UINT, UINT_PTR, DWORD) {}

LRESULT CALLBACK paneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE)
        MoveWindow(GetDlgItem(window, 1), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A new file, written whole and flushed to the disk.
bool writeFlushed(const std::string &path, const std::string &bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && FlushFileBuffers(file);
    return CloseHandle(file) && whole;
}

// The same bytes made durable the same way as Jotwell's save: a new file under a temporary
// name, written and flushed; a record of about 200 bytes written and flushed beside it; the
// note renamed to its own name, replacing nothing, written through, and flushed under that
// name; the record deleted.
void saveNote(HWND edit) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    const std::string name = notesFolder + "\\floor-" + std::to_string(++notesWritten);
    std::string record = name + ".tmp\r\n" + name + ".txt\r\n";
    record.resize(200, ' ');
    if (writeFlushed(name + ".tmp", text) && writeFlushed(name + ".rec", record) &&
        MoveFileExA((name + ".tmp").c_str(), (name + ".txt").c_str(), MOVEFILE_WRITE_THROUGH)) {
        HANDLE note = CreateFileA((name + ".txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        FlushFileBuffers(note);
        CloseHandle(note);
    }
    DeleteFileA((name + ".rec").c_str());
}

// As Jotwell's icon: the first layout of the record, the program's icon at the small size.
// True once the notification area has taken it.
bool addTrayIcon(HWND window) {
    trayIcon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    trayIcon.hWnd = window;
    trayIcon.uID = 1;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = WM_APP;
    trayIcon.hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    return Shell_NotifyIconA(NIM_ADD, &trayIcon) != 0;
}

void openPane() {
    POINT cursor{};
    GetCursorPos(&cursor);
    pane = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "JotwellFloorPane", "floor",
                           WS_THICKFRAME, cursor.x - 320, cursor.y - 50, 640, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    RECT client{};
    GetClientRect(pane, &client);
    HWND edit = CreateWindowExA(0, "EDIT", "",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                                0, 0, client.right, client.bottom, pane, reinterpret_cast<HMENU>(1),
                                GetModuleHandleA(nullptr), nullptr);
    ShowWindow(pane, SW_SHOWNORMAL);
    SetForegroundWindow(pane);
    SetFocus(edit);
}

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HOTKEY && !pane)
        openPane();
    if (message == WM_DESTROY) {
        if (trayIcon.hWnd == window)
            Shell_NotifyIconA(NIM_DELETE, &trayIcon);
        PostQuitMessage(0);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND mainWindow(const char *className, WNDPROC procedure) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, className, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // Jotwell's start-up calls, so that the same libraries are loaded and initialised.
    InitCommonControls();
    CoInitialize(nullptr);
    HWND window = nullptr;
    if (std::strncmp(commandLine, "window ", 7) == 0) {
        notesFolder = commandLine + 7;
        WNDCLASSA wc{};
        wc.lpfnWndProc = paneProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "JotwellFloorPane";
        RegisterClassA(&wc);
        window = mainWindow("JotwellFloor", mainProc);
        RegisterHotKey(window, 1, MOD_CONTROL | MOD_ALT, 'K');
    } else if (std::strstr(commandLine, "idle")) {
        window = mainWindow("JotwellFloorIdle", mainProc);
        SetTimer(window, 1, 1000, emptyTimer);
    } else {
        window = mainWindow("JotwellFloorStart", mainProc);
        if (!addTrayIcon(window))
            return 1; // the measurement must not count a start without the icon
        imports[0] = reinterpret_cast<const void *>(&ImmGetContext);
        imports[1] = reinterpret_cast<const void *>(&GetFileVersionInfoSizeA);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (pane && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            saveNote(GetDlgItem(pane, 1));
            DestroyWindow(pane);
            pane = nullptr;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CoUninitialize();
    return static_cast<int>(msg.wParam);
}
