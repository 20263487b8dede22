// The notification-area icon, kept alive across shell restarts by a
// one-second watchdog, and the tray menu.
#include "app/tray.h"

#include <shellapi.h>

#include "res/resource.h"
#include "support/sjis.h"
#include "support/window.h"

static NOTIFYICONDATAA trayIconData;
static HWND trayNotifyWindow;
// Registered once with the icon: every message to the main window is compared with it.
static UINT taskbarCreated;
// The notification area took the icon. At a slow log-on it may not for a long while: a
// program whose hotkey works runs on, and the icon comes once the shell takes it.
static bool iconShown;

constexpr int kAddAttempts = 21;
constexpr DWORD kAddRetryMs = 500;
constexpr UINT kWatchdogMs = 1000;

static bool addIcon() {
    return Shell_NotifyIconA(NIM_ADD, &trayIconData) != 0;
}

// The shell may time out while it adds the icon and add it all the same: every further add
// then fails because the icon is there. Changing it succeeds only then.
static bool iconIsThere() {
    return Shell_NotifyIconA(NIM_MODIFY, &trayIconData) != 0;
}

static void deleteIcon() {
    Shell_NotifyIconA(NIM_DELETE, &trayIconData);
}

HWND FindTrayNotifyWindow() {
    HWND taskbar = FindWindowA("Shell_TrayWnd", "");
    return FindWindowExA(taskbar, nullptr, "TrayNotifyWnd", "");
}

bool InstallTrayIcon(HWND window) {
    // At the small icon's size: 16 pixels at 96 DPI, more on denser screens, where a 16-pixel
    // picture would be stretched and blurred.
    HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    zeroFill(&trayIconData, sizeof trayIconData);
    // The first layout: the same record works on every Windows from 95 on.
    trayIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    trayIconData.hWnd = window;
    trayIconData.uID = TRAY_ICON_ID;
    trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconData.uCallbackMessage = WM_TRAYNOTIFY;
    trayIconData.hIcon = icon;
    sjisCopyBounded(sizeof trayIconData.szTip, trayIconData.szTip, "");

    // At log-on the shell may not be ready yet: keep trying for ten seconds.
    bool added = addIcon() || iconIsThere();
    for (int attempt = 1; !added && attempt < kAddAttempts; ++attempt) {
        Sleep(kAddRetryMs);
        added = addIcon() || iconIsThere();
    }
    iconShown = added;
    trayNotifyWindow = FindTrayNotifyWindow();
    SetTimer(window, TRAY_WATCHDOG_ID, kWatchdogMs, TrayWatchdogProc);
    return added;
}

void RemoveTrayIcon(HWND window) {
    KillTimer(window, TRAY_WATCHDOG_ID);
    deleteIcon();
}

UINT TaskbarCreatedMessage() {
    return taskbarCreated;
}

void RestoreTrayIcon() {
    deleteIcon();
    iconShown = addIcon();
    trayNotifyWindow = FindTrayNotifyWindow();
}

void CALLBACK TrayWatchdogProc(HWND, UINT, UINT_PTR, DWORD) {
    // Not taken at start: one more try on each tick until the shell takes it.
    if (!iconShown)
        iconShown = addIcon() || iconIsThere();
    if (trayNotifyWindow) {
        if (IsWindow(trayNotifyWindow))
            return;
        trayNotifyWindow = nullptr;
    }
    // The notification area is gone (or was never found); once one appears the shell has
    // restarted and has forgotten the icon.
    trayNotifyWindow = FindTrayNotifyWindow();
    if (trayNotifyWindow) {
        deleteIcon();
        iconShown = addIcon();
    }
}

bool ShowTrayMenu(HINSTANCE instance, HWND owner) {
    POINT pt;
    if (!GetCursorPos(&pt))
        return false;
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MENU));
    if (!menu)
        return false;
    HMENU popup = GetSubMenu(menu, 0);
    if (!popup) {
        DestroyMenu(menu);
        return false;
    }
    // Without this the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(owner);
    const BOOL shown =
        TrackPopupMenuEx(popup, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, owner, nullptr);
    // The platform's rule for a menu of a window in the background: a message to the owner
    // after it, or the next menu may close at once or not at all.
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return shown != 0;
}
