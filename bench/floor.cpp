// The platform's floor, measured beside Jotwell by the benchmark: the least any program
// needs on this machine for what Jotwell does.
//
//   floor window   on Ctrl+Alt+K a tool window with an edit control is made, placed at the
//                  cursor, shown and focused; Esc destroys it (the fresh-window and close
//                  floors)
//   floor start    Jotwell's imports and manifest, a hidden window, its message loop (the
//                  start floor)
//   floor idle     a hidden window with an empty timer once a second, in a message loop (the
//                  idle floor: a tray program has a window, and Wine charges each wake-up of a
//                  thread with windows for a look at its display connection)
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstring>

namespace {

HWND pane = nullptr; // the window of "window" mode while it is open
// The libraries Jotwell imports that this program would otherwise not: referenced, not run.
const void *volatile imports[3];

void CALLBACK emptyTimer(HWND, UINT, UINT_PTR, DWORD) {}

LRESULT CALLBACK paneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE)
        MoveWindow(GetDlgItem(window, 1), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    return DefWindowProcA(window, message, wParam, lParam);
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
    if (message == WM_DESTROY)
        PostQuitMessage(0);
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
    if (std::strstr(commandLine, "window")) {
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
        imports[0] = reinterpret_cast<const void *>(&ImmGetContext);
        imports[1] = reinterpret_cast<const void *>(&GetFileVersionInfoSizeA);
        imports[2] = reinterpret_cast<const void *>(&Shell_NotifyIconA);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (pane && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
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
