// The link label on a parent of the test's own, driven by the mouse as a user
// would: what its parent is told, what the screen shows, and what is left
// when it goes.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "about/link_cursor.h"
#include "about/link_label.h"
#include "tests/win/ui_input.h"

namespace {

constexpr int kLabelId = 77;
constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kGray = RGB(128, 128, 128);
const char *const kProps[] = {"LLPROP_ORIGINALPROC", "LLPROP_CONTROLSTATE", "LLPROP_CURSOR",
                              "LLPROP_FONT"};

struct Notice {
    UINT code;
    HWND from;
    UINT_PTR id;
    DWORD keyFlags, position;
};
std::vector<Notice> notices;
bool reflect = false;

LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const auto *n = reinterpret_cast<const LinkLabelNotify *>(lParam);
        notices.push_back({n->hdr.code, n->hdr.hwndFrom, n->hdr.idFrom, n->keyFlags, n->position});
        if (reflect && n->hdr.code != LLN_CLICK)
            return SendMessageA(n->hdr.hwndFrom, WM_NOTIFY, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int count(UINT code) {
    int n = 0;
    for (const Notice &notice : notices)
        n += notice.code == code;
    return n;
}

BOOL CALLBACK collectPropName(HWND, LPSTR name, HANDLE, ULONG_PTR names) {
    if (reinterpret_cast<ULONG_PTR>(name) > 0xFFFF) // not an atom number
        reinterpret_cast<std::set<std::string> *>(names)->insert(name);
    return TRUE;
}

std::set<std::string> propNames(HWND window) {
    std::set<std::string> names;
    EnumPropsExA(window, collectPropName, reinterpret_cast<LPARAM>(&names));
    return names;
}

class LinkLabelTest : public testing::Test {
  protected:
    void SetUp() override {
        notices.clear();
        reflect = false;
        WNDCLASSA wc{};
        wc.lpfnWndProc = parentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "LinkLabelTestParent";
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        RegisterClassA(&wc);
        parent = CreateWindowExA(WS_EX_TOPMOST, "LinkLabelTestParent", "", WS_POPUP | WS_VISIBLE,
                                 200, 200, 360, 80, nullptr, nullptr, wc.hInstance, nullptr);
        label = CreateWindowA("STATIC", "https://jotwell.example.org/support",
                              WS_CHILD | WS_VISIBLE, 20, 20, 320, 24, parent,
                              reinterpret_cast<HMENU>(kLabelId), wc.hInstance, nullptr);
        font = CreateFontA(-18, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0,
                           "ＭＳ Ｐゴシック");
        ASSERT_TRUE(parent && label && font);
        staticProc = GetWindowLongPtrA(label, GWLP_WNDPROC);
        SetForegroundWindow(parent);
        ui::mouseMove({5, 5});
        ui::pump(100);
    }
    void TearDown() override {
        ui::mouseMove({5, 5});
        if (IsWindow(parent))
            DestroyWindow(parent);
        DeleteObject(font);
    }
    bool attach() {
        SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return AttachLinkLabel(label);
    }
    POINT outside() const {
        return {ui::screenRect(parent).left + 5, ui::screenRect(parent).top + 5};
    }
    HWND parent = nullptr, label = nullptr;
    HFONT font = nullptr;
    LONG_PTR staticProc = 0;
};

} // namespace

TEST_F(LinkLabelTest, AttachWithoutAFontChangesNothing) {
    EXPECT_FALSE(AttachLinkLabel(label));
    EXPECT_EQ(GetWindowLongPtrA(label, GWLP_WNDPROC), staticProc);
    for (const char *name : kProps)
        EXPECT_EQ(propNames(label).count(name), 0u) << name;
}

TEST_F(LinkLabelTest, AttachUnderlinesAndMakesTheHandCursor) {
    ASSERT_TRUE(attach());
    for (const char *name : kProps)
        EXPECT_EQ(propNames(label).count(name), 1u) << name;
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropA(label, "LLPROP_ORIGINALPROC")), staticProc);
    EXPECT_EQ(GetPropA(label, "LLPROP_CONTROLSTATE"), nullptr) << "starts normal";

    const auto labelFont = reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0));
    EXPECT_EQ(labelFont, GetPropA(label, "LLPROP_FONT"));
    LOGFONTA original{}, underlined{};
    GetObjectA(font, sizeof original, &original);
    ASSERT_EQ(GetObjectA(labelFont, sizeof underlined, &underlined), (int)sizeof underlined);
    EXPECT_EQ(underlined.lfUnderline, 1);
    EXPECT_EQ(underlined.lfHeight, original.lfHeight);
    EXPECT_STREQ(underlined.lfFaceName, original.lfFaceName);

    // The platform's own drawing of the cursor against the planes' picture.
    const auto cursor = static_cast<HCURSOR>(GetPropA(label, "LLPROP_CURSOR"));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 7u);
    EXPECT_EQ(info.yHotspot, 0u);
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    for (const COLORREF background : {RGB(255, 255, 255), RGB(0, 0, 0)}) {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, 32, 32};
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        ASSERT_TRUE(DrawIconEx(dc, 0, 0, cursor, 32, 32, 0, nullptr, DI_NORMAL));
        int wrong = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const CursorPixel p = cursorPixel(kHandCursorAnd, kHandCursorXor, x, y);
                const COLORREF expected = p == CursorPixel::Black   ? RGB(0, 0, 0)
                                          : p == CursorPixel::White ? RGB(255, 255, 255)
                                                                    : background;
                wrong += (GetPixel(dc, x, y) & 0xFFFFFF) != expected;
            }
        EXPECT_EQ(wrong, 0) << "pixels unlike the picture on background " << std::hex << background;
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
}

