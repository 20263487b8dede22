// The settings dialog end to end: opened from the tray menu of the real
// program, edited with the keyboard and mouse, and what it leaves in the INI
// file and in the global hotkey.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "res/resource.h"
#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

constexpr int kCtrlAlt = (0x02 | 0x04) << 8; // HOTKEYF_CONTROL | HOTKEYF_ALT
constexpr int kCtrlAltJ = kCtrlAlt | 'J';

bool editorOpens(const JotwellProcess &app, DWORD timeoutMs = 3000) {
    return waitUntil([&] { return app.editor() && IsWindowVisible(app.editor()); }, timeoutMs);
}

void closeEditor(const JotwellProcess &app) {
    if (HWND editor = app.editor())
        PostMessageA(editor, WM_CLOSE, 0, 0);
    waitUntil([&] { return app.editor() == nullptr; }, 3000);
}

RECT rectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

void clickCentre(HWND window) {
    const RECT r = rectOf(window);
    mouseClick((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool isSettings(HWND window) {
    return window && GetDlgItem(window, IDC_HOTKEY) != nullptr;
}

// Settings from the tray menu, chosen with the mouse; the dialog once it has
// the keyboard. The cursor is left where the item was clicked.
HWND openSettings(const JotwellProcess &app, int x = 500, int y = 500) {
    app.trayClick(WM_RBUTTONUP, x, y);
    HWND menu = waitForMenuWindow();
    if (!menu)
        return nullptr;
    const std::vector<MenuBand> items = scanMenuItems(menu);
    if (items.size() != 4)
        return nullptr;
    const RECT r = rectOf(menu);
    mouseClick((r.left + r.right) / 2, (items[1].top + items[1].bottom) / 2);
    HWND dialog = app.waitForWindow("#32770", "設定");
    if (!isSettings(dialog) ||
        !waitUntil([&] { return GetForegroundWindow() == dialog && IsWindowVisible(dialog); }))
        return nullptr;
    return dialog;
}

// The open message box of the program (not the settings dialog).
HWND waitForMessageBox(const JotwellProcess &app, DWORD timeoutMs = 5000) {
    HWND box = nullptr;
    waitUntil(
        [&] {
            for (HWND w : app.visibleWindows())
                if (className(w) == "#32770" && !isSettings(w) && GetDlgItem(w, 0xFFFF))
                    return (box = w) != nullptr;
            return false;
        },
        timeoutMs);
    return box;
}

int hotkeyOf(HWND dialog) {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_HOTKEY), HKM_GETHOTKEY, 0, 0));
}

std::string folderOf(HWND dialog) {
    return windowText(GetDlgItem(dialog, IDC_FOLDER));
}

// Replaces the folder edit's text by typing, as the user does.
bool typeFolder(HWND dialog, const std::wstring &typed, const std::string &expected) {
    clickCentre(GetDlgItem(dialog, IDC_FOLDER));
    pressKeys({VK_CONTROL, 'A'});
    pressKey(VK_DELETE);
    typeText(typed);
    return waitUntil([&] { return folderOf(dialog) == expected; });
}

std::string iniValue(const JotwellProcess &app, const char *section, const char *key) {
    char value[600] = "";
    GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, app.iniPath().c_str());
    return value;
}

// The program saves after its dialog has gone: wait for the file to say so.
bool iniSays(const JotwellProcess &app, const char *section, const char *key,
             const std::string &expected) {
    return waitUntil([&] { return iniValue(app, section, key) == expected; });
}

bool dialogCloses(HWND dialog) {
    return waitUntil([&] { return !IsWindow(dialog); });
}

