// The settings dialog run in this program with an owner window of the test's
// own, driven from a second thread the way a user would: reading its controls,
// editing them, pressing its buttons and answering its message boxes.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "app/hotkey.h"
#include "app/main_window.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "settings/settings_dialog.h"
#include "support/window.h"

namespace {

constexpr int kCtrlAlt = (HOTKEYF_CONTROL | HOTKEYF_ALT) << 8;
// Asked of the owner, so that it is answered on the owner's (this) thread.
constexpr UINT kQueryIme = WM_APP + 1; // result: the owner's input method is open

const char kSaveQuestion[] = "保存しますか？";

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kQueryIme: return imeIsOpen(window);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A hidden owner like the main window, holding the record's hotkey as the main
// window does between dialogs.
struct Owner {
    HWND window;
    explicit Owner(const AppSettings &settings, bool imeOpen = false) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ownerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "SettingsTestOwner";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        RegisterPopupHotkey(window, &settings);
        imeSetOpen(window, imeOpen);
    }
    ~Owner() {
        UnregisterPopupHotkey(window);
        DestroyWindow(window);
    }
    // True when the owner held the popup hotkey (it no longer does after this).
    bool releaseHotkey() const {
        return UnregisterPopupHotkey(window) != FALSE;
    }
};

bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 5000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
    return true;
}

struct FindArgs {
    std::function<bool(HWND)> match;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM lParam) {
    auto *args = reinterpret_cast<FindArgs *>(lParam);
    if (!args->match(window))
        return TRUE;
    args->found = window;
    return FALSE;
}

std::string text(HWND window) {
    char buffer[1024] = "";
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::string className(HWND window) {
    char buffer[64] = "";
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

// A visible top-level dialog of the thread, captioned "設定".
HWND findDialog(DWORD thread, const std::function<bool(HWND)> &match) {
    FindArgs args{[&](HWND w) {
                      return IsWindowVisible(w) && className(w) == "#32770" && text(w) == "設定" &&
                             match(w);
                  },
                  nullptr};
    EnumThreadWindows(thread, matchWindow, reinterpret_cast<LPARAM>(&args));
    return args.found;
}

HWND waitForSettings(DWORD thread) {
    HWND found = nullptr;
    waitUntil([&] {
        return (found = findDialog(thread, [](HWND w) { return GetDlgItem(w, IDC_HOTKEY); })) !=
               nullptr;
    });
    return found;
}

// A message box of the thread: its text is the static control 0xFFFF (also
// the id of the settings dialog's labels, hence the second test).
HWND waitForMessageBox(DWORD thread, DWORD timeoutMs = 5000) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            return (found = findDialog(thread, [](HWND w) {
                        return GetDlgItem(w, 0xFFFF) && !GetDlgItem(w, IDC_HOTKEY);
                    })) != nullptr;
        },
        timeoutMs);
    return found;
}

std::string messageText(HWND box) {
    return text(GetDlgItem(box, 0xFFFF));
}

std::string asciiLower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

int hotkeyOf(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0));
}

void setHotkey(HWND dialog, int hotkey) {
    SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_SETHOTKEY, static_cast<WPARAM>(hotkey), 0);
}

std::string folderOf(HWND dialog) {
    char buffer[2048] = "";
    GetDlgItemTextA(dialog, IDC_FOLDER, buffer, sizeof buffer);
    return buffer;
}

// Edits the three controls.
void enter(HWND dialog, int hotkey, bool ime, const std::string &folder) {
    setHotkey(dialog, hotkey);
    SendDlgItemMessageA(dialog, IDC_IMEONSTART, BM_SETCHECK, ime ? BST_CHECKED : BST_UNCHECKED, 0);
    SetDlgItemTextA(dialog, IDC_FOLDER, folder.c_str());
}

void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// True when nobody holds the combination: it can be registered right now.
bool hotkeyIsFree(int hotkey) {
    const HotkeyRegistration keys = hotkeyRegistration(static_cast<std::uint32_t>(hotkey));
    if (!RegisterHotKey(nullptr, 0xBEEF, keys.modifiers, keys.virtualKey))
        return false;
    UnregisterHotKey(nullptr, 0xBEEF);
    return true;
}

