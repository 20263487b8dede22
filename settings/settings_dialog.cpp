// The settings dialog: the hotkey, the document folder and whether the input
// method opens with the editor, edited in place in the shared record.
#include "settings/settings_dialog.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "res/resource.h"
#include "settings/settings.h"
#include "support/path.h"
#include "support/sjis.h"
#include "support/window.h"

namespace {

const char kPropParam[] = "PROP_PARAM";
const char kCaption[] = "設定";
// The tooltip keeps this pointer for as long as it lives.
const char kHotkeyTip[] = "ホットキーの設定";

// The open dialog, or null. A second Settings request arrives through the
// main window while this one runs its modal loop.
HWND openDialog = nullptr;

AppSettings *settingsOf(HWND dialog) {
    return static_cast<AppSettings *>(GetPropA(dialog, kPropParam));
}

INT_PTR onInitDialog(HWND dialog, AppSettings *settings) {
    // Only the dialog's making: another program could send it again with any pointer.
    if (settingsOf(dialog))
        return TRUE;
    openDialog = dialog;
    // Without a record there is nothing to show or to store.
    if (!settings)
        return EndDialog(dialog, IDCANCEL);
    SetPropA(dialog, kPropParam, settings);
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    setWindowIcon(dialog, ICON_BIG, moduleIcon(instance, 0));
    setWindowIcon(dialog, ICON_SMALL, moduleIcon(instance, 1));
    placeAtCursor(dialog);
    CheckDlgButton(dialog, IDC_IMEONSTART, settings->imeOnAtStartup ? BST_CHECKED : BST_UNCHECKED);
    // A plain key would steal ordinary typing everywhere: make it Ctrl+Alt+key.
    SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_SETRULES, HKCOMB_NONE,
                        MAKELPARAM(HOTKEYF_CONTROL | HOTKEYF_ALT, 0));
    SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_SETHOTKEY,
                        static_cast<WPARAM>(static_cast<std::uint32_t>(settings->hotkey)), 0);
    SetDlgItemTextA(dialog, IDC_FOLDER, settings->documentFolder);
    tooltipAddTool(tooltipCreate(dialog, instance), dialog, GetDlgItem(dialog, IDC_HOTKEY),
                   kHotkeyTip);
    return TRUE;
}

INT_PTR onOk(HWND dialog) {
    AppSettings *settings = settingsOf(dialog);
    if (!settings)
        return EndDialog(dialog, IDCANCEL);
    // A folder the settings file held too long stays refused until the user sets another.
    const bool folderSet = SendDlgItemMessageA(dialog, IDC_FOLDER, EM_GETMODIFY, 0, 0) != 0;
    const bool takeFolder = !settings->documentFolderCut || folderSet;
    // The edit can hold more than the record. Cut, the folder would be some other folder's
    // name: it is refused, and the dialog stays with the user's edits.
    char folder[kPathBufferSize];
    GetDlgItemTextA(dialog, IDC_FOLDER, folder, sizeof folder);
    if (takeFolder && std::strlen(folder) >= sizeof settings->documentFolder) {
        MessageBoxA(
            dialog,
            "文書保存フォルダのパスが長すぎます。259 バイトまでのフォルダを指定してください。",
            kCaption, MB_OK | MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, IDC_FOLDER));
        return TRUE;
    }
    settings->hotkey =
        static_cast<std::int32_t>(SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0));
    settings->imeOnAtStartup = IsDlgButtonChecked(dialog, IDC_IMEONSTART) == BST_CHECKED;
    if (takeFolder) {
        sjisCopyBounded(sizeof settings->documentFolder, settings->documentFolder, folder);
        settings->documentFolderCut = false;
    }
    // Shown but left as it was, the program's folder would be pinned in the file.
    settings->documentFolderSet = settings->documentFolderSet || folderSet;
    EndDialog(dialog, IDOK);
    return TRUE;
}

INT_PTR onBrowse(HWND dialog) {
    char folder[kPathBufferSize + 2];
    GetDlgItemTextA(dialog, IDC_FOLDER, folder, kPathBufferSize - 1);
    if (BrowseForFolder(dialog, folder)) {
        SetDlgItemTextA(dialog, IDC_FOLDER, folder);
        SendDlgItemMessageA(dialog, IDC_FOLDER, EM_SETMODIFY, TRUE, 0); // chosen by the user
    }
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WPARAM wParam) {
    // Buttons and accelerators only; edit notifications have other high words.
    if (HIWORD(wParam) > 1)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: return onOk(dialog);
    case IDCANCEL: return EndDialog(dialog, IDCANCEL);
    case IDC_BROWSE: return onBrowse(dialog);
    default: return FALSE;
    }
}