TEST(Settings, OpensAtTheCursorShowingTheStoredValuesAndItsTooltip) {
    JotwellProcess app;
    app.writeIni(iniText(kCtrlAltJ, false, "C:\\メモ帳"));
    ASSERT_TRUE(app.start());
    HWND dialog = openSettings(app, 520, 430);
    ASSERT_NE(dialog, nullptr);
    const POINT cursor = cursorPos();
    const RECT r = rectOf(dialog);
    EXPECT_NEAR((r.left + r.right) / 2, cursor.x, 1) << "centred on the cursor";
    EXPECT_NEAR((r.top + r.bottom) / 2, cursor.y, 1) << "centred on the cursor";
    EXPECT_EQ(hotkeyOf(dialog), kCtrlAltJ);
    EXPECT_EQ(hexBytes(folderOf(dialog)), hexBytes("C:\\メモ帳"));
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_IMEONSTART), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // The texts as the dialog shows them.
    struct Control {
        int id;
        const char *text;
    } const controls[] = {{IDC_BROWSE, "参照"},
                          {IDC_IMEONSTART, "起動時に日本語入力をオンにする"},
                          {IDOK, "OK"},
                          {IDCANCEL, "キャンセル"}};
    for (const Control &c : controls)
        EXPECT_EQ(hexBytes(windowText(GetDlgItem(dialog, c.id))), hexBytes(c.text)) << c.text;

    // Resting on the hotkey control shows its tooltip.
    HWND hotkey = GetDlgItem(dialog, IDC_HOTKEY);
    const RECT h = rectOf(hotkey);
    mouseMove((h.left + h.right) / 2, (h.top + h.bottom) / 2);
    HWND tip = nullptr;
    EXPECT_TRUE(waitUntil([&] {
        return (tip = app.findWindow(TOOLTIPS_CLASSA)) && IsWindowVisible(tip);
    })) << "the tooltip appears";
    if (tip) {
        EXPECT_EQ(windowText(tip), "ホットキーの設定");
    }
    saveScreenshot("settings-dialog");
    clickCentre(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(dialogCloses(dialog));
    EXPECT_TRUE(app.quit());
}

TEST(Settings, APlainKeyBecomesCtrlAltAndOkMakesItTheHotkeyAtOnce) {
    JotwellProcess app;
    app.writeIni(iniText(kCtrlAltJ, true, ""));
    ASSERT_TRUE(app.start());
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    pressKey('K');
    EXPECT_TRUE(waitUntil([&] { return hotkeyOf(dialog) == (kCtrlAlt | 'K'); }))
        << "K alone is taken as Ctrl+Alt+K, got " << hotkeyOf(dialog);
    ASSERT_TRUE(typeFolder(dialog, L"D:\\ノート", "D:\\ノート"));
    clickCentre(GetDlgItem(dialog, IDC_IMEONSTART));
    clickCentre(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(dialogCloses(dialog));

    EXPECT_TRUE(iniSays(app, "ホットキー", "表示の切り替え", std::to_string(kCtrlAlt | 'K')));
    EXPECT_TRUE(iniSays(app, "quillomat", "日本語入力", "0"));
    EXPECT_TRUE(iniSays(app, "quillomat", "文書保存フォルダ", "D:\\ノート"))
        << hexBytes(iniValue(app, "quillomat", "文書保存フォルダ"));

    pressKeys({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_TRUE(editorOpens(app)) << "the new hotkey works at once";
    closeEditor(app);
    pressKeys({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_FALSE(editorOpens(app, 1000)) << "the old one is gone";
    EXPECT_TRUE(app.quit());
}

TEST(Settings, CancelAndNoWriteNothingAndTheOldHotkeyWorksAgain) {
    struct Case {
        const char *name;
        void (*dismiss)(const JotwellProcess &, HWND);
    } const cases[] = {
        {"キャンセル button",
         [](const JotwellProcess &, HWND dialog) { clickCentre(GetDlgItem(dialog, IDCANCEL)); }},
        {"Esc", [](const JotwellProcess &, HWND) { pressKey(VK_ESCAPE); }},
        {"close box, いいえ",
         [](const JotwellProcess &app, HWND) {
             pressKeys({VK_MENU, VK_F4});
             HWND box = waitForMessageBox(app);
             ASSERT_NE(box, nullptr);
             clickCentre(GetDlgItem(box, IDNO));
         }},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        const std::string ini = iniText(kCtrlAltJ, true, "C:\\前");
        app.writeIni(ini);
        ASSERT_TRUE(app.start()) << c.name;
        HWND dialog = openSettings(app);
        ASSERT_NE(dialog, nullptr) << c.name;
        pressKey('Q');
        ASSERT_TRUE(typeFolder(dialog, L"C:\\後", "C:\\後")) << c.name;
        c.dismiss(app, dialog);
        ASSERT_TRUE(dialogCloses(dialog)) << c.name;
        pressKeys({VK_CONTROL, VK_MENU, 'J'});
        EXPECT_TRUE(editorOpens(app)) << c.name << ": the old hotkey is back";
        // The editor opened after the dialog's caller had finished.
        EXPECT_EQ(hexBytes(readFileBytes(app.iniPath())), hexBytes(ini)) << c.name;
        closeEditor(app);
        EXPECT_TRUE(app.quit()) << c.name;
    }
}

TEST(Settings, CloseAsksAndKeepsTheEditsOnCancelThenYesSaves) {
    JotwellProcess app;
    app.writeIni(iniText(kCtrlAltJ, true, "C:\\a"));
    ASSERT_TRUE(app.start());
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    pressKey('Y');
    ASSERT_TRUE(typeFolder(dialog, L"C:\\編集中", "C:\\編集中"));

    const RECT r = rectOf(dialog);
    mouseClick(r.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSIZE) / 2,
               r.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2);
    HWND box = waitForMessageBox(app);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(windowText(box), "設定");
    EXPECT_EQ(messageBoxText(box), "保存しますか？");
    saveScreenshot("settings-save-prompt");
    clickCentre(GetDlgItem(box, IDCANCEL));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "キャンセル keeps the dialog";
    EXPECT_EQ(hotkeyOf(dialog), kCtrlAlt | 'Y');
    EXPECT_EQ(folderOf(dialog), "C:\\編集中");
    EXPECT_EQ(iniValue(app, "quillomat", "文書保存フォルダ"), "C:\\a") << "nothing saved yet";

    pressKeys({VK_MENU, VK_F4});
    box = waitForMessageBox(app);
    ASSERT_NE(box, nullptr);
    clickCentre(GetDlgItem(box, IDYES));
    ASSERT_TRUE(dialogCloses(dialog));
    EXPECT_TRUE(iniSays(app, "ホットキー", "表示の切り替え", std::to_string(kCtrlAlt | 'Y')));
    EXPECT_TRUE(iniSays(app, "quillomat", "文書保存フォルダ", "C:\\編集中"));
    pressKeys({VK_CONTROL, VK_MENU, 'Y'});
    EXPECT_TRUE(editorOpens(app)) << "はい saves like OK";
    closeEditor(app);
    EXPECT_TRUE(app.quit());
}

TEST(Settings, ASecondRequestBringsTheDialogForwardAndSavesNothing) {
    JotwellProcess app;
    const std::string ini = iniText(kCtrlAltJ, true, "C:\\a");
    app.writeIni(ini);
    ASSERT_TRUE(app.start());
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    pressKey('Z');
    // Another window comes in front of it.
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE | WS_BORDER, 100, 100,
                                 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == other; }));

    HWND again = openSettings(app, 700, 300);
    EXPECT_EQ(again, dialog) << "the same dialog, in front";
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == dialog; }));
    int settingsDialogs = 0;
    for (HWND w : app.visibleWindows())
        settingsDialogs += isSettings(w);
    EXPECT_EQ(settingsDialogs, 1);
    EXPECT_EQ(hotkeyOf(dialog), kCtrlAlt | 'Z') << "its edits untouched";
    EXPECT_EQ(hexBytes(readFileBytes(app.iniPath())), hexBytes(ini)) << "nothing saved";
    DestroyWindow(other);
    clickCentre(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(dialogCloses(dialog));
    EXPECT_TRUE(app.quit());
    EXPECT_EQ(hexBytes(readFileBytes(app.iniPath())), hexBytes(ini));
}

