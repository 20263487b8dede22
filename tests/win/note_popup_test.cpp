// The popup editor in this process: owned by a hidden window of the test's own,
// as the main window owns it, and closed every way the program closes it.
// Typing, placement, the input method and resizing are checked end to end
// (tests/e2e/capture_test.cpp).
#include "capture/note_popup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "settings/settings.h"
#include "support/sjis.h"
#include "support/window.h"
#include "tests/win/note_files.h"

using namespace notetest;

namespace {

HWND plainWindow(DWORD style) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "NotePopupTestWindow";
    RegisterClassA(&wc); // a second registration fails harmlessly
    return CreateWindowExA(0, wc.lpszClassName, "other", style, 50, 50, 200, 100, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

void pumpMessages(DWORD milliseconds = 50) {
    const DWORD end = GetTickCount() + milliseconds;
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() < end);
}

// Error boxes seen while the editor closes: read, counted and dismissed from a
// timer, which the box's own modal loop runs.
struct BoxWatch {
    int count = 0;
    std::string caption, text;
    HWND owner = nullptr;
    UINT_PTR timer = 0;
} boxes;

BOOL CALLBACK dismissBox(HWND window, LPARAM) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window) ||
        GetPropA(window, "NoteTestSeen"))
        return TRUE;
    SetPropA(window, "NoteTestSeen", window);
    ++boxes.count;
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    boxes.caption = text;
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    boxes.text = text;
    boxes.owner = GetWindow(window, GW_OWNER);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK dismissBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), dismissBox, 0);
}

// An editor as the main window makes one: hidden owner, settings record,
// placed and shown.
struct Editor {
    TempFolder temp;
    AppSettings settings{};
    HWND owner = plainWindow(WS_OVERLAPPEDWINDOW);
    HWND window = nullptr;

    Editor() {
        sjisCopyBounded(sizeof settings.documentFolder, settings.documentFolder,
                        (temp / "notes").c_str());
        window = createNotePopup(owner, &settings);
        if (window) {
            placeAtCursor(window);
            ShowWindow(window, SW_SHOWNORMAL);
        }
        boxes = BoxWatch{};
        boxes.timer = SetTimer(nullptr, 0, 20, dismissBoxes);
    }
    ~Editor() {
        KillTimer(nullptr, boxes.timer);
        DestroyWindow(owner);
        pumpMessages(10);
    }
    HWND edit() const {
        return GetDlgItem(window, IDC_NOTE_EDIT);
    }
    std::string text() const {
        char text[512] = "";
        GetWindowTextA(edit(), text, sizeof text);
        return text;
    }
    // Every note below the document folder, as "name=bytes".
    std::vector<std::string> notes() const {
        std::vector<std::string> found;
        for (const std::string &entry : listTree(temp.path()))
            if (entry.back() != '\\')
                found.push_back(entry.substr(entry.rfind('\\') + 1) + "=" + readFile(temp / entry));
        return found;
    }
};

std::string noteName(const std::string &named) {
    return named.substr(0, named.find('='));
}

TEST(NotePopup, IsTheDesignedWindow) {
    Editor e;
    ASSERT_NE(e.window, nullptr);
    char name[32] = "";
    GetClassNameA(e.window, name, sizeof name);
    EXPECT_STREQ(name, "JotwellPane");
    GetWindowTextA(e.window, name, sizeof name);
    EXPECT_STREQ(name, "Jotwell");
    EXPECT_EQ(GetWindow(e.window, GW_OWNER), e.owner);
    const LONG_PTR exStyle = GetWindowLongPtrA(e.window, GWL_EXSTYLE);
    EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    const LONG_PTR style = GetWindowLongPtrA(e.window, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_EQ(windowWidth(e.window), 640);
    EXPECT_EQ(windowHeight(e.window), 100);
    ASSERT_NE(e.edit(), nullptr);
    GetClassNameA(e.edit(), name, sizeof name);
    EXPECT_STREQ(name, "Edit");
    const LONG_PTR editStyle = GetWindowLongPtrA(e.edit(), GWL_STYLE);
    const LONG_PTR wanted = WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
    EXPECT_EQ(editStyle & (wanted | WS_BORDER | WS_HSCROLL | ES_AUTOHSCROLL), wanted);
    EXPECT_EQ(GetActiveWindow(), e.window);
    EXPECT_EQ(GetFocus(), e.edit());
}

TEST(NotePopup, EveryWayOutSavesOnce) {
    struct Case {
        const char *name;
        void (*close)(HWND editor, HWND other);
    } const cases[] = {
        {"WM_CLOSE", [](HWND w, HWND) { SendMessageA(w, WM_CLOSE, 0, 0); }},
        {"IDM_CANCEL from the program",
         [](HWND w, HWND) { SendMessageA(w, WM_COMMAND, IDM_CANCEL, 0); }},
        {"IDM_CANCEL from the accelerator",
         [](HWND w, HWND) { SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDM_CANCEL, 1), 0); }},
        {"IDM_CANCEL with any high word",
         [](HWND w, HWND) { SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDM_CANCEL, 0x1234), 0); }},
        {"another window activated", [](HWND, HWND other) { SetActiveWindow(other); }},
    };
    for (const Case &c : cases) {
        HWND other = plainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        Editor e;
        ASSERT_NE(e.window, nullptr) << c.name;
        ASSERT_EQ(GetActiveWindow(), e.window) << c.name;
        SetWindowTextA(e.edit(), "メモ\r\n2行目");
        c.close(e.window, other);
        pumpMessages();
        EXPECT_FALSE(IsWindow(e.window)) << c.name;
        const std::vector<std::string> notes = e.notes();
        ASSERT_EQ(notes.size(), 1u) << c.name;
        EXPECT_EQ(notes[0].substr(notes[0].find('=')), "=メモ\r\n2行目") << c.name;
        EXPECT_EQ(noteName(notes[0]).size(), std::strlen("hhmmss.txt")) << c.name;
        EXPECT_EQ(boxes.count, 0) << c.name;
        DestroyWindow(other);
    }
}

