#include "about/about_dialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "about/about_layout.h"
#include "about/about_text.h"
#include "about/dialog_template.h"
#include "about/link_label.h"
#include "res/resource.h"
#include "settings/settings_dialog.h"
#include "support/path.h"
#include "support/sjis.h"
#include "support/window.h"

namespace {

constexpr char kDataProp[] = "PROP_ABOUTDIALOGDATA";
constexpr char kLinkTooltip[] = "サポートサイトへ";
// The link's tooltip, whose tool is taken off the link before the link is destroyed.
constexpr char kTooltipProp[] = "PROP_ABOUTTOOLTIP";
constexpr char kFreeResourcesLibrary[] = "rsrc32.dll";
constexpr char kFreeResourcesExport[] = "_MyGetFreeSystemResources32@4";

// Lives on ShowAboutBox's frame for the whole modal run.
struct AboutDialogData {
    HICON bigIcon;
    HICON smallIcon;
    const AboutInfo *info;
};

// The open About box, so that a second request brings it forward instead of
// opening another.
HWND aboutBox = nullptr;

HINSTANCE moduleInstance() {
    return GetModuleHandleA(nullptr);
}

// The template's numbers are written out where it is built, without windows.h.
static_assert(kAboutDialogStyle == (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                    DS_CONTEXTHELP | DS_MODALFRAME | DS_SETFONT | DS_SYSMODAL),
              "About box style");
static_assert(kAboutLineStyle == (WS_CHILD | WS_VISIBLE) && kAboutIconStyle == SS_ICON &&
                  kAboutButtonStyle == (WS_GROUP | BS_DEFPUSHBUTTON) && kAboutOkId == IDOK,
              "About box controls");

struct VersionBlock {
    void *data; // freed with free()
    WORD language;
    WORD codePage;
};

// The executable's version block and its first translation. data is null when
// there is none; otherwise the caller frees it with free().
VersionBlock versionBlockAlloc() {
    VersionBlock block{};
    char path[kPathBufferSize];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return block;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return block;
    void *data = std::malloc(size);
    if (!data)
        return block;
    void *translation = nullptr;
    UINT translationSize = 0;
    // A translation array too short for one entry would be read past its end.
    if (!GetFileVersionInfoA(path, 0, size, data) ||
        !VerQueryValueA(data, "\\VarFileInfo\\Translation", &translation, &translationSize) ||
        !translation || translationSize < sizeof(DWORD)) {
        std::free(data);
        return block;
    }
    DWORD first;
    std::memcpy(&first, translation, sizeof first);
    block.data = data;
    block.language = LOWORD(first);
    block.codePage = HIWORD(first);
    return block;
}

// An empty string when the block has no such value.
void versionString(const VersionBlock &block, const char *key, char value[kAboutTextSize]) {
    value[0] = '\0';
    char subBlock[kAboutTextSize];
    formatVersionKeyPath(subBlock, block.language, block.codePage, key);
    void *found = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data, subBlock, &found, &length) && found && length > 0)
        sjisCopyBounded(kAboutTextSize, value, static_cast<const char *>(found));
}

void showVersion(HWND dialog) {
    VersionBlock block = versionBlockAlloc();
    if (!block.data)
        return;
    char productName[kAboutTextSize], description[kAboutTextSize], version[kAboutTextSize];
    versionString(block, "ProductName", productName);
    if (productName[0] == '\0')
        versionString(block, "FileDescription", description);
    else
        description[0] = '\0';
    const char *name = aboutProductName(productName, description);
    versionString(block, "ProductVersion", version);
    char text[kAboutTextSize];
    formatNameLine(text, name, version);
    SetDlgItemTextA(dialog, IDC_ABOUT_NAME, text);
    formatAboutCaption(text, name);
    SetWindowTextA(dialog, text);
    std::free(block.data);
}

