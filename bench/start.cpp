// Start: from CreateProcess of jotwell.exe to its loop waiting for input, in turn with the
// start floor and with Notepad, the peer, up to its focused edit control.
#include "bench/bench.h"

#include <cstring>

#include "res/resource.h"

using namespace th;

namespace bench {

namespace {

// The process waits for input in its message loop. Wine's WaitForInputIdle also returns for
// a process that has ended (one whose tray icon was refused ends before its loop), so it
// must still be running.
double inputIdle(HANDLE process) {
    if (WaitForInputIdle(process, static_cast<DWORD>(kTimeoutMs)) != 0)
        return -1;
    const double idle = nowMs();
    return WaitForSingleObject(process, 0) == WAIT_TIMEOUT ? idle : -1;
}

HWND notepadWithFocus(DWORD thread) {
    return activeWithFocus(thread, [](HWND active, HWND focus) {
        return GetParent(focus) == active && lstrcmpiA(className(focus).c_str(), "Edit") == 0;
    });
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
        ready = inputIdle(info.hProcess);
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

// start floor: CreateProcess of a program with Jotwell's imports and manifest -> its
// hidden window exists, its tray icon is added and it waits for input in its message loop.
// Closed, it takes its icon away, as Jotwell does when it quits.
bool floorStartOnce(double *ms) {
    DWORD pid = 0;
    const double created = nowMs();
    HANDLE process = startFloor("start", &pid);
    if (!process)
        return failed("floor.exe could not be started");
    HWND window = nullptr;
    double ready =
        pollUntil([&] { return (window = findWindow(pid, "JotwellFloorStart")) != nullptr; });
    if (ready >= 0)
        ready = inputIdle(process);
    endFloor(process, window);
    if (ready < 0)
        return failed("floor.exe did not come up");
    *ms = ready - created;
    Sleep(kSettleMs);
    return true;
}

} // namespace

bool measureStarts(int reps, Starts *samples) {
    // One folder for every start, as a user starts the one installed copy.
    Jotwell app(iniText(kCtrlAltJ));
    // Interleaved, so that both see the same moments of a noisy machine.
    for (int i = 0; i < reps; ++i) {
        double start = 0, peer = 0, floor = 0;
        if (!startOnce(app, &start) || !peerOnce(&peer) || !floorStartOnce(&floor))
            return false;
        samples->start.push_back(start);
        samples->peer.push_back(peer);
        samples->startFloor.push_back(floor);
        if ((i + 1) % 10 == 0 || i + 1 == reps)
            progress("start, peer and floor %d/%d", i + 1, reps);
    }
    return true;
}

// The peer's rows compare the opening too: what a user would do instead of the hotkey is
// start Notepad.
void startRows(const Starts &samples, const Stats &open, std::vector<Row> *rows) {
    const Stats start = statsOf(samples.start), peer = statsOf(samples.peer),
                startFloor = statsOf(samples.startFloor);
    rows->push_back(timingRow("start", "CreateProcess -> tray icon accepted, main window, ms",
                              start, "see start/peer", ""));
    rows->push_back(timingRow(
        "start floor",
        "CreateProcess -> Jotwell's imports and manifest, a window, a tray icon, the loop, ms",
        startFloor, "", ""));
    rows->push_back(ratioRow("start/floor", "start / start floor (median; p95 over p95)", start,
                             startFloor, "median <= 1.25",
                             start.median <= 1.25 * startFloor.median));
    rows->push_back(
        timingRow("peer", "Notepad: CreateProcess -> edit control focused, ms", peer, "", ""));
    const double openMedian = open.median / peer.median, openP95 = open.p95 / peer.p95;
    const double startMedian = start.median / peer.median, startP95 = start.p95 / peer.p95;
    rows->push_back({"open/peer", "open / peer (median; p95 over p95)", 0, ratio(openMedian),
                     ratio(openP95), "", "<= 0.05 (20x faster)",
                     verdict(openMedian <= 0.05 && openP95 <= 0.05)});
    rows->push_back({"start/peer", "start / peer (median; p95 over p95)", 0, ratio(startMedian),
                     ratio(startP95), "", "<= 0.5",
                     verdict(startMedian <= 0.5 && startP95 <= 0.5)});
}

} // namespace bench