// Runs the dialog on this thread while script drives it from another; the
// script gets the dialog and this thread's id. A script that leaves the dialog
// open fails the test, and the dialog is cancelled so that the test ends.
bool runDialog(const Owner &owner, AppSettings *settings,
               const std::function<void(HWND, DWORD)> &script) {
    const DWORD thread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND dialog = waitForSettings(thread);
        if (!dialog) {
            ADD_FAILURE() << "the settings dialog did not appear";
            return;
        }
        script(dialog, thread);
        if (!waitUntil([&] { return !IsWindow(dialog); })) {
            ADD_FAILURE() << "the dialog is still open";
            if (HWND box = waitForMessageBox(thread, 0))
                PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    const bool result = RunSettingsDialog(owner.window, settings);
    driver.join();
    return result;
}

AppSettings record(int hotkey, bool ime, const char *folder) {
    AppSettings settings{};
    settings.hotkey = hotkey;
    settings.imeOnAtStartup = ime;
    std::strcpy(settings.documentFolder, folder);
    return settings;
}

TEST(SettingsDialog, ShowsTheRecordAndOkStoresTheEdits) {
    struct Case {
        const char *name;
        AppSettings before, after;
    } const cases[] = {
        {"every field changes", record(kCtrlAlt | VK_F11, true, "C:\\メモ\\表"),
         record((HOTKEYF_CONTROL | HOTKEYF_SHIFT) << 8 | VK_F12, false, "D:\\ソフト")},
        {"no hotkey becomes one", record(0, false, ""), record(HOTKEYF_ALT << 8 | 'Q', true, "E:")},
        {"clearing the hotkey stores 0", record(kCtrlAlt | VK_F10, true, "C:\\a"),
         record(0, true, "C:\\a")},
    };
    for (const Case &c : cases) {
        AppSettings settings = c.before;
        Owner owner(settings);
        HICON icons[2] = {};
        const bool ok = runDialog(owner, &settings, [&](HWND dialog, DWORD thread) {
            EXPECT_EQ(hotkeyOf(dialog), c.before.hotkey) << c.name;
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_IMEONSTART) == BST_CHECKED,
                      c.before.imeOnAtStartup)
                << c.name;
            EXPECT_EQ(folderOf(dialog), c.before.documentFolder) << c.name;
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            GetGUIThreadInfo(thread, &gui);
            EXPECT_EQ(gui.hwndFocus, GetDlgItem(dialog, IDC_HOTKEY)) << c.name << ": first focus";
            icons[0] = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
            icons[1] = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
            enter(dialog, c.after.hotkey, c.after.imeOnAtStartup, c.after.documentFolder);
            press(dialog, IDOK);
        });
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(settings.hotkey, c.after.hotkey) << c.name;
        EXPECT_EQ(settings.imeOnAtStartup, c.after.imeOnAtStartup) << c.name;
        EXPECT_STREQ(settings.documentFolder, c.after.documentFolder) << c.name;
        EXPECT_EQ(owner.releaseHotkey(), c.after.hotkey != 0)
            << c.name << ": the new hotkey is registered on the owner";
        for (HICON icon : icons) {
            EXPECT_NE(icon, nullptr) << c.name << ": the dialog shows the program's icons";
            ICONINFO info{};
            EXPECT_FALSE(icon && GetIconInfo(icon, &info)) << c.name << ": icon not destroyed";
        }
    }
}

TEST(SettingsDialog, OkCutsTheFolderTo259BytesWithoutSplittingACharacter) {
    const std::string a256(256, 'a');
    struct Case {
        const char *name;
        std::string typed, stored;
    } const cases[] = {
        {"259 bytes stay", "C:\\" + a256, "C:\\" + a256},
        {"300 bytes are cut", "C:\\" + a256 + std::string(41, 'z'), "C:\\" + a256},
        {"ア across the cut goes whole", "C:\\" + a256.substr(1) + "アイ", "C:\\" + a256.substr(1)},
        {"ア ending at the cut stays", "C:\\" + a256.substr(2) + "アイ",
         "C:\\" + a256.substr(2) + "ア"},
        {"表 (trail 0x5C) across the cut", "C:\\" + a256.substr(1) + "表", "C:\\" + a256.substr(1)},
        {"longer than the edit's browser limit", std::string(600, 'x'), std::string(259, 'x')},
    };
    for (const Case &c : cases) {
        AppSettings settings = record(0, true, "old");
        Owner owner(settings);
        const bool ok = runDialog(owner, &settings, [&](HWND dialog, DWORD) {
            SetDlgItemTextA(dialog, IDC_FOLDER, c.typed.c_str());
            press(dialog, IDOK);
        });
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(std::string(settings.documentFolder), c.stored) << c.name;
    }
}

