// The hidden main window: owner of the tray icon, the global hotkey, the popup
// editor and the dialogs, and the place every command arrives.
#pragma once

#include <windows.h>

struct AppSettings;

// The last popup editor made, or null before the first: it is open while it is a window.
// Read by the message loop for the Esc accelerator.
extern HWND editorWindow;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the record's hotkey on the window under IDM_POPUP; a hotkey of 0
// unregisters it instead.
BOOL RegisterPopupHotkey(HWND window, const AppSettings *settings);
BOOL UnregisterPopupHotkey(HWND window);

// Opens the popup editor at the cursor, or closes (and saves) the open one.
void ToggleEditor(HWND window);

// Opens the folder in the shell; does nothing unless it is an existing directory.
void OpenFolderInShell(HWND owner, const char *path);
