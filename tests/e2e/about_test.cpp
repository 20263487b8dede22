// The About box of the real program, opened from the tray menu and used with
// the mouse and keys.
#include <gtest/gtest.h>

#include <string>

#include "about/about_dialog.h"
#include "res/resource.h"
#include "tests/e2e/harness.h"
#include "tests/win/ui_input.h"

using namespace e2e;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);
constexpr char kCaption[] = "Jotwell について";

// Chooses About in the tray menu (the third of its four items).
bool chooseAbout(const JotwellProcess &app) {
    app.trayClick(WM_RBUTTONUP, 600, 600);
    HWND menu = waitForMenuWindow();
    if (!menu)
        return false;
    const std::vector<MenuBand> items = scanMenuItems(menu);
    if (items.size() != 4)
        return false;
    RECT r;
    GetWindowRect(menu, &r);
    mouseClick((r.left + r.right) / 2, (items[2].top + items[2].bottom) / 2);
    return true;
}

HWND openAbout(const JotwellProcess &app) {
    return chooseAbout(app) ? app.waitForWindow("#32770", kCaption) : nullptr;
}

int aboutBoxCount(const JotwellProcess &app) {
    int count = 0;
    for (HWND window : app.visibleWindows())
        count += className(window) == "#32770" && windowText(window) == kCaption;
    return count;
}

// Points the https scheme at the test's recorder for as long as it lives, so
// that the shell's opening of the address is seen without a browser; the
// prefix's own handler is put back afterwards. (Wine's shell reads
// associations from HKEY_CLASSES_ROOT only.)
class HttpsRecorder {
  public:
    HttpsRecorder() : output_(ui::moduleFolder() + "\\https_recorder.out") {
        DeleteFileA(output_.c_str());
        char value[1024] = "";
        LONG size = sizeof value;
        hadHandler_ = RegQueryValueA(HKEY_CLASSES_ROOT, kKey, value, &size) == ERROR_SUCCESS;
        original_ = value;
        const std::string command =
            "\"" + ui::moduleFolder() + "\\shell_recorder.exe\" \"" + output_ + "\" \"%1\"";
        RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, command.c_str(),
                     static_cast<DWORD>(command.size()));
    }
    ~HttpsRecorder() {
        if (hadHandler_)
            RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, original_.c_str(),
                         static_cast<DWORD>(original_.size()));
        else
            RegDeleteKeyA(HKEY_CLASSES_ROOT, kKey);
        DeleteFileA(output_.c_str());
    }
    HttpsRecorder(const HttpsRecorder &) = delete;
    HttpsRecorder &operator=(const HttpsRecorder &) = delete;
    // What the shell was asked to open, once it has been.
    std::string opened() const {
        std::string text;
        waitUntil([&] { return !(text = readFileBytes(output_)).empty(); }, 10000);
        return text;
    }

  private:
    static constexpr const char *kKey = "https\\shell\\open\\command";
    std::string output_, original_;
    bool hadHandler_ = false;
};

} // namespace

TEST(AboutE2E, FromTheTrayMenuWithItsTextsAndOnlyOnce) {
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    HWND box = openAbout(app);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(windowText(GetDlgItem(box, IDC_ABOUT_NAME)), "Jotwell ver. 0.04");
    EXPECT_EQ(windowText(GetDlgItem(box, IDC_ABOUT_LINK)), kSupportAddress);
    mouseMove(10, 10);
    Sleep(300);
    saveScreenshot("about-box");

    // A second request brings the open box forward instead of opening another.
    HWND other = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 300,
                                 200, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    ui::waitUntil([&] { return GetForegroundWindow() == other; }, 2000);
    ASSERT_TRUE(chooseAbout(app));
    EXPECT_TRUE(ui::waitUntil([&] { return GetForegroundWindow() == box; }));
    EXPECT_EQ(aboutBoxCount(app), 1);
    DestroyWindow(other);

    // OK and Esc each close it; each new request builds it afresh.
    mouseClick(ui::centreOf(GetDlgItem(box, IDOK)).x, ui::centreOf(GetDlgItem(box, IDOK)).y);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box); })) << "OK closes";
    box = openAbout(app);
    ASSERT_NE(box, nullptr) << "opens again after closing";
    EXPECT_EQ(windowText(GetDlgItem(box, IDC_ABOUT_NAME)), "Jotwell ver. 0.04");
    ui::waitUntil([&] { return GetForegroundWindow() == box; }, 2000);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box); })) << "Esc closes";
    EXPECT_TRUE(app.running());
}

TEST(AboutE2E, LinkLightsUpUnderTheMouseAndOpensTheAddress) {
    HttpsRecorder shell;
    JotwellProcess app;
    ASSERT_TRUE(app.start());
    HWND box = openAbout(app);
    ASSERT_NE(box, nullptr);
    HWND link = GetDlgItem(box, IDC_ABOUT_LINK);
    const POINT on = ui::centreOf(link), off = ui::centreOf(GetDlgItem(box, IDC_ABOUT_NAME));

    mouseMove(off.x, off.y);
    EXPECT_TRUE(waitUntil([&] { return ui::countColour(link, kBlue) > 0; }));
    mouseMove(on.x, on.y);
    EXPECT_TRUE(waitUntil([&] {
        return ui::countColour(link, kRed) > 0 && ui::countColour(link, kBlue) == 0;
    })) << "red under the mouse; red "
        << ui::countColour(link, kRed) << ", blue " << ui::countColour(link, kBlue) << ", cursor "
        << cursorPos().x << "," << cursorPos().y << " on " << on.x << "," << on.y;
    saveScreenshot("about-box-hover");
    mouseMove(off.x, off.y);
    EXPECT_TRUE(waitUntil([&] {
        return ui::countColour(link, kBlue) > 0 && ui::countColour(link, kRed) == 0;
    })) << "blue again when it leaves";

    mouseClick(on.x, on.y);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box); })) << "the click closes the box";
    EXPECT_EQ(shell.opened(), kSupportAddress);
    EXPECT_TRUE(app.running());
}
