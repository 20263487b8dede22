// Taking notes end to end: the real program's editor, opened and closed the
// ways the user does, and the files it leaves, byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

constexpr int kCtrlAltJ = (0x02 | 0x04) << 8 | 'J'; // HOTKEYF_CONTROL | HOTKEYF_ALT, J
// WM_IME_CONTROL's request for the open status (from the IME headers mingw lacks).
constexpr WPARAM kImcGetOpenStatus = 0x0005;

// The editor, once it is shown and has the keyboard.
HWND openEditor(const JotwellProcess &app, bool byHotkey = false) {
    if (byHotkey)
        pressKeys({VK_CONTROL, VK_MENU, 'J'});
    else
        app.trayClick();
    HWND editor = nullptr;
    waitUntil([&] {
        editor = app.editor();
        return editor && IsWindowVisible(editor) && GetForegroundWindow() == editor;
    });
    return editor;
}

std::string editText(HWND editor) {
    return windowText(GetDlgItem(editor, IDC_NOTE_EDIT));
}

// Types the text and waits until the editor holds it (Shift-JIS, CR LF).
bool typeInto(HWND editor, const std::wstring &typed, const std::string &expected) {
    typeText(typed);
    return waitUntil([&] { return editText(editor) == expected; });
}

// Every note below root as "relative path=bytes".
std::map<std::string, std::string> notesBelow(const JotwellProcess &app) {
    std::map<std::string, std::string> notes;
    for (const std::string &name : app.notes())
        notes[name] = readFileBytes(app.folder() + "\\" + name);
    return notes;
}

// YYYY-MM\DD\hhmmss.txt or hhmmss_N.txt (N from 2), in this month's folder.
bool isNoteName(const std::string &name) {
    static const std::regex pattern(R"(\d{4}-\d{2}\\\d{2}\\\d{6}(_[2-9]|_[1-9]\d+)?\.txt)");
    return std::regex_match(name, pattern) && name.compare(0, 7, monthFolderNow()) == 0;
}

// Pumps this thread's messages while waiting: the test's own window takes the
// activation only through its message queue.
bool pumpUntil(const std::function<bool()> &condition, DWORD timeoutMs = 5000) {
    return waitUntil(
        [&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            return condition();
        },
        timeoutMs);
}