TEST(NotePopup, FailedSaveKeepsTheTextAndTellsOnce) {
    struct Case {
        const char *name;
        void (*breakFolder)(const std::string &root);
        void (*fixFolder)(const std::string &root);
    } const cases[] = {
        {"the folder is a file", [](const std::string &root) { writeFile(root, "file"); },
         [](const std::string &root) { DeleteFileA(root.c_str()); }},
        {"the folder's parent is missing", [](const std::string &) {},
         [](const std::string &root) {
             CreateDirectoryA(root.substr(0, root.rfind('\\')).c_str(), nullptr);
         }},
    };
    for (const Case &c : cases) {
        Editor e;
        ASSERT_NE(e.window, nullptr) << c.name;
        const std::string root =
            c.breakFolder == cases[0].breakFolder ? e.temp / "notes" : e.temp / "missing\\notes";
        sjisCopyBounded(sizeof e.settings.documentFolder, e.settings.documentFolder, root.c_str());
        c.breakFolder(root);
        const std::vector<std::string> before = listTree(e.temp.path());
        const std::string typed = " 表示\r\n  テスト ";
        SetWindowTextA(e.edit(), typed.c_str());

        SendMessageA(e.window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(IsWindow(e.window)) << c.name;
        EXPECT_EQ(hex(e.text()), hex(typed)) << c.name;
        EXPECT_EQ(listTree(e.temp.path()), before) << c.name;
        EXPECT_EQ(boxes.count, 1) << c.name;
        EXPECT_EQ(boxes.caption, "Jotwell") << c.name;
        EXPECT_EQ(boxes.owner, e.window) << c.name;
        const std::string head = "メモを保存できませんでした。\r\n\r\n" + root + "\r\n";
        const std::string tail = "\r\n\r\nフォルダを確認してから、もう一度閉じてください。";
        EXPECT_EQ(boxes.text.substr(0, head.size()), head) << c.name;
        ASSERT_GT(boxes.text.size(), head.size() + tail.size() + 4) << c.name << ": a reason";
        EXPECT_EQ(boxes.text.substr(boxes.text.size() - tail.size()), tail) << c.name;
        EXPECT_EQ(GetFocus(), e.edit()) << c.name;

        // Going to another window to fix the folder does not raise the box again.
        HWND other = plainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        SetActiveWindow(other);
        pumpMessages();
        EXPECT_TRUE(IsWindow(e.window)) << c.name;
        EXPECT_EQ(boxes.count, 1) << c.name;

        c.fixFolder(root);
        SendMessageA(e.window, WM_COMMAND, IDM_CANCEL, 0);
        EXPECT_FALSE(IsWindow(e.window)) << c.name;
        EXPECT_EQ(boxes.count, 1) << c.name;
        const std::vector<std::string> notes = e.notes();
        ASSERT_EQ(notes.size(), 1u) << c.name;
        EXPECT_EQ(hex(notes[0].substr(notes[0].find('=') + 1)), hex(typed)) << c.name;
        DestroyWindow(other);
    }
}

} // namespace
