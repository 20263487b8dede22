// Open and save: from the hotkey to the editor in front, from Esc to the note on disk,
// each timed in turn with the floors: a window of the probe's own opened on its hotkey, and
// on Esc its text written as Jotwell writes a note and the window closed.
#include "bench/bench.h"

#include "res/resource.h"

using namespace th;

namespace bench {

namespace {

// Types the text into the edit control and, once it is there and the machine has settled,
// presses Esc: the time of the press, or -1 when the text did not arrive.
double typeThenEscape(HWND edit, const std::string &text) {
    typeText(std::wstring(text.begin(), text.end()));
    if (!waitUntil([&] { return windowText(edit) == text; }, static_cast<DWORD>(kTimeoutMs)))
        return -1;
    Sleep(kSettleMs);
    // Else Esc may arrive as Ctrl+Esc, which closes nothing.
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

// The fresh-window floor: Ctrl+Alt+K -> a new tool window with an edit control, in front
// with the focus; the save floor: Esc -> the text durably in the probe's floor-N.txt (N
// counts its notes), that window destroyed. The same text is typed in between as into
// Jotwell's editor.
bool floorWindowCycle(DWORD thread, const TempFolder &folder, int n, int index, double *openMs,
                      double *saveMs) {
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
    const std::string text = format("bench note %d", index);
    const double escaped = typeThenEscape(GetDlgItem(pane, 1), text);
    if (escaped < 0)
        return failed("the typed text did not arrive in the floor's window");
    const double gone = pollUntil([&] { return !IsWindow(pane); });
    if (gone < 0)
        return failed("Esc did not close the floor's window");
    if (readFile(folder / format("floor-%d.txt", n)) != text)
        return failed("the floor's window did not leave its note floor-%d.txt", n);
    *saveMs = gone - escaped;
    Sleep(kSettleMs);
    return true;
}

} // namespace

bool measureOpenSave(const Jotwell &app, DWORD thread, NoteFinder &notes, int reps, int *index,
                     OpenSave *samples) {
    DWORD floorPid = 0;
    const TempFolder floorNotes;
    HANDLE floor = startFloor("window " + floorNotes.path, &floorPid);
    HWND floorWindow = nullptr;
    if (!floor ||
        pollUntil([&] { return (floorWindow = findWindow(floorPid, "JotwellFloor")); }) < 0)
        return failed("the floor's window program did not start");
    const DWORD floorThread = GetWindowThreadProcessId(floorWindow, nullptr);
    // Jotwell and the floor in turn, so that both see the same moments of the machine.
    for (int i = 0; i < reps; ++i) {
        double open = 0, save = 0, openFloor = 0, saveFloor = 0;
        if (!noteCycle(app, thread, notes, ++*index, &open, &save) ||
            !floorWindowCycle(floorThread, floorNotes, i + 1, *index, &openFloor, &saveFloor))
            return false;
        samples->open.push_back(open);
        samples->save.push_back(save);
        samples->openFloor.push_back(openFloor);
        samples->saveFloor.push_back(saveFloor);
        if ((i + 1) % 10 == 0 || i + 1 == reps)
            progress("open and save, and the floor's, %d/%d", i + 1, reps);
    }
    endFloor(floor, floorWindow);
    return true;
}

void openSaveRows(const OpenSave &samples, std::vector<Row> *rows) {
    const Stats open = statsOf(samples.open), save = statsOf(samples.save),
                openFloor = statsOf(samples.openFloor), saveFloor = statsOf(samples.saveFloor);
    // The design makes a window per note: Jotwell should add nothing measurable to what a
    // fresh window costs, and little to writing the same bytes the same way and closing it.
    rows->push_back(timingRow("open", "hotkey -> editor in front, edit control focused, ms", open,
                              "see open/floor", ""));
    rows->push_back(timingRow(
        "open floor", "hotkey -> a new tool window with an edit control in front, focused, ms",
        openFloor, "", ""));
    rows->push_back(
        ratioRow("open/floor", "open / open floor (median; p95 over p95)", open, openFloor,
                 "median <= 1.05, p95 <= 1.10",
                 open.median <= 1.05 * openFloor.median && open.p95 <= 1.10 * openFloor.p95));
    rows->push_back(timingRow("save", "Esc -> note file complete, editor destroyed, ms", save,
                              "see save/floor", ""));
    rows->push_back(timingRow("save floor",
                              "Esc -> its text in a new file (temporary name, flushed; a record "
                              "flushed; renamed and flushed; the record deleted), that window "
                              "destroyed, ms",
                              saveFloor, "", ""));
    rows->push_back(ratioRow("save/floor", "save / save floor (median; p95 over p95)", save,
                             saveFloor, "median <= 1.10", save.median <= 1.10 * saveFloor.median));
}

} // namespace bench
