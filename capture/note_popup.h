// The popup editor: a small always-on-top window with one edit control. Every
// way out saves its text as a note.
#pragma once

#include <windows.h>

struct AppSettings;

// Creates the editor hidden, owned by owner; the caller places and shows it.
// Null on failure.
HWND createNotePopup(HWND owner, AppSettings *settings);
LRESULT CALLBACK notePopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
