#include "capture/note_popup.h"

#include <cstdlib>

#include "capture/note_store.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/sjis.h"
#include "support/window.h"

namespace {

constexpr char kClassName[] = "JotwellPane";
// The draft is written once typing has paused this long.
constexpr UINT kDraftDelayMs = 1000;
constexpr char kTitle[] = "Jotwell";
// The outer size at 96 DPI; on other screens it is scaled to the DPI of the monitor.
constexpr int kWidth = 640;
constexpr int kHeight = 100;

constexpr char kPropParam[] = "PROP_PARAM";
// Present while the close handler runs: DestroyWindow and the error box both
// deactivate the editor, and that deactivation must not start a second save.
constexpr char kPropClosing[] = "PROP_CLOSING";
// The edit control's font on a monitor whose DPI is not the system's, deleted with the
// window; absent where the system font fits.
constexpr char kPropFont[] = "PROP_FONT";
// Present once a save has failed: from then on only an explicit close (Esc, the
// hotkey, a tray click) tries again, so that the user can go and fix the folder
// without every change of window raising the same error again.
constexpr char kPropSaveFailed[] = "PROP_SAVEFAILED";

HANDLE const kFlag = reinterpret_cast<HANDLE>(1);

AppSettings *settingsOf(HWND window) {
    return static_cast<AppSettings *>(GetPropA(window, kPropParam));
}

HWND editOf(HWND window) {
    return GetDlgItem(window, IDC_NOTE_EDIT);
}

// Puts the text on disk as the draft, or takes the draft away when there is no text.
// Quiet: typing goes on whatever happens to the draft.
void keepDraft(HWND window) {
    KillTimer(window, DRAFT_TIMER_ID);
    const AppSettings *settings = settingsOf(window);
    char *text = editOf(window) ? windowTextAlloc(editOf(window)) : nullptr; // freed here
    if (settings && text && text[0] != '\0')
        writeDraft(settings->documentFolder, text);
    else if (settings && text)
        removeDraft(settings->documentFolder);
    std::free(text);
}

// The system's own words for the error, without the line break it ends with.
void systemReason(DWORD error, char *reason, std::size_t size) {
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, reason, static_cast<DWORD>(size), nullptr);
    if (length == 0) {
        formatBounded(size, reason, "エラー %lu", static_cast<unsigned long>(error));
        return;
    }
    // CR, LF and space are never the second byte of a double-byte character.
    char *end = reason + length;
    while (end > reason && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' '))
        *--end = '\0';
}

void reportSaveFailure(HWND window, const NoteSaveResult &result) {
    char reason[512];
    systemReason(result.error, reason, sizeof reason);
    char text[kPathBufferSize + sizeof reason + 128];
    formatBounded(sizeof text, text,
                  "メモを保存できませんでした。\r\n\r\n%s\r\n%s (%lu)\r\n\r\n"
                  "フォルダを確認してから、もう一度閉じてください。",
                  result.path, reason, static_cast<unsigned long>(result.error));
    MessageBoxA(window, text, kTitle, MB_OK | MB_ICONERROR);
}

// True when the editor may go: its text is on disk, or there was none. On
// failure the user has been told and the text is still in the editor.
bool saveEditorText(HWND window, const AppSettings &settings) {
    HWND edit = editOf(window);
    if (!edit)
        return true;
    // Freed here.
    char *text = windowTextAlloc(edit);
    NoteSaveResult result{};
    if (!text) {
        sjisCopyBounded(sizeof result.path, result.path, settings.documentFolder);
        result.error = ERROR_NOT_ENOUGH_MEMORY;
    } else if (text[0] == '\0' || saveNote(settings.documentFolder, text, &result)) {
        std::free(text);
        // The note is on disk (or there was none): the draft has served.
        KillTimer(window, DRAFT_TIMER_ID);
        removeDraft(settings.documentFolder);
        return true;
    }
    std::free(text);
    // The draft stays, and its timer runs on: the text reaches the disk that way while the
    // user fixes the folder.
    reportSaveFailure(window, result);
    return false;
}

