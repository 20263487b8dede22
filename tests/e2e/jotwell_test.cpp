// The real jotwell.exe, driven through its own input path: tray notifications, the user's
// keys and mouse, its real windows; then what it leaves on disk.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "res/resource.h"
#include "tests/harness.h"

using namespace th;

static HWND waitForEditor(const Jotwell &app) {
    HWND editor = nullptr;
    waitUntil([&] { return (editor = app.editor()) && GetForegroundWindow() == editor; });
    return editor;
}

// Presses the hotkey until the editor opens or closes: Wine drops a chord now and then (it
// takes the modifiers back from the X server's when the X focus moves).
static bool hotkey(const Jotwell &app) {
    const bool wasOpen = app.editor() != nullptr;
    for (int tries = 0; tries < 3; ++tries) {
        pressKeys({VK_CONTROL, VK_MENU, 'J'});
        if (waitUntil([&] { return (app.editor() != nullptr) != wasOpen; }, 3000))
            return true;
    }
    return false;
}

// Right-clicks the tray icon with the cursor at (600, 600) and clicks the menu's item
// `index`, separators not counted. Another process's menu cannot be read: its items are
// found by hovering down the menu and watching rows light up.
static bool menuCommand(const Jotwell &app, int index) {
    mouseMove(600, 600);
    app.tray(WM_RBUTTONUP);
    HWND menu = findWindow(app.pid, "#32768", IsWindowVisible, 5000);
    RECT r{};
    GetWindowRect(menu, &r);
    EXPECT_TRUE(r.left == 600 && r.bottom == 600)
        << "above and right of the cursor: " << r.left << "," << r.bottom << " for item " << index;
    const auto colour = [&](int y) {
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, r.left + 4, y);
        ReleaseDC(nullptr, screen);
        return c;
    };
    mouseMove(r.left - 10, r.top - 10);
    std::vector<COLORREF> rest;
    for (int y = r.top; y < r.bottom; ++y)
        rest.push_back(colour(y));
    for (int y = r.top + 2, found = -1; y < r.bottom - 2; y += 3) {
        mouseMove(r.left + 20, y);
        if (!waitUntil([&] { return colour(y) != rest[y - r.top]; }, 150))
            continue; // a separator
        if (++found == index)
            return mouseClick(r.left + 20, y), true;
        while (y < r.bottom - 2 && colour(y) != rest[y - r.top])
            ++y;
    }
    return false;
}

static HWND waitForDialog(const Jotwell &app, const std::string &caption) {
    const auto shown = [&](HWND w) { return IsWindowVisible(w) && windowText(w) == caption; };
    return findWindow(app.pid, "#32770", shown, 5000);
}

TEST(Jotwell, StartsHiddenInTheTrayAndItsMenuCarriesEachCommand) {
    TempFolder other;
    Jotwell app(iniText(kCtrlAltJ, other.path.c_str()));
    // Planted beside the program, it must never be loaded (the About box would show it).
    CopyFileA((ownFolder() + "\\fake_rsrc32.dll").c_str(), (app.folder / "rsrc32.dll").c_str(),
              FALSE);
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'J')); // held by another
    ASSERT_TRUE(app.start());
    EXPECT_FALSE(IsWindowVisible(app.main));
    EXPECT_EQ(answerBox(app.pid), "ホットキー「Ctrl + Alt + J」を登録できませんでした。\r\n"
                                  "ほかのプログラムが使っている組み合わせです。\r\n"
                                  "トレイアイコンのメニューの「設定」から変更できます。");
    UnregisterHotKey(nullptr, 1);
    mouseClick(1014, 758); // the icon in the taskbar's notification area: it still works
    ASSERT_NE(waitForEditor(app), nullptr) << "the icon is in the notification area";
    pressKeys({VK_ESCAPE});
    EXPECT_TRUE(waitUntil([&] { return !app.editor(); }));

    ASSERT_TRUE(menuCommand(app, 2)) << "About";
    HWND about = waitForDialog(app, "Jotwell について");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(windowText(GetDlgItem(about, IDC_ABOUT_RESOURCES)), "") << "the planted DLL ran";
    PostMessageA(about, WM_COMMAND, IDCANCEL, 0);

    ASSERT_TRUE(menuCommand(app, 0)) << "Open folder: the shell shows it";
    const std::string name = other.path.substr(other.path.find("jotwell-")); // ends in 表
    HWND shown = nullptr;
    EXPECT_TRUE(
        waitUntil([&] { return (shown = FindWindowA("ExplorerWClass", name.c_str())); }, 15000));
    PostMessageA(shown, WM_CLOSE, 0, 0); // the shell's browser, a process of its own, ends
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shown); }));

    ASSERT_TRUE(menuCommand(app, 3)) << "Quit";
    EXPECT_EQ(app.waitForExit(), 0u);
}

