// Jotwell's benchmark: the real jotwell.exe driven the way a user drives it,
// timed side by side with what the user would do instead (start Notepad). It
// prints one Markdown table (median, p95 and max of every timing) and writes
// the same figures, with a description of the machine, as CSV.
//
//   bench [--reps N] [--idle-seconds S] [--cycles C] [--csv PATH] [--win32 PATH]
//   bench --soak N      instead: the soak (N mixed notes, then N / 10 short ones)
//
// It drives the jotwell.exe beside it. --win32
// names the i686 jotwell.exe for the size row (only measured, never run).
// Paths may be given in Windows or in Unix form. The exit code is 1 when a
// measurement could not be made (the program did not answer), never because a
// target was missed: the machine may simply be slow.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "res/resource.h"
#include "support/sjis.h"
#include "tests/harness.h"

using namespace th;

namespace {

constexpr double kTimeoutMs = 15000;
// A user does not press the next key within milliseconds of the last window
// change; neither does the benchmark, so that each timing starts from rest.
constexpr DWORD kSettleMs = 100;
constexpr unsigned long long kSizeLimit = 200 * 1024;

struct Options {
    int reps = 50;
    int idleSeconds = 60;
    int cycles = 2000;
    int soak = 0; // --soak N: the soak instead of the timings
    std::string csv;
    std::string win32Exe;
};

std::string g_error;

bool failed(const char *format, ...) JOTWELL_PRINTF_LIKE(1, 2);
bool failed(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_error = text;
    return false;
}

void progress(const char *format, ...) JOTWELL_PRINTF_LIKE(1, 2);
void progress(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("bench: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    va_end(args);
}

std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string format(const char *pattern, ...) JOTWELL_PRINTF_LIKE(1, 2);
std::string format(const char *pattern, ...) {
    char text[256];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

double nowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerMs;
}

// Checks the condition as often as Sleep(1) wakes up, which keeps the
// benchmark off the CPU that the measured program needs. Returns the time at
// which the condition was seen to hold, or a negative value after the timeout.
double pollUntil(const std::function<bool()> &condition, double timeoutMs = kTimeoutMs) {
    const double end = nowMs() + timeoutMs;
    for (;;) {
        if (condition())
            return nowMs();
        if (nowMs() > end)
            return -1;
        Sleep(1);
    }
}

struct Stats {
    size_t n = 0;
    double median = 0, p95 = 0, max = 0;
};

// p95 by nearest rank: the smallest sample that at least 95 % of the samples
// do not exceed (the 48th of 50).
Stats statsOf(std::vector<double> samples) {
    Stats s;
    s.n = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const size_t rank = static_cast<size_t>(std::ceil(0.95 * static_cast<double>(n)));
    s.p95 = samples[std::max<size_t>(rank, 1) - 1];
    s.max = samples.back();
    return s;
}

std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The thread's active window, when it is the foreground window, is visible and
// holds the focus where focusOk says it belongs.
HWND activeWithFocus(DWORD thread, const std::function<bool(HWND active, HWND focus)> &focusOk) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(thread, &gui) || !gui.hwndActive || !gui.hwndFocus)
        return nullptr;
    if (gui.hwndActive != GetForegroundWindow() || !IsWindowVisible(gui.hwndActive))
        return nullptr;
    return focusOk(gui.hwndActive, gui.hwndFocus) ? gui.hwndActive : nullptr;
}

HWND editorWithFocus(DWORD thread) {
    return activeWithFocus(thread, [](HWND active, HWND focus) {
        return focus == GetDlgItem(active, IDC_NOTE_EDIT) && className(active) == "JotwellPane";
    });
}

HWND notepadWithFocus(DWORD thread) {
    return activeWithFocus(thread, [](HWND active, HWND focus) {
        return GetParent(focus) == active && lstrcmpiA(className(focus).c_str(), "Edit") == 0;
    });
}

// Finds the note file that holds a given text among the notes of today that it
// has not matched before. Notes are written under a temporary name and renamed,
// so a ".txt" file is either whole or absent.
class NoteFinder {
  public:
    explicit NoteFinder(std::string root) : root_(std::move(root)) {}

