// The hidden main window: every command of the program arrives here.
#include "app/main_window.h"

#include <shlobj.h>
#include <shellapi.h>

#include "about/about_dialog.h"
#include "app/hotkey.h"
#include "app/run.h"
#include "app/tray.h"
#include "capture/note_popup.h"
#include "capture/note_store.h"
#include "res/resource.h"
#include "settings/hotkey_name.h"
#include "settings/settings.h"
#include "settings/settings_dialog.h"
#include "support/error_text.h"
#include "support/sjis.h"
#include "support/window.h"

HWND editorWindow = nullptr;

static const char kPropParam[] = "PROP_PARAM";
static HANDLE const kFlag = reinterpret_cast<HANDLE>(1);

static AppSettings *settingsOf(HWND window) {
    return static_cast<AppSettings *>(GetPropA(window, kPropParam));
}

// Each note has an editor of its own, destroyed when it closes.
static bool editorIsOpen() {
    return editorWindow && IsWindow(editorWindow);
}

// Present from the window's making when registering the hotkey failed, holding the error (plus
// one, so that a failure that left no error is still told), for the report once the loop runs.
static const char kPropHotkeyFailed[] = "PROP_HOTKEYFAILED";
// Present once the start-up work (the drafts' recovery, the reports) was done: a second
// WM_STARTED, from wherever it came, does nothing.
static const char kPropStarted[] = "PROP_STARTED";

