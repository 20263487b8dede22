// Memory: Jotwell's GDI and USER objects and private bytes over many notes (the leak check
// of the table), and the soak, which prints them as it takes its notes.
#include "bench/bench.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "res/resource.h"

using namespace th;

namespace bench {

namespace {

// Wine answers GetGuiResources with 0 and ERROR_CALL_NOT_IMPLEMENTED.
bool guiResourcesAnswer(HANDLE process, DWORD which, Count *count) {
    SetLastError(ERROR_SUCCESS);
    const DWORD value = GetGuiResources(process, which);
    if (value == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    count->value = static_cast<long>(value);
    count->method = "GetGuiResources";
    return true;
}

// One entry of the GDI handle table that the process's PEB points to (the
// layout Windows shares with every process and Wine keeps in each process).
struct GdiHandleEntry {
    unsigned long long object;
    unsigned long owner;
    unsigned short unique; // bit 7: stock object
    unsigned char type;    // 0: free
    unsigned char flags;
    unsigned long long userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "the table's entry layout");

Count gdiObjects(HANDLE process) {
    Count count;
    if (guiResourcesAnswer(process, GR_GDIOBJECTS, &count))
        return count;
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0)
        return count;
    // PEB.GdiSharedHandleTable.
    constexpr size_t kTableField = sizeof(void *) == 8 ? 0xF8 : 0x94;
    ULONG_PTR table = 0;
    if (!ReadProcessMemory(process,
                           reinterpret_cast<const char *>(basic.PebBaseAddress) + kTableField,
                           &table, sizeof table, nullptr) ||
        !table)
        return count;
    std::vector<GdiHandleEntry> entries(0x10000);
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<const void *>(table), entries.data(),
                           entries.size() * sizeof entries[0], &read))
        return count;
    entries.resize(read / sizeof entries[0]);
    count.value =
        static_cast<long>(std::count_if(entries.begin(), entries.end(), [](const auto &e) {
            return e.type != 0 && !(e.unique & 0x80);
        }));
    count.method = "live non-stock entries of its GDI handle table";
    return count;
}

struct WindowCount {
    DWORD pid;
    long count;
};

BOOL CALLBACK countChild(HWND window, LPARAM lParam) {
    (void)window;
    ++reinterpret_cast<WindowCount *>(lParam)->count;
    return TRUE;
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM lParam) {
    auto *windows = reinterpret_cast<WindowCount *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == windows->pid) {
        ++windows->count;
        EnumChildWindows(window, countChild, lParam);
    }
    return TRUE;
}

Count userObjects(HANDLE process, DWORD pid) {
    Count count;
    if (guiResourcesAnswer(process, GR_USEROBJECTS, &count))
        return count;
    WindowCount windows{pid, 0};
    EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&windows));
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr))
        countTopLevel(window, reinterpret_cast<LPARAM>(&windows));
    count.value = windows.count;
    count.method = "its windows, message-only ones included";
    return count;
}

// Wine reports the private usage of other processes only as PagefileUsage
// (their anonymous resident memory); Windows fills both.
Memory privateBytes(HANDLE process) {
    Memory memory;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                              sizeof counters))
        return memory;
    if (counters.PrivateUsage) {
        memory.bytes = static_cast<long long>(counters.PrivateUsage);
        memory.method = "PrivateUsage";
    } else {
        memory.bytes = static_cast<long long>(counters.PagefileUsage);
        memory.method = "PagefileUsage (Wine leaves PrivateUsage 0)";
    }
    return memory;
}

// The memory is read last: reading the GDI handle table brings its pages into the
// program's resident memory, once, and read first it would count as growth.
Objects objectsOf(const Jotwell &app) {
    Objects objects;
    objects.gdi = gdiObjects(app.process);
    objects.user = userObjects(app.process, app.pid);
    objects.memory = privateBytes(app.process);
    return objects;
}

std::string figures(const Jotwell &app) {
    const Objects objects = objectsOf(app);
    return format("GDI objects %ld, USER objects %ld, private bytes %lld", objects.gdi.value,
                  objects.user.value, objects.memory.bytes);
}

// The soak's note i: one in ten long (32 to 64 KB), three in ten a few characters, the
// rest up to 4 KB; Japanese (with 0x5C second bytes), half-width katakana, ASCII, tabs and
// line breaks mixed. Put in whole; the short notes that follow the mixed ones are typed.
std::string soakText(int i) {
    static const char *const pieces[] = {"表示",   "ソフト", "メモ帳", "日本語入力", "ﾊﾝｶｸｶﾀｶﾅ",
                                         "note",   "123",    " ",      "\t",         "\r\n",
                                         "予定：", "①②",     "～",     "\\",         "。"};
    std::string text = format("了%d ", i);
    const int kind = i % 10;
    if (kind >= 1 && kind <= 3)
        return text;
    std::srand(static_cast<unsigned>(i));
    const size_t target = kind == 0 ? 32768 + std::rand() % 32000 : 1 + std::rand() % 4096;
    for (const char *piece = pieces[0]; text.size() + std::strlen(piece) <= target;
         piece = pieces[std::rand() % (sizeof pieces / sizeof *pieces)])
        text += piece;
    return text;
}

// The text put in at the caret as a paste puts it, but not through the clipboard: each
// paste through Wine's clipboard grows the pasting process by about a kilobyte, in a bare
// window as in Jotwell's (docs/performance.md), which would hide Jotwell's own memory.
bool putText(HWND edit, const std::string &text) {
    DWORD_PTR length = 0;
    return SendMessageTimeoutA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, 10000, nullptr) &&
           SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length) &&
           length == text.size();
}

