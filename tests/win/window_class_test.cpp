// The icons a registered application class carries: the program's own icon at
// the system's sizes, as the system extracts it from the file.
#include "support/window.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <vector>

namespace {

struct Drawn {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels; // over a magenta background, so the mask shows
};

Drawn draw(HICON icon) {
    Drawn drawn;
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return drawn;
    BITMAP bitmap{};
    GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
    drawn.width = bitmap.bmWidth;
    drawn.height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, drawn.width, drawn.height);
    HGDIOBJ old = SelectObject(memory, canvas);
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    const RECT all{0, 0, drawn.width, drawn.height};
    FillRect(memory, &all, magenta);
    DrawIconEx(memory, 0, 0, icon, drawn.width, drawn.height, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < drawn.height; ++y)
        for (int x = 0; x < drawn.width; ++x)
            drawn.pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(magenta);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return drawn;
}

TEST(AppWindowClass, CarriesTheProgramsIconAtTheSystemSizes) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    registerAppWindowClass(instance, "WindowClassTestIcons", DefWindowProcA);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(instance, "WindowClassTestIcons", &wc));
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);

    struct Case {
        const char *name;
        HICON icon;
        int metricX, metricY;
        bool small;
    } const cases[] = {
        {"large", wc.hIcon, SM_CXICON, SM_CYICON, false},
        {"small", wc.hIconSm, SM_CXSMICON, SM_CYSMICON, true},
    };
    for (const Case &c : cases) {
        const Drawn ours = draw(c.icon);
        EXPECT_EQ(ours.width, GetSystemMetrics(c.metricX)) << c.name;
        EXPECT_EQ(ours.height, GetSystemMetrics(c.metricY)) << c.name;
        // The oracle: the first icon of this executable as the system extracts
        // it. (Wine's shell answers SHGetFileInfo for the file with a generic
        // document icon, so that is no oracle here.)
        HICON extracted = nullptr;
        ASSERT_EQ(ExtractIconExA(path, 0, c.small ? nullptr : &extracted,
                                 c.small ? &extracted : nullptr, 1),
                  1u)
            << c.name;
        const Drawn system = draw(extracted);
        DestroyIcon(extracted);
        ASSERT_EQ(system.width, ours.width) << c.name;
        ASSERT_EQ(system.height, ours.height) << c.name;
        size_t differing = 0;
        for (size_t i = 0; i < ours.pixels.size(); ++i)
            differing += ours.pixels[i] != system.pixels[i];
        EXPECT_EQ(differing, 0u) << c.name << ": pixels that differ from the extracted icon";
    }
}

TEST(AppWindowClass, ASecondRegistrationKeepsTheFirst) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    registerAppWindowClass(instance, "WindowClassTestTwice", DefWindowProcA);
    WNDCLASSEXA first{};
    first.cbSize = sizeof first;
    ASSERT_TRUE(GetClassInfoExA(instance, "WindowClassTestTwice", &first));
    registerAppWindowClass(instance, "WindowClassTestTwice", DefWindowProcW);
    WNDCLASSEXA second{};
    second.cbSize = sizeof second;
    ASSERT_TRUE(GetClassInfoExA(instance, "WindowClassTestTwice", &second));
    EXPECT_EQ(second.hIcon, first.hIcon);
    EXPECT_EQ(second.hIconSm, first.hIconSm);
}

} // namespace