TEST(Jotwell, SettingsShowTheRecordAndAreSavedOnlyWhenAccepted) {
    TempFolder elsewhere;
    const std::string program = elsewhere / "program.exe"; // leaves program.ini when it runs
    CopyFileA((ownFolder() + "\\probe.exe").c_str(), program.c_str(), FALSE);
    Jotwell app; // no settings file: the defaults
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'K')); // held by another
    const int kCtrlAltK = 0x0600 | 'K';
    int recorded = 0; // the record's hotkey
    std::string folder = app.folder.path;
    // how it ends: the dialog's button, or WM_CLOSE and the "save?" box's button (Cancel
    // keeps the dialog, then OK); the hotkey entered
    const std::tuple<UINT, int, int> ends[] = {{WM_CLOSE, IDYES, kCtrlAltJ},
                                               {WM_COMMAND, IDCANCEL, kCtrlAltK},
                                               {WM_CLOSE, IDNO, kCtrlAltK},
                                               {WM_CLOSE, IDCANCEL, kCtrlAltJ},
                                               {WM_COMMAND, IDOK, kCtrlAltK}};
    for (const auto &[message, button, key] : ends) {
        ASSERT_TRUE(menuCommand(app, 1)) << "Settings";
        HWND dialog = waitForDialog(app, "設定");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0), recorded);
        EXPECT_EQ(windowText(GetDlgItem(dialog, IDC_FOLDER)), folder);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_IMEONSTART), recorded ? 0u : 1u);
        EXPECT_EQ(listTree(app.folder.path).size(), recorded ? 2u : 1u) << "saved when accepted";
        SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_SETHOTKEY, key, 0);
        SetDlgItemTextA(dialog, IDC_FOLDER, program.c_str());
        CheckDlgButton(dialog, IDC_IMEONSTART, BST_UNCHECKED);
        PostMessageA(dialog, message, message == WM_CLOSE ? 0 : button, 0);
        if (message == WM_CLOSE) {
            EXPECT_EQ(answerBox(app.pid, button), "保存しますか？");
            if (button == IDCANCEL) // the dialog stays, and the edits
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        }
        if (button != IDNO && !(message == WM_COMMAND && button == IDCANCEL))
            std::tie(recorded, folder) = std::make_tuple(key, program);
        // Whatever the end, the hotkey is registered again: it opens and closes the editor.
        EXPECT_TRUE(button != IDNO || (hotkey(app) && hotkey(app)));
    }
    EXPECT_EQ(answerBox(app.pid).rfind("ホットキー「Ctrl + Alt + K」を登録できませんでした。", 0),
              0u);
    UnregisterHotKey(nullptr, 1);
    EXPECT_EQ(listTree(app.folder.path), (std::vector<std::string>{"Jotwell.EXE", "jotwell.ini"}));
    EXPECT_EQ(readFile(app.folder / "jotwell.ini"),
              "[ホットキー]\r\n表示の切り替え=1611\r\n[quillomat]\r\n日本語入力=0\r\n"
              "文書保存フォルダ=" +
                  program + "\r\n");
    // A settings file that cannot be written: OK says so rather than lose the change at the
    // next start.
    // (A folder of its name: root under Wine writes a read-only file all the same.)
    DeleteFileA((app.folder / "jotwell.ini").c_str());
    CreateDirectoryA((app.folder / "jotwell.ini").c_str(), nullptr);
    ASSERT_TRUE(menuCommand(app, 1));
    PostMessageA(waitForDialog(app, "設定"), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(answerBox(app.pid).rfind("設定をファイルに保存できませんでした。", 0), 0u);
    // A folder that names a program: Open folder must not start it.
    ASSERT_TRUE(menuCommand(app, 0));
    EXPECT_FALSE(
        waitUntil([&] { return readFile(elsewhere / "program.ini") != "<missing>"; }, 3000));
}

