// The popup editor: a small always-on-top window with one edit control. Every
// way out saves its text as a note; then it is hidden, empty, until the next one.
#pragma once

#include <windows.h>

struct AppSettings;

// Creates the editor hidden, owned by owner; showNotePopup places and shows it, for each
// note anew.
// Null on failure.
HWND createNotePopup(HWND owner, AppSettings *settings);
LRESULT CALLBACK notePopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Empties the editor, sizes it for the DPI of the monitor under the cursor, centres it on
// the cursor, opens the input method if the settings say so, and shows it with the focus.
void showNotePopup(HWND editor);

// Writes the open editor's text to the draft now (the session is ending).
void keepNotePopupDraft(HWND editor);

// At start: turns a draft that a previous run left behind into a note and tells the user
// once, with its path; or says why it could not, the draft kept.
void recoverLostNote(HWND owner, const char *folder);
