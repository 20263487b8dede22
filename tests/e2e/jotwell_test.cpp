// The real jotwell.exe, driven through its own input path: tray notifications, the user's
// keys and mouse, its real windows; then what it leaves on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "res/resource.h"
#include "tests/harness.h"

using namespace th;

// Also: the menu opens the notes folder (the program's, named with Japanese), writes the
// settings file beside the program, named in lower case (the program is Jotwell.EXE; the
// folder's ア has an 'A' for its second byte) and quits.
TEST(Jotwell, StartsWithNoWindowShown) {
    Jotwell app; // no settings file
    ASSERT_TRUE(app.start());
    EXPECT_EQ(findWindow(app.pid, nullptr, IsWindowVisible), nullptr) << "nothing shown at start";
    ASSERT_TRUE(app.command('O')) << "Open folder: the shell shows it";
    const std::string name = app.folder.path.substr(app.folder.path.find("jotwell-")); // ends in 表
    HWND shown = nullptr;
    EXPECT_TRUE(
        waitUntil([&] { return (shown = FindWindowA("ExplorerWClass", name.c_str())); }, 15000));
    PostMessageA(shown, WM_CLOSE, 0, 0); // the shell's browser, a process of its own, ends
    waitUntil([&] { return !IsWindow(shown); });
    HWND settings = app.command('S') ? findDialog(app.pid, "設定") : nullptr;
    ASSERT_TRUE(settings && PostMessageA(settings, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(waitUntil([&] {
        return listTree(app.folder.path) == std::vector<std::string>{"Jotwell.EXE", "jotwell.ini"};
    })) << "OK saved the settings as jotwell.ini";
    ASSERT_TRUE(app.command('Q'));
    EXPECT_EQ(app.waitForExit(), 0u);
}

TEST(Jotwell, EveryWayOutSavesWhatWasTypedInAnEditorOfItsOwn) {
    Jotwell app(iniText(kCtrlAltJ, "")); // an empty folder value: notes go beside the program
    ASSERT_TRUE(app.start());
    Jotwell second;
    ASSERT_FALSE(second.start()) << "one instance runs";
    EXPECT_EQ(second.waitForExit(), 0u);
    HWND other = CreateWindowExA(0, "BUTTON", "", WS_POPUP | WS_VISIBLE, 20, 20, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    const auto hotkey = [&] { EXPECT_TRUE(app.hotkey()); };
    // how it opens (the real icon: the first in the taskbar's notification area), what is typed
    // (and Enter), how it closes, what is saved
    const std::tuple<std::function<void()>, std::wstring, std::function<void()>, std::string>
        ways[] = {{hotkey, L"日本語", [] { pressKeys({VK_ESCAPE}); }, "日本語\r\n"},
                  {[] { mouseClick(1014, 758); }, L"b", hotkey, "b\r\n"},   // the real icon
                  {hotkey, L"c", [&] { app.tray(WM_LBUTTONUP); }, "c\r\n"}, // its notification
                  {hotkey, L"d", [] { mouseClick(60, 60); }, "d\r\n"}}; // another window activated
    EXPECT_EQ(findWindow(app.pid, "JotwellPane"), nullptr) << "one made before a note";
    std::multiset<std::string> saved, texts; // notes of one second are numbered, not ordered
    for (const auto &[open, typed, close, text] : ways) {
        open();
        // The editor shown and in front, where the user's keys go; then what they make of it.
        ASSERT_TRUE(waitUntil([&] {
            return app.editor() && GetForegroundWindow() == app.editor();
        })) << text;
        typeText(typed + L"\r");
        ASSERT_TRUE(waitUntil([&] {
            return windowText(GetDlgItem(app.editor(), IDC_NOTE_EDIT)) == text;
        })) << text;
        close();
        EXPECT_TRUE(waitUntil([&] { return !findWindow(app.pid, "JotwellPane"); })) << "destroyed";
        saved.insert(text);
    }
    DestroyWindow(other);
    for (const std::string &file : listTree(app.folder.path))
        if (file.back() != '\\' && file.find('\\') != std::string::npos) // a day folder's: a note
            texts.insert(readFile(app.folder / file));
    EXPECT_EQ(texts, saved);
}

// Someone typing steadily never pauses for the draft's second: it still keeps up, at most five
// seconds behind, the deadline starting again after each draft, so a process ended then loses
// only the last few seconds. A pause writes it at once, hidden, in the user's local folder.
TEST(Jotwell, TheDraftKeepsUpWithSteadyTypingAndIsWrittenAtAPause) {
    Jotwell app(iniText(kCtrlAltJ, ""));
    const std::string draft = localDrafts() + "\\~jotwell-draft.txt";
    ASSERT_TRUE(app.start() && app.hotkey());
    std::string typed;
    std::size_t older = 0; // letters the editor held (a busy machine delivers late) 6.5 s before
    const HWND edit = GetDlgItem(app.editor(), IDC_NOTE_EDIT);
    for (const ULONGLONG start = GetTickCount64(); GetTickCount64() - start < 13000; Sleep(200)) {
        typed += static_cast<char>('a' + typed.size() % 26);
        typeText(std::wstring(1, typed.back()));
        waitUntil([&] { return windowText(edit).size() == typed.size(); });
        older = GetTickCount64() - start < 13000 - 6500 ? typed.size() : older;
    }
    const std::string kept = readFile(draft); // within the second the pause waits
    EXPECT_TRUE(typed.rfind(kept, 0) == 0 && kept.size() >= older)
        << kept.size() << " letters drafted, " << older << " typed before the last 6.5 s";
    typeText(L"二番目");
    EXPECT_TRUE(waitUntil([&] { return readFile(draft) == typed + "二番目"; }, 3000))
        << "typing paused";
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN; // a file's, not a folder's or what is not there
    EXPECT_EQ(GetFileAttributesA(draft.c_str()) & (hidden | FILE_ATTRIBUTE_DIRECTORY), hidden);
}

// Run with an English locale, whose code page for non-Unicode programs is 1252: Jotwell says
// once that typed Japanese cannot be kept here. Also: it runs on as ever.
TEST(CodePage, AnotherCodePageIsToldOnce) {
    Jotwell app(iniText(kCtrlAltJ, ""));
    ASSERT_TRUE(app.start());
    const std::string told = answerBox(app.pid); // the Japanese half reads as question marks
    EXPECT_NE(told.find("Japanese typed into Jotwell cannot be saved"), std::string::npos) << told;
    EXPECT_TRUE(app.hotkey()) << "the start-up work went on after the warning";
    EXPECT_EQ(answerBox(app.pid, IDOK, 2000), "") << "told once, no second box";
}

// Run in a session of its own with two monitors: the primary (0,0)-(1024,768) and a smaller
// one left of it, (-800,0)-(0,600). Wine shows them only without its virtual desktop, and
// then there is no taskbar of its own to click, nor a foreground that the menu's keys reach:
// Jotwell is driven by its hotkey and its main window's commands.
TEST(Monitors, EachWindowOpensAtTheCursorOnTheMonitorUnderIt) {
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 2) << "a session with two monitors";
    // Per monitor, the cursor at its top left, middle and bottom right (no taskbar: whole
    // monitors): x, y, and the 640 x 100 editor's left and top there. Each edge of each
    // monitor holds it in; the unit table has the arithmetic.
    const std::tuple<int, int, LONG, LONG> cursors[] = {
        {-800, 0, -800, 0}, {-401, 299, -721, 249}, {-1, 599, -640, 500},
        {0, 0, 0, 0},       {511, 383, 191, 333},   {1023, 767, 384, 668}};
    Jotwell app(iniText(kCtrlAltJ, ""));
    ASSERT_TRUE(app.start());
    for (const auto &[x, y, left, top] : cursors) {
        mouseMove(x, y);
        ASSERT_TRUE(app.hotkey()) << x << "," << y;
        RECT r{};
        GetWindowRect(app.editor(), &r);
        EXPECT_EQ(std::make_tuple(r.left, r.top, r.right, r.bottom),
                  std::make_tuple(left, top, left + 640, top + 100))
            << "cursor " << x << "," << y;
        ASSERT_TRUE(app.hotkey()) << "closed";
    }

    // On the left monitor: the dialogs and the menu open there too.
    mouseMove(-400, 300);
    for (const auto &[command, caption] :
         {std::pair<UINT, std::string>{IDM_SETTINGS, "設定"}, {IDM_ABOUT, "Jotwell について"}}) {
        PostMessageA(app.main, WM_COMMAND, command, 0);
        HWND dialog = findDialog(app.pid, caption);
        RECT r{};
        ASSERT_TRUE(GetWindowRect(dialog, &r)) << caption;
        EXPECT_EQ(std::make_pair(r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2),
                  std::make_pair(-400L, 300L))
            << caption << " centred on the cursor";
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    RECT menu{};
    GetWindowRect(app.menu(), &menu);
    EXPECT_TRUE(menu.left == -400 && menu.bottom == 300) << "the menu's corner at the cursor";
}