BOOL RegisterPopupHotkey(HWND window, const AppSettings *settings) {
    const auto value = static_cast<std::uint32_t>(settings->hotkey);
    if (value == 0)
        return UnregisterHotKey(window, POPUP_HOTKEY_ID);
    // A key for typing, without Ctrl or Alt, would be taken from every program.
    if (hotkeyTakesTypingKey(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const HotkeyRegistration keys = hotkeyRegistration(value);
    // Held down, the hotkey toggles the editor once, not once per repeat; a system before
    // Windows 7 refuses that flag, and registers the combination without it.
    if (RegisterHotKey(window, POPUP_HOTKEY_ID, keys.modifiers | kModNoRepeat, keys.virtualKey))
        return TRUE;
    if (GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED)
        return FALSE;
    return RegisterHotKey(window, POPUP_HOTKEY_ID, keys.modifiers, keys.virtualKey);
}

BOOL UnregisterPopupHotkey(HWND window) {
    return UnregisterHotKey(window, POPUP_HOTKEY_ID);
}

// The name the keyboard layout gives the key, as the hotkey control shows it; empty when
// the layout has none.
static void platformKeyName(std::uint32_t hotkey, char (&name)[64]) {
    const UINT scanCode = MapVirtualKeyA(hotkey & 0xFF, MAPVK_VK_TO_VSC);
    LONG keyData = static_cast<LONG>(scanCode << 16);
    if (hotkey & (HOTKEYF_EXT << 8))
        keyData |= 1L << 24;
    if (GetKeyNameTextA(keyData, name, sizeof name) <= 0)
        name[0] = '\0';
}

// The hotkey could not be registered: without a word the user would be left with a hotkey
// that silently does nothing. Says why (another program holds it, or the system's reason)
// and, in remedy, what to do about it.
static void reportHotkeyFailure(HWND owner, std::uint32_t hotkey, DWORD error, const char *caption,
                                const char *remedy) {
    char keyName[64] = "";
    if (hotkeyNeedsKeyName(hotkey))
        platformKeyName(hotkey, keyName);
    char combination[kHotkeyNameSize];
    hotkeyName(hotkey, keyName, combination);
    char reason[kSystemReasonSize];
    if (hotkeyTakesTypingKey(hotkey))
        sjisCopyBounded(sizeof reason, reason,
                        "文字の入力に使うキーです。Ctrl か Alt と組み合わせてください。");
    else if (error == ERROR_HOTKEY_ALREADY_REGISTERED)
        sjisCopyBounded(sizeof reason, reason, "ほかのプログラムが使っている組み合わせです。");
    else
        systemReason(error, reason);
    char text[kHotkeyNameSize + sizeof reason + 256];
    formatBounded(sizeof text, text, "ホットキー「%s」を登録できませんでした。\r\n%s\r\n%s",
                  combination, reason, remedy);
    MessageBoxA(owner, text, caption, MB_OK | MB_ICONWARNING);
}

void ToggleEditor(HWND window) {
    if (editorIsOpen()) {
        SendMessageA(editorWindow, WM_COMMAND, IDM_CANCEL, 0);
        return;
    }
    editorWindow = createNotePopup(window, settingsOf(window));
    if (!editorWindow)
        return;
    placeAtCursor(editorWindow);
    ShowWindow(editorWindow, SW_SHOWNORMAL);
}

// Closes an open editor the normal way, so that its text is saved. False when
// it is still open: its save failed, the user has been told, and the text must
// not be thrown away by going on.
static bool closeEditorKeepingText() {
    if (editorIsOpen())
        SendMessageA(editorWindow, WM_CLOSE, 0, 0);
    return !editorIsOpen();
}

void OpenFolderInShell(HWND owner, const char *path) {
    // A hand-edited folder setting must not make "open folder" start a program.
    if (!isDirectory(path))
        return;
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return;
    IShellLinkA *link = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void **>(&link)) != S_OK) {
        allocator->Release();
        return;
    }
    LPITEMIDLIST idList = nullptr;
    if (link->SetPath(path) == S_OK && link->SetArguments("") == S_OK &&
        link->SetWorkingDirectory("") == S_OK && link->SetShowCmd(SW_HIDE) == S_OK &&
        link->GetIDList(&idList) == S_OK) {
        SHELLEXECUTEINFOA info;
        zeroFill(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_IDLIST;
        info.hwnd = owner;
        info.lpVerb = "open";
        info.lpFile = path;
        info.lpParameters = "";
        info.lpDirectory = "";
        info.nShow = SW_SHOW;
        info.lpIDList = idList;
        ShellExecuteExA(&info);
        allocator->Free(idList);
    }
    link->Release();
    allocator->Release();
}

static LRESULT onCreate(HWND window, LPARAM lParam) {
    // Only the window's making: another program could send it again with any pointer.
    if (settingsOf(window))
        return 0;
    SetPropA(window, kPropParam, reinterpret_cast<const CREATESTRUCTA *>(lParam)->lpCreateParams);
    // A notification area that never takes the icon (a slow log-on) does not end the program
    // while the hotkey works: the icon comes once the shell takes it or announces itself anew
    // ("TaskbarCreated").
    const bool iconShown = InstallTrayIcon(window);
    const bool registered = RegisterPopupHotkey(window, settingsOf(window));
    if (!registered)
        SetPropA(window, kPropHotkeyFailed,
                 reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GetLastError()) + 1));
    // Without either, a running Jotwell would have no way in, and starting it again would do
    // nothing (one per session): it says so and ends.
    if (!iconShown && !(registered && settingsOf(window)->hotkey != 0)) {
        MessageBoxA(window,
                    "通知領域にアイコンを表示できませんでした。ホットキーもないため、"
                    "Jotwell を終了します。\r\n"
                    "タスクバーが表示されてから、もう一度起動してください。",
                    "Jotwell", MB_OK | MB_ICONWARNING);
        return -1;
    }
    // Told once the loop runs, so that nothing waits on a box while the window is made.
    PostMessageA(window, WM_STARTED, 0, 0);
    return 0;
}

// Typed Japanese reaches the edit control, and the notes, as Shift-JIS only where that is the
// system's code page for non-Unicode programs; anywhere else it becomes question marks. Told
// once, in both languages and through the wide functions, so that it can be read whatever
// the code page.
static void warnOfCodePage(HWND owner) {
    constexpr UINT kShiftJis = 932;
    if (GetACP() == kShiftJis)
        return;
    MessageBoxW(owner,
                L"このシステムでは、入力した日本語をメモに保存できません。"
                L"日本語の文字は「?」になります。\r\n"
                L"コントロール パネルの「地域」→「管理」→「システム ロケールの変更」で"
                L"「日本語 (日本)」を選び、Windows を再起動してください。\r\n\r\n"
                L"Japanese typed into Jotwell cannot be saved on this system: it becomes "
                L"question marks.\r\n"
                L"In Control Panel, open Region > Administrative > Change system locale, choose "
                L"Japanese (Japan) and restart Windows.",
                L"Jotwell", MB_OK | MB_ICONWARNING);
}

