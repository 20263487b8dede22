// Driving the editor the way a user fills it (pasting, then typing), and
// reading back every file a run left below a folder, for the fault, settings,
// soak and instance tests.
#pragma once

#include <windows.h>

#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/harness.h"

namespace drive {

constexpr int kCtrlAltJ = (0x02 | 0x04) << 8 | 'J'; // HOTKEYF_CONTROL | HOTKEYF_ALT, J

// UTF-16 to the Shift-JIS bytes the editor holds ('\n' becomes CR LF, as Enter does).
inline std::string sjisOf(const std::wstring &text) {
    std::wstring crlf;
    for (wchar_t c : text) {
        if (c == L'\n')
            crlf += L'\r';
        crlf += c;
    }
    if (crlf.empty())
        return "";
    const int n = WideCharToMultiByte(932, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr,
                                      0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(932, 0, crlf.data(), static_cast<int>(crlf.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

// True once some program holds Ctrl+Alt+J as its global hotkey: a started
// Jotwell's main window exists before it has registered its hotkey.
inline bool ctrlAltJTaken(DWORD timeoutMs) {
    constexpr int kProbeId = 0xBFFF;
    return e2e::waitUntil(
        [] {
            if (!RegisterHotKey(nullptr, kProbeId, MOD_CONTROL | MOD_ALT, 'J'))
                return true;
            UnregisterHotKey(nullptr, kProbeId);
            return false;
        },
        timeoutMs);
}

// The editor, once it is shown and has the keyboard; null if it did not come.
inline HWND openEditor(const e2e::JotwellProcess &app, bool byHotkey = false,
                       DWORD timeoutMs = 5000) {
    if (byHotkey)
        e2e::pressKeys({VK_CONTROL, VK_MENU, 'J'});
    else
        app.trayClick();
    HWND editor = nullptr;
    e2e::waitUntil(
        [&] {
            editor = app.editor();
            return editor && IsWindowVisible(editor) && GetForegroundWindow() == editor;
        },
        timeoutMs);
    return editor && IsWindowVisible(editor) && GetForegroundWindow() == editor ? editor : nullptr;
}

inline int editorTextLength(HWND editor) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(GetDlgItem(editor, IDC_NOTE_EDIT), WM_GETTEXTLENGTH, 0, 0,
                             SMTO_ABORTIFHUNG, 5000, &length))
        return -1;
    return static_cast<int>(length);
}

// The editor's whole text (the harness's windowText stops at 4 KB).
inline std::string editorText(HWND editor) {
    const int length = editorTextLength(editor);
    if (length <= 0)
        return "";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(GetDlgItem(editor, IDC_NOTE_EDIT), WM_GETTEXT, text.size(),
                        reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(std::strlen(text.c_str()));
    return text;
}

inline bool putOnClipboard(const std::string &sjis) {
    bool opened = false;
    e2e::waitUntil([&] { return opened = OpenClipboard(nullptr) != 0; }, 2000);
    if (!opened)
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sjis.size() + 1);
    bool placed = false;
    if (memory) {
        std::memcpy(GlobalLock(memory), sjis.c_str(), sjis.size() + 1);
        GlobalUnlock(memory);
        placed = SetClipboardData(CF_TEXT, memory) != nullptr;
        if (!placed)
            GlobalFree(memory);
    }
    CloseClipboard();
    return placed;
}

// Pastes the text from the clipboard, as a user brings in a long text, and
// waits until the editor holds exactly what it held before followed by the
// text. The paste is the edit control's own (WM_PASTE, what its Ctrl+V does):
// under Wine a synthesized Ctrl+V now and then loses its Ctrl and types a "v".
inline bool pasteInto(HWND editor, const std::string &sjis) {
    const std::string expected = editorText(editor) + sjis;
    if (!putOnClipboard(sjis))
        return false;
    SendMessageTimeoutA(GetDlgItem(editor, IDC_NOTE_EDIT), WM_PASTE, 0, 0, SMTO_ABORTIFHUNG, 10000,
                        nullptr);
    // The length is polled, the text read once: reading a long text again and
    // again across processes costs the program's side of Wine memory.
    return e2e::waitUntil(
               [&] { return editorTextLength(editor) == static_cast<int>(expected.size()); }) &&
           editorText(editor) == expected;
}

// Types the text through the keyboard and waits until the editor ends with it.
inline bool typeInto(HWND editor, const std::wstring &typed) {
    const std::string expected = editorText(editor) + sjisOf(typed);
    e2e::typeText(typed);
    return e2e::waitUntil(
               [&] { return editorTextLength(editor) == static_cast<int>(expected.size()); }) &&
           editorText(editor) == expected;
}

// Every regular file below root, by its path relative to root, with its bytes.
inline void collectFiles(const std::string &root, const std::string &relative,
                         std::map<std::string, std::string> *files) {
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string child = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            collectFiles(root, child, files);
        else
            (*files)[child] = e2e::readFileBytes(root + "\\" + child);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

inline std::map<std::string, std::string> filesBelow(const std::string &root) {
    std::map<std::string, std::string> files;
    collectFiles(root, "", &files);
    return files;
}

// The files of after that before did not have, or whose bytes changed.
inline std::map<std::string, std::string>
newOrChanged(const std::map<std::string, std::string> &before,
             const std::map<std::string, std::string> &after) {
    std::map<std::string, std::string> changed;
    for (const auto &file : after) {
        const auto old = before.find(file.first);
        if (old == before.end() || old->second != file.second)
            changed.insert(file);
    }
    return changed;
}

// The last component of a path.
inline std::string baseName(const std::string &path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A note's own name (hhmmss.txt, hhmmss_N.txt) or the name it is written
// under before its rename (~hhmmss.tmp, ~hhmmss_N.tmp).
inline bool isNoteName(const std::string &path) {
    static const std::regex note(R"(\d{6}(_\d+)?\.txt)");
    return std::regex_match(baseName(path), note);
}
inline bool isTemporaryName(const std::string &path) {
    static const std::regex temporary(R"(~\d{6}(_\d+)?\.tmp)");
    return std::regex_match(baseName(path), temporary);
}

// "YYYY-MM\DD" of a local time.
inline std::string dayFolderOf(const SYSTEMTIME &time) {
    char name[16];
    wsprintfA(name, "%04d-%02d\\%02d", time.wYear, time.wMonth, time.wDay);
    return name;
}

// The open save-error box of the program, if any.
inline HWND saveErrorBox(const e2e::JotwellProcess &app, DWORD timeoutMs) {
    return app.waitForWindow("#32770", "Jotwell", timeoutMs);
}

} // namespace drive