// Only the system directory's copy may run: one of the same name beside the
// executable or in the current directory must never be loaded. Caller frees
// the result with FreeLibrary.
HMODULE loadSystemLibrary(const char *name) {
    char directory[kPathBufferSize], path[kPathBufferSize];
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    // Never a bare name: that would search the very folders this guards against.
    if (length == 0 || length >= sizeof directory ||
        formatBounded(kAboutFormatBound, path, "%s\\%s", directory, name) < 0)
        return nullptr;
    // Where the loader can be told, its own dependencies come from there too.
    const bool searchFlags =
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory") != nullptr;
    return LoadLibraryExA(path, nullptr, searchFlags ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0);
}

void showFreeResources(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_ABOUT_RESOURCES, "");
    HMODULE library = loadSystemLibrary(kFreeResourcesLibrary);
    if (!library)
        return;
    using FreeResourcesProc = int(WINAPI *)(UINT);
    const FARPROC found = GetProcAddress(library, kFreeResourcesExport);
    if (found) {
        const auto freeResources =
            reinterpret_cast<FreeResourcesProc>(reinterpret_cast<void (*)()>(found));
        const int percent = freeResources(0);
        char line[kFreeResourcesLineSize];
        formatFreeResourcesLine(line, percent);
        SetDlgItemTextA(dialog, IDC_ABOUT_RESOURCES, line);
    }
    FreeLibrary(library);
}

// 0 when the text or a device context cannot be had: such a line keeps its width.
int textWidth(HWND control) {
    char *text = windowTextAlloc(control);
    if (!text)
        return 0;
    int width = 0;
    HDC dc = GetDC(control);
    if (dc) {
        const int saved = SaveDC(dc);
        // The link's font is its underlined one by now.
        const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        if (font)
            SelectObject(dc, font);
        SIZE extent{};
        if (GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent))
            width = extent.cx;
        RestoreDC(dc, saved);
        ReleaseDC(control, dc);
    }
    std::free(text);
    return width;
}

// Every line starts 1 unit wide, so the widest text decides, and the dialog
// keeps its margin to the right of it.
void autoSize(HWND dialog) {
    constexpr std::array<int, kAboutLineCount> kLines = {IDC_ABOUT_NAME, IDC_ABOUT_LINK,
                                                         IDC_ABOUT_RESOURCES};
    std::array<HWND, kAboutLineCount> line{};
    std::array<int, kAboutLineCount> text{}, width{};
    for (int i = 0; i < kAboutLineCount; ++i) {
        line[i] = GetDlgItem(dialog, kLines[i]);
        text[i] = textWidth(line[i]);
        width[i] = windowWidth(line[i]);
    }
    const AboutLineGrowth growth = aboutLineGrowth(text, width);
    for (int i = 0; i < kAboutLineCount; ++i)
        windowGrowWidth(line[i], growth.growth[i]);
    if (growth.largest <= 0)
        return;
    windowGrowWidth(dialog, growth.largest);
    HWND button = GetDlgItem(dialog, IDOK);
    POINT corner;
    windowTopLeft(button, &corner);
    screenToWindow(dialog, &corner);
    windowShiftX(button, centredButtonShift(windowWidth(dialog), windowWidth(button), corner.x));
}

BOOL onInitDialog(HWND dialog, LPARAM lParam) {
    // Only the dialog's making: another program could send it again with any pointer.
    if (GetPropA(dialog, kDataProp))
        return TRUE;
    const auto *data = reinterpret_cast<const AboutDialogData *>(lParam);
    aboutBox = dialog;
    SetPropA(dialog, kDataProp, reinterpret_cast<HANDLE>(lParam));
    setWindowIcon(dialog, ICON_BIG, data->bigIcon);
    setWindowIcon(dialog, ICON_SMALL, data->smallIcon);
    showVersion(dialog);
    showFreeResources(dialog);
    HWND link = GetDlgItem(dialog, IDC_ABOUT_LINK);
    // The text first: the label paints it and the auto-size step measures it.
    SetWindowTextA(link, data->info && data->info->address ? data->info->address : "");
    AttachLinkLabel(link); // without it the line is a plain static showing the address
    SendDlgItemMessageA(dialog, IDC_ABOUT_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(data->bigIcon), 0);
    if (HWND tooltip = tooltipCreate(dialog, moduleInstance())) {
        tooltipAddTool(tooltip, dialog, link, kLinkTooltip);
        SetPropA(dialog, kTooltipProp, tooltip);
    }
    autoSize(dialog);
    // Placed once it has its width: placed first, a box opened from the tray could grow
    // past the edge of the screen.
    placeAtCursor(dialog);
    return TRUE;
}

