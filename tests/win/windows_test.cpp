// Jotwell's windows, dialogs and files in this process: the popup editor, the note store,
// the settings file and dialog, the About box, the tray icon and the main window. Dialogs
// run here while a second thread works them as a user would.
#include <windows.h>

#include <imm.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <future>
#include <utility>

#include "about/about_dialog.h"
#include "app/main_window.h"
#include "app/run.h"
#include "app/tray.h"
#include "capture/draft.h"
#include "capture/note_popup.h"
#include "capture/note_store.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/window.h"
#include "tests/harness.h"
#include "version.h"

using namespace th;

// An editor as the main window makes one, owned by a hidden window, its notes going below
// a fresh folder.
struct Editor {
    TempFolder temp;
    AppSettings settings{};
    HWND owner =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND window = nullptr, edit = nullptr;
    explicit Editor(bool imeOn) {
        settings.imeOnAtStartup = imeOn;
        (temp / "notes").copy(settings.documentFolder, sizeof settings.documentFolder - 1);
        imeSetOpen(owner, false); // the thread's input context, which the edit shares
        window = createNotePopup(owner, &settings);
        edit = GetDlgItem(window, IDC_NOTE_EDIT);
        placeAtCursor(window);
        ShowWindow(window, SW_SHOWNORMAL);
    }
    ~Editor() {
        DestroyWindow(owner);
    }
};