// Gives the edit the system font scaled to the DPI (none of its own at the system's).
void setFontForDpi(HWND window, UINT dpi) {
    HFONT font = dpi == systemDpi() ? nullptr : createSystemFontForDpi(dpi);
    if (HWND edit = editOf(window))
        SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (const auto old = static_cast<HFONT>(RemovePropA(window, kPropFont)))
        DeleteObject(old);
    if (font)
        SetPropA(window, kPropFont, font);
}

LRESULT onDpiChanged(HWND window, WPARAM wParam, const RECT *suggested) {
    setFontForDpi(window, LOWORD(wParam));
    SetWindowPos(window, nullptr, suggested->left, suggested->top, rectWidth(*suggested),
                 rectHeight(*suggested), SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

LRESULT onCreate(HWND window, const CREATESTRUCTA *create) {
    auto *settings = static_cast<AppSettings *>(create->lpCreateParams);
    if (!settings || !SetPropA(window, kPropParam, settings))
        return -1;
    RECT client{};
    GetClientRect(window, &client);
    HWND edit = CreateWindowExA(
        0, "EDIT", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
        client.left, client.top, client.right, client.bottom, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_NOTE_EDIT)), create->hInstance, nullptr);
    // An editor without its edit control could take no note.
    if (!edit)
        return -1;
    // Without this the control takes only about 30,000 typed or pasted
    // characters and silently drops the rest of a long paste.
    SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
    return 0;
}

LRESULT onSize(HWND window) {
    HWND edit = editOf(window);
    RECT client{};
    if (edit && GetClientRect(window, &client))
        windowResize(edit, rectWidth(client), rectHeight(client));
    return 0;
}

LRESULT onActivate(HWND window, WPARAM wParam) {
    // Hidden, it holds no note: its deactivation is the end of one.
    if (!IsWindowVisible(window))
        return 0;
    if (LOWORD(wParam) != WA_INACTIVE) {
        // Coming back after a failed save, the text is where the keys go.
        if (HWND edit = editOf(window))
            SetFocus(edit);
        return 0;
    }
    if (!GetPropA(window, kPropSaveFailed))
        SendMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT onCommand(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) == IDM_CANCEL && IsWindowVisible(window))
        SendMessageA(window, WM_CLOSE, 0, 0);
    // Each change starts the wait again: the draft is written once typing pauses.
    else if (LOWORD(wParam) == IDC_NOTE_EDIT && HIWORD(wParam) == EN_CHANGE)
        SetTimer(window, DRAFT_TIMER_ID, kDraftDelayMs, nullptr);
    return 0;
}

LRESULT onTimer(HWND window, WPARAM id) {
    if (id == DRAFT_TIMER_ID)
        keepDraft(window);
    return 0;
}

// Hidden until the next note, and ready for it: empty (no text lingers in it), nothing to
// undo, no failure remembered.
void hide(HWND window) {
    ShowWindow(window, SW_HIDE);
    if (HWND edit = editOf(window)) {
        SetWindowTextA(edit, "");
        SendMessageA(edit, EM_EMPTYUNDOBUFFER, 0, 0);
    }
    // That change is no typing: there is no draft to write.
    KillTimer(window, DRAFT_TIMER_ID);
    RemovePropA(window, kPropSaveFailed);
    RemovePropA(window, kPropClosing);
}

// The one save path of the editor: every way out arrives here.
LRESULT onClose(HWND window) {
    const AppSettings *settings = settingsOf(window);
    // Without its settings the editor is already being destroyed; hidden, it holds nothing.
    if (!settings || !IsWindowVisible(window) || GetPropA(window, kPropClosing))
        return 0;
    SetPropA(window, kPropClosing, kFlag);
    if (saveEditorText(window, *settings)) {
        hide(window);
        return 0;
    }
    // The box's modal loop may have seen the owner, and with it the editor, go.
    if (!IsWindow(window))
        return 0;
    SetPropA(window, kPropSaveFailed, kFlag);
    RemovePropA(window, kPropClosing);
    if (HWND edit = editOf(window))
        SetFocus(edit);
    return 0;
}