TEST(Jotwell, EveryWayOutSavesWhatWasTypedAndQuitSavesTheOpenNote) {
    Jotwell app(iniText(kCtrlAltJ, "")); // an empty folder value: notes go beside the program
    ASSERT_TRUE(app.start());
    Jotwell second;
    ASSERT_FALSE(second.start()) << "one instance runs";
    EXPECT_EQ(second.waitForExit(), 0u);
    HWND other = CreateWindowExA(0, "BUTTON", "", WS_POPUP | WS_VISIBLE, 20, 20, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    const auto byHotkey = [](const Jotwell &a) { hotkey(a); };
    const auto byTray = [](const Jotwell &a) { a.tray(WM_LBUTTONUP); };
    const auto byEsc = [](const Jotwell &) { pressKeys({VK_ESCAPE}); };
    const auto byClickAway = [](const Jotwell &) { mouseClick(60, 60); };
    const auto byQuit = [](const Jotwell &a) { PostMessageA(a.main, WM_COMMAND, IDM_QUIT, 0); };
    const std::tuple<void (*)(const Jotwell &), std::wstring, void (*)(const Jotwell &),
                     std::string>
        ways[] = {{byHotkey, L"日本語", byEsc, "日本語\r\n"},
                  {byTray, L"b", byHotkey, "b"},
                  {byHotkey, L"c", byTray, "c"},
                  {byHotkey, L"d", byClickAway, "d"},
                  {byHotkey, L"", byEsc, ""},
                  {byHotkey, L"e", byQuit, "e"}};
    // Each note has an editor window of its own: none before the first, none after a close.
    const auto anyEditor = [&] { return findWindow(app.pid, "JotwellPane"); };
    EXPECT_EQ(anyEditor(), nullptr) << "an editor made before the first note";
    HWND last = nullptr;
    int at = 500; // each editor opens at another place
    for (const auto &[open, typed, close, text] : ways) {
        mouseMove(at += 10, 300);
        open(app);
        HWND editor = waitForEditor(app);
        ASSERT_NE(editor, nullptr) << text;
        EXPECT_NE(editor, last) << "a new window for each note";
        last = editor;
        RECT r{};
        GetWindowRect(editor, &r);
        EXPECT_TRUE(r.left == at - 320 && r.top == 250 && r.right == at + 320 && r.bottom == 350)
            << "640 x 100, centred on the cursor";
        typeText(typed);
        if (typed == L"日本語")
            pressKeys({VK_RETURN});
        ASSERT_TRUE(waitUntil([&] { return app.editorText() == text; })) << text;
        close(app);
        EXPECT_TRUE(waitUntil([&] { return !anyEditor(); })) << text << ": destroyed";
    }
    EXPECT_EQ(app.waitForExit(), 0u);
    DestroyWindow(other);
    char today[16]; // where the notes of today go, below the program's folder
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "yyyy'-'MM'\\'dd'\\'", today, sizeof today);
    std::vector<std::string> texts;
    for (const std::string &note : app.notes()) {
        EXPECT_EQ(note.substr(0, 11), today) << note;
        texts.push_back(readFile(app.folder / note));
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"b", "c", "d", "e", "日本語\r\n"}));
}

TEST(Jotwell, AFailedSaveKeepsTheTextThroughEveryEndUntilTheFolderIsFixed) {
    Jotwell app;
    const std::string blocked = app.folder / "blocked";
    writeFile(app.folder / "jotwell.ini", iniText(kCtrlAltJ, blocked.c_str()));
    writeFile(blocked, "a file where the folder should be");
    ASSERT_TRUE(app.start());
    SendMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDM_POPUP, 2), 0); // a control's, no command
    EXPECT_EQ(app.editor(), nullptr);
    ASSERT_TRUE(hotkey(app));
    HWND editor = app.editor();
    typeText(L"keep");
    ASSERT_TRUE(waitUntil([&] { return app.editorText() == "keep"; }));
    // Esc, then whatever would end the program: each is told, none throws the text away;
    // leaving for another window (to fix the folder) is not told again.
    const std::tuple<HWND, UINT, WPARAM, LRESULT, bool> ends[] = {
        {nullptr, 0, 0, 0, true},
        {app.main, WM_QUERYENDSESSION, 0, FALSE, true},
        {app.main, WM_ENDSESSION, TRUE, 0, true},
        {app.main, WM_COMMAND, IDM_QUIT, 0, true},
        {app.main, WM_CLOSE, 0, 0, true},
        {editor, WM_ACTIVATE, WA_INACTIVE, 0, false}};
    std::string text = "keep";
    for (const auto &[window, message, wParam, result, told] : ends) {
        // A change just made, long before the draft's pause is over: the end of the session
        // puts it in the draft (beside the program: the notes' folder is a file) before the
        // save that fails and waits for the user.
        if (message == WM_QUERYENDSESSION)
            SendMessageA(GetDlgItem(editor, IDC_NOTE_EDIT), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>((text += "!").c_str()));
        std::atomic<bool> done{false};
        auto box = std::async(answerBox, app.pid, IDOK, 5000, &done);
        if (window)
            EXPECT_EQ(SendMessageA(window, message, wParam, 0), result) << message;
        else
            pressKeys({VK_ESCAPE});
        done = window != nullptr;
        EXPECT_EQ(box.get().rfind("メモを保存できませんでした。\r\n\r\n" + blocked, 0),
                  told ? 0 : std::string::npos)
            << message;
        EXPECT_EQ(app.editorText(), text) << message;
        if (message == WM_QUERYENDSESSION) {
            EXPECT_EQ(readFile(app.folder / "~jotwell-draft.txt"), text);
        }
    }
    DeleteFileA(blocked.c_str());
    EXPECT_TRUE(hotkey(app)) << "closed and saved";
    const std::vector<std::string> notes = app.notes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("blocked\\", 0), 0u);
    EXPECT_EQ(readFile(app.folder / notes[0]), text);
    EXPECT_EQ(app.waitForExit(0), STILL_ACTIVE);
}

