// What the benchmark's files share: its failures and progress, the clock and its poll, the
// statistics and rows of the table, Jotwell's editor and notes, the floor probe, and what
// each file measures.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/sjis.h" // JOTWELL_PRINTF_LIKE
#include "tests/harness.h"

namespace bench {

constexpr double kTimeoutMs = 15000;
// A user does not press the next key within milliseconds of the last window
// change; neither does the benchmark, so that each timing starts from rest.
constexpr DWORD kSettleMs = 100;

// Keeps the reason why a measurement could not be made, printed at the exit; returns false.
bool failed(const char *format, ...) JOTWELL_PRINTF_LIKE(1, 2);
// A line on stderr, so that the log of a long run shows how far it has come.
void progress(const char *format, ...) JOTWELL_PRINTF_LIKE(1, 2);
std::string format(const char *pattern, ...) JOTWELL_PRINTF_LIKE(1, 2);
// A line of the machine's description, printed above the table and written to the CSV.
void describe(const std::string &key, const std::string &value);

double nowMs();
// Checks the condition as often as Sleep(1) wakes up, which keeps the
// benchmark off the CPU that the measured program needs. Returns the time at
// which the condition was seen to hold, or a negative value after the timeout.
double pollUntil(const std::function<bool()> &condition, double timeoutMs = kTimeoutMs);

struct Stats {
    size_t n = 0;
    double median = 0, p95 = 0, max = 0;
};
Stats statsOf(std::vector<double> samples);

struct Row {
    std::string name, measure;
    size_t n = 0;
    std::string median, p95, max, target, result;
};
std::string ratio(double value);
std::string verdict(bool met);
Row timingRow(const char *name, const char *measure, const Stats &s, const std::string &target,
              const std::string &result);
// A ratio row: Jotwell's figure over the floor's, of the medians and of the p95s.
Row ratioRow(const char *name, const char *measure, const Stats &jotwell, const Stats &floor,
             const char *target, bool met);

// The thread's active window, when it is the foreground window, is visible and
// holds the focus where focusOk says it belongs.
HWND activeWithFocus(DWORD thread, const std::function<bool(HWND active, HWND focus)> &focusOk);
HWND editorWithFocus(DWORD thread);

// Finds the note file that holds a given text among the notes of today that it
// has not matched before. Notes are written under a temporary name and renamed,
// so a ".txt" file is either whole or absent.
class NoteFinder {
  public:
    explicit NoteFinder(std::string root) : root_(std::move(root)) {}
    bool find(const std::string &text);

  private:
    std::string today() const;

    std::string root_;
    std::string lastDay_;
    std::set<std::string> seen_;
};

// Jotwell with its hotkey, the input method off and its notes in notesFolder, started.
bool startWithNotes(th::Jotwell &app, const std::string &notesFolder);

// The floor probe (floor.exe beside this program) in one of its modes; null on failure.
HANDLE startFloor(const std::string &mode, DWORD *pid = nullptr);
// Closes the window given (so that the probe cleans up after itself) and waits for the end;
// ends the probe when it will not.
void endFloor(HANDLE process, HWND window = nullptr);

// open_save.cpp: the editor opened and a note saved, and the fresh-window and save floors.
struct OpenSave {
    std::vector<double> open, save;
    std::vector<double> openFloor, saveFloor; // the platform's, at the same moments
};
// index counts the notes taken in this run of Jotwell, so that each text is new.
bool measureOpenSave(const th::Jotwell &app, DWORD thread, NoteFinder &notes, int reps, int *index,
                     OpenSave *samples);
void openSaveRows(const OpenSave &samples, std::vector<Row> *rows);

// start.cpp: Jotwell's start, the start floor and Notepad's, the peer.
struct Starts {
    std::vector<double> start, peer;
    std::vector<double> startFloor; // the platform's, at the same moments
};
bool measureStarts(int reps, Starts *samples);
void startRows(const Starts &samples, const Stats &open, std::vector<Row> *rows);

// idle.cpp: CPU time while nothing touches Jotwell, and the idle floor's.
struct Idle {
    double cpuPerMinute = -1, floorPerMinute = -1;
    const char *method = "";
};
bool measureIdle(const th::Jotwell &app, int seconds, Idle *idle);
void idleRows(const Idle &idle, int seconds, std::vector<Row> *rows);

// memory.cpp: objects and memory over many notes, and the soak.
struct Count {
    long value = -1;
    const char *method = "";
};
struct Memory {
    long long bytes = -1;
    const char *method = "";
};
struct Objects {
    Count gdi, user;
    Memory memory;
};
struct Growth {
    Objects before, after; // after the first 200 notes, after all of them
};
bool measureGrowth(const th::Jotwell &app, DWORD thread, NoteFinder &notes, int cycles, int *index,
                   Growth *growth);
void memoryRows(const Growth &growth, int cycles, std::vector<Row> *rows);
bool soak(int notes);

} // namespace bench
