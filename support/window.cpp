#include "support/window.h"

#include <commctrl.h>
#include <imm.h>
#include <shellapi.h>

#include <cstdlib>

#include "res/resource.h"
#include "support/path.h"
#include "support/placement.h"
#include "support/sjis.h"

bool pointSet(POINT *point, int x, int y) {
    point->x = x;
    point->y = y;
    return true;
}

bool pointOffset(POINT *point, int dx, int dy) {
    point->x += dx;
    point->y += dy;
    return true;
}

int rectWidth(const RECT &rect) {
    return rect.right - rect.left;
}

int rectHeight(const RECT &rect) {
    return rect.bottom - rect.top;
}

bool rectSize(const RECT &rect, SIZE *size) {
    size->cx = rectWidth(rect);
    size->cy = rectHeight(rect);
    return true;
}

bool windowTopLeft(HWND window, POINT *point) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return pointSet(point, rect.left, rect.top);
}

bool windowSize(HWND window, SIZE *size) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rectSize(rect, size);
}

int windowWidth(HWND window) {
    SIZE size;
    windowSize(window, &size);
    return size.cx;
}

int windowHeight(HWND window) {
    SIZE size;
    windowSize(window, &size);
    return size.cy;
}

bool screenToWindow(HWND window, POINT *point) {
    POINT corner;
    windowTopLeft(window, &corner);
    return pointOffset(point, -corner.x, -corner.y);
}

bool windowMoveTo(HWND window, int x, int y) {
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE) != 0;
}

bool windowResize(HWND window, int width, int height) {
    return SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE) != 0;
}

// A child window is moved in its parent's client coordinates, a top-level or
// owned window in screen coordinates.
static void toParentClient(HWND window, POINT *point) {
    HWND parent = GetParent(window);
    if (parent && IsChild(parent, window))
        ScreenToClient(parent, point);
}

bool windowShiftX(HWND window, int dx) {
    POINT corner;
    windowTopLeft(window, &corner);
    toParentClient(window, &corner);
    return windowMoveTo(window, corner.x + dx, corner.y);
}

bool windowGrowWidth(HWND window, int dw) {
    SIZE size;
    windowSize(window, &size);
    return windowResize(window, size.cx + dw, size.cy);
}

bool workArea(RECT *rect) {
    return SystemParametersInfoA(SPI_GETWORKAREA, 0, rect, 0) != 0;
}

bool workAreaAt(POINT point, RECT *rect) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
    if (monitor && GetMonitorInfoA(monitor, &info)) {
        *rect = info.rcWork;
        return true;
    }
    return workArea(rect);
}

POINT placementAtCursor(int width, int height) {
    POINT cursor{};
    GetCursorPos(&cursor);
    // The user is looking at the monitor under the cursor, not necessarily
    // the primary one.
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    workAreaAt(cursor, &area);
    const PlacePoint p = placeCentredInArea({cursor.x, cursor.y}, width, height,
                                            {area.left, area.top, area.right, area.bottom});
    return {p.x, p.y};
}

void placeAtCursor(HWND window) {
    POINT at = placementAtCursor(windowWidth(window), windowHeight(window));
    toParentClient(window, &at);
    windowMoveTo(window, at.x, at.y);
}

