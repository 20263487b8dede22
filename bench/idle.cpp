// Idle: the CPU time of Jotwell's threads while nothing touches it, and over the same
// minutes the idle floor's, a hidden window with an empty one-second timer.
#include "bench/bench.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace th;

namespace bench {

namespace {

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

// Why the idle row does not use GetProcessTimes, where that is the reason.
void describeProcessTimes(HANDLE other) {
    const unsigned long long ours = processTicks(GetCurrentProcess());
    if (ours != 0 && processTicks(other) == ours)
        describe("GetProcessTimes", "answers for another process with the caller's own times "
                                    "(so the idle row reads the threads instead)");
}

} // namespace

bool measureIdle(const Jotwell &app, int seconds, Idle *idle) {
    describeProcessTimes(app.process);
    // Idle: nothing touches the program or the idle floor beside it; this process sleeps.
    DWORD idlePid = 0;
    HANDLE idleFloor = startFloor("idle", &idlePid);
    if (!idleFloor)
        return failed("the idle floor did not start");
    const unsigned long hostPid =
        hostProcessId(app.folder.path.substr(app.folder.path.find("jotwell-")));
    const unsigned long floorHostPid = hostProcessId("floor.exe idle");
    Sleep(1000);
    progress("idle for %d s", seconds);
    const CpuReading before = cpuTime(app.pid, hostPid),
                     floorBefore = cpuTime(idlePid, floorHostPid);
    const double idleStart = nowMs();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const CpuReading after = cpuTime(app.pid, hostPid), floorAfter = cpuTime(idlePid, floorHostPid);
    const double idleMinutes = (nowMs() - idleStart) / 60000.0;
    endFloor(idleFloor);
    if (before.ms < 0 || after.ms < 0 || floorBefore.ms < 0 || floorAfter.ms < 0)
        return failed("the CPU time of jotwell.exe or of the idle floor could not be read");
    idle->cpuPerMinute = (after.ms - before.ms) / idleMinutes;
    idle->floorPerMinute = (floorAfter.ms - floorBefore.ms) / idleMinutes;
    idle->method = after.method;
    return true;
}

void idleRows(const Idle &idle, int seconds, std::vector<Row> *rows) {
    rows->push_back({"idle cpu",
                     format("CPU over %d s idle, ms per minute (%s)", seconds, idle.method), 1,
                     format("%.2f", idle.cpuPerMinute), "", "", "", ""});
    rows->push_back({"idle floor",
                     "a hidden window, an empty one-second timer, the same minutes, ms per minute",
                     1, format("%.2f", idle.floorPerMinute), "", "", "", ""});
    const double idleRatio = idle.cpuPerMinute / idle.floorPerMinute;
    rows->push_back({"idle/floor", "idle cpu / idle floor", 0, format("%.2f", idleRatio), "", "",
                     "<= 1.25", verdict(idleRatio <= 1.25)});
}

} // namespace bench