TEST_F(LinkLabelTest, ReflectedHoverTurnsItRedAndLeaveBlue) {
    reflect = true;
    ASSERT_TRUE(attach());
    EXPECT_TRUE(ui::waitUntil([&] { return ui::countColour(label, kBlue) > 0; }));
    EXPECT_EQ(ui::countColour(label, kRed), 0);

    const POINT on = {ui::screenRect(label).left + 30, ui::screenRect(label).top + 8};
    ui::mouseMove(on);
    EXPECT_TRUE(ui::waitUntil([&] {
        return ui::countColour(label, kRed) > 0 && ui::countColour(label, kBlue) == 0;
    })) << "red while hot";
    ASSERT_GE(count(LLN_HOVER), 1);
    const Notice &hover = notices.front();
    EXPECT_EQ(hover.from, label);
    EXPECT_EQ(hover.id, static_cast<UINT_PTR>(kLabelId));
    EXPECT_EQ(hover.keyFlags, 0u);
    EXPECT_EQ(hover.position, static_cast<DWORD>(MAKELONG(30, 8))) << "client x, y";
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropA(label, "LLPROP_CONTROLSTATE")), 1u);

    ui::mouseDown(on); // hot and pressed: a gray frame
    EXPECT_TRUE(ui::waitUntil([&] { return ui::countColour(label, kGray) > 0; }));
    ui::mouseUp(on);
    EXPECT_TRUE(ui::waitUntil([] { return count(LLN_CLICK) == 1; }));
    EXPECT_EQ(GetCapture(), nullptr);

    ui::mouseMove(outside());
    EXPECT_TRUE(ui::waitUntil([&] {
        return ui::countColour(label, kBlue) > 0 && ui::countColour(label, kRed) == 0;
    })) << "blue again after leaving";
    EXPECT_EQ(count(LLN_LEAVE), 1);
    EXPECT_EQ(count(LLN_CLICK), 1);
}

TEST_F(LinkLabelTest, ParentThatDoesNotReflectKeepsItBlueButHearsEverything) {
    ASSERT_TRUE(attach());
    const POINT on = ui::centreOf(label);
    ui::mouseMove(on);
    EXPECT_TRUE(ui::waitUntil([] { return count(LLN_HOVER) > 0; }));
    ui::pump(300);
    EXPECT_EQ(GetPropA(label, "LLPROP_CONTROLSTATE"), nullptr) << "never hot";
    EXPECT_EQ(ui::countColour(label, kRed), 0);
    EXPECT_GT(ui::countColour(label, kBlue), 0);
    ui::click(on);
    EXPECT_TRUE(ui::waitUntil([] { return count(LLN_CLICK) == 1; }));
    ui::mouseMove(outside());
    EXPECT_TRUE(ui::waitUntil([] { return count(LLN_LEAVE) == 1; }));
}

