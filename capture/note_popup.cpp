#include "capture/note_popup.h"

#include <imm.h>

#include <cstdlib>
#include <cstring>

#include "capture/draft.h"
#include "capture/note_store.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/error_text.h"
#include "support/sjis.h"
#include "support/window.h"

namespace {

constexpr char kClassName[] = "JotwellPane";
constexpr char kTitle[] = "Jotwell";
// The outer size at 96 DPI; on other screens it is scaled to the DPI of the monitor.
constexpr int kWidth = 640;
constexpr int kHeight = 100;
// Typing reaches the draft once it pauses this long, and never later than the deadline
// after the first change the draft does not hold yet: steady typing is not left unkept.
constexpr UINT kDraftPauseMs = 1000;
constexpr UINT kDraftDeadlineMs = 5000;

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
// The editor's Draft (heap, freed with the window): which file holds its draft.
constexpr char kPropDraft[] = "PROP_DRAFT";
// The DPI the editor is sized and its font made for.
constexpr char kPropDpi[] = "PROP_DPI";
// Present while a change waits for the draft and the deadline's timer runs.
constexpr char kPropDraftDue[] = "PROP_DRAFTDUE";

HANDLE const kFlag = reinterpret_cast<HANDLE>(1);

// When the last editor closed because another window was activated, or 0: a press on the
// tray icon does that before its release asks for an editor.
DWORD closedByDeactivationAt = 0;

AppSettings *settingsOf(HWND window) {
    return static_cast<AppSettings *>(GetPropA(window, kPropParam));
}

Draft *draftOf(HWND window) {
    return static_cast<Draft *>(GetPropA(window, kPropDraft));
}

HWND editOf(HWND window) {
    return GetDlgItem(window, IDC_NOTE_EDIT);
}

// Japanese still being converted is not in the control's text yet: confirm it, and take in
// the characters that the confirmation posts to the control, so that the note keeps it.
void completeComposition(HWND edit) {
    HIMC context = ImmGetContext(edit);
    if (!context)
        return;
    if (ImmGetCompositionStringW(context, GCS_COMPSTR, nullptr, 0) > 0) {
        ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0);
        for (MSG msg; PeekMessageW(&msg, edit, WM_CHAR, WM_IME_KEYLAST, PM_REMOVE) ||
                      PeekMessageW(&msg, edit, WM_IME_CHAR, WM_IME_CHAR, PM_REMOVE);)
            DispatchMessageW(&msg);
    }
    ImmReleaseContext(edit, context);
}

void stopDraftTimers(HWND window) {
    KillTimer(window, DRAFT_TIMER_ID);
    KillTimer(window, DRAFT_DEADLINE_TIMER_ID);
    RemovePropA(window, kPropDraftDue);
}

// Puts the text on disk as the draft, or takes the draft away when there is no text.
// Quiet: typing goes on whatever happens to the draft.
void keepDraft(HWND window) {
    stopDraftTimers(window);
    const AppSettings *settings = settingsOf(window);
    Draft *draft = draftOf(window);
    HWND edit = editOf(window);
    if (!settings || !draft || !edit)
        return;
    char *text = windowTextAlloc(edit); // freed here
    if (text && text[0] != '\0')
        writeDraft(draft, *settings, text);
    else if (text)
        eraseDraft(draft);
    std::free(text);
}

void reportSaveFailure(HWND window, const NoteSaveResult &result) {
    char reason[kSystemReasonSize];
    systemReason(result.error, reason);
    char text[kPathBufferSize + sizeof reason + 128];
    formatBounded(sizeof text, text,
                  "メモを保存できませんでした。\r\n\r\n%s\r\n%s\r\n\r\n"
                  "フォルダを確認してから、もう一度閉じてください。",
                  result.path, reason);
    MessageBoxA(window, text, kTitle, MB_OK | MB_ICONERROR);
}

// True when the editor may go: its text is on disk, or there was none. On
// failure the user has been told and the text is still in the editor.
bool saveEditorText(HWND window, const AppSettings &settings) {
    HWND edit = editOf(window);
    if (!edit)
        return true;
    completeComposition(edit);
    char *text = windowTextAlloc(edit); // freed here
    Draft *draft = draftOf(window);
    NoteSaveResult result{};
    if (!text || !draft) {
        sjisCopyBounded(sizeof result.path, result.path, settings.documentFolder);
        result.error = ERROR_NOT_ENOUGH_MEMORY;
    } else if (text[0] == '\0' || saveNote(draft, settings, text, &result)) {
        // The note is on disk (or there was none): the draft has served.
        if (text[0] == '\0')
            eraseDraft(draft);
        std::free(text);
        stopDraftTimers(window);
        return true;
    }
    std::free(text);
    // The draft stays, and its timers run on: the text reaches the disk that way while the
    // user fixes the folder.
    reportSaveFailure(window, result);
    return false;
}