    bool find(const std::string &text) {
        for (const std::string &day : {lastDay_, today()}) {
            if (day.empty())
                continue;
            lastDay_ = day;
            WIN32_FIND_DATAA data;
            HANDLE search = FindFirstFileA((day + "\\*.txt").c_str(), &data);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            bool found = false;
            do {
                const std::string path = day + "\\" + data.cFileName;
                if (seen_.count(path) || readFile(path) != text)
                    continue;
                seen_.insert(path);
                found = true;
            } while (!found && FindNextFileA(search, &data));
            FindClose(search);
            if (found)
                return true;
        }
        return false;
    }

  private:
    std::string today() const {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return root_ + format("\\%04d-%02d\\%02d", now.wYear, now.wMonth, now.wDay);
    }

    std::string root_;
    std::string lastDay_;
    std::set<std::string> seen_;
};

// Wine now and then leaves Ctrl or Alt of the last chord down in Jotwell's own keyboard
// state (its key-up went to another queue); Esc then arrives as Ctrl+Esc, which closes
// nothing. Key-ups alone put that right and type nothing.
void releaseModifiers() {
    std::array<INPUT, 3> ups{};
    const std::array<WORD, 3> keys{VK_CONTROL, VK_MENU, VK_SHIFT};
    for (std::size_t k = 0; k < ups.size(); ++k) {
        ups[k].type = INPUT_KEYBOARD;
        ups[k].ki.wVk = keys[k];
        ups[k].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(ups.size()), ups.data(), sizeof(INPUT));
}

// Types the text into the edit control and, once it is there and the machine has settled,
// presses Esc: the time of the press, or -1 when the text did not arrive.
double typeThenEscape(HWND edit, const std::string &text) {
    typeText(std::wstring(text.begin(), text.end()));
    if (!waitUntil([&] { return windowText(edit) == text; }, static_cast<DWORD>(kTimeoutMs)))
        return -1;
    Sleep(kSettleMs);
    releaseModifiers();
    const double escaped = nowMs();
    pressKeys({VK_ESCAPE});
    return escaped;
}

// One note, as a user takes it: the hotkey, a few typed words, Esc.
//   open: SendInput of the hotkey -> the editor is the foreground window with
//         the focus in its edit control;
//   save: SendInput of Esc -> the editor is gone and the note file holds the
//         text. The editor writes the file before it is destroyed, so the
//         file is looked for once the window is gone.
bool noteCycle(const Jotwell &app, DWORD thread, NoteFinder &notes, int index, double *openMs,
               double *saveMs) {
    if (app.editor())
        return failed("an editor was open before the hotkey");
    HWND editor = nullptr;
    const double pressed = nowMs();
    pressKeys({VK_CONTROL, VK_MENU, 'J'});
    const double opened = pollUntil([&] { return (editor = editorWithFocus(thread)) != nullptr; });
    if (opened < 0)
        return failed("the hotkey did not bring up the editor with the focus in its edit control");
    *openMs = opened - pressed;

    const std::string text = format("bench note %d", index);
    const double escaped = typeThenEscape(GetDlgItem(editor, IDC_NOTE_EDIT), text);
    if (escaped < 0)
        return failed("the typed text did not arrive in the editor");
    // Gone: destroyed (or, in a build that keeps its editor between notes, hidden).
    const double gone = pollUntil([&] { return !IsWindow(editor) || !IsWindowVisible(editor); });
    if (gone < 0)
        return failed("Esc did not close the editor");
    const double saved = notes.find(text) ? gone : pollUntil([&] { return notes.find(text); });
    if (saved < 0)
        return failed("the note \"%s\" was not found on disk", text.c_str());
    *saveMs = saved - escaped;
    Sleep(kSettleMs);
    return true;
}

