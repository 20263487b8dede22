// The About box run the way the main window runs it: modally from IDM_ABOUT on
// the thread of its owner, while the test acts as the user from its own thread.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "about/about_dialog.h"
#include "res/resource.h"
#include "tests/win/ui_input.h"

namespace {

constexpr UINT kShowAgain = WM_APP + 1;
constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);

struct BoxSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK collectBox(HWND window, LPARAM search) {
    auto *s = reinterpret_cast<BoxSearch *>(search);
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (!std::strcmp(cls, "#32770") && GetWindow(window, GW_OWNER) == s->owner &&
        IsWindowVisible(window))
        s->found.push_back(window);
    return TRUE;
}

// Stands in for the main window: an owner on a thread of its own whose
// IDM_ABOUT runs the box, recording how each run ended.
class AboutHost {
  public:
    explicit AboutHost(const char *address) : info_{address} {
        // Under Wine a process's first window call may have to start the
        // desktop, and two threads doing that at once deadlock: do it here first.
        GetDesktopWindow();
        thread_ = std::thread([this] { run(); });
        ui::waitUntil([this] { return owner_.load() != nullptr; });
    }
    ~AboutHost() {
        if (HWND open = box(0))
            PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(owner_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    void request() const {
        PostMessageA(owner_, WM_COMMAND, IDM_ABOUT, 0);
    }
    // A request that arrives while the box is open (ShowAboutBox's result).
    bool requestWhileOpen() const {
        return SendMessageA(owner_, kShowAgain, 0, 0) != 0;
    }
    // The visible About boxes of this owner.
    std::vector<HWND> boxes() const {
        BoxSearch search{owner_, {}};
        EnumWindows(collectBox, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    HWND box(DWORD timeoutMs = 5000) const {
        ui::waitUntil([this] { return !boxes().empty(); }, timeoutMs);
        const std::vector<HWND> found = boxes();
        return found.empty() ? nullptr : found.front();
    }
    HWND openBox() const {
        request();
        return box();
    }
    std::vector<INT_PTR> results() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return results_;
    }
    bool waitForResults(std::size_t count) const {
        return ui::waitUntil([&] { return results().size() >= count; });
    }

  private:
    static LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto *host = reinterpret_cast<AboutHost *>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_COMMAND && LOWORD(wParam) == IDM_ABOUT) {
            const INT_PTR result = RunAboutBox(window, &host->info_);
            std::lock_guard<std::mutex> lock(host->mutex_);
            host->results_.push_back(result);
            return 0;
        }
        if (message == kShowAgain)
            return ShowAboutBox(window, &host->info_);
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    void run() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ownerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "AboutTestOwner";
        RegisterClassA(&wc);
        HWND window = CreateWindowA("AboutTestOwner", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        owner_ = window;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    AboutInfo info_;
    std::thread thread_;
    std::atomic<HWND> owner_{nullptr};
    mutable std::mutex mutex_;
    std::vector<INT_PTR> results_;
};

HWND item(HWND box, int id) {
    return GetDlgItem(box, id);
}

int textWidthIn(HWND control, bool *underlined) {
    const std::string text = ui::text(control);
    HDC dc = GetDC(control);
    const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA logFont{};
    GetObjectA(font, sizeof logFont, &logFont);
    *underlined = logFont.lfUnderline != 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

// Dialog units to pixels, as the dialog manager converts its template: each
// number on its own, so a size is converted from (0, 0).
RECT pixels(HWND box, int x, int y, int cx, int cy) {
    RECT r{x, y, x + cx, y + cy};
    MapDialogRect(box, &r);
    return r;
}

bool iconAlive(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    return true;
}

std::string systemCopyOfLibrary() {
    char folder[MAX_PATH] = "";
    GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\rsrc32.dll";
}

} // namespace

TEST(AboutBox, ShowsNameVersionAndTheLink) {
    AboutHost host(kSupportAddress);
    HWND box = host.openBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::text(box), "Jotwell について");
    EXPECT_EQ(ui::text(item(box, IDC_ABOUT_NAME)), "Jotwell ver. 0.04");
    EXPECT_EQ(ui::text(item(box, IDC_ABOUT_LINK)), kSupportAddress);
    EXPECT_EQ(ui::text(item(box, IDC_ABOUT_RESOURCES)), "") << "no rsrc32.dll here";
    EXPECT_NE(GetPropA(item(box, IDC_ABOUT_LINK), "LLPROP_FONT"), nullptr) << "a link label";
    EXPECT_NE(SendMessageA(item(box, IDC_ABOUT_ICON), STM_GETICON, 0, 0), 0);
    EXPECT_NE(SendMessageA(box, WM_GETICON, ICON_BIG, 0), 0);

    HWND tooltip = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr);
    while (tooltip && GetWindow(tooltip, GW_OWNER) != box)
        tooltip = FindWindowExA(nullptr, tooltip, TOOLTIPS_CLASSA, nullptr);
    ASSERT_NE(tooltip, nullptr);
    char tip[80] = "";
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.lpszText = tip;
    ASSERT_TRUE(SendMessageA(tooltip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.uId, reinterpret_cast<UINT_PTR>(item(box, IDC_ABOUT_LINK)));
    EXPECT_STREQ(tip, "サポートサイトへ");
}

TEST(AboutBox, SizesItselfToItsWidestLineAndCentresOk) {
    AboutHost host(kSupportAddress);
    HWND box = host.openBox();
    ASSERT_NE(box, nullptr);
    const RECT boxRect = ui::screenRect(box);
    RECT client{};
    GetClientRect(box, &client);
    const int frame = (boxRect.right - boxRect.left) - client.right;
    const int oneUnit = pixels(box, 0, 0, 1, 8).right;

    int widest = 0;
    for (const int id : {IDC_ABOUT_NAME, IDC_ABOUT_LINK, IDC_ABOUT_RESOURCES}) {
        bool underlined = false;
        const int text = textWidthIn(item(box, id), &underlined);
        const int width = ui::screenRect(item(box, id)).right - ui::screenRect(item(box, id)).left;
        EXPECT_EQ(width, std::max(oneUnit, text)) << "line " << id;
        EXPECT_EQ(underlined, id == IDC_ABOUT_LINK) << "line " << id << " measured in its font";
        widest = std::max(widest, width);
    }
    EXPECT_GT(widest, oneUnit);
    EXPECT_EQ(boxRect.right - boxRect.left,
              pixels(box, 0, 0, 38, 56).right + frame + widest - oneUnit)
        << "widened by the largest growth";

    HWND ok = item(box, IDOK);
    const RECT okRect = ui::screenRect(ok);
    const RECT okUnits = pixels(box, 45, 35, 45, 14);
    const RECT okSize = pixels(box, 0, 0, 45, 14);
    EXPECT_EQ(okRect.left - boxRect.left,
              ((boxRect.right - boxRect.left) - (okRect.right - okRect.left)) / 2);
    EXPECT_EQ(okRect.right - okRect.left, okSize.right) << "same size";
    EXPECT_EQ(okRect.bottom - okRect.top, okSize.bottom) << "same size";
    POINT top{0, okRect.top};
    ScreenToClient(box, &top);
    EXPECT_EQ(top.y, okUnits.top) << "same height on the dialog";
}

// The statics are transparent to the mouse, so a press on the body drags the box.
TEST(AboutBox, DraggedByItsBody) {
    AboutHost host(kSupportAddress);
    HWND box = host.openBox();
    ASSERT_NE(box, nullptr);
    const RECT before = ui::screenRect(box);
    const POINT grab = ui::centreOf(item(box, IDC_ABOUT_NAME));
    ui::mouseDown(grab);
    ui::mouseMove({grab.x + 20, grab.y + 10});
    ui::mouseMove({grab.x + 40, grab.y + 30});
    ui::mouseUp({grab.x + 40, grab.y + 30});
    EXPECT_TRUE(ui::waitUntil([&] {
        const RECT after = ui::screenRect(box);
        return after.left == before.left + 40 && after.top == before.top + 30;
    })) << "moved with the mouse";
    EXPECT_TRUE(host.results().empty()) << "still open";
}

TEST(AboutBox, ASecondRequestBringsTheOpenBoxForward) {
    AboutHost host(kSupportAddress);
    HWND box = host.openBox();
    ASSERT_NE(box, nullptr);
    HWND other = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0,
                                 1024, 740, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(ui::waitUntil([&] { return GetForegroundWindow() == other; }));

    EXPECT_TRUE(host.requestWhileOpen());
    EXPECT_TRUE(ui::waitUntil([&] { return GetForegroundWindow() == box; }));
    EXPECT_EQ(host.boxes().size(), 1u) << "no second box";
    EXPECT_TRUE(host.results().empty()) << "the first is still running";
    DestroyWindow(other);
}

TEST(AboutBox, LinkTurnsRedUnderTheMouseAndBlueWhenItLeaves) {
    AboutHost host(kSupportAddress);
    HWND box = host.openBox();
    ASSERT_NE(box, nullptr);
    HWND link = item(box, IDC_ABOUT_LINK);
    ui::mouseMove(ui::centreOf(item(box, IDC_ABOUT_NAME)));
    EXPECT_TRUE(ui::waitUntil([&] { return ui::countColour(link, kBlue) > 0; }));
    EXPECT_EQ(ui::countColour(link, kRed), 0);

    ui::mouseMove(ui::centreOf(link));
    EXPECT_TRUE(ui::waitUntil([&] {
        return ui::countColour(link, kRed) > 0 && ui::countColour(link, kBlue) == 0;
    })) << "the dialog reflects the hover";
    ui::mouseMove(ui::centreOf(item(box, IDC_ABOUT_NAME)));
    EXPECT_TRUE(ui::waitUntil([&] {
        return ui::countColour(link, kBlue) > 0 && ui::countColour(link, kRed) == 0;
    })) << "and the leave";
}

// The shell opens the link's address with whatever the address's scheme is
// registered to. A scheme of the test's own, registered to a recorder, shows
// what the shell was asked to open, without a browser. It goes under
// HKEY_CLASSES_ROOT because Wine's shell reads associations only there, not
// from HKEY_CURRENT_USER\Software\Classes.
TEST(AboutBox, ClickOnTheLinkOpensTheAddressAndCloses) {
    const std::string output = ui::moduleFolder() + "\\shell_recorder.out";
    const std::string command =
        "\"" + ui::moduleFolder() + "\\shell_recorder.exe\" \"" + output + "\" \"%1\"";
    const char *const address = "jotwell-test:about/support";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "jotwell-test", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE *>(""), 1);
    RegSetValueA(key, "shell\\open\\command", REG_SZ, command.c_str(),
                 static_cast<DWORD>(command.size()));
    RegCloseKey(key);
    DeleteFileA(output.c_str());

    {
        AboutHost host(address);
        HWND box = host.openBox();
        ASSERT_NE(box, nullptr);
        ui::click(ui::centreOf(item(box, IDC_ABOUT_LINK)));
        ASSERT_TRUE(host.waitForResults(1));
        EXPECT_EQ(host.results().front(), 1);
        EXPECT_TRUE(host.boxes().empty());
    }
    std::string opened;
    ui::waitUntil([&] {
        if (FILE *f = std::fopen(output.c_str(), "rb")) {
            char buffer[256] = "";
            opened.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
            std::fclose(f);
        }
        return !opened.empty();
    });
    EXPECT_EQ(opened, address);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "jotwell-test");
    DeleteFileA(output.c_str());
}