BOOL CALLBACK findImeWindow(HWND window, LPARAM found) {
    if (className(window) != "IME")
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

HWND testWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CaptureTestWindow";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "other", WS_OVERLAPPEDWINDOW, 20, 20, 300, 200,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

TEST(Capture, EveryWayOutSavesOneNoteAndAsksNothing) {
    struct Case {
        const char *name;
        std::function<void(const JotwellProcess &, HWND other)> close;
    } const cases[] = {
        {"Esc", [](const JotwellProcess &, HWND) { pressKey(VK_ESCAPE); }},
        {"the hotkey again",
         [](const JotwellProcess &, HWND) {
             pressKeys({VK_CONTROL, VK_MENU, 'J'});
         }},
        {"a tray click again", [](const JotwellProcess &app, HWND) { app.trayClick(); }},
        {"a click into another window",
         [](const JotwellProcess &, HWND other) {
             ShowWindow(other, SW_SHOWNOACTIVATE);
             UpdateWindow(other);
             mouseClick(150, 120); // inside the other window, away from the editor
         }},
    };
    for (const Case &c : cases) {
        HWND other = testWindow();
        JotwellProcess app;
        app.writeIni(iniText(kCtrlAltJ, false, ""));
        ASSERT_TRUE(app.start()) << c.name;
        HWND editor = openEditor(app);
        ASSERT_NE(editor, nullptr) << c.name;
        ASSERT_TRUE(typeInto(editor, L"メモ\nnote", "メモ\r\nnote")) << c.name;
        c.close(app, other);
        EXPECT_TRUE(pumpUntil([&] { return !IsWindow(editor); })) << c.name;
        Sleep(300);
        const auto notes = notesBelow(app);
        ASSERT_EQ(notes.size(), 1u) << c.name;
        EXPECT_TRUE(isNoteName(notes.begin()->first)) << c.name << ": " << notes.begin()->first;
        EXPECT_EQ(hexBytes(notes.begin()->second), hexBytes("メモ\r\nnote")) << c.name;
        EXPECT_TRUE(app.visibleWindows().empty()) << c.name << ": nothing asked";
        EXPECT_TRUE(app.quit()) << c.name;
        DestroyWindow(other);
    }
}

TEST(Capture, TextIsSavedExactlyAsTyped) {
    struct Case {
        const char *name;
        std::wstring typed;
        std::string bytes; // empty: no note, no folder
    } const cases[] = {
        {"empty editor", L"", ""},
        {"a single space", L" ", " "},
        {"two lines", L"first\nsecond", "first\r\nsecond"},
        {"Japanese", L"表示テスト", "\x95\x5c\x8e\xa6\x83\x65\x83\x58\x83\x67"},
        {"mixed, with 0x5C trail bytes", L"ソ表 ok\n", "\x83\x5c\x95\x5c ok\r\n"},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        app.writeIni(iniText(0, true, ""));
        ASSERT_TRUE(app.start()) << c.name;
        HWND editor = openEditor(app);
        ASSERT_NE(editor, nullptr) << c.name;
        ASSERT_TRUE(typeInto(editor, c.typed, c.bytes)) << c.name;
        if (c.typed == L"表示テスト") {
            EXPECT_TRUE(saveScreenshot("editor-japanese")) << c.name;
        }
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); })) << c.name;
        const auto notes = notesBelow(app);
        if (c.bytes.empty()) {
            EXPECT_TRUE(notes.empty()) << c.name;
            EXPECT_FALSE(isDirectoryAt(app.folder() + "\\" + monthFolderNow())) << c.name;
        } else {
            ASSERT_EQ(notes.size(), 1u) << c.name;
            EXPECT_EQ(hexBytes(notes.begin()->second), hexBytes(c.bytes)) << c.name;
        }
        EXPECT_TRUE(app.quit()) << c.name;
    }
}

TEST(Capture, DocumentFolderSpellings) {
    TempFolder own;
    struct Case {
        const char *name;
        std::string folder; // "" is the program's own folder
        std::string under;  // where the note lands, relative to own
    } const cases[] = {
        {"empty: beside the program", "", ""},
        {"a folder", own / "Notes", "Notes"},
        {"the same with a trailing backslash", own / "Notes\\", "Notes"},
        {"ending in 表 (0x95 0x5C)", own / "表", "表"},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        app.writeIni(iniText(0, false, c.folder.c_str()));
        ASSERT_TRUE(app.start()) << c.name;
        HWND editor = openEditor(app);
        ASSERT_NE(editor, nullptr) << c.name;
        ASSERT_TRUE(typeInto(editor, L"where", "where")) << c.name;
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); })) << c.name;
        EXPECT_TRUE(app.quit()) << c.name;
        const std::string root = c.folder.empty() ? app.folder() : own / c.under;
        EXPECT_TRUE(isDirectoryAt(root + "\\" + monthFolderNow())) << c.name << ": " << root;
    }
    // Both spellings of Notes wrote into one day folder; 表 got its own separator.
    std::vector<std::string> found;
    for (const char *sub : {"Notes", "表"}) {
        WIN32_FIND_DATAA data;
        const std::string month = own / sub + "\\" + monthFolderNow();
        HANDLE day = FindFirstFileA((month + "\\*").c_str(), &data);
        ASSERT_NE(day, INVALID_HANDLE_VALUE) << sub;
        std::string dayName;
        do
            if (data.cFileName[0] != '.')
                dayName = data.cFileName;
        while (FindNextFileA(day, &data));
        FindClose(day);
        HANDLE note = FindFirstFileA((month + "\\" + dayName + "\\*.txt").c_str(), &data);
        ASSERT_NE(note, INVALID_HANDLE_VALUE) << sub;
        int count = 0;
        do {
            ++count;
            EXPECT_EQ(readFileBytes(month + "\\" + dayName + "\\" + data.cFileName), "where");
        } while (FindNextFileA(note, &data));
        FindClose(note);
        EXPECT_EQ(count, std::string(sub) == "Notes" ? 2 : 1) << sub;
    }
    EXPECT_FALSE(fileExistsAt(own.path() + "\\表" + monthFolderNow())) << "no separator lost";
}