// The settings file names itself and why: "headline\r\n\r\npath\r\nreason\r\n\r\ntail".
static void reportSettingsFile(HWND owner, DWORD error, const char *headline, const char *tail,
                               const char *caption) {
    char path[kPathBufferSize] = "";
    GetIniPath(path);
    char reason[kSystemReasonSize];
    systemReason(error, reason);
    char text[kPathBufferSize + sizeof reason + 256];
    formatBounded(sizeof text, text, "%s\r\n\r\n%s\r\n%s\r\n\r\n%s", headline, path, reason, tail);
    MessageBoxA(owner, text, caption, MB_OK | MB_ICONWARNING);
}

// Once, right after start: a note a previous run left as its draft is saved (before anything
// else, while no editor can be open), a system that cannot keep Japanese is told so, and so
// are a settings file that was not read and a hotkey that could not be registered.
static LRESULT onStarted(HWND window) {
    const AppSettings *settings = settingsOf(window);
    if (GetPropA(window, kPropStarted) || !settings)
        return 0;
    SetPropA(window, kPropStarted, kFlag);
    recoverLostNote(window, *settings);
    warnOfCodePage(window);
    // A file that is there but was not read: the defaults hold for this run, and 設定's OK
    // does not write them over the user's own.
    if (settings->fileError != 0)
        reportSettingsFile(window, settings->fileError, "設定ファイルを読み込めませんでした。",
                           "このまま既定の設定で動きます。設定ファイルは上書きしません。",
                           "Jotwell");
    const auto failed = reinterpret_cast<UINT_PTR>(GetPropA(window, kPropHotkeyFailed));
    if (failed && settings->hotkey != 0)
        reportHotkeyFailure(window, static_cast<std::uint32_t>(settings->hotkey),
                            static_cast<DWORD>(failed - 1), "Jotwell",
                            "トレイアイコンのメニューの「設定」から変更できます。");
    return 0;
}

static LRESULT onDestroy(HWND window) {
    UnregisterPopupHotkey(window);
    RemoveTrayIcon(window);
    RemovePropA(window, kPropParam);
    RemovePropA(window, kPropHotkeyFailed);
    RemovePropA(window, kPropStarted);
    RequestQuit();
    return 0;
}

static void quit(HWND window) {
    if (closeEditorKeepingText())
        DestroyWindow(window);
}

static void showAbout(HWND window) {
    const AboutInfo info{kSupportAddress};
    ShowAboutBox(window, &info);
}

static void runSettings(HWND window) {
    AppSettings *settings = settingsOf(window);
    if (!settings || BringSettingsDialogForward())
        return;
    // The dialog's hotkey control must be able to take the current combination.
    UnregisterPopupHotkey(window);
    const bool accepted = RunSettingsDialog(window, settings);
    // OK changed the record for this run, but the file keeps the old values: the next start
    // would bring them back without a word.
    if (accepted && !SaveSettings(*settings))
        reportSettingsFile(window, GetLastError(), "設定をファイルに保存できませんでした。",
                           "変更はこのまま使われますが、次に起動したときには元に戻ります。",
                           "設定");
    if (!RegisterPopupHotkey(window, settings) && accepted && settings->hotkey != 0)
        reportHotkeyFailure(window, static_cast<std::uint32_t>(settings->hotkey), GetLastError(),
                            "設定", "設定で別の組み合わせを選んでください。");
}

static void reportFolderNotOpened(HWND owner, const char *path, const char *reason) {
    char text[kPathBufferSize + kSystemReasonSize + 64];
    formatBounded(sizeof text, text, "フォルダを開けませんでした。\r\n\r\n%s\r\n%s", path, reason);
    MessageBoxA(owner, text, "Jotwell", MB_OK | MB_ICONINFORMATION);
}

