// The resident program end to end: start, single instance, tray icon and its
// watchdog, tray menu, hotkey, commands and quitting.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/note_driving.h"

using namespace e2e;

namespace {

constexpr int kCtrlAltJ = (0x02 | 0x04) << 8 | 'J'; // HOTKEYF_CONTROL | HOTKEYF_ALT, J

bool editorOpens(const JotwellProcess &app, DWORD timeoutMs = 3000) {
    return waitUntil([&] { return app.editor() && IsWindowVisible(app.editor()); }, timeoutMs);
}

void closeEditorEmpty(const JotwellProcess &app) {
    if (HWND editor = app.editor())
        PostMessageA(editor, WM_CLOSE, 0, 0);
    waitUntil([&] { return app.editor() == nullptr; }, 3000);
}

// Opens the tray menu with a right click at (x, y) and returns its window.
HWND openTrayMenu(const JotwellProcess &app, int x = 600, int y = 600) {
    app.trayClick(WM_RBUTTONUP, x, y);
    return waitForMenuWindow();
}

TEST(Spine, StartsHiddenWithItsIconAndQuitsFromTheTrayMenu) {
    FakeTray tray;
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    EXPECT_FALSE(IsWindowVisible(app.mainWindow()));
    EXPECT_TRUE(app.visibleWindows().empty());
    EXPECT_TRUE(waitUntil([&] { return tray.adds() == 1; }));
    EXPECT_EQ(tray.refused(), 0);

    HWND menu = openTrayMenu(app);
    ASSERT_NE(menu, nullptr);
    const std::vector<MenuBand> items = scanMenuItems(menu);
    ASSERT_EQ(items.size(), 4u) << "open folder, settings, About, quit";
    RECT r;
    GetWindowRect(menu, &r);
    mouseClick((r.left + r.right) / 2, (items[3].top + items[3].bottom) / 2);
    EXPECT_EQ(app.waitForExit(), 0u);
    EXPECT_GE(tray.deletes(), 1) << "the icon is removed on the way out";
}

TEST(Spine, ASecondStartEndsAtOnceWithoutAWindow) {
    JotwellProcess first;
    ASSERT_TRUE(first.start());
    JotwellProcess second;
    ASSERT_TRUE(second.start(false));
    EXPECT_EQ(second.waitForExit(10000), 0u);
    EXPECT_EQ(findWindowOfProcess(second.pid(), "quillomat"), nullptr);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(IsWindow(first.mainWindow()));
    EXPECT_TRUE(first.quit());

    // The first one's name is free again: a new start runs.
    JotwellProcess third;
    ASSERT_TRUE(third.start());
    EXPECT_TRUE(third.quit());
}

TEST(Spine, TrayMenuOpensAtTheCursorWithItsJapaneseItems) {
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    HWND menu = openTrayMenu(app, 600, 600);
    ASSERT_NE(menu, nullptr);
    RECT r;
    GetWindowRect(menu, &r);
    EXPECT_EQ(r.left, 600) << "left edge at the cursor";
    EXPECT_EQ(r.bottom, 600) << "bottom edge at the cursor";
    saveScreenshot("tray-menu");
    EXPECT_EQ(scanMenuItems(menu).size(), 4u);

    // The texts as the program's own resources hold them, as Shift-JIS bytes.
    HMODULE module = LoadLibraryExA(app.exePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HMENU resource = LoadMenuA(module, MAKEINTRESOURCEA(IDR_MENU));
    ASSERT_NE(resource, nullptr);
    HMENU popup = GetSubMenu(resource, 0);
    struct Item {
        UINT id;
        const char *text;
    } const items[] = {{IDM_OPENFOLDER, "フォルダを開く(&O)"},
                       {0, ""},
                       {IDM_SETTINGS, "設定(&S)..."},
                       {IDM_ABOUT, "About(&A)"},
                       {0, ""},
                       {IDM_QUIT, "終了(&Q)"}};
    ASSERT_EQ(GetMenuItemCount(popup), 6);
    for (int i = 0; i < 6; ++i) {
        char text[64] = "";
        GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(popup, i), items[i].id) << i;
        EXPECT_EQ(hexBytes(text), hexBytes(items[i].text)) << items[i].text;
    }
    DestroyMenu(resource);
    FreeLibrary(module);

    // Clicking elsewhere dismisses it without a command.
    mouseClick(200, 200);
    EXPECT_TRUE(waitUntil([] {
        return FindWindowA("#32768", nullptr) == nullptr ||
               !IsWindowVisible(FindWindowA("#32768", nullptr));
    }));
    Sleep(300);
    EXPECT_TRUE(app.running());
    EXPECT_TRUE(app.visibleWindows().empty()) << "no dialog, no editor";
}

TEST(Spine, EachTrayMenuItemSendsItsCommand) {
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    auto clickItem = [&](size_t index) {
        HWND menu = openTrayMenu(app);
        if (!menu)
            return false;
        const std::vector<MenuBand> items = scanMenuItems(menu);
        if (items.size() != 4)
            return false;
        RECT r;
        GetWindowRect(menu, &r);
        mouseClick((r.left + r.right) / 2, (items[index].top + items[index].bottom) / 2);
        return true;
    };

    ASSERT_TRUE(clickItem(1));
    HWND settings = app.waitForWindow("#32770", "設定");
    ASSERT_NE(settings, nullptr) << "Settings opens its dialog";
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(settings); }));

    ASSERT_TRUE(clickItem(2));
    HWND about = app.waitForWindow("#32770", "Jotwell について");
    ASSERT_NE(about, nullptr) << "About opens the About box";
    PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    ASSERT_TRUE(clickItem(3));
    EXPECT_EQ(app.waitForExit(), 0u) << "Quit ends the program with 0";
}

