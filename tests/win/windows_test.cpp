// Jotwell's windows, dialogs and files in this process: the popup editor, the note store,
// the settings file and dialog, the About box, the tray icon and the main window. Dialogs
// run here while a second thread works them as a user would.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <future>

#include "about/about_dialog.h"
#include "app/main_window.h"
#include "app/tray.h"
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
        showNotePopup(window);
    }
    ~Editor() {
        DestroyWindow(owner);
    }
};

TEST(Editor, SavesWhatItHoldsOnceWhateverTheHighWord) {
    Editor empty(true);
    EXPECT_TRUE(imeIsOpen(empty.edit)) << "the input method as set";
    SendMessageA(empty.window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(empty.window) && IsWindowVisible(empty.window));
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

TEST(SettingsFile, EachKeyReadsOnItsOwn) {
    char ini[kPathBufferSize];
    ASSERT_TRUE(GetIniPath(ini));
    const std::string dir = ownFolder(), split = "C:\\" + std::string(255, 'b') + "アイ";
    const std::string hotkey = "[ホットキー]\r\n表示の切り替え=", main = "\r\n[quillomat]\r\n";
    // the file, and the hotkey, input method and folder read from it
    const std::tuple<std::string, std::int32_t, bool, std::string> cases[] = {
        {"", 0, true, dir},
        {hotkey + "1601" + main + "日本語入力=0\r\n文書保存フォルダ=D:\\メモ\\表", 1601, false,
         "D:\\メモ\\表"},
        {hotkey + "12abc" + main + "日本語入力=2\r\n文書保存フォルダ=", 12, true, ""},
        {hotkey + "-5" + main + "日本語入力=x", -5, true, dir},
        {hotkey + "abc" + main + "日本語入力=-1", 0, true, dir},
        {hotkey + "-2147483648", INT32_MIN, true, dir},
        {hotkey + "2147483648", 0, true, dir}, // beyond 32 bits: unreadable
        {main + "文書保存フォルダ=" + std::string(300, 'a'), 0, true, std::string(259, 'a')},
        {main + "文書保存フォルダ=" + split, 0, true, split.substr(0, 258)}}; // never half ア
    for (const auto &[text, readHotkey, readIme, readFolder] : cases) {
        DeleteFileA(ini);
        if (!text.empty())
            writeFile(ini, text);
        AppSettings settings{false, 5, "x"};
        LoadSettings(settings);
        EXPECT_EQ(settings.hotkey, readHotkey) << text;
        EXPECT_EQ(settings.imeOnAtStartup, readIme) << text;
        EXPECT_EQ(settings.documentFolder, readFolder) << text;
    }
    DeleteFileA(ini);
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

struct FakeTray {
    HWND tray, area = nullptr;
    int adds = 0, deletes = 0, refuse = 0;
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
        return code != NIM_ADD || self->refuse-- <= 0;
    }
};

TEST(Tray, TriesTwentyOneTimesHalfASecondApartAndTheWatchdogAddsItAgain) {
    FakeTray tray;
    tray.refuse = 21;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(InstallTrayIcon(tray.tray));
    EXPECT_EQ(tray.adds, 21);
    EXPECT_GE(GetTickCount64() - start, 9900u);
    ASSERT_TRUE(InstallTrayIcon(tray.tray));
    tray.restart(); // the shell ended and came back with a new notification area
    EXPECT_TRUE(waitUntil([&] { return tray.adds == 23; }, 3000));
    DestroyWindow(tray.area); // a shell with no notification area of its own: its taskbar counts
    tray.area = nullptr;
    EXPECT_TRUE(waitUntil([&] { return tray.adds == 24; }, 3000));
    RemoveTrayIcon(tray.tray);
    EXPECT_EQ(tray.deletes, 3);
}

TEST(MainWindow, TheIconIsBackAtOnceWhenTheTaskbarIsMadeAnew) {
    FakeTray tray;
    AppSettings settings{false, 0, ""};
    registerAppWindowClass(GetModuleHandleA(nullptr), "quillomat", MainWindowProc);
    HWND main = CreateWindowExA(0, "quillomat", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), &settings);
    ASSERT_EQ(tray.adds, 1);
    SendMessageA(main, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(tray.adds, 2) << "without waiting for the watchdog";
    DestroyWindow(main);
    MSG quit; // the one the window's end posts for the program's loop
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