TEST(Settings, WhileOpenTheHotkeyGoesIntoTheControlNotToTheEditor) {
    JotwellProcess app;
    app.writeIni(iniText(kCtrlAltJ, true, "C:\\a"));
    ASSERT_TRUE(app.start());
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    pressKey('Q');
    ASSERT_TRUE(waitUntil([&] { return hotkeyOf(dialog) == (kCtrlAlt | 'Q'); }));
    pressKeys({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_TRUE(waitUntil([&] { return hotkeyOf(dialog) == kCtrlAltJ; }))
        << "the combination is entered in the control";
    EXPECT_FALSE(editorOpens(app, 1000)) << "and opens no editor";
    // Likewise with the folder edit focused.
    clickCentre(GetDlgItem(dialog, IDC_FOLDER));
    pressKeys({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_FALSE(editorOpens(app, 1000));
    clickCentre(GetDlgItem(dialog, IDCANCEL));
    ASSERT_TRUE(dialogCloses(dialog));
    pressKeys({VK_CONTROL, VK_MENU, 'J'});
    EXPECT_TRUE(editorOpens(app)) << "once it has closed";
    closeEditor(app);
    EXPECT_TRUE(app.quit());
}

TEST(Settings, DraggingTheBackgroundMovesTheDialog) {
    JotwellProcess app;
    app.writeIni(iniText(0, true, "C:\\a"));
    ASSERT_TRUE(app.start());
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    const RECT before = rectOf(dialog);
    const RECT ok = rectOf(GetDlgItem(dialog, IDOK));
    // Left of the OK button lies only background.
    const int x = ok.left - 30, y = (ok.top + ok.bottom) / 2;
    mouseMove(x, y);
    const POINT start = cursorPos();
    // The press, the moves and the release in one go: once the program's
    // move loop has the mouse, Wine moves the cursor no more for input sent
    // from another program, so it must all be queued before.
    std::vector<INPUT> drag;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    const auto mouse = [&](int px, int py, DWORD flags) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        // Rounded up, so that scaling back lands on the pixel itself.
        in.mi.dx = static_cast<LONG>((px * 65536LL + w - 1) / w);
        in.mi.dy = static_cast<LONG>((py * 65536LL + h - 1) / h);
        in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        drag.push_back(in);
    };
    mouse(x, y, MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 10; ++step)
        mouse(x - 6 * step, y - 4 * step, 0);
    mouse(x - 60, y - 40, MOUSEEVENTF_LEFTUP);
    SendInput(static_cast<UINT>(drag.size()), drag.data(), sizeof(INPUT));
    POINT end{};
    waitUntil([&] {
        end = cursorPos();
        return end.x == x - 60 && end.y == y - 40;
    });
    EXPECT_EQ(end.x - start.x, -60);
    EXPECT_EQ(end.y - start.y, -40);
    RECT after{};
    EXPECT_TRUE(waitUntil([&] {
        after = rectOf(dialog);
        return after.left - before.left == end.x - start.x &&
               after.top - before.top == end.y - start.y;
    })) << "moved by the drag: from "
        << before.left << "," << before.top << " to " << after.left << "," << after.top;
    clickCentre(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(dialogCloses(dialog));
    EXPECT_TRUE(app.quit());
}

TEST(Settings, BrowseOpensOnTheTypedFolder) {
    JotwellProcess app;
    app.writeIni(iniText(0, true, "C:\\a"));
    ASSERT_TRUE(app.start());
    const std::string typed = app.folder() + "\\メモ帳";
    ASSERT_TRUE(CreateDirectoryA(typed.c_str(), nullptr));
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    wchar_t wide[MAX_PATH] = L"";
    MultiByteToWideChar(932, 0, typed.c_str(), -1, wide, MAX_PATH);
    ASSERT_TRUE(typeFolder(dialog, wide, typed));
    clickCentre(GetDlgItem(dialog, IDC_BROWSE));
    HWND browser = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (HWND w : app.visibleWindows())
            if (w != dialog && className(w) == "#32770")
                return (browser = w) != nullptr;
        return false;
    })) << "the folder browser opens";
    Sleep(500);
    saveScreenshot("settings-browse");
    // Its OK returns the selected folder: the one typed, preselected.
    clickCentre(GetDlgItem(browser, IDOK));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(browser); }));
    EXPECT_TRUE(waitUntil([&] {
        return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, folderOf(dialog).c_str(), -1,
                              typed.c_str(), -1) == CSTR_EQUAL;
    })) << folderOf(dialog);
    clickCentre(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(dialogCloses(dialog));
    EXPECT_TRUE(app.quit());
}