TEST(SettingsDialog, WhileOpenTheHotkeyIsFreeAndTheImeClosedThenBothComeBack) {
    const int hotkey = kCtrlAlt | VK_F9;
    for (const bool imeOpen : {true, false}) {
        for (const bool accept : {true, false}) {
            const std::string name =
                std::string(accept ? "OK" : "Cancel") + (imeOpen ? ", IME open" : ", IME closed");
            const AppSettings before = record(hotkey, true, "C:\\a");
            AppSettings settings = before;
            Owner owner(settings, imeOpen);
            ASSERT_EQ(SendMessageA(owner.window, kQueryIme, 0, 0) != 0, imeOpen) << name;
            ASSERT_FALSE(hotkeyIsFree(hotkey)) << name << ": the owner holds it";
            const bool ok = runDialog(owner, &settings, [&](HWND dialog, DWORD) {
                EXPECT_TRUE(hotkeyIsFree(hotkey)) << name;
                EXPECT_EQ(SendMessageA(owner.window, kQueryIme, 0, 0), 0) << name;
                SetDlgItemTextA(dialog, IDC_FOLDER, "D:\\x");
                press(dialog, accept ? IDOK : IDCANCEL);
            });
            EXPECT_EQ(ok, accept) << name;
            EXPECT_STREQ(settings.documentFolder, accept ? "D:\\x" : before.documentFolder) << name;
            EXPECT_EQ(settings.hotkey, before.hotkey) << name;
            EXPECT_EQ(settings.imeOnAtStartup, before.imeOnAtStartup) << name;
            EXPECT_EQ(SendMessageA(owner.window, kQueryIme, 0, 0) != 0, imeOpen) << name;
            EXPECT_TRUE(owner.releaseHotkey()) << name << ": registered again";
        }
    }
}

TEST(SettingsDialog, CloseAsksToSaveAndCancelKeepsTheEdits) {
    AppSettings settings = record(kCtrlAlt | VK_F7, true, "C:\\a");
    Owner owner(settings);
    const int edited = kCtrlAlt | 'Y';
    const bool ok = runDialog(owner, &settings, [&](HWND dialog, DWORD thread) {
        enter(dialog, edited, false, "D:\\編集");
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        HWND box = waitForMessageBox(thread);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(messageText(box), kSaveQuestion);
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
        for (int id : {IDYES, IDNO, IDCANCEL})
            EXPECT_NE(GetDlgItem(box, id), nullptr) << "button " << id;
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));
        Sleep(200);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "キャンセル keeps the dialog open";
        EXPECT_EQ(hotkeyOf(dialog), edited);
        EXPECT_EQ(folderOf(dialog), "D:\\編集");
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_IMEONSTART), static_cast<UINT>(BST_UNCHECKED));
        // はい then saves like OK.
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        box = waitForMessageBox(thread);
        ASSERT_NE(box, nullptr);
        PostMessageA(box, WM_COMMAND, IDYES, 0);
    });
    EXPECT_TRUE(ok) << "はい ends like OK";
    EXPECT_EQ(settings.hotkey, edited);
    EXPECT_FALSE(settings.imeOnAtStartup);
    EXPECT_STREQ(settings.documentFolder, "D:\\編集");
}

TEST(SettingsDialog, BackgroundHitsAsTheCaption) {
    AppSettings settings = record(0, true, "C:\\a");
    Owner owner(settings);
    runDialog(owner, &settings, [&](HWND dialog, DWORD) {
        RECT window, client, ok;
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
        MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT *>(&client), 2);
        GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
        const int captionY = (window.top + client.top) / 2;
        const int closeX = client.right - GetSystemMetrics(SM_CXSIZE) / 2;
        struct Case {
            const char *name;
            POINT at;
            LRESULT hit;
        } const cases[] = {
            {"background below the folder", {client.left + 4, client.bottom - 4}, HTCAPTION},
            {"background left of OK", {ok.left - 3, (ok.top + ok.bottom) / 2}, HTCAPTION},
            {"the caption itself", {(window.left + window.right) / 2, captionY}, HTCAPTION},
            {"the close box", {closeX, captionY}, HTCLOSE},
            {"the frame", {window.left, (window.top + window.bottom) / 2}, HTBORDER},
            {"outside", {window.right + 20, window.bottom + 20}, HTNOWHERE},
        };
        for (const Case &c : cases) {
            const LRESULT hit = SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(c.at.x, c.at.y));
            EXPECT_EQ(hit, c.hit) << c.name;
        }
        press(dialog, IDCANCEL);
    });
}

