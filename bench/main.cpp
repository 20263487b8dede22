// Jotwell's benchmark: the real jotwell.exe driven the way a user drives it,
// timed side by side with what the user would do instead (start Notepad). It
// prints one Markdown table (median, p95 and max of every timing) and writes
// the same figures, with a description of the machine, as CSV. This file holds
// the options, the machine's description, the table, the CSV and the size rows.
//
//   bench [--reps N] [--idle-seconds S] [--cycles C] [--csv PATH] [--win32 PATH]
//   bench --soak N      instead: the soak (N mixed notes, then N / 10 short ones)
//
// It drives the jotwell.exe beside it. --win32 names the i686 jotwell.exe for
// the size row (only measured, never run). Paths may be given in Windows or in
// Unix form. The exit code is 1 when a measurement could not be made (the
// program did not answer), never because a target was missed: the machine may
// simply be slow.
#include "bench/bench.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "res/resource.h"

using namespace th;

namespace bench {

namespace {

constexpr unsigned long long kSizeLimit = 176 * 1024;

struct Options {
    int reps = 50;
    int idleSeconds = 60;
    int cycles = 2000;
    int soak = 0; // --soak N: the soak instead of the timings
    std::string csv;
    std::string win32Exe;
};

std::string g_error;
std::vector<std::pair<std::string, std::string>> g_machine;

std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
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
            format("<= %llu (176 KiB)", kSizeLimit),
            result};
}

// What one run of Jotwell gives, in this order: open and save, idle, then objects and memory
// over many notes.
struct Resident {
    OpenSave openSave;
    Idle idle;
    Growth growth;
};

bool measureResident(const Options &options, Resident *resident) {
    Jotwell app;
    const std::string notesFolder = app.folder / "notes";
    if (!startWithNotes(app, notesFolder))
        return false;
    const DWORD thread = GetWindowThreadProcessId(app.main, nullptr);
    NoteFinder notes(notesFolder);
    int index = 0;
    if (!measureOpenSave(app, thread, notes, options.reps, &index, &resident->openSave) ||
        !measureIdle(app, options.idleSeconds, &resident->idle) ||
        !measureGrowth(app, thread, notes, options.cycles, &index, &resident->growth))
        return false;
    PostMessageA(app.main, WM_COMMAND, IDM_QUIT, 0);
    if (app.waitForExit() != 0)
        return failed("jotwell.exe did not quit with exit code 0");
    return true;
}

std::vector<Row> tableOf(const Options &options, const Starts &starts, const Resident &resident) {
    std::vector<Row> rows;
    openSaveRows(resident.openSave, &rows);
    startRows(starts, statsOf(resident.openSave.open), &rows);
    idleRows(resident.idle, options.idleSeconds, &rows);
    memoryRows(resident.growth, options.cycles, &rows);
    rows.push_back(sizeRow("size win64", ownFolder() + "\\jotwell.exe"));
    rows.push_back(sizeRow("size win32", options.win32Exe));
    return rows;
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
    Starts starts;
    Resident resident;
    if (!measureStarts(options.reps, &starts) || !measureResident(options, &resident))
        return 1;
    const std::string load = loadAverage();
    if (!load.empty())
        describe("load average at end", load);
    const std::vector<Row> rows = tableOf(options, starts, resident);
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

bool failed(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_error = text;
    return false;
}

void describe(const std::string &key, const std::string &value) {
    g_machine.emplace_back(key, value);
}

} // namespace bench

int main(int argc, char **argv) {
    const int code = bench::run(argc, argv);
    if (code != 0)
        std::fprintf(stderr, "bench: error: %s\n", bench::g_error.c_str());
    return code;
}