TEST(Editor, SavesWhatItHoldsOnceWhateverTheHighWord) {
    Editor empty(true);
    EXPECT_TRUE(imeIsOpen(empty.edit)) << "the input method as set";
    SendMessageA(empty.window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(empty.window));
    EXPECT_EQ(listTree(empty.temp.path).size(), 0u) << "nothing saved, not even a folder";

    Editor e(false);
    EXPECT_FALSE(imeIsOpen(e.edit));
    std::string text;
    while (text.size() < 40000) // more than the 30,000 characters an edit takes by default
        text += "一行のメモ, a line of a note\r\n";
    SendMessageA(e.edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    // Moved to a monitor of 120 DPI: the size the system suggests, the font a quarter larger.
    RECT suggested{10, 10, 810, 135};
    SendMessageA(e.window, WM_DPICHANGED, MAKEWPARAM(120, 120),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT r{};
    GetWindowRect(e.window, &r);
    EXPECT_TRUE(EqualRect(&r, &suggested));
    LOGFONTA system{}, font{};
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof system, &system);
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(e.edit, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, MulDiv(system.lfHeight, 120, systemDpi()));
    SendMessageA(e.window, WM_COMMAND, MAKEWPARAM(IDM_CANCEL, 0x1234), 0);
    const std::vector<std::string> tree = listTree(e.temp / "notes"); // month, day, one note
    ASSERT_EQ(tree.size(), 3u) << "one file for one close";
    const std::string saved = readFile(e.temp / "notes\\" + tree[2]);
    EXPECT_TRUE(saved == text) << saved.size() << " bytes of " << text.size();
}

// The draft's timers, fired here at once: a pause in the typing, or its deadline.
static void draftTimer(const Editor &e, const char *text, UINT_PTR timer = DRAFT_TIMER_ID) {
    SetWindowTextA(e.edit, text);
    SendMessageA(e.window, WM_TIMER, timer, 0);
}

// Drafts that land beside this program's settings file, in its own folder, go whatever
// the test's outcome.
struct ProgramFolderDrafts {
    const std::string start = ownFolder() + "\\~jotwell-draft";
    ~ProgramFolderDrafts() {
        for (const std::string &name : listTree(ownFolder()))
            if (name.rfind("~jotwell-draft", 0) == 0)
                DeleteFileA((ownFolder() + "\\" + name).c_str());
    }
};

TEST(Editor, TheDraftFollowsTheTextNeverMakesAFolderAndNeverReplacesAnotherRunsDraft) {
    ProgramFolderDrafts beside;
    writeFile(beside.start + ".txt", "an earlier run's");
    Editor e(false);
    const std::string root = e.temp / "notes", draft = root + "\\~jotwell-draft.txt";
    draftTimer(e, "typed");
    EXPECT_EQ(listTree(e.temp.path).size(), 0u) << "no root yet: no folder made";
    EXPECT_EQ(readFile(beside.start + "_2.txt"), "typed") << "beside the settings file";
    CreateDirectoryA(root.c_str(), nullptr); // the first note's save made it
    draftTimer(e, "a");
    EXPECT_EQ(readFile(draft), "a");
    EXPECT_EQ(readFile(beside.start + "_2.txt"), "<missing>") << "moved to the notes' root";
    draftTimer(e, "a longer text", DRAFT_DEADLINE_TIMER_ID);
    EXPECT_EQ(readFile(draft), "a longer text") << "replaced whole";
    draftTimer(e, "");
    EXPECT_EQ(listTree(root).size(), 0u) << "cleared: no draft to bring erased text back";
    SendMessageA(e.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(listTree(root).size(), 0u) << "an empty editor saves nothing";
    EXPECT_EQ(readFile(beside.start + ".txt"), "an earlier run's");
}

// Holds the file open without delete sharing, as a virus scanner does, for a moment.
static std::future<void> holdFor(const std::string &path, DWORD ms) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    return std::async(std::launch::async, [file, ms] {
        Sleep(ms);
        CloseHandle(file);
    });
}

TEST(Editor, AFileHeldForAMomentIsWaitedFor) {
    Editor e(false);
    const std::string root = e.temp / "notes", draft = root + "\\~jotwell-draft.txt";
    CreateDirectoryA(root.c_str(), nullptr);
    draftTimer(e, "a");
    auto held = holdFor(draft, 50);
    draftTimer(e, "ab"); // renamed over the held draft
    held.get();
    EXPECT_EQ(readFile(draft), "ab");
    held = holdFor(draft, 50);
    SendMessageA(e.window, WM_CLOSE, 0, 0); // saved, and the held draft removed
    held.get();
    EXPECT_EQ(readFile(draft), "<missing>");
    EXPECT_EQ(listTree(root).size(), 3u) << "the month, the day and the note";
}

TEST(Editor, JapaneseBeingConvertedIsSavedAndEscMeanwhileIsTheInputMethods) {
    Editor e(true);
    CreateDirectoryA((e.temp / "notes").c_str(), nullptr);
    SetWindowTextA(e.edit, "明日");
    SendMessageA(e.edit, EM_SETSEL, 2, 2);
    HIMC context = ImmGetContext(e.edit);
    const std::wstring converting = L"かいぎ";
    ASSERT_TRUE(ImmSetCompositionStringW(context, SCS_SETSTR,
                                         const_cast<wchar_t *>(converting.c_str()),
                                         static_cast<DWORD>(converting.size() * 2), nullptr, 0));
    ImmReleaseContext(e.edit, context);
    HACCEL accelerators =
        LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    editorWindow = e.window;
    MSG esc{e.edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
    EXPECT_FALSE(TranslateEditorAccelerator(accelerators, &esc)) << "Esc cancels the conversion";
    EXPECT_TRUE(IsWindow(e.window));
    SendMessageA(e.window, WM_CLOSE, 0, 0);
    const std::vector<std::string> tree = listTree(e.temp / "notes");
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(readFile(e.temp / "notes\\" + tree[2]), "明日かいぎ");

    Editor plain(false); // not converting: Esc is the way out
    editorWindow = plain.window;
    esc.hwnd = plain.edit;
    EXPECT_TRUE(TranslateEditorAccelerator(accelerators, &esc));
    EXPECT_FALSE(IsWindow(plain.window));
    editorWindow = nullptr;
}

static const NoteTime kTime{2024, 5, 7, 9, 5, 2};

TEST(NoteStore, RootsAndFailures) {
    // the root below a fresh folder; what is there first (a file of this content); the error
    const std::tuple<std::string, const char *, DWORD> cases[] = {
        {"notes", "", 0},
        {"表", "", 0},                                // its 0x5C is no separator
        {"missing\\notes", "", ERROR_PATH_NOT_FOUND}, // one level only
        {"notes", "x", ERROR_ALREADY_EXISTS},
        {"notes\x81", "", ERROR_INVALID_NAME}, // half a character would swallow the separator
        {std::string(490, 'r'), "", ERROR_FILENAME_EXCED_RANGE}};
    for (const auto &[name, first, error] : cases) {
        TempFolder temp;
        const std::string root = temp / name;
        if (*first)
            writeFile(root, first);
        NoteSaveResult result{};
        EXPECT_EQ(createNoteFile(root.c_str(), kTime, "メモ\r\n", &result), error == 0) << name;
        EXPECT_EQ(result.error, error) << name;
        if (error)
            EXPECT_EQ(listTree(temp.path).size(), *first ? 1u : 0u) << name << ": nothing made";
        else
            EXPECT_EQ(listTree(root), (std::vector<std::string>{"2024-05\\", "2024-05\\07\\",
                                                                "2024-05\\07\\090502.txt"}));
        EXPECT_EQ(readFile(result.path), error ? readFile(root) : "メモ\r\n") << name;
    }
}

// The last write of a draft: 7 May 2024, 09:05:second, local time.
static void setWritten(const std::string &path, WORD second) {
    const SYSTEMTIME local{2024, 5, 2, 7, 9, 5, second, 0};
    FILETIME localTime{}, written{};
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &written);
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
}

static void tell(const DraftOutcome &outcome, void *context) {
    static_cast<std::vector<std::string> *>(context)->push_back(
        outcome.saved
            ? "saved " + std::string(outcome.result.path)
            : "kept " + std::string(outcome.draft) + " " + std::to_string(outcome.result.error));
}

TEST(NoteStore, EveryDraftBecomesANoteOldestFirstAndOneThatStaysIsNeverSavedTwice) {
    ProgramFolderDrafts beside;
    TempFolder notes;
    AppSettings settings{false, 0, "", false};
    notes.path.copy(settings.documentFolder, sizeof settings.documentFolder - 1);
    const std::string draft = notes / "~jotwell-draft", day = notes / "2024-05\\07\\";
    // the file, its text, the second of its last write
    const std::tuple<std::string, const char *, WORD> files[] = {
        {draft + ".txt", "second", 3},
        {beside.start + "_3.txt", "first", 2},
        {draft + "_2.txt", "", 1},
        {draft + "_2.tmp", "half written", 1},
        {draft + "_4.txt", "held", 4},
        {draft + "_5.txt", "locked", 5},
        {draft + "-old.txt", "the user's", 1}};
    for (const auto &[path, text, second] : files) {
        writeFile(path, text);
        setWritten(path, second);
    }
    auto held = holdFor(draft + "_4.txt", 1000); // readable, but it cannot be removed
    HANDLE locked = CreateFileA((draft + "_5.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                0, nullptr); // not even readable
    std::vector<std::string> told;
    recoverDrafts(settings, tell, &told);
    const std::string sharing = " " + std::to_string(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(told, (std::vector<std::string>{"saved " + day + "090502.txt",
                                              "saved " + day + "090503.txt",
                                              "kept " + draft + "_4.txt" + sharing,
                                              "kept " + draft + "_5.txt" + sharing}));
    EXPECT_EQ(readFile(day + "090502.txt") + readFile(day + "090503.txt"), "firstsecond");
    EXPECT_EQ(listTree(notes.path),
              (std::vector<std::string>{"2024-05\\", "2024-05\\07\\", "2024-05\\07\\090502.txt",
                                        "2024-05\\07\\090503.txt", "~jotwell-draft-old.txt",
                                        "~jotwell-draft_4.txt", "~jotwell-draft_5.txt"}));
    held.get();
    CloseHandle(locked);
    told.clear();
    recoverDrafts(settings, tell, &told);
    EXPECT_EQ(told, (std::vector<std::string>{"saved " + day + "090504.txt",
                                              "saved " + day + "090505.txt"}));
    EXPECT_EQ(listTree(day).size(), 4u) << "each draft one note";
}

TEST(NoteStore, TheRootAsTheSettingsMeanIt) {
    const std::string program = ownFolder();
    const std::string drive = program.substr(0, 2);
    // the setting, whether it was cut on loading, the root (empty: refused)
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"", false, program},
        {"notes", false, program + "\\notes"}, // never the current directory's
        {"..\\notes", false, program.substr(0, program.rfind('\\')) + "\\notes"},
        {"\\notes", false, drive + "\\notes"},
        {"D:\\notes", false, "D:\\notes"},
        {"D:\\notes", true, ""}}; // what is left of a longer folder names another one
    for (const auto &[folder, cut, expected] : cases) {
        AppSettings settings{false, 0, "", cut};
        folder.copy(settings.documentFolder, sizeof settings.documentFolder - 1);
        char root[kPathBufferSize] = "";
        NoteSaveResult result{};
        EXPECT_EQ(noteRoot(settings, root, &result), !expected.empty()) << folder;
        EXPECT_EQ(result.error, expected.empty() ? ERROR_FILENAME_EXCED_RANGE : 0u) << folder;
        EXPECT_EQ(std::string(root), expected) << folder;
    }
}

TEST(NoteStore, NeverReplacesAFile) {
    TempFolder temp;
    const std::string day = temp / "2024-05\\07\\";
    CreateDirectoryA((temp / "2024-05").c_str(), nullptr);
    CreateDirectoryA(day.c_str(), nullptr);
    writeFile(day + "090502.txt", "the user's");
    writeFile(day + "090502_2.txt", "read-only");
    SetFileAttributesA((day + "090502_2.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    NoteSaveResult result{};
    ASSERT_TRUE(createNoteFile(temp.path.c_str(), kTime, "new", &result));
    EXPECT_EQ(result.path, day + "090502_3.txt");
    EXPECT_EQ(readFile(day + "090502.txt") + readFile(day + "090502_2.txt") +
                  readFile(day + "090502_3.txt"),
              "the user'sread-onlynew");
    EXPECT_EQ(listTree(day).size(), 3u) << "no temporary file left";
    SetFileAttributesA((day + "090502_2.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(NoteStore, AFullDiskLeavesNoCutNote) {
    // tests/small_drive.sh mounts a 2 MB drive Q: around the Windows tests when it can.
    const std::string status = readFile(ownFolder() + "\\..\\small_drive\\status");
    if (status.rfind("ready", 0) != 0)
        GTEST_SKIP() << "no small drive Q: " << status;
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("Q:\\", &free, nullptr, nullptr));
    writeFile("Q:\\filler", std::string(free.QuadPart - 16384, 'f'));
    NoteSaveResult result{};
    EXPECT_FALSE(createNoteFile("Q:\\notes", kTime, std::string(65536, 'n').c_str(), &result));
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(listTree("Q:\\notes"), (std::vector<std::string>{"2024-05\\", "2024-05\\07\\"}));
    DeleteFileA("Q:\\filler");
    for (const char *folder : {"Q:\\notes\\2024-05\\07", "Q:\\notes\\2024-05", "Q:\\notes"})
        RemoveDirectoryA(folder);
}

TEST(SettingsFile, EachKeyReadsOnItsOwnAndAFailedWriteIsTold) {
    char ini[kPathBufferSize];
    ASSERT_TRUE(GetIniPath(ini));
    const std::string dir = ownFolder(), split = "C:\\" + std::string(255, 'b') + "アイ";
    const std::string hotkey = "[ホットキー]\r\n表示の切り替え=", main = "\r\n[quillomat]\r\n";
    // the file, and the hotkey, input method and folder read from it; whether the folder
    // was too long for the record
    const std::tuple<std::string, std::int32_t, bool, std::string, bool> cases[] = {
        {"", 0, true, dir, false},
        {hotkey + "1601" + main + "日本語入力=0\r\n文書保存フォルダ=D:\\メモ\\表", 1601, false,
         "D:\\メモ\\表", false},
        {hotkey + "12abc" + main + "日本語入力=2\r\n文書保存フォルダ=", 12, true, "", false},
        {hotkey + "-5" + main + "日本語入力=x", -5, true, dir, false},
        {hotkey + "abc" + main + "日本語入力=-1", 0, true, dir, false},
        {hotkey + "-2147483648", INT32_MIN, true, dir, false},
        {hotkey + "2147483648", 0, true, dir, false}, // beyond 32 bits: unreadable
        {main + "文書保存フォルダ=" + std::string(259, 'a'), 0, true, std::string(259, 'a'), false},
        {main + "文書保存フォルダ=" + std::string(260, 'a'), 0, true, std::string(259, 'a'), true},
        {main + "文書保存フォルダ=" + split, 0, true, split.substr(0, 258), true}}; // never half ア
    for (const auto &[text, readHotkey, readIme, readFolder, cut] : cases) {
        DeleteFileA(ini);
        if (!text.empty())
            writeFile(ini, text);
        AppSettings settings{false, 5, "x", !cut};
        LoadSettings(settings);
        EXPECT_EQ(settings.hotkey, readHotkey) << text;
        EXPECT_EQ(settings.imeOnAtStartup, readIme) << text;
        EXPECT_EQ(settings.documentFolder, readFolder) << text;
        EXPECT_EQ(settings.documentFolderCut, cut) << text;
    }
    // Saved, a cut folder would replace the user's own with another folder's name.
    AppSettings cut{true, 0x641, "D:\\cut", true};
    ASSERT_TRUE(SaveSettings(cut));
    EXPECT_EQ(readFile(ini).find("D:\\cut"), std::string::npos);
    DeleteFileA(ini);
    CreateDirectoryA(ini, nullptr); // a file that cannot be written, even by root under Wine
    EXPECT_FALSE(SaveSettings(cut));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    RemoveDirectoryA(ini);
}

// Runs the About box here while drive works it from another thread; how the box ended.
static INT_PTR runAbout(const std::string &address, const std::function<void(HWND)> &drive) {
    auto driver = std::async(std::launch::async, [&] {
        const auto isAbout = [](HWND w) {
            return IsWindowVisible(w) && windowText(w) == "Jotwell について";
        };
        drive(findWindow(GetCurrentProcessId(), "#32770", isAbout, 5000));
    });
    const AboutInfo info{address.c_str()};
    const INT_PTR result = RunAboutBox(nullptr, &info);
    driver.get();
    return result;
}

static int pixelsOf(HWND window, COLORREF colour) {
    RECT r{};
    GetClientRect(window, &r);
    HDC dc = GetDC(window);
    int count = 0;
    for (int i = 0; i < r.right * r.bottom; ++i)
        count += GetPixel(dc, i % r.right, i / r.right) == colour;
    ReleaseDC(window, dc);
    return count;
}

TEST(AboutBox, NamesTheProductGrowsToItsLinkAndTheLinkOpensTheAddress) {
    TempFolder temp;
    const std::string address = temp / "probe.exe"; // it leaves probe.ini when it runs
    CopyFileA((ownFolder() + "\\probe.exe").c_str(), address.c_str(), FALSE);
    const auto drive = [&](HWND box) {
        HWND link = GetDlgItem(box, IDC_ABOUT_LINK);
        EXPECT_EQ(windowText(GetDlgItem(box, IDC_ABOUT_NAME)),
                  "Jotwell ver. " JOTWELL_VERSION_STRING);
        EXPECT_EQ(windowText(link), address);
        EXPECT_EQ(windowText(GetDlgItem(box, IDC_ABOUT_RESOURCES)), "") << "no rsrc32.dll";
        RECT client{}, line{};
        GetClientRect(box, &client);
        GetWindowRect(link, &line);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT *>(&line), 2);
        EXPECT_TRUE(line.right - line.left > 200 && line.right < client.right)
            << "grown, and the box";
        RECT outer{};
        GetWindowRect(box, &outer);
        EXPECT_LE(outer.right, GetSystemMetrics(SM_CXSCREEN)) << "opened by the tray: on screen";
        POINT body{client.right - 2, 2},
            at{(line.left + line.right) / 2, (line.top + line.bottom) / 2};
        ClientToScreen(box, &body);
        ClientToScreen(box, &at);
        EXPECT_EQ(SendMessageA(box, WM_NCHITTEST, 0, MAKELPARAM(body.x, body.y)), HTCAPTION);
        mouseMove(at.x, at.y + 60);
        mouseMove(at.x, at.y);
        EXPECT_TRUE(waitUntil([&] { return pixelsOf(link, RGB(255, 0, 0)) > 20; })) << "hot";
        mouseMove(at.x, at.y + 60);
        EXPECT_TRUE(waitUntil([&] {
            return !pixelsOf(link, RGB(255, 0, 0)) && pixelsOf(link, RGB(0, 0, 255)) > 20;
        })) << "cool again";
        mouseClick(at.x, at.y);
    };
    mouseMove(1010, 400);
    EXPECT_EQ(runAbout(address, drive), 1);
    EXPECT_TRUE(waitUntil([&] { return readFile(temp / "probe.ini") != "<missing>"; }, 10000));

    // The optional library comes from the system folder, and only from there (end to end).
    char system[MAX_PATH];
    const std::string library =
        std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\rsrc32.dll";
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\fake_rsrc32.dll").c_str(), library.c_str(), FALSE));
    const auto freeResources = [](HWND box) {
        EXPECT_EQ(windowText(GetDlgItem(box, IDC_ABOUT_RESOURCES)),
                  "システムリソース： 42 ％使用可能");
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(runAbout("x", freeResources), 2);
    EXPECT_TRUE(DeleteFileA(library.c_str())) << "released";
}

// The taskbar as Wine's shell32 talks to it: each Shell_NotifyIcon arrives as WM_COPYDATA.
// refuse: adds that fail; slow: adds that time out although the icon is added.
struct FakeTray {
    HWND tray, area = nullptr;
    int adds = 0, deletes = 0, refuse = 0, slow = 0;
    bool icon = false;
    FakeTray() {
        for (const auto &[name, procedure] :
             {std::pair<const char *, WNDPROC>{"Shell_TrayWnd", proc},
              {"TrayNotifyWnd", DefWindowProcA}}) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = procedure;
            wc.lpszClassName = name;
            RegisterClassA(&wc);
        }
        tray = CreateWindowExA(WS_EX_TOPMOST, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 1, 1, nullptr,
                               nullptr, nullptr, nullptr);
        SetWindowLongPtrA(tray, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        restart();
    }
    ~FakeTray() {
        DestroyWindow(tray);
    }
    void restart() {
        DestroyWindow(area);
        area = CreateWindowExA(0, "TrayNotifyWnd", "", WS_CHILD, 0, 0, 1, 1, tray, nullptr, nullptr,
                               nullptr);
    }
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<FakeTray *>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != WM_COPYDATA || !self)
            return DefWindowProcA(window, message, wParam, lParam);
        const auto code = reinterpret_cast<const COPYDATASTRUCT *>(lParam)->dwData;
        self->deletes += code == NIM_DELETE;
        self->adds += code == NIM_ADD;
        if (code == NIM_DELETE)
            return std::exchange(self->icon, false);
        if (code == NIM_MODIFY)
            return self->icon;
        if (self->refuse-- > 0 || self->icon)
            return FALSE;
        self->icon = true;
        return self->slow-- <= 0;
    }
};

TEST(Tray, TriesTwentyOneTimesHalfASecondApartTakesASlowAddAndTheWatchdogAddsItAgain) {
    FakeTray tray;
    tray.refuse = 21;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(InstallTrayIcon(tray.tray));
    EXPECT_EQ(tray.adds, 21);
    EXPECT_GE(GetTickCount64() - start, 9900u);
    tray.slow = 1; // a shell slow at logon: the add times out, yet the icon is there
    ASSERT_TRUE(InstallTrayIcon(tray.tray));
    EXPECT_EQ(tray.adds, 22) << "an add that timed out but took is not repeated";
    tray.restart(); // the shell ended and came back with a new notification area
    EXPECT_TRUE(waitUntil([&] { return tray.adds == 23; }, 3000));
    DestroyWindow(tray.area); // the shell ends: while there is no notification area, nothing
    tray.area = nullptr;
    TrayWatchdogProc(nullptr, 0, 0, 0);
    EXPECT_EQ(tray.adds, 23) << "an icon added where there is no notification area";
    tray.restart();
    TrayWatchdogProc(nullptr, 0, 0, 0);
    EXPECT_EQ(tray.adds, 24) << "the new notification area has it again";
    RemoveTrayIcon(tray.tray);
    EXPECT_EQ(tray.deletes, 3);
}

// Dispatches what is queued for this thread, the window's own posts among them.
static void dispatchQueued() {
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&msg);
}

static HWND createMainWindow(AppSettings *settings) {
    registerAppWindowClass(GetModuleHandleA(nullptr), "quillomat", MainWindowProc);
    return CreateWindowExA(0, "quillomat", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           GetModuleHandleA(nullptr), settings);
}

static void destroyMainWindow(HWND main) {
    DestroyWindow(main);
    MSG quit; // the one the window's end posts for the program's loop
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST(MainWindow, StartUpWorkRunsOnceAndTheIconIsBackAtOnceWithTheTaskbar) {
    FakeTray tray;
    TempFolder notes;
    const std::string draft = notes / "~jotwell-draft.txt";
    writeFile(draft, "left by the last run");
    AppSettings settings{false, 'A', "", false}; // a plain letter: it would take typing everywhere
    notes.path.copy(settings.documentFolder, sizeof settings.documentFolder - 1);
    auto told = std::async(std::launch::async, [] {
        const std::string first = answerBox(GetCurrentProcessId());
        return first + "|" + answerBox(GetCurrentProcessId());
    });
    HWND main = createMainWindow(&settings);
    dispatchQueued(); // the start-up work, once the loop runs
    const std::string boxes = told.get();
    EXPECT_EQ(boxes.rfind("前回保存されないまま残った書きかけのメモを保存しました。", 0), 0u)
        << boxes;
    EXPECT_NE(boxes.find("|ホットキー「A」を登録できませんでした。\r\n"
                         "文字の入力に使うキーです。Ctrl か Alt と組み合わせてください。"),
              std::string::npos)
        << boxes;
    EXPECT_EQ(readFile(draft), "<missing>");
    writeFile(draft, "planted");
    std::atomic<bool> done{false};
    auto again =
        std::async(std::launch::async, answerBox, GetCurrentProcessId(), IDOK, 5000, &done);
    PostMessageA(main, WM_STARTED, 1, 0); // as another program could
    dispatchQueued();
    done = true;
    EXPECT_EQ(again.get(), "") << "the start-up work ran again";
    EXPECT_EQ(readFile(draft), "planted");

    ASSERT_EQ(tray.adds, 1);
    SendMessageA(main, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(tray.adds, 2) << "without waiting for the watchdog";
    destroyMainWindow(main);
}

// Pressing the mouse on the tray icon activates the taskbar, which closes the editor; the
// release that follows must not open a new one.
TEST(MainWindow, TheTrayClickThatClosedTheEditorOpensNoOther) {
    FakeTray tray;
    TempFolder notes;
    AppSettings settings{false, 0, "", false};
    notes.path.copy(settings.documentFolder, sizeof settings.documentFolder - 1);
    HWND main = createMainWindow(&settings);
    SendMessageA(main, WM_LBUTTONUP, 0, 0);
    HWND first = editorWindow;
    ASSERT_TRUE(IsWindow(first));
    SendMessageA(first, WM_ACTIVATE, WA_INACTIVE, 0); // the press
    EXPECT_FALSE(IsWindow(first));
    SendMessageA(main, WM_LBUTTONUP, 0, 0); // its release
    EXPECT_FALSE(IsWindow(editorWindow)) << "the same click opened an editor";
    SendMessageA(main, WM_LBUTTONUP, 0, 0); // the next click
    EXPECT_TRUE(IsWindow(editorWindow));
    destroyMainWindow(main);
    editorWindow = nullptr;
}
