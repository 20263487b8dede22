// Small helpers of the About box and link label tests: the user's mouse and
// keys through SendInput, waiting while the calling thread's messages flow, and
// counting colours on the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

// Dispatches the calling thread's messages (timers included) while it waits.
inline bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
}

inline void pump(DWORD ms) {
    waitUntil([] { return false; }, ms);
}

inline void sendMouse(int x, int y, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    // Rounded up: the platform scales back rounding down, and lands on (x, y).
    in.mi.dx = static_cast<LONG>((x * 65536LL + w - 1) / w);
    in.mi.dy = static_cast<LONG>((y * 65536LL + h - 1) / h);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &in, sizeof in);
}

inline POINT cursor() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

inline void mouseMove(POINT p) {
    sendMouse(p.x, p.y, 0);
    waitUntil([&] { return cursor().x == p.x && cursor().y == p.y; }, 1000);
}

inline void mouseDown(POINT p) {
    mouseMove(p);
    sendMouse(p.x, p.y, MOUSEEVENTF_LEFTDOWN);
}

inline void mouseUp(POINT p) {
    mouseMove(p);
    sendMouse(p.x, p.y, MOUSEEVENTF_LEFTUP);
}

inline void click(POINT p) {
    mouseDown(p);
    mouseUp(p);
}

inline void pressKey(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

inline POINT centreOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline RECT screenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// Pixels of exactly this colour inside the window's rectangle, as the screen shows them.
inline int countColour(HWND window, COLORREF colour) {
    const RECT r = screenRect(window);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return 0;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    int count = 0;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        const auto *pixel = static_cast<const DWORD *>(bits);
        const DWORD wanted = GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
        for (int i = 0; i < w * h; ++i)
            count += (pixel[i] & 0xFFFFFF) == wanted;
        SelectObject(memory, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

inline std::string text(HWND window) {
    char buffer[1024] = "";
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

inline std::string moduleFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

} // namespace ui