// The folder the notes go to: the program's folder for an empty setting, a relative one
// taken from there. One that names no folder, or is not there yet (a new folder before its
// first note), is told, with what the first save will meet there.
static void openFolder(HWND window) {
    const AppSettings *settings = settingsOf(window);
    char root[kPathBufferSize], parent[kPathBufferSize], reason[kSystemReasonSize];
    NoteSaveResult result{};
    if (!settings)
        return;
    if (!noteRoot(*settings, root, &result)) {
        systemReason(result.error, reason);
        reportFolderNotOpened(window, result.path, reason);
        return;
    }
    if (isDirectory(root)) {
        OpenFolderInShell(window, root);
        return;
    }
    // The save makes the notes folder, never the folders above it.
    sjisCopyBounded(sizeof parent, parent, root);
    pathCutLastComponent(parent);
    if (fileExists(root) || !isDirectory(parent))
        systemReason(fileExists(root) ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND, reason);
    else
        sjisCopyBounded(sizeof reason, reason,
                        "まだありません。最初のメモを保存したときに作られます。");
    reportFolderNotOpened(window, root, reason);
}

static LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    // Only menu items and the program's own commands (0) and accelerators (1).
    if (HIWORD(wParam) > 1)
        return 0;
    switch (LOWORD(wParam)) {
    case IDM_QUIT: quit(window); return 0;
    case IDM_ABOUT: showAbout(window); return 0;
    case IDM_POPUP: ToggleEditor(window); return 0;
    case IDM_SETTINGS: runSettings(window); return 0;
    case IDM_OPENFOLDER: openFolder(window); return 0;
    default: return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
}

static LRESULT onTrayNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    // Posted, so that the editor or the menu appears after the shell's call returned.
    if (wParam == TRAY_ICON_ID && (lParam == WM_LBUTTONUP || lParam == WM_RBUTTONUP)) {
        PostMessageA(window, static_cast<UINT>(lParam), 0, 0);
        return 0;
    }
    return DefWindowProcA(window, WM_TRAYNOTIFY, wParam, lParam);
}

static LRESULT onQueryEndSession(HWND window) {
    // The session may end before the user answers a failed save: the text is on disk first.
    if (editorIsOpen())
        keepNotePopupDraft(editorWindow);
    if (closeEditorKeepingText())
        return TRUE;
    // Windows says why Jotwell holds the session up; the editor takes it back once it saves.
    setShutdownReason(window, L"保存できなかったメモがあります。");
    return FALSE;
}

// A press on the tray icon closed the editor (it lost the activation): this release is the
// same click, not a request for a new editor.
static LRESULT onTrayLeftClick(HWND window) {
    if (!editorIsOpen() && notePopupJustClosedByDeactivation())
        return 0;
    SendMessageA(window, WM_COMMAND, IDM_POPUP, 0);
    return 0;
}

static LRESULT onEndSession(HWND window, WPARAM ending) {
    if (!ending)
        return 0;
    // The session may end this process before a save that has to ask the user is done:
    // the text goes to the draft first, which the next start turns into a note.
    if (editorIsOpen())
        keepNotePopupDraft(editorWindow);
    if (closeEditorKeepingText())
        DestroyWindow(window);
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The shell has restarted and forgotten the icon: add it again at once.
    if (message == TaskbarCreatedMessage() && message != 0) {
        RestoreTrayIcon();
        return 0;
    }
    switch (message) {
    case WM_CREATE: return onCreate(window, lParam);
    case WM_DESTROY: return onDestroy(window);
    case WM_COMMAND: return onCommand(window, wParam, lParam);
    case WM_LBUTTONUP: return onTrayLeftClick(window);
    case WM_RBUTTONUP: ShowTrayMenu(GetModuleHandleA(nullptr), window); return 0;
    case WM_HOTKEY: SendMessageA(window, WM_COMMAND, LOWORD(wParam), 0); return 0;
    case WM_TRAYNOTIFY: return onTrayNotify(window, wParam, lParam);
    case WM_STARTED: return onStarted(window);
    case WM_CLOSE: quit(window); return 0;
    case WM_QUERYENDSESSION: return onQueryEndSession(window);
    case WM_ENDSESSION: return onEndSession(window, wParam);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