LRESULT onDestroy(HWND window) {
    KillTimer(window, DRAFT_TIMER_ID);
    if (const auto font = static_cast<HFONT>(RemovePropA(window, kPropFont)))
        DeleteObject(font); // the edit control goes with the window
    RemovePropA(window, kPropParam);
    RemovePropA(window, kPropClosing);
    RemovePropA(window, kPropSaveFailed);
    return 0;
}

} // namespace

HWND createNotePopup(HWND owner, AppSettings *settings) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    registerAppWindowClass(instance, kClassName, notePopupProc);
    return CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, kTitle, WS_THICKFRAME,
                           CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight, owner, nullptr, instance,
                           settings);
}

LRESULT CALLBACK notePopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return onCreate(window, reinterpret_cast<const CREATESTRUCTA *>(lParam));
    case WM_SIZE: return onSize(window);
    case WM_ACTIVATE: return onActivate(window, wParam);
    case WM_COMMAND: return onCommand(window, wParam);
    case WM_TIMER: return onTimer(window, wParam);
    case WM_DPICHANGED: return onDpiChanged(window, wParam, reinterpret_cast<const RECT *>(lParam));
    case WM_CLOSE: return onClose(window);
    case WM_DESTROY: return onDestroy(window);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void showNotePopup(HWND editor) {
    // Made hidden or hidden after a note, it is empty and holds nothing of the last one; it
    // takes the size of a new editor whatever the user made of the last one.
    HWND edit = editOf(editor);
    const AppSettings *settings = settingsOf(editor);
    if (!edit || !settings)
        return;
    // It takes the DPI of the monitor under the cursor: left on another one, it is moved there
    // first.
    POINT cursor{};
    GetCursorPos(&cursor);
    if (MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST) !=
        MonitorFromWindow(editor, MONITOR_DEFAULTTONEAREST))
        placeAtCursor(editor);
    const UINT dpi = windowDpi(editor);
    if (dpi != systemDpi() || GetPropA(editor, kPropFont))
        setFontForDpi(editor, dpi);
    const int width = MulDiv(kWidth, static_cast<int>(dpi), kDefaultDpi);
    const int height = MulDiv(kHeight, static_cast<int>(dpi), kDefaultDpi);
    const POINT at = placementAtCursor(width, height);
    if (settings->imeOnAtStartup)
        imeSetOpen(edit, true);
    // Sized, placed and shown in one move: each move is a round trip to the display.
    SetWindowPos(editor, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_SHOWWINDOW);
    SetForegroundWindow(editor);
    SetFocus(edit);
}

void keepNotePopupDraft(HWND editor) {
    keepDraft(editor);
}

void recoverLostNote(HWND owner, const char *folder) {
    NoteSaveResult result{};
    const DraftFate fate = draftToNote(folder, &result);
    char text[kPathBufferSize * 2 + 512];
    if (fate == DraftFate::Saved) {
        formatBounded(sizeof text, text,
                      "前回保存されないまま残った書きかけのメモを保存しました。\r\n\r\n%s",
                      result.path);
        MessageBoxA(owner, text, kTitle, MB_OK | MB_ICONINFORMATION);
    } else if (fate == DraftFate::Failed) {
        char reason[512];
        systemReason(result.error, reason, sizeof reason);
        formatBounded(sizeof text, text,
                      "前回保存されないまま残った書きかけのメモを保存できませんでした。\r\n\r\n"
                      "%s\r\n%s (%lu)\r\n\r\n書きかけはメモのフォルダの「%s」に残してあります。"
                      "次に起動したときにもう一度保存します。",
                      result.path, reason, static_cast<unsigned long>(result.error), kDraftName);
        MessageBoxA(owner, text, kTitle, MB_OK | MB_ICONWARNING);
    }
}