INT_PTR onClose(HWND dialog) {
    switch (AskSaveOnClose(dialog)) {
    case IDYES: SendMessageA(dialog, WM_COMMAND, IDOK, 0); return FALSE;
    case IDNO: SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); return FALSE;
    case IDCANCEL: return TRUE; // stay open, edits intact
    default: return FALSE;
    }
}

INT_PTR onDestroy(HWND dialog) {
    RemovePropA(dialog, kPropParam);
    // The icons are the dialog's own: take them off, then destroy them.
    for (const WPARAM which : {ICON_BIG, ICON_SMALL})
        if (const auto icon = reinterpret_cast<HICON>(setWindowIcon(dialog, which, nullptr)))
            DestroyIcon(icon);
    return FALSE;
}

void onBrowseInitialized(HWND browser, LPARAM path) {
    if (path)
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, path);
}

// Items without a file-system path (the Control Panel) cannot be confirmed.
void onBrowseSelectionChanged(HWND browser, LPARAM idList) {
    if (!idList)
        return;
    char path[kPathBufferSize + 2];
    const bool hasPath = GetIdListPath(reinterpret_cast<const void *>(idList), path);
    SendMessageA(browser, BFFM_ENABLEOK, 0, hasPath ? 1 : 0);
}

} // namespace

bool BringSettingsDialogForward() {
    if (!openDialog)
        return false;
    BringWindowToTop(openDialog);
    SetForegroundWindow(openDialog);
    ShowWindow(openDialog, SW_SHOWDEFAULT);
    return true;
}

bool RunSettingsDialog(HWND owner, AppSettings *settings) {
    if (BringSettingsDialogForward() || !settings)
        return false;
    const bool imeWasOpen = imeIsOpen(owner);
    imeSetOpen(owner, false);
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), owner,
                        SettingsDlgProc, reinterpret_cast<LPARAM>(settings));
    openDialog = nullptr;
    imeSetOpen(owner, imeWasOpen);
    return result == IDOK;
}

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return onInitDialog(dialog, reinterpret_cast<AppSettings *>(lParam));
    case WM_COMMAND: return onCommand(dialog, wParam);
    case WM_CLOSE: return onClose(dialog);
    case WM_NCHITTEST: return DialogDragHitTest(dialog, wParam, lParam);
    case WM_DESTROY: return onDestroy(dialog);
    default: return FALSE;
    }
}

BOOL DialogDragHitTest(HWND dialog, WPARAM wParam, LPARAM lParam) {
    LRESULT hit = DefWindowProcA(dialog, WM_NCHITTEST, wParam, lParam);
    // The background acts as the caption; controls do their own hit testing.
    if (hit == HTCLIENT)
        hit = HTCAPTION;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, hit);
    return TRUE;
}

bool BrowseForFolder(HWND owner, char *path) {
    IMalloc *allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK)
        return false;
    BROWSEINFOA info;
    zeroFill(&info, sizeof info);
    info.hwndOwner = owner;
    info.lpszTitle = "";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallbackProc;
    info.lParam = reinterpret_cast<LPARAM>(path);
    bool chosen = false;
    if (LPITEMIDLIST idList = SHBrowseForFolderA(&info)) {
        chosen = GetIdListPath(idList, path);
        allocator->Free(idList);
    }
    allocator->Release();
    return chosen;
}

int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    switch (message) {
    case BFFM_INITIALIZED: onBrowseInitialized(window, data); break;
    case BFFM_SELCHANGED: onBrowseSelectionChanged(window, lParam); break;
    default: break;
    }
    return 0;
}

bool GetIdListPath(const void *idList, char *out) {
    char scratch[65536];
    if (!SHGetPathFromIDListA(static_cast<PCIDLIST_ABSOLUTE>(idList), scratch))
        return false;
    sjisCopyBounded(kPathBufferSize, out, scratch);
    return true;
}

int AskSaveOnClose(HWND dialog) {
    MessageBeep(MB_ICONEXCLAMATION);
    return MessageBoxA(dialog, "保存しますか？", kCaption, MB_YESNOCANCEL | MB_ICONWARNING);
}
