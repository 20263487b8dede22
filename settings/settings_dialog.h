// The settings dialog (hotkey, document folder, input method at start).
#pragma once

#include <windows.h>

struct AppSettings;

// Brings the open settings dialog to the front; false when none is open.
bool BringSettingsDialogForward();
// Runs the modal dialog; true when it ended with OK (the record then holds the new
// values). A request while one is open brings that one forward and returns false.
bool RunSettingsDialog(HWND owner, AppSettings *settings);
INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// WM_NCHITTEST for dialogs that can be dragged by their background.
BOOL DialogDragHitTest(HWND dialog, WPARAM wParam, LPARAM lParam);

// path: at least 522 bytes; in: the folder to preselect, out: the chosen one.
bool BrowseForFolder(HWND owner, char *path);
int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM lParam, LPARAM data);
bool GetIdListPath(const void *idList, char *out);
int AskSaveOnClose(HWND dialog);