// start: CreateProcess of jotwell.exe -> its main window exists and its
// creation is over (tray icon accepted, hotkey registered, loop waiting for
// input). The window is visible to others from the start of its creation, so
// the process must also have gone input-idle.
bool startOnce(const Jotwell &app, double *ms) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::string exe = app.folder / "Jotwell.EXE";
    std::string commandLine = "\"" + exe + "\"";
    const double created = nowMs();
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        app.folder.path.c_str(), &startup, &info))
        return failed("jotwell.exe could not be started (error %lu)", GetLastError());
    CloseHandle(info.hThread);
    HWND mainWindow = nullptr;
    // By class only: asking for the title would send the window a message in
    // the middle of its creation.
    double ready = pollUntil(
        [&] { return (mainWindow = findWindow(info.dwProcessId, "quillomat")) != nullptr; });
    if (ready >= 0)
        ready = WaitForInputIdle(info.hProcess, static_cast<DWORD>(kTimeoutMs)) == 0 ? nowMs() : -1;
    if (mainWindow)
        PostMessageA(mainWindow, WM_COMMAND, IDM_QUIT, 0);
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hProcess);
    if (ready < 0)
        return failed("jotwell.exe did not come up with its main window");
    *ms = ready - created;
    Sleep(kSettleMs);
    return true;
}

// peer: CreateProcess of the system's Notepad -> its edit control has the
// focus in the foreground window. Notepad is ended by termination (it holds
// no text, and this process started it).
bool peerOnce(double *ms) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length > MAX_PATH - 16)
        return failed("no system folder");
    std::strcat(path, "\\notepad.exe");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    char commandLine[] = "notepad.exe";
    const double created = nowMs();
    if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return failed("%s could not be started (error %lu)", path, GetLastError());
    const double ready = pollUntil([&] { return notepadWithFocus(info.dwThreadId) != nullptr; });
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (ready < 0)
        return failed("Notepad's edit control did not get the focus");
    *ms = ready - created;
    Sleep(kSettleMs);
    return true;
}

// Shift-JIS to UTF-8, as Linux shows Wine's command lines.
std::string utf8Of(const std::string &sjis) {
    std::wstring wide(sjis.size(), L'\0');
    wide.resize(
        static_cast<size_t>(MultiByteToWideChar(932, 0, sjis.data(), static_cast<int>(sjis.size()),
                                                &wide[0], static_cast<int>(wide.size()))));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                            static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

std::string lowerAscii(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The floor probe (floor.exe beside this program) in one of its modes; null on failure.
HANDLE startFloor(const char *mode, DWORD *pid = nullptr) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + ownFolder() + "\\floor.exe\" " + mode;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    if (pid)
        *pid = info.dwProcessId;
    return info.hProcess;
}

void endFloor(HANDLE process) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

// start floor: CreateProcess of a program with Jotwell's imports and manifest -> its
// hidden window exists and it waits for input in its message loop.
bool floorStartOnce(double *ms) {
    DWORD pid = 0;
    const double created = nowMs();
    HANDLE process = startFloor("start", &pid);
    if (!process)
        return failed("floor.exe could not be started");
    double ready = pollUntil([&] { return findWindow(pid, "JotwellFloorStart") != nullptr; });
    if (ready >= 0)
        ready = WaitForInputIdle(process, static_cast<DWORD>(kTimeoutMs)) == 0 ? nowMs() : -1;
    endFloor(process);
    if (ready < 0)
        return failed("floor.exe did not come up");
    *ms = ready - created;
    Sleep(kSettleMs);
    return true;
}

// The fresh-window floor: Ctrl+Alt+K -> a new tool window with an edit control, in front
// with the focus; the close floor: Esc -> that window destroyed. The same text is typed
// in between as into Jotwell's editor.
bool floorWindowCycle(DWORD thread, int index, double *openMs, double *closeMs) {
    HWND pane = nullptr;
    const double pressed = nowMs();
    pressKeys({VK_CONTROL, VK_MENU, 'K'});
    const double opened = pollUntil([&] {
        return (pane = activeWithFocus(thread, [](HWND active, HWND focus) {
                    return GetParent(focus) == active && className(active) == "JotwellFloorPane";
                })) != nullptr;
    });
    if (opened < 0)
        return failed("the floor's window did not come up with the focus");
    *openMs = opened - pressed;
    const double escaped = typeThenEscape(GetDlgItem(pane, 1), format("bench note %d", index));
    if (escaped < 0)
        return failed("the typed text did not arrive in the floor's window");
    const double gone = pollUntil([&] { return !IsWindow(pane); });
    if (gone < 0)
        return failed("Esc did not close the floor's window");
    *closeMs = gone - escaped;
    Sleep(kSettleMs);
    return true;
}

// The Linux process id of a Wine process, found by a unique part of its
// command line; 0 when this is not Wine on Linux.
unsigned long hostProcessId(const std::string &commandLinePart) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &data);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long found = 0;
    const std::string part = lowerAscii(utf8Of(commandLinePart));
    do {
        char *end = nullptr;
        const unsigned long pid = std::strtoul(data.cFileName, &end, 10);
        if (pid == 0 || *end != '\0')
            continue;
        std::string line = readFile(format("Z:\\proc\\%lu\\cmdline", pid));
        std::replace(line.begin(), line.end(), '\0', ' ');
        if (lowerAscii(line).find(part) != std::string::npos)
            found = pid;
    } while (!found && FindNextFileA(search, &data));
    FindClose(search);
    return found;
}