TEST(Jotwell, TheOpenNoteOutlivesTheProcessAsItsDraft) {
    Jotwell app(iniText(kCtrlAltJ, "")); // notes beside the program
    const std::string draft = app.folder / "~jotwell-draft.txt";
    char month[8]; // a file takes the name of this month's folder: every save fails
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "yyyy'-'MM", month, sizeof month);
    writeFile(app.folder / month, "x");
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(hotkey(app));
    typeText(L"下書き");
    ASSERT_TRUE(waitUntil([&] { return app.editorText() == "下書き"; }));
    // The session ends: the text goes to the draft at once, before the save (which fails
    // here and says so) and before the second of the draft's own wait is up.
    auto ending = std::async(std::launch::async, SendMessageA, app.main, WM_ENDSESSION, TRUE, 0);
    EXPECT_NE(findWindow(app.pid, "#32770", IsWindowVisible, 5000), nullptr);
    EXPECT_EQ(readFile(draft), "下書き");
    EXPECT_NE(answerBox(app.pid), "");
    ending.get();
    EXPECT_TRUE(GetFileAttributesA(draft.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    // Ended at once; the next start cannot save it yet and keeps it, the one after can.
    for (const char *told : {"前回保存されないまま残った書きかけのメモを保存できませんでした。",
                             "前回保存されないまま残った書きかけのメモを保存しました。"}) {
        TerminateProcess(app.process, 1);
        app.waitForExit();
        ASSERT_TRUE(app.start());
        const std::string box = answerBox(app.pid);
        EXPECT_EQ(box.rfind(told, 0), 0u) << box;
        EXPECT_NE(box.find(app.folder.path), std::string::npos) << box;
        DeleteFileA((app.folder / month).c_str());
    }
    EXPECT_EQ(readFile(draft), "<missing>");
    // Typing paused for a second: the draft again; once the note is saved, no draft.
    ASSERT_TRUE(hotkey(app));
    typeText(L"二番目");
    EXPECT_TRUE(waitUntil([&] { return readFile(draft) == "二番目"; }));
    pressKeys({VK_ESCAPE});
    EXPECT_TRUE(waitUntil([&] { return !app.editor(); }));
    EXPECT_EQ(readFile(draft), "<missing>");
    std::vector<std::string> texts;
    for (const std::string &note : app.notes())
        texts.push_back(readFile(app.folder / note));
    EXPECT_EQ(texts, (std::vector<std::string>{"下書き", "二番目"}));
}

// Someone typing steadily never pauses for the draft's second: it still keeps up, at most
// five seconds behind, so a process ended then loses only the last few seconds.
TEST(Jotwell, SteadyTypingReachesTheDraftAllButTheLastSeconds) {
    Jotwell app(iniText(kCtrlAltJ, ""));
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(hotkey(app));
    std::wstring typed;
    std::vector<ULONGLONG> at; // when each letter was typed
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < 10000) {
        typed += static_cast<wchar_t>(L'a' + typed.size() % 26);
        typeText(typed.substr(typed.size() - 1));
        at.push_back(GetTickCount64());
        Sleep(200);
    }
    TerminateProcess(app.process, 1);
    app.waitForExit();
    const ULONGLONG ended = GetTickCount64();
    ASSERT_TRUE(app.start());
    EXPECT_EQ(
        answerBox(app.pid).rfind("前回保存されないまま残った書きかけのメモを保存しました。", 0),
        0u);
    const std::vector<std::string> notes = app.notes();
    ASSERT_EQ(notes.size(), 1u);
    const std::string kept = readFile(app.folder / notes[0]);
    EXPECT_EQ(std::string(typed.begin(), typed.end()).rfind(kept, 0), 0u) << kept;
    const auto olderThan7s =
        std::count_if(at.begin(), at.end(), [&](ULONGLONG t) { return ended - t > 7000; });
    EXPECT_GE(kept.size(), static_cast<std::size_t>(olderThan7s)) << "typed before the last 7 s";
}

// Run in a session of its own whose screen has 144 dots per inch (Windows' 150 %).
TEST(Dpi, TheEditorIsScaled) {
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 144) << "a session at 144 DPI";
    Jotwell app(iniText(kCtrlAltJ));
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(hotkey(app));
    RECT r{};
    GetWindowRect(app.editor(), &r);
    EXPECT_EQ(r.right - r.left, 960);
    EXPECT_EQ(r.bottom - r.top, 150);
    ReleaseDC(nullptr, screen);
}