TEST(Settings, AHotkeyHeldElsewhereIsNamedInAMessageAndStillSaved) {
    JotwellProcess app;
    app.writeIni(iniText(kCtrlAltJ, true, "C:\\a"));
    ASSERT_TRUE(app.start());
    // This test program holds Ctrl+Alt+T.
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'T'));
    HWND dialog = openSettings(app);
    ASSERT_NE(dialog, nullptr);
    pressKey('T');
    ASSERT_TRUE(waitUntil([&] { return hotkeyOf(dialog) == (kCtrlAlt | 'T'); }));
    clickCentre(GetDlgItem(dialog, IDOK));
    HWND box = waitForMessageBox(app);
    ASSERT_NE(box, nullptr) << "the user is told";
    const std::string text = messageBoxText(box);
    EXPECT_NE(text.find("「Ctrl + Alt + T」"), std::string::npos) << text;
    Sleep(500);
    saveScreenshot("settings-hotkey-taken");
    clickCentre(GetDlgItem(box, IDOK));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box); }));
    EXPECT_TRUE(iniSays(app, "ホットキー", "表示の切り替え", std::to_string(kCtrlAlt | 'T')))
        << "saved all the same";
    UnregisterHotKey(nullptr, 1);
    EXPECT_TRUE(app.quit());
}

} // namespace