TEST(Capture, FailedSaveKeepsTheTextUntilTheFolderIsFixed) {
    TempFolder own;
    struct Case {
        const char *name;
        std::string folder;
        std::function<void()> breakIt, fixIt;
    } const cases[] = {
        {"the folder is a file", own / "file", [&] { writeFileBytes(own / "file", "x"); },
         [&] { DeleteFileA((own / "file").c_str()); }},
        {"the folder's parent is missing", own / "missing\\notes", [] {},
         [&] { CreateDirectoryA((own / "missing").c_str(), nullptr); }},
    };
    for (const Case &c : cases) {
        c.breakIt();
        JotwellProcess app;
        app.writeIni(iniText(0, false, c.folder.c_str()));
        ASSERT_TRUE(app.start()) << c.name;
        HWND editor = openEditor(app);
        ASSERT_NE(editor, nullptr) << c.name;
        const std::string text = "表示 kept\r\n";
        ASSERT_TRUE(typeInto(editor, L"表示 kept\n", text)) << c.name;
        pressKey(VK_ESCAPE);

        HWND box = app.waitForWindow("#32770", "Jotwell");
        ASSERT_NE(box, nullptr) << c.name;
        const std::string message = messageBoxText(box);
        const std::string head = "メモを保存できませんでした。\r\n\r\n" + c.folder + "\r\n";
        EXPECT_EQ(message.substr(0, head.size()), head) << c.name << ": " << message;
        EXPECT_NE(message.find("フォルダを確認してから、もう一度閉じてください。"),
                  std::string::npos)
            << c.name;
        if (c.folder == own / "file") {
            Sleep(500); // the box paints its text after it appears
            EXPECT_TRUE(saveScreenshot("editor-save-failed"));
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); })) << c.name;
        Sleep(500);
        EXPECT_EQ(app.findWindow("#32770"), nullptr) << c.name << ": one box only";
        ASSERT_TRUE(IsWindow(editor)) << c.name;
        EXPECT_EQ(editText(editor), text) << c.name;
        EXPECT_TRUE(app.notes().empty()) << c.name;

        c.fixIt();
        ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == editor; })) << c.name;
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); })) << c.name;
        EXPECT_EQ(app.findWindow("#32770"), nullptr) << c.name;
        const std::string month = c.folder + "\\" + monthFolderNow();
        WIN32_FIND_DATAA data;
        HANDLE day = FindFirstFileA((month + "\\*").c_str(), &data);
        ASSERT_NE(day, INVALID_HANDLE_VALUE) << c.name;
        FindClose(day);
        EXPECT_TRUE(app.quit()) << c.name;
    }
}