TEST(Spine, HotkeyFromTheIniOpensTheEditor) {
    struct Case {
        const char *name;
        int hotkey;
        bool opens;
    } const cases[] = {
        {"Ctrl+Alt+J", kCtrlAltJ, true},
        {"extended-key bit dropped", kCtrlAltJ | 0x08 << 8, true},
        {"no hotkey", 0, false},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        app.writeIni(iniText(c.hotkey, false, ""));
        ASSERT_TRUE(app.start()) << c.name;
        if (c.opens) {
            ASSERT_TRUE(drive::ctrlAltJTaken(5000))
                << c.name << ": the hotkey was never registered";
        }
        pressKeys({VK_CONTROL, VK_MENU, 'J'});
        EXPECT_EQ(editorOpens(app, c.opens ? 3000 : 1000), c.opens) << c.name;
        closeEditorEmpty(app);
        // The tray icon opens the editor whatever the hotkey.
        app.trayClick();
        EXPECT_TRUE(editorOpens(app)) << c.name;
        closeEditorEmpty(app);
        EXPECT_TRUE(app.quit()) << c.name;
    }
}

TEST(Spine, CommandsActOnlyForMenusAndAccelerators) {
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    HWND main = app.mainWindow();
    for (WORD high : {2, 3, 0xFFFF}) {
        SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_POPUP, high), 0);
        Sleep(200);
        EXPECT_EQ(app.editor(), nullptr) << "high word " << high;
    }
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_CANCEL, 0), 0);
    EXPECT_TRUE(app.running());
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDM_POPUP, 1), 0);
    EXPECT_TRUE(editorOpens(app)) << "an accelerator's high word 1 acts";
    closeEditorEmpty(app);
    // Other tray notifications are not clicks.
    for (UINT other : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN})
        app.trayNotify(other);
    SendNotifyMessageA(main, WM_TRAYNOTIFY, 2, WM_LBUTTONUP);
    Sleep(300);
    EXPECT_EQ(app.editor(), nullptr);
    EXPECT_TRUE(app.quit());
}

TEST(Spine, TheIconComesBackWhenTheNotificationAreaReturns) {
    FakeTray tray;
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitUntil([&] { return tray.adds() == 1; }));
    tray.destroyNotifyWindow();
    Sleep(2500);
    EXPECT_EQ(tray.adds(), 1) << "while the area is gone the watchdog only searches";
    const int deletesBefore = tray.deletes();
    tray.createNotifyWindow();
    EXPECT_TRUE(waitUntil([&] { return tray.adds() == 2; }, 2500)) << "re-added within a second";
    EXPECT_EQ(tray.deletes(), deletesBefore + 1) << "deleted once before the add";
    Sleep(2200);
    EXPECT_EQ(tray.adds(), 2) << "and only once";
    EXPECT_TRUE(app.quit());
}

TEST(Spine, StartUpWaitsForTheNotificationArea) {
    FakeTray tray(4);
    JotwellProcess app;
    ASSERT_TRUE(app.start(true, 20000)) << "accepted on the fifth try";
    EXPECT_EQ(tray.adds(), 5);
    EXPECT_EQ(tray.refused(), 4);
    EXPECT_TRUE(app.quit());
}

TEST(Spine, StartUpGivesUpAfterTwentyOneTries) {
    FakeTray tray(1000);
    JotwellProcess app;
    ASSERT_TRUE(app.start(false));
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(app.waitForExit(30000), 0u);
    EXPECT_GE(GetTickCount64() - started, 9000u) << "20 waits of 500 ms";
    EXPECT_EQ(tray.adds(), 21);
    EXPECT_EQ(findWindowOfProcess(app.pid(), "quillomat"), nullptr);
}

TEST(Spine, QuittingWithTheEditorOpenSavesItsText) {
    struct Case {
        const char *name;
        std::function<void(HWND)> quit;
    } const cases[] = {
        {"IDM_QUIT", [](HWND main) { PostMessageA(main, WM_COMMAND, IDM_QUIT, 0); }},
        {"WM_CLOSE", [](HWND main) { PostMessageA(main, WM_CLOSE, 0, 0); }},
        {"session end",
         [](HWND main) {
             if (SendMessageA(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF))
                 SendMessageA(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
         }},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        app.writeIni(iniText(0, false, ""));
        ASSERT_TRUE(app.start()) << c.name;
        app.trayClick();
        ASSERT_TRUE(editorOpens(app)) << c.name;
        typeText(L"quit note");
        ASSERT_TRUE(waitUntil([&] {
            return windowText(GetDlgItem(app.editor(), IDC_NOTE_EDIT)) == "quit note";
        })) << c.name;
        c.quit(app.mainWindow());
        // The note is in place once the program has gone.
        EXPECT_EQ(app.waitForExit(), 0u) << c.name;
        const std::vector<std::string> notes = app.notes();
        ASSERT_EQ(notes.size(), 1u) << c.name;
        EXPECT_EQ(readFileBytes(app.folder() + "\\" + notes[0]), "quit note") << c.name;
    }
}

} // namespace
