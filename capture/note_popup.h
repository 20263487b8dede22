// The popup editor: a small always-on-top window with one edit control that lives as long
// as one note. Every way out saves its text as a note; then the window is destroyed.
#pragma once

#include <windows.h>

struct AppSettings;

// Creates the editor hidden, owned by owner, at its size for the DPI of the monitor under
// the cursor, and brings it to the foreground; the caller places it at the cursor and shows
// it. Null on failure.
HWND createNotePopup(HWND owner, AppSettings *settings);
LRESULT CALLBACK notePopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Writes the open editor's text to the draft now (the session is ending), Japanese still
// being converted included.
void keepNotePopupDraft(HWND editor);

// True while the input method converts text in the editor: Esc is then the input method's
// (it cancels the conversion), not the editor's way out.
bool notePopupIsComposing(HWND editor);

// True once, for one tray click, when the last editor closed because another window was
// activated no longer than the double-click time ago: pressing the mouse on the tray icon
// does that, and the release is then the same click, not a request for a new editor.
bool notePopupJustClosedByDeactivation();

// At start: turns every draft that earlier runs left behind into a note and tells the user
// once, with the notes' paths; or says why it could not, the drafts kept.
void recoverLostNote(HWND owner, const AppSettings &settings);
