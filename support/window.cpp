#include "support/window.h"

#include <commctrl.h>
#include <imm.h>

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

// The program's own icon at the system's size for it (which grows with the screen's DPI):
// the picture the shell shows for the file, without asking the shell. Under Wine the
// shell first builds its image lists, which made each of the first class registrations,
// at start and at the editor's first opening, cost a tenth of a second.
HICON moduleIcon(HINSTANCE instance, int small) {
    const int width = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    const int height = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, width,
                                         height, LR_DEFAULTCOLOR));
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

// Windows 10 (1607) and later; absent before, where the system's DPI holds for every window.
template <typename Function> static Function user32Function(const char *name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

UINT systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT windowDpi(HWND window) {
    const auto getDpiForWindow = user32Function<UINT(WINAPI *)(HWND)>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? dpi : systemDpi();
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