BOOL onCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDOK: EndDialog(dialog, 1); break;
    case IDCANCEL: EndDialog(dialog, 2); break;
    default: break;
    }
    return TRUE;
}

INT_PTR onLinkNotify(HWND dialog, NMHDR *header) {
    // Reflection is what turns the link hot and back.
    if (header->code != LLN_CLICK)
        return SendMessageA(header->hwndFrom, WM_NOTIFY, header->idFrom,
                            reinterpret_cast<LPARAM>(header));
    const auto *data = static_cast<const AboutDialogData *>(GetPropA(dialog, kDataProp));
    if (data && data->info && data->info->address)
        ShellExecuteA(dialog, nullptr, data->info->address, nullptr, nullptr, SW_SHOWNORMAL);
    EndDialog(dialog, 1);
    return TRUE;
}

INT_PTR onNotify(HWND dialog, WPARAM wParam, LPARAM lParam) {
    // Only the link's own notification is read: another program's could point anywhere.
    const NMHDR *sending = LinkLabelSending(GetDlgItem(dialog, IDC_ABOUT_LINK));
    if (wParam == IDC_ABOUT_LINK && sending && reinterpret_cast<LPARAM>(sending) == lParam)
        return onLinkNotify(dialog, const_cast<NMHDR *>(sending));
    return TRUE;
}

BOOL onNcHitTest(HWND dialog, WPARAM wParam, LPARAM lParam) {
    DialogDragHitTest(dialog, wParam, lParam);
    return TRUE;
}

// The dialog hears of its end before its controls do: the tooltip lets go of the link here,
// so the link, going next, restores the static's own procedure over nothing else's. (A
// tooltip already destroyed with its owner let go then.)
BOOL onDestroy(HWND dialog) {
    if (const auto tooltip = static_cast<HWND>(RemovePropA(dialog, kTooltipProp)))
        if (IsWindow(tooltip))
            tooltipRemoveTool(tooltip, dialog, GetDlgItem(dialog, IDC_ABOUT_LINK));
    RemovePropA(dialog, kDataProp);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return onInitDialog(dialog, lParam);
    case WM_COMMAND: return onCommand(dialog, wParam);
    case WM_NOTIFY: return onNotify(dialog, wParam, lParam);
    case WM_NCHITTEST: return onNcHitTest(dialog, wParam, lParam);
    case WM_DESTROY: return onDestroy(dialog);
    default: return FALSE;
    }
}

INT_PTR RunAboutBox(HWND owner, const AboutInfo *info) {
    if (aboutBox) {
        BringWindowToTop(aboutBox);
        SetForegroundWindow(aboutBox);
        ShowWindow(aboutBox, SW_SHOWDEFAULT);
        return 0;
    }
    void *dialogTemplate = buildAboutTemplate();
    if (!dialogTemplate)
        return 0;
    const HINSTANCE module = moduleInstance();
    AboutDialogData data = {moduleIcon(module, 0), moduleIcon(module, 1), info};
    const INT_PTR result =
        DialogBoxIndirectParamA(module, static_cast<LPCDLGTEMPLATEA>(dialogTemplate), owner,
                                AboutDialogProc, reinterpret_cast<LPARAM>(&data));
    aboutBox = nullptr;
    if (data.bigIcon)
        DestroyIcon(data.bigIcon);
    if (data.smallIcon)
        DestroyIcon(data.smallIcon);
    FreeDialogTemplate(dialogTemplate);
    return result;
}

bool ShowAboutBox(HWND owner, const AboutInfo *info) {
    RunAboutBox(owner, info);
    return true;
}
