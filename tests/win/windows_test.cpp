// Jotwell's windows, dialogs and files in this process: the popup editor, the note store and
// the drafts, the settings file, the About box, the tray icon and the main window. Dialogs
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
#include "settings/settings_dialog.h"
#include "support/window.h"
#include "tests/harness.h"
#include "version.h"

using namespace th;

static AppSettings settingsFor(const std::string &folder, std::int32_t hotkey = 0) {
    AppSettings settings{false, hotkey, "", false};
    folder.copy(settings.documentFolder, sizeof settings.documentFolder - 1);
    return settings;
}

// An editor as the main window makes one, owned by a hidden window, its notes going below
// a fresh folder's "notes".
struct Editor {
    TempFolder temp;
    const std::string notes = temp / "notes";
    AppSettings settings = settingsFor(notes);
    HWND owner =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND window = nullptr, edit = nullptr;
    explicit Editor(bool imeOn) {
        settings.imeOnAtStartup = imeOn;
        imeSetOpen(owner, false); // the thread's input context, which the edit shares
        window = createNotePopup(owner, &settings);
        edit = GetDlgItem(window, IDC_NOTE_EDIT);
        ShowWindow(window, SW_SHOWNORMAL);
    }
    ~Editor() {
        DestroyWindow(owner);
    }
};

static std::string localTime() { // hhmmss
    char text[8];
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "HHmmss", text, sizeof text);
    return text;
}