// Gives the edit the system font scaled to the DPI (none of its own at the system's).
void setFontForDpi(HWND window, UINT dpi) {
    HFONT font = dpi == systemDpi() ? nullptr : createSystemFontForDpi(dpi);
    const auto old = static_cast<HFONT>(RemovePropA(window, kPropFont));
    // A new edit control has the system font already: nothing to lay out again.
    HWND edit = editOf(window);
    if (edit && (font || old))
        SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (old)
        DeleteObject(old);
    if (font)
        SetPropA(window, kPropFont, font);
}

UINT dpiAtCursor() {
    POINT cursor{};
    GetCursorPos(&cursor);
    return dpiAtPoint(cursor);
}

LRESULT onCreate(HWND window, LPARAM lParam) {
    // Only the window's making: another program could send it again with any pointer.
    if (GetPropA(window, kPropDraft))
        return 0;
    const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
    auto *settings = static_cast<AppSettings *>(create->lpCreateParams);
    auto *draft = static_cast<Draft *>(std::calloc(1, sizeof(Draft)));
    if (!settings || !draft || !SetPropA(window, kPropDraft, draft)) {
        std::free(draft);
        return -1;
    }
    SetPropA(window, kPropParam, settings);
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
    // Sized for the monitor under the cursor, where it is about to be shown.
    const UINT dpi = dpiAtCursor();
    setFontForDpi(window, dpi);
    SetPropA(window, kPropDpi, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(dpi)));
    SetWindowTextA(edit, "");
    stopDraftTimers(window); // that was no typing
    // Without this the control takes only about 30,000 typed or pasted
    // characters and silently drops the rest of a long paste.
    SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    if (settings->imeOnAtStartup)
        imeSetOpen(edit, true);
    return 0;
}

LRESULT onSize(HWND window) {
    HWND edit = editOf(window);
    RECT client{};
    if (edit && GetClientRect(window, &client))
        windowResize(edit, rectWidth(client), rectHeight(client));
    return 0;
}

// On a monitor of another DPI: the font follows, and the frame grows or shrinks by the same
// measure about its centre, which stays on the monitor it was moved to; grown from its corner,
// it could reach back over the edge onto the other monitor and be sent back. While it is being
// placed before it is shown, it already has its size for the monitor under the cursor, which
// is where it is going. Only the DPI in wParam is read: another program could send or post the
// message with a rectangle pointing anywhere.
LRESULT onDpiChanged(HWND window, WPARAM wParam) {
    const int dpi = LOWORD(wParam);
    const int was = static_cast<int>(reinterpret_cast<UINT_PTR>(GetPropA(window, kPropDpi)));
    if (dpi == 0 || dpi == was)
        return 0;
    setFontForDpi(window, static_cast<UINT>(dpi));
    SetPropA(window, kPropDpi, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(dpi)));
    RECT frame{};
    if (IsWindowVisible(window) && was != 0 && GetWindowRect(window, &frame)) {
        const int width = MulDiv(rectWidth(frame), dpi, was);
        const int height = MulDiv(rectHeight(frame), dpi, was);
        SetWindowPos(window, nullptr, (frame.left + frame.right - width) / 2,
                     (frame.top + frame.bottom - height) / 2, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
}

LRESULT onActivate(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) != WA_INACTIVE) {
        // Coming back after a failed save, the text is where the keys go.
        if (HWND edit = editOf(window))
            SetFocus(edit);
        return 0;
    }
    if (GetPropA(window, kPropSaveFailed))
        return 0;
    SendMessageA(window, WM_CLOSE, 0, 0);
    if (!IsWindow(window))
        closedByDeactivationAt = GetTickCount();
    return 0;
}

// Every change waits for a pause; the first one the draft does not hold also starts the
// deadline.
void onEditChange(HWND window) {
    SetTimer(window, DRAFT_TIMER_ID, kDraftPauseMs, nullptr);
    if (!GetPropA(window, kPropDraftDue) &&
        SetTimer(window, DRAFT_DEADLINE_TIMER_ID, kDraftDeadlineMs, nullptr))
        SetPropA(window, kPropDraftDue, kFlag);
}

LRESULT onCommand(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) == IDM_CANCEL)
        SendMessageA(window, WM_CLOSE, 0, 0);
    else if (LOWORD(wParam) == IDC_NOTE_EDIT && HIWORD(wParam) == EN_CHANGE)
        onEditChange(window);
    return 0;
}

LRESULT onTimer(HWND window, WPARAM id) {
    if (id == DRAFT_TIMER_ID || id == DRAFT_DEADLINE_TIMER_ID)
        keepDraft(window);
    return 0;
}