struct CpuReading {
    double ms = -1;
    const char *method = "";
};

// CPU time of every thread of the process. Under Wine, GetProcessTimes of
// another process answers with the caller's own times and GetThreadTimes
// counts in 10 ms ticks, too coarse for an idle budget of 10 ms a minute, so
// the scheduler's nanosecond account of the Linux threads is read when there
// is one.
CpuReading cpuTime(DWORD pid, unsigned long hostPid) {
    CpuReading reading;
    if (hostPid) {
        WIN32_FIND_DATAA data;
        const std::string tasks = format("Z:\\proc\\%lu\\task", hostPid);
        HANDLE search = FindFirstFileA((tasks + "\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            unsigned long long ns = 0;
            bool any = false;
            do {
                if (data.cFileName[0] == '.')
                    continue;
                const std::string stat = readFile(tasks + "\\" + data.cFileName + "\\schedstat");
                unsigned long long onCpu = 0;
                if (std::sscanf(stat.c_str(), "%llu", &onCpu) == 1) {
                    ns += onCpu;
                    any = true;
                }
            } while (FindNextFileA(search, &data));
            FindClose(search);
            if (any) {
                reading.ms = static_cast<double>(ns) / 1e6;
                reading.method = "Linux schedstat of its threads";
                return reading;
            }
        }
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return reading;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    unsigned long long ticks = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        FILETIME created, exited, kernel, user;
        if (thread && GetThreadTimes(thread, &created, &exited, &kernel, &user))
            ticks +=
                (static_cast<unsigned long long>(kernel.dwHighDateTime) << 32 |
                 kernel.dwLowDateTime) +
                (static_cast<unsigned long long>(user.dwHighDateTime) << 32 | user.dwLowDateTime);
        if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    reading.ms = static_cast<double>(ticks) / 1e4;
    reading.method = "GetThreadTimes of its threads";
    return reading;
}

unsigned long long processTicks(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<unsigned long long>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
           (static_cast<unsigned long long>(user.dwHighDateTime) << 32 | user.dwLowDateTime);
}

void describe(const std::string &key, const std::string &value);

// Why the idle row does not use GetProcessTimes, where that is the reason.
void describeProcessTimes(HANDLE other) {
    const unsigned long long ours = processTicks(GetCurrentProcess());
    if (ours != 0 && processTicks(other) == ours)
        describe("GetProcessTimes", "answers for another process with the caller's own times "
                                    "(so the idle row reads the threads instead)");
}

struct Count {
    long value = -1;
    const char *method = "";
};

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

struct Memory {
    long long bytes = -1;
    const char *method = "";
};

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

std::vector<std::pair<std::string, std::string>> g_machine;

void describe(const std::string &key, const std::string &value) {
    g_machine.emplace_back(key, value);
}

std::string registryText(HKEY root, const char *key, const char *name) {
    char value[256] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "";
    std::string text = value;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string loadAverage() {
    std::string text = readFile("Z:\\proc\\loadavg");
    const size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return cut == std::string::npos ? "" : text.substr(0, cut);
}

void describeMachine() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    describe("date", format("%04d-%02d-%02d %02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                            now.wMinute));
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    describe("cpu", format("%s, %lu logical processors",
                           registryText(HKEY_LOCAL_MACHINE,
                                        "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                                        "ProcessorNameString")
                               .c_str(),
                           system.dwNumberOfProcessors));
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    GlobalMemoryStatusEx(&memory);
    describe("memory", format("%.1f GiB", static_cast<double>(memory.ullTotalPhys) / (1 << 30)));
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    using VersionProc = const char *(CDECL *)();
    using HostProc = void(CDECL *)(const char **, const char **);
    auto wineVersion = reinterpret_cast<VersionProc>(
        reinterpret_cast<void *>(GetProcAddress(ntdll, "wine_get_version")));
    auto hostVersion = reinterpret_cast<HostProc>(
        reinterpret_cast<void *>(GetProcAddress(ntdll, "wine_get_host_version")));
    if (wineVersion && hostVersion) {
        const char *system = "", *release = "";
        hostVersion(&system, &release);
        describe("system", format("Wine %s (64-bit) on %s %s", wineVersion(), system, release));
    } else {
        describe("system", "Windows " + registryText(HKEY_LOCAL_MACHINE,
                                                     "SOFTWARE\\Microsoft\\Windows NT\\"
                                                     "CurrentVersion",
                                                     "CurrentBuild"));
    }
    describe("display",
             format("%dx%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    describe("code page", format("%u", GetACP()));
    // The resolution of every timing: how long Sleep(1) in the polls lasts.
    std::vector<double> sleeps;
    for (int i = 0; i < 50; ++i) {
        const double before = nowMs();
        Sleep(1);
        sleeps.push_back(nowMs() - before);
    }
    describe("poll interval", format("%.2f ms (median Sleep(1))", statsOf(sleeps).median));
    const std::string load = loadAverage();
    if (!load.empty())
        describe("load average at start", load);
}

bool parseOptions(int argc, char **argv, Options *options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            return failed("%s needs a value", name.c_str());
        const char *value = argv[++i];
        int *number = name == "--reps"           ? &options->reps
                      : name == "--idle-seconds" ? &options->idleSeconds
                      : name == "--cycles"       ? &options->cycles
                      : name == "--soak"         ? &options->soak
                                                 : nullptr;
        if (number) {
            char *end = nullptr;
            const long parsed = std::strtol(value, &end, 10);
            if (*end != '\0' || parsed < 1 || parsed > 100000)
                return failed("%s wants a whole number from 1, not \"%s\"", name.c_str(), value);
            *number = static_cast<int>(parsed);
        } else if (name == "--csv") {
            options->csv = windowsPath(value);
        } else if (name == "--win32") {
            options->win32Exe = windowsPath(value);
        } else {
            return failed("unknown option %s (options: --reps N --idle-seconds S --cycles C "
                          "--csv PATH --win32 PATH --soak N)",
                          name.c_str());
        }
    }
    return true;
}

struct Row {
    std::string name, measure;
    size_t n = 0;
    std::string median, p95, max, target, result;
};

std::string ms(double value) {
    return format("%.1f", value);
}

std::string ratio(double value) {
    return format("%.4f (1/%.1f)", value, 1 / value);
}

std::string verdict(bool met) {
    return met ? "met" : "MISSED";
}

Row timingRow(const char *name, const char *measure, const Stats &s, const std::string &target,
              const std::string &result) {
    return {name, measure, s.n, ms(s.median), ms(s.p95), ms(s.max), target, result};
}

std::string csvField(const std::string &text) {
    if (text.find_first_of(",\"") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

void printTable(const std::vector<Row> &rows) {
    std::printf("Machine:\n\n");
    for (const auto &[key, value] : g_machine)
        std::printf("- %s: %s\n", key.c_str(), value.c_str());
    std::printf("\n| row | measure | n | median | p95 | max | target | result |\n"
                "|---|---|---|---|---|---|---|---|\n");
    for (const Row &r : rows)
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", r.name.c_str(),
                    r.measure.c_str(), r.n ? format("%zu", r.n).c_str() : "", r.median.c_str(),
                    r.p95.c_str(), r.max.c_str(), r.target.c_str(), r.result.c_str());
    std::fflush(stdout);
}

bool writeCsv(const std::string &path, const std::vector<Row> &rows) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::fputs("row,measure,n,median,p95,max,target,result\r\n", file);
    for (const Row &r : rows)
        std::fprintf(file, "%s,%s,%zu,%s,%s,%s,%s,%s\r\n", csvField(r.name).c_str(),
                     csvField(r.measure).c_str(), r.n, csvField(r.median).c_str(),
                     csvField(r.p95).c_str(), csvField(r.max).c_str(), csvField(r.target).c_str(),
                     csvField(r.result).c_str());
    for (const auto &[key, value] : g_machine)
        std::fprintf(file, "machine,%s,,%s,,,,\r\n", csvField(key).c_str(),
                     csvField(value).c_str());
    return std::fclose(file) == 0;
}

long long fileSize(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

Row sizeRow(const char *name, const std::string &path) {
    const long long bytes = fileSize(path);
    const std::string result =
        bytes < 0 ? "-" : verdict(static_cast<unsigned long long>(bytes) <= kSizeLimit);
    return {name,
            "jotwell.exe, bytes",
            0,
            bytes < 0 ? "not built" : format("%lld", bytes),
            "",
            "",
            format("<= %llu (200 KiB)", kSizeLimit),
            result};
}

struct Samples {
    std::vector<double> open, save, start, peer;
    std::vector<double> openFloor, closeFloor, startFloor; // the platform's, at the same moments
};

bool measureStartAndPeer(const Options &options, Samples *samples) {
    // One folder for every start, as a user starts the one installed copy.
    Jotwell app(iniText(kCtrlAltJ));
    // Interleaved, so that both see the same moments of a noisy machine.
    for (int i = 0; i < options.reps; ++i) {
        double start = 0, peer = 0, floor = 0;
        if (!startOnce(app, &start) || !peerOnce(&peer) || !floorStartOnce(&floor))
            return false;
        samples->start.push_back(start);
        samples->peer.push_back(peer);
        samples->startFloor.push_back(floor);
        if ((i + 1) % 10 == 0 || i + 1 == options.reps)
            progress("start, peer and floor %d/%d", i + 1, options.reps);
    }
    return true;
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

struct Objects {
    Count gdi, user;
    Memory memory;
};

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

struct Resident {
    double idleCpuPerMinute = -1, idleFloorPerMinute = -1;
    const char *cpuMethod = "";
    Objects before, after;
};

bool measureResident(const Options &options, Samples *samples, Resident *resident) {
    Jotwell app;
    const std::string notesFolder = app.folder / "notes";
    writeFile(app.folder / "jotwell.ini", iniText(kCtrlAltJ, notesFolder.c_str()));
    if (!app.start())
        return failed("jotwell.exe did not start");
    const DWORD thread = GetWindowThreadProcessId(app.main, nullptr);
    DWORD floorPid = 0;
    HANDLE floor = startFloor("window", &floorPid);
    HWND floorWindow = nullptr;
    if (!floor ||
        pollUntil([&] { return (floorWindow = findWindow(floorPid, "JotwellFloor")); }) < 0)
        return failed("the floor's window program did not start");
    const DWORD floorThread = GetWindowThreadProcessId(floorWindow, nullptr);
    NoteFinder notes(notesFolder);
    int index = 0;
    // Jotwell and the floor in turn, so that both see the same moments of the machine.
    for (int i = 0; i < options.reps; ++i) {
        double open = 0, save = 0, openFloor = 0, closeFloor = 0;
        if (!noteCycle(app, thread, notes, ++index, &open, &save) ||
            !floorWindowCycle(floorThread, index, &openFloor, &closeFloor))
            return false;
        samples->open.push_back(open);
        samples->save.push_back(save);
        samples->openFloor.push_back(openFloor);
        samples->closeFloor.push_back(closeFloor);
        if ((i + 1) % 10 == 0 || i + 1 == options.reps)
            progress("open and save, and the floor's, %d/%d", i + 1, options.reps);
    }
    endFloor(floor);

    describeProcessTimes(app.process);
    // Idle: nothing touches the program or the idle floor beside it; this process sleeps.
    DWORD idlePid = 0;
    HANDLE idle = startFloor("idle", &idlePid);
    if (!idle)
        return failed("the idle floor did not start");
    const unsigned long hostPid =
        hostProcessId(app.folder.path.substr(app.folder.path.find("jotwell-")));
    const unsigned long floorHostPid = hostProcessId("floor.exe idle");
    Sleep(1000);
    progress("idle for %d s", options.idleSeconds);
    const CpuReading before = cpuTime(app.pid, hostPid),
                     floorBefore = cpuTime(idlePid, floorHostPid);
    const double idleStart = nowMs();
    Sleep(static_cast<DWORD>(options.idleSeconds) * 1000);
    const CpuReading after = cpuTime(app.pid, hostPid), floorAfter = cpuTime(idlePid, floorHostPid);
    const double idleMinutes = (nowMs() - idleStart) / 60000.0;
    endFloor(idle);
    if (before.ms < 0 || after.ms < 0 || floorBefore.ms < 0 || floorAfter.ms < 0)
        return failed("the CPU time of jotwell.exe or of the idle floor could not be read");
    resident->idleCpuPerMinute = (after.ms - before.ms) / idleMinutes;
    resident->idleFloorPerMinute = (floorAfter.ms - floorBefore.ms) / idleMinutes;
    resident->cpuMethod = after.method;

    // The leak check: mixed notes (long ones put in whole), measured after the first 200 and at the
    // end.
    for (int i = 1; i <= options.cycles; ++i) {
        if (!takeNote(app, thread, notes, ++index, soakText(i), false))
            return false;
        if (i == std::min(200, options.cycles)) {
            Sleep(1000);
            resident->before = objectsOf(app);
        }
        if (i % 100 == 0 || i == options.cycles)
            progress("cycles %d/%d", i, options.cycles);
    }
    Sleep(1000);
    resident->after = objectsOf(app);
    PostMessageA(app.main, WM_COMMAND, IDM_QUIT, 0);
    if (app.waitForExit() != 0)
        return failed("jotwell.exe did not quit with exit code 0");
    return true;
}

// A ratio row: Jotwell's figure over the floor's, of the medians and of the p95s.
Row ratioRow(const char *name, const char *measure, const Stats &jotwell, const Stats &floor,
             const char *target, bool met) {
    return {name,
            measure,
            0,
            ratio(jotwell.median / floor.median),
            ratio(jotwell.p95 / floor.p95),
            "",
            target,
            verdict(met)};
}

std::vector<Row> tableOf(const Options &options, const Samples &samples, const Resident &resident) {
    const Stats open = statsOf(samples.open), save = statsOf(samples.save),
                start = statsOf(samples.start), peer = statsOf(samples.peer),
                openFloor = statsOf(samples.openFloor), closeFloor = statsOf(samples.closeFloor),
                startFloor = statsOf(samples.startFloor);
    std::vector<Row> rows;
    // The design makes a window per note: Jotwell should add nothing measurable to what a
    // fresh window costs, and saving should cost little more than closing one.
    rows.push_back(timingRow("open", "hotkey -> editor in front, edit control focused, ms", open,
                             "see open/floor", ""));
    rows.push_back(timingRow(
        "open floor", "hotkey -> a new tool window with an edit control in front, focused, ms",
        openFloor, "", ""));
    rows.push_back(
        ratioRow("open/floor", "open / open floor (median; p95 over p95)", open, openFloor,
                 "median <= 1.05, p95 <= 1.10",
                 open.median <= 1.05 * openFloor.median && open.p95 <= 1.10 * openFloor.p95));
    rows.push_back(timingRow("save", "Esc -> note file complete, editor destroyed, ms", save,
                             "see save/floor", ""));
    rows.push_back(
        timingRow("close floor", "Esc -> that window destroyed, ms", closeFloor, "", ""));
    rows.push_back(ratioRow("save/floor", "save / close floor (median; p95 over p95)", save,
                            closeFloor, "median <= 1.25", save.median <= 1.25 * closeFloor.median));
    rows.push_back(timingRow("start", "CreateProcess -> tray icon accepted, main window, ms", start,
                             "see start/peer", ""));
    rows.push_back(timingRow(
        "start floor", "CreateProcess -> Jotwell's imports and manifest, a window, the loop, ms",
        startFloor, "", ""));
    rows.push_back(ratioRow("start/floor", "start / start floor (median; p95 over p95)", start,
                            startFloor, "reported", true));
    rows.push_back(
        timingRow("peer", "Notepad: CreateProcess -> edit control focused, ms", peer, "", ""));
    const double openMedian = open.median / peer.median, openP95 = open.p95 / peer.p95;
    const double startMedian = start.median / peer.median, startP95 = start.p95 / peer.p95;
    rows.push_back({"open/peer", "open / peer (median; p95 over p95)", 0, ratio(openMedian),
                    ratio(openP95), "", "<= 0.05 (20x faster)",
                    verdict(openMedian <= 0.05 && openP95 <= 0.05)});
    rows.push_back({"start/peer", "start / peer (median; p95 over p95)", 0, ratio(startMedian),
                    ratio(startP95), "", "<= 0.5", verdict(startMedian <= 0.5 && startP95 <= 0.5)});
    rows.push_back(
        {"idle cpu",
         format("CPU over %d s idle, ms per minute (%s)", options.idleSeconds, resident.cpuMethod),
         1, format("%.2f", resident.idleCpuPerMinute), "", "", "", ""});
    rows.push_back({"idle floor",
                    "a hidden window, an empty one-second timer, the same minutes, ms per minute",
                    1, format("%.2f", resident.idleFloorPerMinute), "", "", "", ""});
    const double idleRatio = resident.idleCpuPerMinute / resident.idleFloorPerMinute;
    rows.push_back({"idle/floor", "idle cpu / idle floor", 0, format("%.2f", idleRatio), "", "",
                    "<= 1.25", verdict(idleRatio <= 1.25)});
    const int first = std::min(200, options.cycles);
    const std::string cycles = format("after %d -> after %d notes", first, options.cycles);
    const double grown = static_cast<double>(resident.after.memory.bytes) /
                         static_cast<double>(resident.before.memory.bytes);
    rows.push_back({"private bytes", cycles + ", " + resident.after.memory.method, 0,
                    format("%lld -> %lld (%+.2f %%)", resident.before.memory.bytes,
                           resident.after.memory.bytes, (grown - 1) * 100),
                    "", "", "within 1 %", verdict(grown <= 1.01)});
    auto countRow = [&](const char *name, const Count &before, const Count &after) {
        const bool read = before.value >= 0 && after.value >= 0;
        return Row{name,        cycles + ", " + after.method,
                   0,           format("%ld -> %ld", before.value, after.value),
                   "",          "",
                   "unchanged", read ? verdict(before.value == after.value) : "not read"};
    };
    rows.push_back(countRow("gdi objects", resident.before.gdi, resident.after.gdi));
    rows.push_back(countRow("user objects", resident.before.user, resident.after.user));
    rows.push_back(sizeRow("size win64", ownFolder() + "\\jotwell.exe"));
    rows.push_back(sizeRow("size win32", options.win32Exe));
    return rows;
}

// Notes through the real editor in one run of Jotwell: the hotkey, the text, Esc; each note
// is found on disk byte for byte. Prints the program's objects and memory as it goes.
bool soak(int notes) {
    Jotwell app;
    const std::string folder = app.folder / "notes";
    writeFile(app.folder / "jotwell.ini", iniText(kCtrlAltJ, folder.c_str()));
    if (!app.start())
        return failed("jotwell.exe did not start");
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

int run(int argc, char **argv) {
    Options options;
#ifdef JOTWELL_BENCH_CSV
    options.csv = windowsPath(JOTWELL_BENCH_CSV);
#endif
    if (!parseOptions(argc, argv, &options))
        return 2;
    if (GetFileAttributesA((ownFolder() + "\\jotwell.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
        failed("no jotwell.exe beside the benchmark");
        return 1;
    }
    if (options.soak)
        return soak(options.soak) ? 0 : 1;
    describeMachine();
    Samples samples;
    Resident resident;
    if (!measureStartAndPeer(options, &samples) || !measureResident(options, &samples, &resident))
        return 1;
    const std::string load = loadAverage();
    if (!load.empty())
        describe("load average at end", load);
    const std::vector<Row> rows = tableOf(options, samples, resident);
    printTable(rows);
    if (!options.csv.empty() && !writeCsv(options.csv, rows)) {
        failed("%s could not be written", options.csv.c_str());
        return 1;
    }
    if (!options.csv.empty())
        progress("figures written to %s", options.csv.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const int code = run(argc, argv);
    if (code != 0)
        std::fprintf(stderr, "bench: error: %s\n", g_error.c_str());
    return code;
}
