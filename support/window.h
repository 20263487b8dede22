// Small window functions shared by Jotwell's windows and dialogs.
#pragma once

#include <windows.h>

// Geometry. Window sizes are outer sizes (GetWindowRect), frame included.
bool pointSet(POINT *point, int x, int y);
bool pointOffset(POINT *point, int dx, int dy);
int rectWidth(const RECT &rect);
int rectHeight(const RECT &rect);
bool rectSize(const RECT &rect, SIZE *size);
bool windowTopLeft(HWND window, POINT *point);
bool windowSize(HWND window, SIZE *size);
int windowWidth(HWND window);
int windowHeight(HWND window);
// Makes a screen point relative to the window's outer top-left corner.
bool screenToWindow(HWND window, POINT *point);
bool windowMoveTo(HWND window, int x, int y);
bool windowResize(HWND window, int width, int height);
bool windowShiftX(HWND window, int dx);
bool windowGrowWidth(HWND window, int dw);
// The primary display's work area.
bool workArea(RECT *rect);
// The work area of the monitor under (or nearest to) the given screen point.
bool workAreaAt(POINT point, RECT *rect);
// Where the top-left corner of a top-level window of this size goes: centred on the
// mouse cursor, inside the work area of the monitor under the cursor.
POINT placementAtCursor(int width, int height);
// Centres the window on the mouse cursor, inside the work area of the monitor
// under the cursor.
void placeAtCursor(HWND window);

// Registers a class with a white background and the executable's icons; a
// second registration of the same name fails harmlessly.
void registerAppWindowClass(HINSTANCE instance, const char *className, WNDPROC procedure);

// The shell's icon for the file, large (small 0) or small (1), at the sizes the system
// uses for them; null when the shell has none. The caller destroys it (DestroyIcon) once
// the window showing it is gone.
HICON fileIcon(const char *path, int small);
// fileIcon of the module's own file: the program's icon as the shell shows it.
HICON moduleIcon(HINSTANCE instance, int small);
LRESULT setWindowIcon(HWND window, WPARAM which, HICON icon);

// The window's text in a heap string; the caller frees it with free().
char *windowTextAlloc(HWND window);
bool invalidateWindow(HWND window);

// A tooltip owned by parent, destroyed with it.
HWND tooltipCreate(HWND parent, HINSTANCE instance);
// The text must stay valid while the tooltip lives.
bool tooltipAddTool(HWND tooltip, HWND owner, HWND control, const char *text);
// Takes the tool away, and with it the tooltip's hold on the control's messages.
void tooltipRemoveTool(HWND tooltip, HWND owner, HWND control);

// Dots per inch: what sizes in pixels are for (96), the system's, a window's and that of
// the monitor under a point: a monitor's own where the program is aware of each monitor's
// (Windows 8.1 on), else the system's.
constexpr UINT kDefaultDpi = 96;
UINT systemDpi();
UINT windowDpi(HWND window);
UINT dpiAtPoint(POINT point);
// The system font at another DPI; the caller deletes it (DeleteObject).
HFONT createSystemFontForDpi(UINT dpi);

// The reason Windows shows while the window holds the session's end up, or none (null).
void setShutdownReason(HWND window, const wchar_t *reason);
// Started again after an installer's Restart Manager ended the program, not after a crash, a
// hang or a restart of Windows.
void registerForRestart();

bool imeSetOpen(HWND window, bool open);
bool imeIsOpen(HWND window);
