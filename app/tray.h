// The notification-area icon, its watchdog and the tray menu.
#pragma once

#include <windows.h>

// Adds the icon, trying up to 21 times 500 ms apart, and starts the watchdog, which tries
// again on each tick while the icon is not there. False when the notification area never
// accepted it in those tries.
bool InstallTrayIcon(HWND window);
void RemoveTrayIcon(HWND window);
// The message the shell broadcasts when its taskbar has been made anew; 0 before the icon
// is installed.
UINT TaskbarCreatedMessage();
// Adds the icon again to a notification area that has forgotten it.
void RestoreTrayIcon();
// Shows the tray menu at the cursor; the chosen item arrives as WM_COMMAND.
bool ShowTrayMenu(HINSTANCE instance, HWND owner);
// The taskbar's notification area, or null while there is none.
HWND FindTrayNotifyWindow();
void CALLBACK TrayWatchdogProc(HWND window, UINT message, UINT_PTR id, DWORD time);