TEST(Capture, OpensAtTheCursorWithTheKeyboardAndTheInputMethod) {
    struct Case {
        const char *name;
        POINT cursor;
        bool imeOn;
    } const cases[] = {
        {"centred", {500, 400}, true},
        {"clamped at the top left", {3, 3}, false},
        {"clamped at the bottom right", {1020, 765}, true},
    };
    for (const Case &c : cases) {
        JotwellProcess app;
        app.writeIni(iniText(0, c.imeOn, ""));
        ASSERT_TRUE(app.start()) << c.name;
        app.trayClick(WM_LBUTTONUP, c.cursor.x, c.cursor.y);
        HWND editor = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            editor = app.editor();
            return editor && IsWindowVisible(editor) && GetForegroundWindow() == editor;
        })) << c.name;
        const POINT cursor = cursorPos();
        RECT r;
        GetWindowRect(editor, &r);
        EXPECT_EQ(r.right - r.left, 640) << c.name;
        EXPECT_EQ(r.bottom - r.top, 100) << c.name;
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        const int cx = std::min<int>(std::max<int>(cursor.x, work.left + 320), work.right - 320);
        const int cy = std::min<int>(std::max<int>(cursor.y, work.top + 50), work.bottom - 50);
        EXPECT_EQ((r.left + r.right) / 2, cx) << c.name;
        EXPECT_EQ((r.top + r.bottom) / 2, cy) << c.name;

        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(editor, nullptr), &gui));
        HWND edit = GetDlgItem(editor, IDC_NOTE_EDIT);
        EXPECT_EQ(gui.hwndFocus, edit) << c.name;
        // The thread's default IME window answers for its input context.
        HWND ime = nullptr;
        EnumThreadWindows(GetWindowThreadProcessId(editor, nullptr), findImeWindow,
                          reinterpret_cast<LPARAM>(&ime));
        ASSERT_NE(ime, nullptr) << c.name;
        EXPECT_EQ(SendMessageA(ime, WM_IME_CONTROL, kImcGetOpenStatus, 0) != 0, c.imeOn) << c.name;

        for (SIZE size : {SIZE{800, 300}, SIZE{250, 70}}) {
            SetWindowPos(editor, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
            RECT client, inner;
            GetClientRect(editor, &client);
            GetWindowRect(edit, &inner);
            MapWindowPoints(nullptr, editor, reinterpret_cast<POINT *>(&inner), 2);
            EXPECT_TRUE(EqualRect(&client, &inner)) << c.name << " at " << size.cx;
        }
        pressKey(VK_ESCAPE);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(editor); })) << c.name;
        EXPECT_TRUE(app.notes().empty()) << c.name;
        EXPECT_TRUE(app.quit()) << c.name;
    }
}

// Fifty notes as fast as the editor takes them: each exact, each its own file,
// notes of one second numbered _2, _3, ... in the order they were saved.
TEST(Capture, FiftyNotesInARow) {
    JotwellProcess app;
    app.writeIni(iniText(kCtrlAltJ, false, ""));
    ASSERT_TRUE(app.start());
    std::vector<std::string> order;
    for (int i = 1; i <= 50; ++i) {
        HWND editor = openEditor(app, i % 2 == 0);
        ASSERT_NE(editor, nullptr) << i;
        const std::wstring typed = L"ノート " + std::to_wstring(i) + (i % 3 ? L"" : L"\nend");
        typeText(typed);
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); })) << i;
        ASSERT_EQ(app.notes().size(), static_cast<size_t>(i)) << i;
        for (const std::string &name : app.notes())
            if (std::find(order.begin(), order.end(), name) == order.end())
                order.push_back(name);
    }
    ASSERT_EQ(order.size(), 50u);
    std::map<std::string, int> perSecond;
    int collisions = 0;
    for (int i = 1; i <= 50; ++i) {
        const std::string &name = order[i - 1];
        const std::string second = name.substr(0, 17); // YYYY-MM\DD\hhmmss
        const int sequence = ++perSecond[second];
        collisions += sequence > 1;
        const std::string expectedName =
            second + (sequence == 1 ? "" : "_" + std::to_string(sequence)) + ".txt";
        EXPECT_EQ(name, expectedName) << i;
        char expected[64];
        std::snprintf(expected, sizeof expected, "ノート %d%s", i, i % 3 ? "" : "\r\nend");
        EXPECT_EQ(hexBytes(readFileBytes(app.folder() + "\\" + name)), hexBytes(expected)) << i;
    }
    EXPECT_GT(collisions, 0) << "some notes shared a second";
    EXPECT_TRUE(app.quit());
}

} // namespace