TEST(AboutBox, EachWayOutEndsItAndTheNextRequestBuildsAfresh) {
    struct Case {
        const char *name;
        void (*close)(HWND box);
        INT_PTR result;
    } const cases[] = {
        {"OK button", [](HWND box) { ui::click(ui::centreOf(item(box, IDOK))); }, 1},
        {"Esc", [](HWND) { ui::pressKey(VK_ESCAPE); }, 2},
        {"close box", [](HWND box) { PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
    };
    AboutHost host(kSupportAddress);
    std::vector<HICON> earlierIcons;
    std::size_t runs = 0;
    for (const Case &c : cases) {
        HWND box = host.openBox();
        ASSERT_NE(box, nullptr) << c.name;
        EXPECT_EQ(ui::text(item(box, IDC_ABOUT_NAME)), "Jotwell ver. 0.04") << c.name;
        for (HICON icon : earlierIcons)
            EXPECT_FALSE(iconAlive(icon)) << c.name << ": the last run's icons are destroyed";
        earlierIcons = {reinterpret_cast<HICON>(SendMessageA(box, WM_GETICON, ICON_BIG, 0)),
                        reinterpret_cast<HICON>(SendMessageA(box, WM_GETICON, ICON_SMALL, 0))};
        for (HICON icon : earlierIcons)
            EXPECT_TRUE(iconAlive(icon)) << c.name;
        ui::waitUntil([&] { return GetForegroundWindow() == box; }, 2000);
        c.close(box);
        ASSERT_TRUE(host.waitForResults(++runs)) << c.name;
        EXPECT_EQ(host.results().back(), c.result) << c.name;
        EXPECT_TRUE(ui::waitUntil([&] { return !IsWindow(box); })) << c.name;
    }
}

// Removes the copies of the stand-in library and restores the current folder,
// however the test ends.
struct PlantedLibraries {
    std::string system, current;
    std::vector<std::string> planted;
    char previous[MAX_PATH] = "";
    PlantedLibraries() {
        system = systemCopyOfLibrary();
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        current = std::string(temp) + "jotwell-about-cwd";
        CreateDirectoryA(current.c_str(), nullptr);
        planted = {ui::moduleFolder() + "\\rsrc32.dll", current + "\\rsrc32.dll"};
        GetCurrentDirectoryA(sizeof previous, previous);
        SetCurrentDirectoryA(current.c_str());
        DeleteFileA(system.c_str());
    }
    ~PlantedLibraries() {
        SetCurrentDirectoryA(previous);
        DeleteFileA(system.c_str());
        for (const std::string &path : planted)
            DeleteFileA(path.c_str());
        RemoveDirectoryA(current.c_str());
    }
};

// The library is optional and old; only the system folder's copy may run.
TEST(AboutBox, FreeResourcesComeOnlyFromTheSystemFolder) {
    const std::string fake = ui::moduleFolder() + "\\fake_rsrc32.dll";
    PlantedLibraries libraries;
    for (const std::string &path : libraries.planted)
        ASSERT_TRUE(CopyFileA(fake.c_str(), path.c_str(), FALSE)) << path;

    struct Case {
        const char *name;
        bool inSystemFolder;
        const char *line;
    } const cases[] = {
        {"planted beside the program and in the current folder", false, ""},
        {"in the system folder", true, "システムリソース： 100 ％使用可能"},
    };
    for (const Case &c : cases) {
        if (c.inSystemFolder) {
            ASSERT_TRUE(CopyFileA(fake.c_str(), libraries.system.c_str(), FALSE))
                << libraries.system;
        }
        AboutHost host(kSupportAddress);
        HWND box = host.openBox();
        ASSERT_NE(box, nullptr) << c.name;
        EXPECT_EQ(ui::text(item(box, IDC_ABOUT_RESOURCES)), c.line) << c.name;
        EXPECT_EQ(GetModuleHandleA("rsrc32.dll"), nullptr) << c.name << ": released";
    }
}