void registerAppWindowClass(HINSTANCE instance, const char *className, WNDPROC procedure) {
    WNDCLASSEXA wc;
    zeroFill(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    // The class exists already: the icons would only leak.
    if (GetClassInfoExA(instance, className, &wc))
        return;
    zeroFill(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.hIcon = moduleIcon(instance, 0);
    wc.hIconSm = moduleIcon(instance, 1);
    if (!RegisterClassExA(&wc)) {
        if (wc.hIcon)
            DestroyIcon(wc.hIcon);
        if (wc.hIconSm)
            DestroyIcon(wc.hIconSm);
    }
}

HICON fileIcon(const char *path, int small) {
    SHFILEINFOA info;
    // Left unfilled when the shell cannot answer: no icon then.
    zeroFill(&info, sizeof info);
    SHGetFileInfoA(path, 0, &info, sizeof info,
                   SHGFI_ICON | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON));
    return info.hIcon;
}

HICON moduleIcon(HINSTANCE instance, int small) {
    char path[kPathBufferSize];
    const DWORD length = GetModuleFileNameA(instance, path, sizeof path);
    // A cut-off name would be some other file's.
    if (length == 0 || length >= sizeof path)
        return nullptr;
    return fileIcon(path, small);
}

LRESULT setWindowIcon(HWND window, WPARAM which, HICON icon) {
    return SendMessageA(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

char *windowTextAlloc(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length < 0)
        return nullptr;
    char *text = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
    if (!text)
        return nullptr;
    text[0] = '\0';
    if (GetWindowTextA(window, text, length + 1) < 0) {
        std::free(text);
        return nullptr;
    }
    return text;
}

bool invalidateWindow(HWND window) {
    return InvalidateRect(window, nullptr, FALSE) != 0;
}

HWND tooltipCreate(HWND parent, HINSTANCE instance) {
    return CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, instance, nullptr);
}

static TOOLINFOA toolFor(HWND owner, HWND control) {
    TOOLINFOA tool;
    zeroFill(&tool, sizeof tool);
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

bool tooltipAddTool(HWND tooltip, HWND owner, HWND control, const char *text) {
    TOOLINFOA tool = toolFor(owner, control);
    tool.lpszText = const_cast<char *>(text);
    return SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
}

void tooltipRemoveTool(HWND tooltip, HWND owner, HWND control) {
    TOOLINFOA tool = toolFor(owner, control);
    SendMessageA(tooltip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

// A function the running system may lack, looked up by name in a system library that is
// loaded already; null where it is absent.
template <typename Function> static Function systemFunction(HMODULE library, const char *name) {
    return library ? reinterpret_cast<Function>(
                         reinterpret_cast<void (*)()>(GetProcAddress(library, name)))
                   : nullptr;
}

using GetDpiForMonitorFunction = HRESULT(WINAPI *)(HMONITOR, int, UINT *, UINT *);

// Windows 8.1 and later: the DPI of each monitor, from shcore.dll. Loaded once by its full
// path in the system folder, never from wherever the program happens to run, and kept.
static GetDpiForMonitorFunction getDpiForMonitor() {
    static bool looked = false;
    static GetDpiForMonitorFunction function = nullptr;
    if (looked)
        return function;
    looked = true;
    char path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length > 0 && length < MAX_PATH &&
        formatBounded(sizeof path - length, path + length, "\\shcore.dll") > 0)
        function = systemFunction<GetDpiForMonitorFunction>(LoadLibraryA(path), "GetDpiForMonitor");
    return function;
}

UINT systemDpi() {
    // Fixed for the process's life: read once, not for every editor that opens.
    static UINT dpi = 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        const int read = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen)
            ReleaseDC(nullptr, screen);
        dpi = read > 0 ? static_cast<UINT>(read) : kDefaultDpi;
    }
    return dpi;
}

// The monitor's own DPI where the system knows one per monitor (8.1 on), else the system's.
static UINT monitorDpi(HMONITOR monitor) {
    constexpr int kEffectiveDpi = 0; // MDT_EFFECTIVE_DPI
    UINT x = 0, y = 0;
    const GetDpiForMonitorFunction function = getDpiForMonitor();
    if (monitor && function && function(monitor, kEffectiveDpi, &x, &y) == S_OK && y > 0)
        return y;
    return systemDpi();
}

UINT dpiAtPoint(POINT point) {
    return monitorDpi(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST));
}

UINT windowDpi(HWND window) {
    // Windows 10 (1607) and later answer for the window itself; 8.1 and the first 10s
    // through its monitor.
    using GetDpiForWindowFunction = UINT(WINAPI *)(HWND);
    const auto getDpiForWindow =
        systemFunction<GetDpiForWindowFunction>(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? dpi : monitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

HFONT createSystemFontForDpi(UINT dpi) {
    LOGFONTA font;
    if (GetObjectA(GetStockObject(SYSTEM_FONT), sizeof font, &font) != sizeof font)
        return nullptr;
    const int system = static_cast<int>(systemDpi());
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), system);
    font.lfWidth = MulDiv(font.lfWidth, static_cast<int>(dpi), system);
    return CreateFontIndirectA(&font);
}

void setShutdownReason(HWND window, const wchar_t *reason) {
    if (reason)
        ShutdownBlockReasonCreate(window, reason);
    else
        ShutdownBlockReasonDestroy(window);
}

void registerForRestart() {
    RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

bool imeSetOpen(HWND window, bool open) {
    HIMC context = ImmGetContext(window);
    if (!context)
        return false;
    const bool done = ImmSetOpenStatus(context, open) != 0;
    ImmReleaseContext(window, context);
    return done;
}

bool imeIsOpen(HWND window) {
    HIMC context = ImmGetContext(window);
    if (!context)
        return false;
    const bool open = ImmGetOpenStatus(context) != 0;
    ImmReleaseContext(window, context);
    return open;
}