// One note as the soak and the leak check take it: the hotkey (again when Wine dropped the
// chord), the text put in, or typed when asked, Esc; then the note is found on disk byte for
// byte. Esc closes it, not the chord: a chord whose modifiers Wine lost would type a letter
// into the note. A chord that arrives late may close the editor before its text is in: that
// note is taken again.
bool takeNote(const Jotwell &app, DWORD thread, NoteFinder &finder, int i, const std::string &text,
              bool typed) {
    const auto toggle = [&](bool open) {
        for (int tries = 0; tries < 3; ++tries) {
            if (open)
                pressKeys({VK_CONTROL, VK_MENU, 'J'});
            else {
                releaseModifiers();
                pressKeys({VK_ESCAPE});
            }
            if (pollUntil([&] { return (app.editor() != nullptr) == open; }, 5000) >= 0)
                return true;
        }
        return false;
    };
    const auto putIn = [&](HWND edit) {
        if (!typed)
            return putText(edit, text);
        if (pollUntil([&] { return editorWithFocus(thread) != nullptr; }) < 0)
            return false;
        typeText(std::wstring(text.begin(), text.end()));
        return pollUntil([&] { return windowText(edit) == text; }) >= 0;
    };
    for (int tries = 0; tries < 3; ++tries) {
        HWND editor = nullptr;
        if (!toggle(true) || !(editor = app.editor()))
            return failed("note %d: the hotkey brought up no editor", i);
        const bool in = putIn(GetDlgItem(editor, IDC_NOTE_EDIT));
        if (!IsWindowVisible(editor))
            continue;
        if (!in)
            return failed("note %d: the text (%zu bytes) did not arrive", i, text.size());
        if (!toggle(false) || pollUntil([&] { return finder.find(text); }) < 0)
            return failed("note %d (%zu bytes) was not found on disk byte for byte", i,
                          text.size());
        return true;
    }
    return failed("note %d: the editor kept closing before its text was in", i);
}

} // namespace

// The leak check: mixed notes (long ones put in whole), measured after the first 200 and at
// the end.
bool measureGrowth(const Jotwell &app, DWORD thread, NoteFinder &notes, int cycles, int *index,
                   Growth *growth) {
    for (int i = 1; i <= cycles; ++i) {
        if (!takeNote(app, thread, notes, ++*index, soakText(i), false))
            return false;
        if (i == std::min(200, cycles)) {
            Sleep(1000);
            growth->before = objectsOf(app);
        }
        if (i % 100 == 0 || i == cycles)
            progress("cycles %d/%d", i, cycles);
    }
    Sleep(1000);
    growth->after = objectsOf(app);
    return true;
}

void memoryRows(const Growth &growth, int cycles, std::vector<Row> *rows) {
    const int first = std::min(200, cycles);
    const std::string span = format("after %d -> after %d notes", first, cycles);
    const double grown = static_cast<double>(growth.after.memory.bytes) /
                         static_cast<double>(growth.before.memory.bytes);
    rows->push_back({"private bytes", span + ", " + growth.after.memory.method, 0,
                     format("%lld -> %lld (%+.2f %%)", growth.before.memory.bytes,
                            growth.after.memory.bytes, (grown - 1) * 100),
                     "", "", "within 1 %", verdict(grown <= 1.01)});
    auto countRow = [&](const char *name, const Count &before, const Count &after) {
        const bool read = before.value >= 0 && after.value >= 0;
        return Row{name,        span + ", " + after.method,
                   0,           format("%ld -> %ld", before.value, after.value),
                   "",          "",
                   "unchanged", read ? verdict(before.value == after.value) : "not read"};
    };
    rows->push_back(countRow("gdi objects", growth.before.gdi, growth.after.gdi));
    rows->push_back(countRow("user objects", growth.before.user, growth.after.user));
}

// Notes through the real editor in one run of Jotwell: the hotkey, the text, Esc; each note
// is found on disk byte for byte. Prints the program's objects and memory as it goes.
bool soak(int notes) {
    Jotwell app;
    const std::string folder = app.folder / "notes";
    if (!startWithNotes(app, folder))
        return false;
    const DWORD thread = GetWindowThreadProcessId(app.main, nullptr);
    NoteFinder finder(folder);
    const int total = notes + std::max(1, notes / 10), step = std::max(1, total / 10);
    const double started = nowMs();
    long long bytes = 0;
    std::printf("soak: before: %s\n", figures(app).c_str());
    for (int i = 1; i <= total; ++i) {
        const std::string text = i <= notes ? soakText(i) : format("short %d", i);
        if (!takeNote(app, thread, finder, i, text, i > notes))
            return false;
        bytes += static_cast<long long>(text.size());
        if (i % step == 0)
            std::printf("soak: note %d at %.0f s: %s\n", i, (nowMs() - started) / 1000,
                        figures(app).c_str());
        std::fflush(stdout);
    }
    std::printf("soak: %d notes (%d mixed, %d short; %lld bytes) in %.0f s, each found byte for "
                "byte\n",
                total, notes, total - notes, bytes, (nowMs() - started) / 1000);
    PostMessageA(app.main, WM_COMMAND, IDM_QUIT, 0);
    return app.waitForExit() == 0 || failed("jotwell.exe did not quit with exit code 0");
}

} // namespace bench