// The one save path of the editor: every way out arrives here.
LRESULT onClose(HWND window) {
    const AppSettings *settings = settingsOf(window);
    // Without its settings the editor is already being destroyed.
    if (!settings || GetPropA(window, kPropClosing))
        return 0;
    SetPropA(window, kPropClosing, kFlag);
    if (saveEditorText(window, *settings)) {
        // A session's end that the failed save held up may go on now.
        if (GetPropA(window, kPropSaveFailed))
            setShutdownReason(GetWindow(window, GW_OWNER), nullptr);
        // Emptied before it goes: Wine's edit control, destroyed holding a long text, keeps
        // tens of kilobytes of what it laid out for it, note after note.
        if (HWND edit = editOf(window))
            SetWindowTextA(edit, "");
        DestroyWindow(window);
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
    stopDraftTimers(window);
    if (const auto font = static_cast<HFONT>(RemovePropA(window, kPropFont)))
        DeleteObject(font); // the edit control goes with the window
    if (auto *draft = static_cast<Draft *>(RemovePropA(window, kPropDraft))) {
        releaseDraft(draft);
        std::free(draft);
    }
    RemovePropA(window, kPropDpi);
    RemovePropA(window, kPropParam);
    RemovePropA(window, kPropClosing);
    RemovePropA(window, kPropSaveFailed);
    return 0;
}

} // namespace

HWND createNotePopup(HWND owner, AppSettings *settings) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    registerAppWindowClass(instance, kClassName, notePopupProc);
    closedByDeactivationAt = 0; // a new note: no click left to answer for the last one
    const int dpi = static_cast<int>(dpiAtCursor());
    HWND window =
        CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, kTitle, WS_THICKFRAME,
                        CW_USEDEFAULT, CW_USEDEFAULT, MulDiv(kWidth, dpi, kDefaultDpi),
                        MulDiv(kHeight, dpi, kDefaultDpi), owner, nullptr, instance, settings);
    if (window)
        SetForegroundWindow(window);
    return window;
}

LRESULT CALLBACK notePopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return onCreate(window, lParam);
    case WM_SIZE: return onSize(window);
    case WM_ACTIVATE: return onActivate(window, wParam);
    case WM_COMMAND: return onCommand(window, wParam);
    case WM_TIMER: return onTimer(window, wParam);
    case WM_DPICHANGED: return onDpiChanged(window, wParam);
    case WM_CLOSE: return onClose(window);
    case WM_DESTROY: return onDestroy(window);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void keepNotePopupDraft(HWND editor) {
    if (HWND edit = editOf(editor))
        completeComposition(edit);
    keepDraft(editor);
}

bool notePopupIsComposing(HWND editor) {
    HWND edit = IsWindow(editor) ? editOf(editor) : nullptr;
    HIMC context = edit ? ImmGetContext(edit) : nullptr;
    if (!context)
        return false;
    const bool composing = ImmGetCompositionStringW(context, GCS_COMPSTR, nullptr, 0) > 0;
    ImmReleaseContext(edit, context);
    return composing;
}

bool notePopupJustClosedByDeactivation() {
    const DWORD at = closedByDeactivationAt;
    closedByDeactivationAt = 0; // one close answers for one click
    return at != 0 && GetTickCount() - at <= GetDoubleClickTime();
}

namespace {

// What the start's recovery has to tell, gathered for one message.
struct RecoveryText {
    char saved[4096];
    char failed[4096];
    bool again; // something the next start tries again
};

// Appends to a fixed text; what does not fit is left out, never half a character.
void append(char *text, std::size_t size, const char *part) {
    const std::size_t length = std::strlen(text);
    sjisCopyBounded(size - length, text + length, part);
}

void gather(const DraftOutcome &outcome, void *context) {
    auto *text = static_cast<RecoveryText *>(context);
    char part[kPathBufferSize * 2 + 700];
    if (outcome.saved) {
        formatBounded(sizeof part, part, "%s\r\n", outcome.result.path);
        append(text->saved, sizeof text->saved, part);
        return;
    }
    char reason[kSystemReasonSize];
    systemReason(outcome.result.error, reason);
    formatBounded(sizeof part, part, "%s\r\n%s\r\n書きかけは「%s」に残してあります。\r\n%s\r\n",
                  outcome.result.path, reason, outcome.kept,
                  outcome.again ? "" : "自動では保存しません。開いて確かめてください。\r\n");
    append(text->failed, sizeof text->failed, part);
    text->again = text->again || outcome.again;
}

} // namespace

void recoverLostNote(HWND owner, const AppSettings &settings) {
    RecoveryText text{};
    recoverDrafts(settings, gather, &text);
    if (!text.saved[0] && !text.failed[0])
        return;
    char message[sizeof text.saved + sizeof text.failed + 512] = "";
    if (text.saved[0]) {
        append(message, sizeof message,
               "前回保存されないまま残った書きかけのメモを保存しました。\r\n\r\n");
        append(message, sizeof message, text.saved);
    }
    if (text.failed[0]) {
        append(message, sizeof message, text.saved[0] ? "\r\n" : "");
        append(message, sizeof message,
               "前回保存されないまま残った書きかけのメモを保存できませんでした。\r\n\r\n");
        append(message, sizeof message, text.failed);
        if (text.again)
            append(message, sizeof message, "次に起動したときにもう一度保存します。");
    }
    MessageBoxA(owner, message, kTitle,
                MB_OK | (text.failed[0] ? MB_ICONWARNING : MB_ICONINFORMATION));
}
