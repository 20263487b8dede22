// What every measurement of the benchmark uses: the clock and its poll, the statistics and
// rows of the table, Jotwell's editor and notes as seen from outside, the floor probe.
#include "bench/bench.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "res/resource.h"

using namespace th;

namespace bench {

void progress(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("bench: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    va_end(args);
}

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

double pollUntil(const std::function<bool()> &condition, double timeoutMs) {
    const double end = nowMs() + timeoutMs;
    for (;;) {
        if (condition())
            return nowMs();
        if (nowMs() > end)
            return -1;
        Sleep(1);
    }
}

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

static std::string ms(double value) {
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

bool NoteFinder::find(const std::string &text) {
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

std::string NoteFinder::today() const {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return root_ + format("\\%04d-%02d\\%02d", now.wYear, now.wMonth, now.wDay);
}

bool startWithNotes(Jotwell &app, const std::string &notesFolder) {
    writeFile(app.folder / "jotwell.ini", iniText(kCtrlAltJ, notesFolder.c_str()));
    return app.start() || failed("jotwell.exe did not start");
}

HANDLE startFloor(const std::string &mode, DWORD *pid) {
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

void endFloor(HANDLE process, HWND window) {
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (!window || WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

} // namespace bench
