// Twenty starts of one jotwell.exe at the same moment: exactly one instance
// stays; the others end at once with exit code 0, without a window or a tray
// icon; the one that stays answers its hotkey and its icon and saves notes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/note_driving.h"

using namespace e2e;
using namespace drive;

namespace {

constexpr int kStarts = 20;

// Processes started outside the harness, ended if they still run at the end.
struct Started {
    std::vector<PROCESS_INFORMATION> processes;
    ~Started() {
        for (PROCESS_INFORMATION &p : processes) {
            if (!p.hProcess)
                continue;
            if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
                if (HWND main = findWindowOfProcess(p.dwProcessId, "quillomat", "quillomat"))
                    PostMessageA(main, WM_COMMAND, IDM_QUIT, 0);
                if (WaitForSingleObject(p.hProcess, 3000) != WAIT_OBJECT_0)
                    TerminateProcess(p.hProcess, 99);
            }
            CloseHandle(p.hProcess);
        }
    }
    int running() const {
        int n = 0;
        for (const PROCESS_INFORMATION &p : processes)
            n += p.hProcess && WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT;
        return n;
    }
};

// Starts the executable count times at once: every thread waits for one signal.
void startAtOnce(const std::string &exe, const std::string &folder, Started *started) {
    started->processes.assign(kStarts, PROCESS_INFORMATION{});
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kStarts; ++i)
        threads.emplace_back([&, i] {
            STARTUPINFOA startup{};
            startup.cb = sizeof startup;
            std::string commandLine = "\"" + exe + "\"";
            WaitForSingleObject(go, INFINITE);
            if (CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &started->processes[i]))
                CloseHandle(started->processes[i].hThread);
        });
    Sleep(100);
    SetEvent(go);
    for (std::thread &t : threads)
        t.join();
    CloseHandle(go);
}

TEST(Instances, TwentySimultaneousStartsLeaveOneThatWorks) {
    for (int round = 1; round <= 3; ++round) {
        FakeTray tray;
        JotwellProcess app; // its folder and copy of the program; started here 20 times
        app.writeIni(iniText(kCtrlAltJ, false, ""));
        Started started;
        startAtOnce(app.exePath(), app.folder(), &started);
        for (const PROCESS_INFORMATION &p : started.processes)
            ASSERT_NE(p.hProcess, nullptr) << "round " << round << ": a start failed";

        ASSERT_TRUE(waitUntil([&] { return started.running() <= 1; }, 60000))
            << "round " << round << ": " << started.running() << " still run";
        Sleep(1500); // a late second instance would show itself now
        ASSERT_EQ(started.running(), 1) << "round " << round;
        const PROCESS_INFORMATION *winner = nullptr;
        int windows = 0;
        for (const PROCESS_INFORMATION &p : started.processes) {
            windows += findWindowOfProcess(p.dwProcessId, "quillomat", "quillomat") != nullptr;
            if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
                winner = &p;
                continue;
            }
            DWORD code = STILL_ACTIVE;
            GetExitCodeProcess(p.hProcess, &code);
            EXPECT_EQ(code, 0u) << "round " << round << ": pid " << p.dwProcessId;
        }
        ASSERT_NE(winner, nullptr);
        EXPECT_EQ(windows, 1) << "round " << round << ": main windows";
        EXPECT_EQ(tray.adds(), 1) << "round " << round << ": tray icons added";

        // The one that stayed works: its hotkey and its icon open the editor.
        HWND main = findWindowOfProcess(winner->dwProcessId, "quillomat", "quillomat");
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(ctrlAltJTaken(5000)) << "round " << round << ": no hotkey";
        for (bool byHotkey : {true, false}) {
            if (byHotkey) {
                pressKeys({VK_CONTROL, VK_MENU, 'J'});
            } else {
                mouseMove(500, 400);
                SendNotifyMessageA(main, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONUP);
            }
            HWND editor = nullptr;
            ASSERT_TRUE(waitUntil([&] {
                editor = findWindowOfProcess(winner->dwProcessId, "JotwellPane");
                return editor && GetForegroundWindow() == editor;
            })) << "round "
                << round << (byHotkey ? ": hotkey" : ": tray");
            ASSERT_TRUE(typeInto(editor, byHotkey ? L"一つだけ hotkey" : L"一つだけ tray"));
            pressKey(VK_ESCAPE);
            ASSERT_TRUE(waitUntil([&] { return !IsWindow(editor); })) << "round " << round;
        }
        const std::vector<std::string> notes = app.notes();
        ASSERT_EQ(notes.size(), 2u) << "round " << round;
        std::vector<std::string> texts;
        for (const std::string &note : notes)
            texts.push_back(readFileBytes(app.folder() + "\\" + note));
        std::sort(texts.begin(), texts.end());
        EXPECT_EQ(texts,
                  (std::vector<std::string>{sjisOf(L"一つだけ hotkey"), sjisOf(L"一つだけ tray")}))
            << "round " << round;

        PostMessageA(main, WM_COMMAND, IDM_QUIT, 0);
        EXPECT_EQ(WaitForSingleObject(winner->hProcess, 10000), WAIT_OBJECT_0);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(winner->hProcess, &code);
        EXPECT_EQ(code, 0u) << "round " << round << ": the one that stayed";
    }
}

} // namespace