TEST(SettingsDialog, ATakenHotkeyIsNamedInOneMessageAndStillStored) {
    struct Case {
        const char *name;
        int hotkey;
        const char *named;
    } const cases[] = {
        {"letter", kCtrlAlt | 'K', "Ctrl + Alt + K"},
        {"F-key with Shift", (HOTKEYF_SHIFT | HOTKEYF_ALT) << 8 | VK_F5, "Shift + Alt + F5"},
        // The keyboard layout's own name, whatever its case ("space" under Wine).
        {"a key the keyboard names", kCtrlAlt | VK_SPACE, "ctrl + alt + space"},
    };
    for (const Case &c : cases) {
        AppSettings settings = record(0, true, "C:\\a");
        Owner owner(settings);
        std::string message;
        bool boxOwnedByOwner = false;
        const bool ok = runDialog(owner, &settings, [&](HWND dialog, DWORD thread) {
            const HotkeyRegistration keys =
                hotkeyRegistration(static_cast<std::uint32_t>(c.hotkey));
            // Another holder: this driver thread.
            ASSERT_TRUE(RegisterHotKey(nullptr, 0xCAFE, keys.modifiers, keys.virtualKey));
            setHotkey(dialog, c.hotkey);
            press(dialog, IDOK);
            HWND box = waitForMessageBox(thread);
            if (box) {
                message = messageText(box);
                boxOwnedByOwner = GetWindow(box, GW_OWNER) == owner.window;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
            UnregisterHotKey(nullptr, 0xCAFE);
        });
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(settings.hotkey, c.hotkey) << c.name << ": stored all the same";
        const std::string named = std::string("「") + c.named + "」";
        EXPECT_TRUE(message.find(named) != std::string::npos ||
                    asciiLower(message).find(named) != std::string::npos)
            << c.name << ": " << message;
        EXPECT_TRUE(boxOwnedByOwner) << c.name;
        EXPECT_FALSE(owner.releaseHotkey()) << c.name;
    }
    // Free combinations, and a taken one after Cancel, are not reported.
    for (const bool accept : {true, false}) {
        AppSettings settings = record(accept ? 0 : kCtrlAlt | 'L', true, "C:\\a");
        Owner owner(settings);
        bool reported = true;
        runDialog(owner, &settings, [&](HWND dialog, DWORD thread) {
            ASSERT_TRUE(RegisterHotKey(nullptr, 0xCAFE, MOD_CONTROL | MOD_ALT, 'L'));
            setHotkey(dialog, accept ? kCtrlAlt | 'M' : kCtrlAlt | 'N');
            press(dialog, accept ? IDOK : IDCANCEL);
            waitUntil([&] { return !IsWindow(dialog); });
            HWND box = waitForMessageBox(thread, 500);
            reported = box != nullptr;
            if (box)
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            UnregisterHotKey(nullptr, 0xCAFE);
        });
        EXPECT_FALSE(reported) << (accept ? "free combination after OK" : "taken after Cancel");
    }
}

TEST(SettingsDialog, UnusedAboutLayoutIsInTheResources) {
    HRSRC about = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_ABOUT_LAYOUT), RT_DIALOG);
    ASSERT_NE(about, nullptr);
    // A DIALOG template: header, then menu and class (empty: 0), then the caption in UTF-16.
    const auto *words = static_cast<const WORD *>(LockResource(LoadResource(nullptr, about)));
    ASSERT_NE(words, nullptr);
    const size_t header = sizeof(DLGTEMPLATE) / sizeof(WORD);
    ASSERT_EQ(words[header], 0) << "no menu";
    ASSERT_EQ(words[header + 1], 0) << "no class";
    EXPECT_EQ(std::memcmp(words + header + 2, u"について", sizeof u"について"), 0);
}

} // namespace