// Also: one file for one close; an empty editor closes with nothing saved; the input method
// as set.
TEST(Editor, SavesWhatItHoldsUnderTheTimeOfTheClose) {
    Editor empty(true);
    EXPECT_TRUE(imeIsOpen(empty.edit)) << "the input method as set";
    SendMessageA(empty.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(!IsWindow(empty.window) && listTree(empty.temp.path).empty())
        << "closed, nothing saved, not even a folder";

    Editor e(false);
    EXPECT_FALSE(imeIsOpen(e.edit)) << "the input method off, as set";
    std::string text;
    while (text.size() < 40000) // more than the 30,000 characters an edit takes by default
        text += "一行のメモ, a line of a note\r\n";
    SendMessageA(e.edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    const std::string before = localTime();
    SendMessageA(e.window, WM_COMMAND, MAKEWPARAM(IDM_CANCEL, 0x1234), 0);
    const std::string after = localTime();
    const std::vector<std::string> tree = listTree(e.notes); // month, day, one note
    ASSERT_EQ(tree.size(), 3u) << "one file for one close";
    const std::string name = tree[2].substr(tree[2].rfind('\\') + 1, 6);
    EXPECT_TRUE(after < before ? name >= before || name <= after : before <= name && name <= after)
        << "named " << name << " between " << before << " and " << after;
    const std::string saved = readFile(e.notes + "\\" + tree[2]);
    EXPECT_TRUE(saved == text) << saved.size() << " bytes of " << text.size();
}

// Moved to monitors of other DPIs: the size the system suggests, the system font scaled (18
// pixels high at the system's 96 DPI), none made at the system's DPI. Also: each font made
// for one goes once the next replaces it or the editor goes.
TEST(Editor, FollowsTheMonitorsDpi) {
    Editor e(false);
    HFONT last = nullptr;
    for (const auto &[dpi, lf] : {std::pair<UINT, LONG>{128, 24}, {systemDpi(), 0}, {144, 27}}) {
        RECT suggested{10, 10, 10 + MulDiv(640, dpi, 96), 10 + MulDiv(100, dpi, 96)}, r{};
        SendMessageA(e.window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(e.window, &r);
        EXPECT_TRUE(EqualRect(&r, &suggested)) << "the suggested size at " << dpi;
        const auto font = reinterpret_cast<HFONT>(SendMessageA(e.edit, WM_GETFONT, 0, 0));
        LOGFONTA made{}; // none at the system's DPI: the system's own font
        GetObjectA(font, sizeof made, &made);
        EXPECT_EQ(made.lfHeight, lf) << "the font's height at " << dpi;
        EXPECT_EQ(GetObjectType(last), 0u) << "the last DPI's font deleted";
        last = font;
    }
    DestroyWindow(e.window);
    EXPECT_EQ(GetObjectType(last), 0u) << "the font deleted with the editor";
}

// Run in a session of its own whose screen has 144 dots per inch (Windows' 150 %), which the
// manifest that Jotwell and these tests share lets them see.
TEST(Dpi, TheEditorIsScaled) {
    Editor e(false);
    EXPECT_TRUE(windowWidth(e.window) == 960 && windowHeight(e.window) == 150)
        << windowWidth(e.window) << "x" << windowHeight(e.window);
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

TEST(Editor, TheDraftFollowsTheTextThroughAMomentsHoldMakesNoFolderAndReplacesNoOtherDraft) {
    ProgramFolderDrafts beside;
    writeFile(beside.start + ".txt", "an earlier run's");
    Editor e(false);
    const std::string draft = e.notes + "\\~jotwell-draft.txt";
    draftTimer(e, "typed");
    EXPECT_EQ(listTree(e.temp.path).size(), 0u) << "no notes folder yet: none made";
    EXPECT_EQ(readFile(beside.start + "_2.txt"), "typed") << "beside the settings file";
    CreateDirectoryA(e.notes.c_str(), nullptr); // the first note's save made it
    draftTimer(e, "a");
    EXPECT_EQ(readFile(draft), "a");
    EXPECT_EQ(readFile(beside.start + "_2.txt"), "<missing>") << "moved to the notes' folder";
    auto held = holdFor(draft, 50); // waited for
    draftTimer(e, "a longer text", DRAFT_DEADLINE_TIMER_ID);
    held.get();
    EXPECT_EQ(readFile(draft), "a longer text") << "replaced whole";
    held = holdFor(draft, 50);
    draftTimer(e, "");
    held.get();
    EXPECT_EQ(listTree(e.notes).size(), 0u) << "cleared: no draft to bring erased text back";
    EXPECT_EQ(readFile(beside.start + ".txt"), "an earlier run's");
}

// Also: Japanese being converted is saved.
TEST(Editor, EscClosesItUnlessJapaneseIsBeingConverted) {
    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    ASSERT_NE(table, nullptr) << "the accelerator table";
    const Undo noEditor{[] { editorWindow = nullptr; }};
    Editor plain(false);
    editorWindow = plain.window;
    MSG esc{plain.edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
    EXPECT_TRUE(TranslateEditorAccelerator(table, &esc) && !IsWindow(plain.window))
        << "Esc closes an editor where nothing is being converted";
    Editor e(true);
    CreateDirectoryA(e.notes.c_str(), nullptr);
    SetWindowTextA(e.edit, "明日");
    SendMessageA(e.edit, EM_SETSEL, 2, 2);
    HIMC context = ImmGetContext(e.edit);
    std::wstring converting = L"かいぎ";
    ASSERT_TRUE(ImmSetCompositionStringW(context, SCS_SETSTR, &converting[0],
                                         static_cast<DWORD>(converting.size() * 2), nullptr, 0));
    ImmReleaseContext(e.edit, context);
    editorWindow = e.window;
    esc.hwnd = e.edit;
    EXPECT_FALSE(TranslateEditorAccelerator(table, &esc)) << "Esc cancels the conversion";
    SendMessageA(e.window, WM_CLOSE, 0, 0);
    const std::vector<std::string> tree = listTree(e.notes);
    ASSERT_EQ(tree.size(), 3u) << "the month, the day, the note";
    EXPECT_EQ(readFile(e.notes + "\\" + tree[2]), "明日かいぎ");
}

static const NoteTime kTime{2024, 5, 7, 9, 5, 2};

TEST(NoteStore, MakesOneLevelAtATimeAndSaysWhatFailed) {
    struct Case {
        std::string root; // below a fresh folder
        DWORD error;
    };
    const Case cases[] = {{"notes", 0},
                          {"表", 0}, // its 0x5C is no separator
                          {"missing\\notes", ERROR_PATH_NOT_FOUND},
                          {"notes\x81", ERROR_INVALID_NAME}, // would swallow the separator
                          {std::string(490, 'r'), ERROR_FILENAME_EXCED_RANGE}};
    for (const Case &c : cases) {
        TempFolder temp;
        const std::string root = temp / c.root;
        NoteSaveResult result{};
        EXPECT_EQ(createNoteFile(root.c_str(), kTime, "メモ\r\n", &result), c.error == 0);
        EXPECT_EQ(result.error, c.error) << c.root;
        const std::string path = result.path;
        if (c.error) { // nothing made, and the path that failed, or as much of it as fits
            EXPECT_EQ(listTree(temp.path).size(), 0u) << c.root;
            EXPECT_TRUE(!path.empty() && (root.rfind(path, 0) == 0 || path.rfind(root, 0) == 0))
                << path;
        } else {
            EXPECT_EQ(path, root + "\\2024-05\\07\\090502.txt");
            EXPECT_EQ(readFile(path), "メモ\r\n");
        }
    }
}

// A relative folder is the program folder's, never the current directory's; what is left of
// one too long for the settings file is another folder's name.
TEST(NoteStore, TheRootOfARelativeFolderIsBesideTheProgramAndOfACutOneRefused) {
    TempFolder current;
    SetCurrentDirectoryA(current.path.c_str());
    const Undo back{[] { SetCurrentDirectoryA(ownFolder().c_str()); }};
    AppSettings settings = settingsFor("notes");
    char root[kPathBufferSize] = "";
    NoteSaveResult result{};
    EXPECT_TRUE(noteRoot(settings, root, &result));
    EXPECT_EQ(std::string(root), ownFolder() + "\\notes");
    settings.documentFolderCut = true;
    EXPECT_FALSE(noteRoot(settings, root, &result));
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(NoteStore, NeverReplacesAFile) {
    TempFolder temp;
    const std::string day = temp / "2024-05\\07\\";
    NoteSaveResult result{};
    ASSERT_TRUE(createNoteFile(temp.path.c_str(), kTime, "first", &result));
    writeFile(day + "~090502.tmp", "cut short"); // a save that never ended
    for (const char *text : {"second", "third"}) // in the same second
        ASSERT_TRUE(createNoteFile(temp.path.c_str(), kTime, text, &result));
    EXPECT_EQ(result.path, day + "090502_3.txt");
    EXPECT_EQ(readFile(day + "090502.txt") + readFile(day + "090502_2.txt") +
                  readFile(day + "090502_3.txt") + readFile(day + "~090502.tmp"),
              "firstsecondthirdcut short");
    EXPECT_EQ(listTree(day).size(), 4u) << "a temporary file of its own left";
}

TEST(NoteStore, AFullDiskLeavesNoCutNote) {
    // tests/small_drive.sh mounts a 2 MB drive Q: around the Windows tests when it can; where
    // it cannot, the test fails unless JOTWELL_NO_SMALL_DRIVE=1 says the machine cannot.
    const std::string status = readFile(ownFolder() + "\\..\\small_drive\\status");
    const char *cannot = std::getenv("JOTWELL_NO_SMALL_DRIVE");
    if (status != "ready\n" && cannot && *cannot == '1')
        GTEST_SKIP() << "JOTWELL_NO_SMALL_DRIVE=1, no small drive Q: " << status;
    ASSERT_EQ(status, "ready\n") << "a small drive Q: (JOTWELL_NO_SMALL_DRIVE=1 if it cannot be)";
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("Q:\\", &free, nullptr, nullptr));
    const Undo empty{[] {
        DeleteFileA("Q:\\filler");
        for (const char *folder : {"Q:\\notes\\2024-05\\07", "Q:\\notes\\2024-05", "Q:\\notes"})
            RemoveDirectoryA(folder);
    }};
    writeFile("Q:\\filler", std::string(free.QuadPart - 16384, 'f'));
    NoteSaveResult result{};
    EXPECT_FALSE(createNoteFile("Q:\\notes", kTime, std::string(65536, 'n').c_str(), &result));
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(listTree("Q:\\notes"), (std::vector<std::string>{"2024-05\\", "2024-05\\07\\"}));
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

static void tell(const DraftOutcome &outcome, void *told) {
    static_cast<std::vector<std::string> *>(told)->push_back(
        outcome.saved
            ? "saved " + std::string(outcome.result.path)
            : "kept " + std::string(outcome.draft) + " " + std::to_string(outcome.result.error));
}

TEST(NoteStore, EveryDraftBecomesANoteOldestFirstAndOneThatStaysIsNeverSavedTwice) {
    ProgramFolderDrafts beside;
    TempFolder notes;
    const AppSettings settings = settingsFor(notes.path);
    const std::string draft = notes / "~jotwell-draft", day = notes / "2024-05\\07\\";
    struct File {
        std::string path;
        const char *text;
        WORD second; // of its last write
    };
    const File files[] = {{draft + ".txt", "second", 3},
                          {beside.start + "_3.txt", "first", 2},
                          {draft + "_2.tmp", "half written", 1},
                          {draft + "_4.txt", "held", 4},
                          {draft + "_5.txt", "locked", 5}};
    for (const File &file : files) {
        writeFile(file.path, file.text);
        setWritten(file.path, file.second);
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
    EXPECT_EQ(listTree(notes.path).size(), 6u) << "the month, the day, two notes, two drafts";
    held.get();
    CloseHandle(locked);
    told.clear();
    recoverDrafts(settings, tell, &told);
    EXPECT_EQ(told, (std::vector<std::string>{"saved " + day + "090504.txt",
                                              "saved " + day + "090505.txt"}));
    EXPECT_EQ(listTree(day).size(), 4u) << "each draft one note";
}

// A failed write, told by the settings dialog, is an end-to-end test's. Also: a cut folder
// is never written, by a save or by the dialog's OK.
TEST(SettingsFile, EachKeyReadsOnItsOwn) {
    char ini[kPathBufferSize];
    ASSERT_TRUE(GetIniPath(ini));
    const Undo remove{[&] { DeleteFileA(ini); }};
    const std::string dir = ownFolder(), split = "C:\\" + std::string(255, 'b') + "アイ";
    const std::string keys = "[ホットキー]\r\n表示の切り替え=", main = "\r\n[quillomat]\r\n";
    // the file; the hotkey, the input method and the folder read; the folder too long for
    // the record
    const std::tuple<std::string, std::int32_t, bool, std::string, bool> cases[] = {
        {"", 0, true, dir, false},
        {keys + "1601" + main + "日本語入力=0\r\n文書保存フォルダ=D:\\メモ\\表", 1601, false,
         "D:\\メモ\\表", false},
        {keys + "12abc" + main + "日本語入力=2\r\n文書保存フォルダ=", 12, true, "", false},
        {keys + "2147483648", 0, true, dir, false}, // beyond 32 bits: unreadable
        {main + "文書保存フォルダ=" + std::string(259, 'a'), 0, true, std::string(259, 'a'), false},
        {main + "文書保存フォルダ=" + std::string(260, 'a'), 0, true, std::string(259, 'a'), true},
        {main + "文書保存フォルダ=" + split, 0, true, split.substr(0, 258), true}}; // not half ア
    for (const auto &[file, hotkey, ime, folder, cut] : cases) {
        DeleteFileA(ini);
        if (!file.empty())
            writeFile(ini, file);
        AppSettings settings{false, 5, "x", !cut};
        LoadSettings(settings);
        EXPECT_EQ(settings.hotkey, hotkey) << file;
        EXPECT_EQ(settings.imeOnAtStartup, ime) << file;
        EXPECT_EQ(settings.documentFolder, folder) << file;
        EXPECT_EQ(settings.documentFolderCut, cut) << file;
    }
    // Saved, a cut folder would replace the user's own with another folder's name.
    AppSettings cut{true, 0x641, "D:\\cut", true};
    DeleteFileA(ini);
    ASSERT_TRUE(SaveSettings(cut));
    EXPECT_EQ(readFile(ini),
              "[ホットキー]\r\n表示の切り替え=1601\r\n[quillomat]\r\n日本語入力=1\r\n");
    // Nor taken by the settings dialog's OK while the user left the folder as it was.
    auto ok = std::async(std::launch::async, [] {
        const DWORD self = GetCurrentProcessId();
        PostMessageA(findWindow(self, "#32770", IsWindowVisible, 5000), WM_COMMAND, IDOK, 0);
        // A dialog that its OK does not end fails the test in seconds, not at CTest's limit.
        if (!waitUntil([&] { return !findWindow(self, "#32770"); }))
            PostMessageA(findWindow(self, "#32770"), WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr, &cut)) << "ended by its OK";
    ok.get();
    EXPECT_TRUE(cut.documentFolderCut) << "the folder left as it was stays cut";
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

// Also: it names the product and the free resources, grows to its link, centres OK, is
// dragged by its body, lights the link under the mouse, and lets the optional library go.
TEST(AboutBox, OpensTheAddressOnAClickOnItsLink) {
    TempFolder temp;
    const std::string address = temp / "probe.exe"; // it leaves probe.ini when it runs
    CopyFileA((ownFolder() + "\\probe.exe").c_str(), address.c_str(), FALSE);
    // The optional library comes from the system folder, never from the program's, where a
    // program is planted under its name. Those a crashed run left go first.
    char system[MAX_PATH];
    const std::string planted = ownFolder() + "\\rsrc32.dll",
                      library = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) +
                                "\\rsrc32.dll";
    const Undo remove{[&] { DeleteFileA(library.c_str()), DeleteFileA(planted.c_str()); }};
    remove.undo();
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\fake_rsrc32.dll").c_str(), library.c_str(), TRUE));
    ASSERT_TRUE(CopyFileA(address.c_str(), planted.c_str(), TRUE));
    // The box runs here while another thread works it.
    auto driver = std::async(std::launch::async, [&] {
        HWND box = findWindow(GetCurrentProcessId(), "#32770", IsWindowVisible, 5000),
             link = GetDlgItem(box, IDC_ABOUT_LINK);
        EXPECT_EQ(windowText(box) + "|" + windowText(GetDlgItem(box, IDC_ABOUT_NAME)) + "|" +
                      windowText(link) + "|" + windowText(GetDlgItem(box, IDC_ABOUT_RESOURCES)),
                  "Jotwell について|Jotwell ver. " JOTWELL_VERSION_STRING "|" + address +
                      "|システムリソース： 42 ％使用可能");
        EXPECT_EQ(GetModuleHandleA("rsrc32.dll"), nullptr) << "the library let go once read";
        RECT client{}, line{}, outer{}, ok{};
        GetClientRect(box, &client);
        GetWindowRect(link, &line);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT *>(&line), 2);
        EXPECT_TRUE(line.right - line.left > 200 && line.right < client.right) << "grown, inside";
        GetWindowRect(box, &outer);
        GetWindowRect(GetDlgItem(box, IDOK), &ok);
        EXPECT_LE(std::abs((ok.left - outer.left) - (outer.right - ok.right)), 1) << "OK centred";
        POINT body{client.right - 2, 2},
            at{(line.left + line.right) / 2, (line.top + line.bottom) / 2};
        ClientToScreen(box, &body);
        ClientToScreen(box, &at);
        EXPECT_EQ(SendMessageA(box, WM_NCHITTEST, 0, MAKELPARAM(body.x, body.y)), HTCAPTION);
        const auto shows = [&](COLORREF c) {
            return waitUntil([&] { return pixelsOf(link, c) > 20; });
        };
        mouseMove(at.x, at.y + 60);
        mouseMove(at.x, at.y);
        EXPECT_TRUE(shows(RGB(255, 0, 0))) << "red under the mouse";
        // Pressed on the link, released off it: no click (as the label sees the mouse).
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        mouseMove(at.x, at.y + 60);
        SendMessageA(link, WM_LBUTTONUP, 0, 0);
        EXPECT_TRUE(shows(RGB(0, 0, 255))) << "blue once it left";
        EXPECT_TRUE(IsWindowVisible(box)) << "still open after a release off the link";
        mouseClick(at.x, at.y);
        if (!waitUntil([&] { return !IsWindow(box); })) // else this test would wait for ever
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    const AboutInfo info{address.c_str()};
    EXPECT_EQ(RunAboutBox(nullptr, &info), 1) << "ended by the click";
    driver.get();
    EXPECT_TRUE(waitUntil([&] { return readFile(temp / "probe.ini") != "<missing>"; }, 10000))
        << "the address started";
}

// The taskbar as Wine's shell32 talks to it: each Shell_NotifyIcon arrives as WM_COPYDATA.
// refuse: adds that fail; slow: adds that time out although the icon is added.
struct FakeTray {
    int adds = 0, deletes = 0, refuse = 0, slow = 0;
    bool icon = false;
    HWND tray = make("Shell_TrayWnd", nullptr, proc), area = nullptr;
    FakeTray() {
        SetWindowLongPtrA(tray, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        restart();
    }
    ~FakeTray() {
        DestroyWindow(tray);
    }
    void restart(bool comesBack = true) {
        DestroyWindow(area);
        area = comesBack ? make("TrayNotifyWnd", tray, DefWindowProcA) : nullptr;
    }
    static HWND make(const char *name, HWND parent, WNDPROC procedure) {
        registerAppWindowClass(nullptr, name, procedure);
        return CreateWindowExA(parent ? 0 : WS_EX_TOPMOST, name, "", parent ? WS_CHILD : WS_POPUP,
                               0, 0, 1, 1, parent, nullptr, nullptr, nullptr);
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

TEST(Tray, TriesTwentyOneTimesTakesASlowAddAndTheWatchdogAddsItToEachNewNotificationArea) {
    FakeTray tray;
    tray.refuse = 21;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(InstallTrayIcon(tray.tray));
    EXPECT_EQ(tray.adds, 21);
    EXPECT_GE(GetTickCount64() - start, 9900u) << "half a second apart";
    tray.slow = 1; // a shell slow at logon: the add times out, yet the icon is there
    ASSERT_TRUE(InstallTrayIcon(tray.tray));
    EXPECT_EQ(tray.adds, 22) << "an add that timed out but took is not repeated";
    tray.restart(); // the shell ended and came back with a new notification area
    EXPECT_TRUE(waitUntil([&] { return tray.adds == 23; }, 3000)) << "the watchdog's timer";
    tray.restart(false); // the shell ends: while there is no notification area, nothing
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
        if (msg.message != WM_QUIT) // the one a main window's end posts for the program's loop
            DispatchMessageA(&msg);
}

// The main window, its icon in a stand-in notification area, its notes below a fresh folder.
struct Main {
    FakeTray tray;
    TempFolder notes;
    AppSettings settings;
    HWND window;
    explicit Main(std::int32_t hotkey = 0) : settings(settingsFor(notes.path, hotkey)) {
        registerAppWindowClass(GetModuleHandleA(nullptr), "quillomat", MainWindowProc);
        window = CreateWindowExA(0, "quillomat", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), &settings);
    }
    ~Main() {
        DestroyWindow(window);
        dispatchQueued();
        editorWindow = nullptr;
    }
};

TEST(MainWindow, StartUpWorkRunsOnceTheTaskbarsRestartIsAnsweredAndQuitTakesTheIcon) {
    Main m('A'); // a plain letter for a hotkey: it would take typing everywhere
    const auto boxWhile = [&](UINT message) { // the box shown while the queue is dispatched
        std::atomic<bool> done{false};
        auto box =
            std::async(std::launch::async, answerBox, GetCurrentProcessId(), IDOK, 5000, &done);
        PostMessageA(m.window, message, 1, 0);
        dispatchQueued();
        done = true;
        return box.get();
    };
    EXPECT_EQ(boxWhile(WM_NULL).rfind("ホットキー「A」を登録できませんでした。\r\n文字の入力", 0),
              0u)
        << "the start-up work, once the loop runs";
    EXPECT_EQ(boxWhile(WM_STARTED), "") << "run again when another program asked";
    SendMessageA(m.window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(m.tray.adds, 2) << "added again at once";
    SendMessageA(m.window, WM_COMMAND, IDM_QUIT, 0);
    EXPECT_FALSE(IsWindow(m.window) || m.tray.icon) << "left in the notification area";
}

// Pressing the mouse on the tray icon activates the taskbar, which closes the editor; the
// release that follows must not open a new one, but a click long after it must.
TEST(MainWindow, TheTrayClickThatClosedTheEditorOpensNoOtherButALaterClickDoes) {
    Main m;
    // Opened as a command, not a click: an editor an earlier test's window closed by leaving it
    // may still make the first click look like the release of a press that closed it.
    SendMessageA(m.window, WM_COMMAND, IDM_POPUP, 0);
    HWND first = editorWindow;
    ASSERT_TRUE(IsWindow(first)) << "an editor opened";
    SendMessageA(first, WM_ACTIVATE, WA_INACTIVE, 0); // the press
    SendMessageA(m.window, WM_LBUTTONUP, 0, 0);       // its release
    EXPECT_FALSE(IsWindow(first) || IsWindow(editorWindow)) << "no editor from the closing click";
    SendMessageA(m.window, WM_LBUTTONUP, 0, 0); // the next click
    EXPECT_TRUE(IsWindow(editorWindow)) << "the next click opens one";
    SendMessageA(editorWindow, WM_ACTIVATE, WA_INACTIVE, 0); // another window activated
    Sleep(GetDoubleClickTime() + 50); // what makes this click another one is the time between
    SendMessageA(m.window, WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(IsWindow(editorWindow)) << "a click after the double-click time opens one";
}

// A note that cannot be saved stays in its editor through every end of the program, each
// explicit try told; a session's end puts a change just made in the draft first.
TEST(MainWindow, AFailedSaveKeepsTheTextThroughEveryEndUntilTheFolderIsFixed) {
    Main m;
    ProgramFolderDrafts beside; // the draft's place while the notes' folder is a file
    const std::string blocked = m.notes / "blocked",
                      told = "メモを保存できませんでした。\r\n\r\n" + blocked + "\r\n";
    writeFile(blocked, "a file where the folder should be");
    blocked.copy(m.settings.documentFolder, sizeof m.settings.documentFolder - 1);
    SendMessageA(m.window, WM_COMMAND, MAKEWPARAM(IDM_POPUP, 2), 0); // a control's: no command
    EXPECT_FALSE(IsWindow(editorWindow));
    SendMessageA(m.window, WM_COMMAND, IDM_POPUP, 0);
    HWND editor = editorWindow, edit = GetDlgItem(editor, IDC_NOTE_EDIT);
    std::string text = "keep";
    // The end, right after a change (long before the draft's pause is over): what was told.
    const auto end = [&](HWND window, UINT message, WPARAM wParam, LRESULT result) {
        SetWindowTextA(edit, (text += "!").c_str());
        std::atomic<bool> done{false};
        auto box =
            std::async(std::launch::async, answerBox, GetCurrentProcessId(), IDOK, 5000, &done);
        EXPECT_EQ(SendMessageA(window, message, wParam, 0), result) << message;
        done = true;
        EXPECT_EQ(windowText(edit), text) << message;
        return box.get().substr(0, told.size());
    };
    EXPECT_EQ(end(m.window, WM_QUERYENDSESSION, 0, FALSE), told);
    EXPECT_EQ(readFile(beside.start + ".txt"), text) << "in the draft before the save";
    EXPECT_EQ(end(m.window, WM_ENDSESSION, TRUE, 0), told);
    EXPECT_EQ(readFile(beside.start + ".txt"), text) << "in the draft before the save";
    EXPECT_EQ(end(m.window, WM_ENDSESSION, FALSE, 0), "") << "a log-off called off: no end";
    EXPECT_EQ(end(editor, WM_COMMAND, IDM_CANCEL, 0), told) << "Esc, the hotkey, a tray click";
    EXPECT_EQ(end(m.window, WM_COMMAND, IDM_QUIT, 0), told);
    EXPECT_EQ(end(m.window, WM_CLOSE, 0, 0), told);
    EXPECT_EQ(end(editor, WM_ACTIVATE, WA_INACTIVE, 0), "") << "not told again on leaving";
    DeleteFileA(blocked.c_str());
    SendMessageA(m.window, WM_COMMAND, IDM_POPUP, 0);
    EXPECT_FALSE(IsWindow(editor)) << "closed and saved";
    const std::vector<std::string> tree = listTree(blocked);
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(readFile(blocked + "\\" + tree[2]) + readFile(beside.start + ".txt"),
              text + "<missing>")
        << "the draft went with the save";
}