TEST_F(LinkLabelTest, NoClickUnlessPressedAndReleasedOnIt) {
    reflect = true;
    ASSERT_TRUE(attach());
    struct Case {
        const char *name;
        POINT down, up;
    } const cases[] = {
        {"pressed on it, released outside", ui::centreOf(label), outside()},
        {"pressed outside, released on it", outside(), ui::centreOf(label)},
    };
    for (const Case &c : cases) {
        ui::mouseDown(c.down);
        ui::pump(100);
        ui::mouseUp(c.up);
        ui::pump(200);
        EXPECT_EQ(count(LLN_CLICK), 0) << c.name;
        EXPECT_EQ(GetCapture(), nullptr) << c.name;
    }
}

TEST_F(LinkLabelTest, LateHoverRepaintsWithoutTurningHot) {
    ASSERT_TRUE(attach());
    UpdateWindow(parent);
    LinkLabelNotify late{};
    late.hdr = {label, kLabelId, LLN_HOVER};
    EXPECT_EQ(SendMessageA(label, WM_NOTIFY, kLabelId, reinterpret_cast<LPARAM>(&late)), 0);
    EXPECT_EQ(GetPropA(label, "LLPROP_CONTROLSTATE"), nullptr) << "the cursor is outside";
    EXPECT_TRUE(GetUpdateRect(label, nullptr, FALSE)) << "a repaint is due";
}

TEST_F(LinkLabelTest, SetCursorIsAnsweredEvenWithoutACursor) {
    ASSERT_TRUE(attach());
    const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    EXPECT_EQ(SendMessageA(label, WM_SETCURSOR, reinterpret_cast<WPARAM>(label), hit), TRUE);
    const auto cursor = static_cast<HCURSOR>(GetPropA(label, "LLPROP_CURSOR"));
    EXPECT_EQ(GetCursor(), cursor);
    RemovePropA(label, "LLPROP_CURSOR");
    EXPECT_EQ(SendMessageA(label, WM_SETCURSOR, reinterpret_cast<WPARAM>(label), hit), TRUE);
    DestroyCursor(cursor);
}

namespace {
// What the label holds at WM_NCDESTROY, after its WM_DESTROY has run.
HWND watched = nullptr;
std::set<std::string> propsAtEnd;
LONG_PTR procAtEnd = 0;

LRESULT CALLBACK watchDestroy(int code, WPARAM wParam, LPARAM lParam) {
    const auto *call = reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && call->hwnd == watched && call->message == WM_NCDESTROY) {
        propsAtEnd = propNames(call->hwnd);
        procAtEnd = GetWindowLongPtrA(call->hwnd, GWLP_WNDPROC);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

TEST_F(LinkLabelTest, DestroyLeavesNothingBehind) {
    reflect = true;
    ASSERT_TRUE(attach());
    const auto labelFont = static_cast<HFONT>(GetPropA(label, "LLPROP_FONT"));
    const auto cursor = static_cast<HCURSOR>(GetPropA(label, "LLPROP_CURSOR"));
    ui::mouseMove(ui::centreOf(label)); // with the hover timer running
    ASSERT_TRUE(ui::waitUntil([] { return count(LLN_HOVER) > 0; }));

    watched = label;
    procAtEnd = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, watchDestroy, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    DestroyWindow(label);
    UnhookWindowsHookEx(hook);
    for (const char *name : kProps)
        EXPECT_EQ(propsAtEnd.count(name), 0u) << name;
    EXPECT_EQ(procAtEnd, staticProc) << "the static's own procedure is back";
    EXPECT_EQ(GetObjectType(labelFont), 0u) << "font deleted";
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(cursor, &info)) << "cursor destroyed";
    ui::pump(100); // a late timer tick must find nothing to do
}
