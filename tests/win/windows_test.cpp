// Jotwell's windows, dialogs and files in this process: the popup editor, the note store and
// the drafts, the settings file, the About box, the tray icon and the main window. Dialogs
// run here while a second thread works them as a user would.
#include <windows.h>

#include <imm.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <future>
#include <utility>

#include "about/about_dialog.h"
#include "about/link_label.h"
#include "app/main_window.h"
#include "app/run.h"
#include "app/tray.h"
#include "capture/draft.h"
#include "capture/draft_record.h"
#include "capture/note_popup.h"
#include "capture/note_store.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/error_text.h"
#include "support/window.h"
#include "tests/harness.h"
#include "version.h"

using namespace th;

static AppSettings settingsFor(const std::string &folder, std::int32_t hotkey = 0) {
    AppSettings settings{false, hotkey, "", false, 0, false};
    folder.copy(settings.documentFolder, sizeof settings.documentFolder - 1);
    return settings;
}

// An editor as the main window makes one, owned by a hidden window, its notes going below
// a fresh folder's "notes".
struct Editor {
    TempFolder temp;
    const std::string notes = temp / "notes";
    AppSettings settings = settingsFor(notes);
    HWND owner =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND window = nullptr, edit = nullptr;
    explicit Editor(bool imeOn) {
        settings.imeOnAtStartup = imeOn;
        imeSetOpen(owner, false); // the thread's input context, which the edit shares
        window = createNotePopup(owner, &settings);
        edit = GetDlgItem(window, IDC_NOTE_EDIT);
        ShowWindow(window, SW_SHOWNORMAL);
    }
    ~Editor() {
        DestroyWindow(owner);
    }
};

static std::string localTime() { // hhmmss
    char text[8];
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "HHmmss", text, sizeof text);
    return text;
}

// Saved whole as one file under the local time of its close, by its own record: another
// program's WM_CREATE changes nothing. Its text is more than the 30,000 characters an edit takes
// by default, and Japanese being converted, which Esc cancels rather than close the editor (Esc
// where nothing is being converted: the end-to-end test's first way out). An empty editor
// closes with nothing saved. The input method as set.
TEST(Editor, SavesWhatItHoldsUnderTheTimeOfTheClose) {
    Editor empty(false);
    EXPECT_FALSE(imeIsOpen(empty.edit)) << "the input method off, as set";
    SendMessageA(empty.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(!IsWindow(empty.window) && listTree(empty.temp.path).empty())
        << "closed, nothing saved, not even a folder";

    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
    ASSERT_NE(table, nullptr) << "the accelerator table";
    Editor e(true);
    EXPECT_TRUE(imeIsOpen(e.edit)) << "the input method on, as set";
    AppSettings other = settingsFor(e.temp / "other");
    CREATESTRUCTA again{};
    again.lpCreateParams = &other;
    SendMessageA(e.window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&again));
    std::string text;
    while (text.size() < 40000)
        text += "一行のメモ, a line of a note\r\n";
    SendMessageA(e.edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    HIMC context = ImmGetContext(e.edit);
    std::wstring converting = L"かいぎ";
    ASSERT_TRUE(ImmSetCompositionStringW(context, SCS_SETSTR, &converting[0], 6, nullptr, 0));
    ImmReleaseContext(e.edit, context);
    const Undo noEditor{[] { editorWindow = nullptr; }};
    editorWindow = e.window;
    MSG esc{e.edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
    EXPECT_FALSE(TranslateEditorAccelerator(table, &esc)) << "Esc cancels the conversion";
    const std::string before = localTime();
    SendMessageA(e.window, WM_COMMAND, MAKEWPARAM(IDM_CANCEL, 0x1234), 0);
    const std::string after = localTime();
    const std::vector<std::string> tree = listTree(e.notes); // month, day, one note
    ASSERT_EQ(tree.size(), 3u) << "one file for one close";
    const std::string name = tree[2].substr(tree[2].rfind('\\') + 1, 6);
    EXPECT_TRUE(after < before ? name >= before || name <= after : before <= name && name <= after)
        << "named " << name << " between " << before << " and " << after;
    const std::string saved = readFile(e.notes + "\\" + tree[2]);
    EXPECT_TRUE(saved == text + "かいぎ") << saved.size() << " bytes of " << text.size();
}

// Moved to monitors of other DPIs: the frame scaled about its centre, the system font scaled (18
// by 8 pixels at the system's 96 DPI) in height and width, none made at the system's DPI; a DPI
// of 0 changes nothing. The message's rectangle is never read: another program could send any.
// Also: each font made for one goes once the next replaces it, or with the editor.
TEST(Editor, FollowsTheMonitorsDpi) {
    Editor e(false);
    SetWindowPos(e.window, nullptr, 100, 100, 640, 100, SWP_NOZORDER);
    HFONT last = nullptr;
    // the DPI sent, the editor's DPI then, its font's height and width (the system's 18 and 8)
    // clang-format off
    const std::tuple<UINT, int, LONG, LONG> rows[] = {
        {128, 128, 24, 11}, {144, 144, 27, 12}, {0, 144, 27, 12}, {96, 96, 0, 0}, {128, 128, 24, 11}};
    // clang-format on
    for (const auto &[sent, dpi, height, width] : rows) {
        RECT was{}, r{};
        GetWindowRect(e.window, &was);
        SendMessageA(e.window, WM_DPICHANGED, MAKEWPARAM(sent, sent), 1); // points nowhere
        GetWindowRect(e.window, &r);
        EXPECT_TRUE(windowWidth(e.window) == MulDiv(640, dpi, 96) &&
                    windowHeight(e.window) == MulDiv(100, dpi, 96) &&
                    std::abs(r.left + r.right - was.left - was.right) <= 1 &&
                    std::abs(r.top + r.bottom - was.top - was.bottom) <= 1)
            << "scaled about its centre at " << sent;
        const auto font = reinterpret_cast<HFONT>(SendMessageA(e.edit, WM_GETFONT, 0, 0));
        LOGFONTA made{}; // none at the system's DPI: the system's own font
        GetObjectA(font, sizeof made, &made);
        EXPECT_EQ(std::make_pair(made.lfHeight, made.lfWidth), std::make_pair(height, width))
            << sent;
        EXPECT_TRUE(!last || (GetObjectType(last) == 0) == (last != font)) << "deleted if replaced";
        last = font;
    }
    DestroyWindow(e.window);
    EXPECT_EQ(GetObjectType(last), 0u) << "the font deleted with the editor";
}

// Run in a session of its own whose screen has 144 dots per inch (Windows' 150 %), which the
// manifest that Jotwell and these tests share lets them see.
TEST(Dpi, TheEditorIsScaled) {
    Editor e(false);
    EXPECT_TRUE(windowWidth(e.window) == 960 && windowHeight(e.window) == 150)
        << windowWidth(e.window) << "x" << windowHeight(e.window);
}

// The draft's timers, fired here at once: a pause in the typing, or its deadline.
static void draftTimer(const Editor &e, const char *text, UINT_PTR timer = DRAFT_TIMER_ID) {
    SetWindowTextA(e.edit, text);
    SendMessageA(e.window, WM_TIMER, timer, 0);
}

// The file opened for reading, shared only as given, as another program may hold it: a virus
// scanner or a sync tool shares reading alone. (An empty path opens nothing.)
static HANDLE hold(const std::string &path, DWORD share = FILE_SHARE_READ) {
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The last write: 7 May 2024, 09:05:second, local time.
static void setWritten(const std::string &path, WORD second) {
    const SYSTEMTIME local{2024, 5, 2, 7, 9, 5, second, 0};
    FILETIME localTime{}, written{};
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &written);
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
}

// "saved NOTE", or "kept WHERE ERROR" and " for good" when no start tries again.
static void tell(const DraftOutcome &outcome, void *told) {
    static_cast<std::vector<std::string> *>(told)->push_back(
        outcome.saved
            ? "saved " + std::string(outcome.result.path)
            : "kept " + std::string(outcome.kept) + " " + std::to_string(outcome.result.error) +
                  (outcome.again ? "" : " for good"));
}

static std::vector<std::string> recovered(const std::string &root) {
    std::vector<std::string> told;
    recoverDrafts(settingsFor(root), tell, &told);
    return told;
}

// The draft goes to the local folder, beside an earlier run's, never over it, and no notes
// folder is made for it; a link planted where it is first written is never written through; a
// moment's hold is waited for; erasing the text takes the draft away.
TEST(Editor, TheDraftGoesBesideAnEarlierRunsThroughNoLink) {
    const std::string local = localDrafts(), draft = local + "\\~jotwell-draft_2";
    const std::string victim = ownFolder() + "\\victim";
    std::string target = victim.substr(2); // as the machine Wine runs on names it
    std::replace(target.begin(), target.end(), '\\', '/');
    writeFile(victim, "victim");
    startProgram("Z:\\bin\\ln -sf " + target + " ~jotwell-draft_2.tmp", local);
    ASSERT_TRUE(waitUntil([&] { return readFile(draft + ".tmp") == "victim"; }));
    writeFile(local + "\\~jotwell-draft.txt", "an earlier run's");
    Editor e(false);
    draftTimer(e, "typed");
    EXPECT_TRUE(listTree(e.temp.path).empty()) << "a notes folder made for a draft";
    EXPECT_EQ(readFile(victim), "victim") << "written through a planted link";
    // Held as a virus scanner does, by a thread running before the hold starts, for a fifth of
    // the 100 ms Jotwell waits for a file.
    std::promise<void> holding;
    auto held = std::async(std::launch::async, [&] {
        HANDLE file = hold(draft + ".txt");
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        holding.set_value();
        Sleep(20);
        CloseHandle(file);
    });
    holding.get_future().wait();
    draftTimer(e, "a longer text", DRAFT_DEADLINE_TIMER_ID);
    held.get();
    EXPECT_EQ(readFile(draft + ".txt"), "a longer text") << "replaced whole after a moment's hold";
    draftTimer(e, "");
    EXPECT_EQ(readFile(draft + ".txt") + readFile(local + "\\~jotwell-draft.txt"),
              "<missing>an earlier run's");
}

static const NoteTime kTime{2024, 5, 7, 9, 5, 2};

// Every form of folder a user or the platform writes reaches the folder meant, never from the
// current directory, its month and day folders made one level at a time; or no note, nothing
// made, and the path and the real reason told. Where Jotwell's local folder cannot be had, the
// draft goes there too. (Open folder opens the same root: an end-to-end test opens one.)
TEST(NoteStore, EveryFormOfAFolderReachesTheFolderMeant) {
    TempFolder t, current;
    SetCurrentDirectoryA(current.path.c_str());
    const Undo back{[] { SetCurrentDirectoryA(ownFolder().c_str()); }};
    const std::string prog = t / "prog", note = "\\2024-05\\07\\090502.txt";
    std::string slashed = t.path + "/"; // as people also write it (表's 0x5C stays)
    std::replace(slashed.begin(), slashed.begin() + slashed.find("jotwell"), '\\', '/');
    // A root of 235 characters: its notes' paths fit in Windows' 259, as before the temporary
    // names had a token.
    const int chars = MultiByteToWideChar(CP_ACP, 0, current.path.c_str(), -1, nullptr, 0) - 1;
    const std::string longRoot = current.path + "\\" + std::string(234 - chars, 'L');
    // the program's folder, the setting; the note's path, or the path that failed and why
    const std::tuple<std::string, std::string, std::string, DWORD> rows[] = {
        {prog, longRoot, longRoot + note, 0},
        {"C:", "", "C:" + note, 0},        // the program at a drive's root
        {prog, slashed, t.path + note, 0}, // forward slashes and a trailing one
        {prog, "missing\\notes", prog + "\\missing\\notes", ERROR_PATH_NOT_FOUND},
        {prog, "notes\x81", prog + "\\notes\x81", ERROR_INVALID_NAME}, // takes the separator
        {prog, "C:notes", "C:notes", ERROR_BAD_PATHNAME}, // on C:'s current folder, any
        {prog, std::string(480, 'r'), std::string(480, 'r'), ERROR_FILENAME_EXCED_RANGE}};
    for (const auto &[program, setting, path, error] : rows) {
        char root[kPathBufferSize] = "";
        NoteSaveResult result{};
        if (noteRootOf(program.c_str(), setting.c_str(), root, &result) &&
            createNoteFile(root, kTime, "メモ", &result)) {
            EXPECT_EQ(readFile(result.path), "メモ");
            TempFolder::remove(path.substr(0, path.size() - 14)); // its month folder
        }
        EXPECT_EQ(result.path + (" " + std::to_string(result.error)),
                  path + " " + std::to_string(error));
    }
    EXPECT_EQ(listTree(t.path), std::vector<std::string>{}) << "made by a failed save";
    char root[kPathBufferSize] = "";
    NoteSaveResult result{};
    AppSettings settings = settingsFor("notes");
    EXPECT_TRUE(noteRoot(settings, root, &result) && root == ownFolder() + "\\notes");
    settings.documentFolderCut = true; // what is left of one too long is another folder's name
    EXPECT_FALSE(noteRoot(settings, root, &result) ||
                 result.error != static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    // Jotwell's local folder cannot be had (a file has its name): the draft in the notes' root,
    // in place; else beside the settings file.
    const std::string local = localDrafts();
    RemoveDirectoryA(local.c_str()), writeFile(local, "a file");
    const Undo restore{[] { localDrafts(); }}; // the folder again, and no draft beside
    for (const std::string &form : {slashed, t / "missing"}) {
        Draft draft{};
        settings = settingsFor(form);
        const std::string name = (form == slashed ? t.path : ownFolder()) + "\\~jotwell-draft";
        EXPECT_TRUE(writeDraft(&draft, settings, "a") && writeDraft(&draft, settings, "b") &&
                    readFile(name + ".txt") + readFile(name + "_2.txt") == "b<missing>")
            << form;
        eraseDraft(&draft);
        releaseDraft(&draft);
    }
}

// A note never replaces a file, and holds every byte of a text of over a mebibyte. Also: of the
// files Jotwell writes for a moment, an empty one a minute old goes with the next save in its
// folder; one that may still be written, holds a text, or is of a name Jotwell never makes stays.
TEST(NoteStore, NeverReplacesAFile) {
    TempFolder temp;
    const std::string day = temp / "2024-05\\07\\";
    std::string big; // its first mebibyte repeated would show
    while (big.size() < 3u << 19)
        big += "abcdefghijklmnopqrstuvwxyz";
    NoteSaveResult result{};
    ASSERT_TRUE(createNoteFile(temp.path.c_str(), kTime, "first", &result));
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // name, what it holds, its age in seconds
    // clang-format off
    const std::tuple<std::string, std::string, int> files[] = {{"~090502.tmp", "", 70},
        {"~101010_2.tmp", "", 50}, {"~jw1A.tmp", "", 70}, {"~101010_3.tmp", "cut short", 70},
        {"~notes.tmp", "", 70}};
    // clang-format on
    for (const auto &[name, text, age] : files) {
        writeFile(day + name, text);
        ULARGE_INTEGER at{{now.dwLowDateTime, now.dwHighDateTime}};
        at.QuadPart -= age * 10000000ull; // a FILETIME's units, laid out alike
        HANDLE file = CreateFileA((day + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        SetFileTime(file, nullptr, nullptr, reinterpret_cast<const FILETIME *>(&at));
        CloseHandle(file);
    }
    for (const std::string &text : {std::string("second"), big}) // in the same second
        ASSERT_TRUE(createNoteFile(temp.path.c_str(), kTime, text.c_str(), &result));
    std::string all = std::string(result.path) + ":"; // the last note's, then the folder's files
    for (const std::string &file : listTree(day))
        all += " " + file + "=" + readFile(day + file).substr(0, 9);
    EXPECT_EQ(all, day +
                       "090502_3.txt: 090502.txt=first 090502_2.txt=second 090502_3.txt=abcdefghi "
                       "~101010_2.tmp= ~101010_3.tmp=cut short ~notes.tmp=");
    EXPECT_EQ(readFile(result.path), big);
}

TEST(NoteStore, AFullDiskLeavesNoCutNote) {
    // tests/small_drive.sh mounts a 2 MB drive Q: around the Windows tests when it can; where
    // it cannot, the test fails unless JOTWELL_NO_SMALL_DRIVE=1 says the machine cannot.
    const std::string status = readFile(ownFolder() + "\\..\\small_drive\\status");
    const char *cannot = std::getenv("JOTWELL_NO_SMALL_DRIVE");
    if (status != "ready\n" && cannot && *cannot == '1')
        GTEST_SKIP() << "JOTWELL_NO_SMALL_DRIVE=1, no small drive Q: " << status;
    ASSERT_EQ(status, "ready\n") << "a small drive Q: (JOTWELL_NO_SMALL_DRIVE=1 if it cannot be)";
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("Q:\\", &free, nullptr, nullptr));
    const Undo empty{[] {
        DeleteFileA("Q:\\filler");
        TempFolder::remove("Q:\\notes");
    }};
    writeFile("Q:\\filler", std::string(free.QuadPart - 16384, 'f'));
    NoteSaveResult result{};
    EXPECT_FALSE(createNoteFile("Q:\\notes", kTime, std::string(65536, 'n').c_str(), &result));
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(listTree("Q:\\notes"), (std::vector<std::string>{"2024-05\\", "2024-05\\07\\"}));
}

// Every draft an earlier run left becomes one note, oldest first, from Jotwell's local folder
// and the places earlier versions used (the notes' root, the settings file's folder); one that
// cannot be read now stays until it can; a link stays for good (one holding a NUL: the start-up
// test); so does
// a record naming a file outside the notes; a slot another instance holds is passed by.
TEST(NoteStore, EveryDraftBecomesOneNote) {
    const Undo clean{[] { localDrafts(); }};
    TempFolder notes;
    const std::string local = localDrafts(), draft = local + "\\~jotwell-draft",
                      day = notes / "2024-05\\07\\";
    SHCreateDirectoryExA(nullptr, day.c_str(), nullptr);
    // path, text, its last write's second; the first two of the second row in the old places
    // clang-format off
    const std::tuple<std::string, std::string, WORD> files[] = {
        {draft + ".txt", "second", 3}, {draft + "_5.txt", "locked", 5},
        {ownFolder() + "\\~jotwell-draft_3.txt", "first", 2}, {notes / "~jotwell-draft_4.txt", "third", 4},
        {day + "090507.txt", "a note", 7}, {draft + "_13.txt", "another instance's", 1},
        {draft + "_6.tmp", "cut short while written", 6}};
    // clang-format on
    for (const auto &[path, text, second] : files)
        writeFile(path, text), setWritten(path, second);
    ASSERT_TRUE(CreateHardLinkA((draft + "_9.txt").c_str(), (day + "090507.txt").c_str(), nullptr));
    DraftRecord planted{DraftRecord::kDraftFirst, 1, textHash("x", 1), kTime,
                        "\\\\host\\share\\2024-05\\07\\~090502.tmp"};
    char record[kDraftRecordSize];
    writeFile(draft + "_12.rec", formatDraftRecord(planted, record) ? record : "");
    HANDLE locked = hold(draft + "_5.txt", FILE_SHARE_DELETE); // removable, not readable
    HANDLE live = CreateFileA((draft + "_13.lock").c_str(), DELETE, 0, nullptr, CREATE_NEW,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    const auto kept = [&](const std::string &slot, DWORD error, bool again = false) {
        return "kept " + draft + slot + " " + std::to_string(error) + (again ? "" : " for good");
    };
    const std::string planted12 = kept("_12.rec", kErrorRecordElsewhere),
                      link = kept("_9.txt", kErrorDraftIsLink);
    EXPECT_EQ(
        recovered(notes.path),
        (std::vector<std::string>{planted12, "saved " + day + "090502.txt",
                                  "saved " + day + "090503.txt", "saved " + day + "090504.txt",
                                  kept("_5.txt", ERROR_SHARING_VIOLATION, true), link}));
    CloseHandle(locked);
    EXPECT_EQ(recovered(notes.path),
              (std::vector<std::string>{planted12, "saved " + day + "090505.txt", link}));
    EXPECT_EQ(listTree(local),
              (std::vector<std::string>{"~jotwell-draft_12.rec", "~jotwell-draft_13.lock",
                                        "~jotwell-draft_13.txt", "~jotwell-draft_9.txt"}));
    CloseHandle(live);
    EXPECT_EQ(readFile(day + "090502.txt") + readFile(day + "090504.txt") +
                  readFile(day + "090505.txt"),
              "firstthirdlocked");
}

// The probe (probe.cpp) run with the actions below root, ended right after its stepth file step
// (0: never): "crash" or "done", then what it logged.
static std::string probeRun(int step, const std::string &root, const std::string &actions) {
    TempFolder logs;
    HANDLE probe = startProgram("\"" + ownFolder() + "\\probe.exe\" " + std::to_string(step) +
                                " \"" + root + "\" \"" + (logs / "log") + "\" " + actions);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(probe, 30000), WAIT_OBJECT_0);
    GetExitCodeProcess(probe, &code);
    CloseHandle(probe);
    return (code == 3 ? "crash\n" : "done\n") + readFile(logs / "log");
}

// What each text the probe logged must be: "kept" one note, "erased" or "replaced" none
// ("erasing" either).
static std::map<std::string, std::string> lastWords(const std::string &log) {
    std::map<std::string, std::string> last;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find(' ') != std::string::npos)
            last[line.substr(line.find(' ') + 1)] = line.substr(0, line.find(' '));
    return last;
}

// Every file below the folder written long before: Jotwell's leftovers past the clean-up's minute.
static void ageAll(const std::string &folder) {
    for (const std::string &file : listTree(folder))
        if (file.back() != '\\')
            setWritten(folder + "\\" + file, 0);
}

// A text saved below root as an editor saves it, drafted first.
static void saveText(const std::string &root, const char *text) {
    Draft draft{};
    NoteSaveResult result{};
    EXPECT_TRUE(writeDraft(&draft, settingsFor(root), text) &&
                saveNote(&draft, settingsFor(root), text, &result))
        << result.error;
    releaseDraft(&draft);
}

// Each note's text below root, or a file Jotwell wrote for a moment by its name.
static std::multiset<std::string> notesIn(const std::string &root) {
    std::multiset<std::string> notes;
    for (const std::string &file : listTree(root))
        if (file.back() != '\\')
            notes.insert(file.find("\\~") == std::string::npos ? readFile(root + "\\" + file)
                                                               : file);
    return notes;
}

// A process ended right after any file step of a save, an erase, a draft's write or a start's
// recovery, in each state users bring: the next start, a later save in the same day folder with
// every leftover aged past the clean-up's minute, and another start leave each text one note and
// an erased one none, and nothing else of Jotwell's behind.
TEST(NoteStore, EveryStepAProcessCanEndAtKeepsEachTextOnce) {
    const WineDrive second('s');
    const std::string local = localDrafts(), draft = local + "\\~jotwell-draft";
    // what the probe does; then: h its draft (an earlier write's) held from its save or erase to
    // the next start, r its record held at the next start, m its notes on drive S:, missing at
    // the next start, c the next start ended at each of its steps too
    const std::pair<std::string, char> cases[] = {
        {"d:first s:second", '-'}, {"s:quick", '-'},         {"d:first e", '-'},
        {"a:first s:second", 'h'}, {"a:first e", 'h'},       {"d:first s:second", 'r'},
        {"d:first s:second", 'm'}, {"d:first s:second", 'c'}};
    const auto crashed = [](const std::string &said) { return said.rfind("crash", 0) == 0; };
    int points = 0;
    for (const auto &[actions, twist] : cases)
        for (int step = 1, done = 0; !done; ++step)
            for (int again = 1, recovering = twist == 'c'; recovering || again == 1; ++again) {
                SCOPED_TRACE(actions + ' ' + twist + " at step " + std::to_string(step) + '.' +
                             std::to_string(again));
                TempFolder::remove(local); // made on first use
                TempFolder t;
                const std::string root =
                    twist == 'm' ? "S:\\notes" + std::to_string(points) : t / "notes";
                ++points;
                if (twist == 'h')
                    writeFile(draft + ".txt", "first");
                // for h not removable, for r not readable
                HANDLE held = hold(twist == 'h' ? draft + ".txt" : "");
                const std::string log = probeRun(step, root, actions);
                done = !crashed(log);
                EXPECT_EQ(noDrafts(ownFolder()) + noDrafts(root), 0)
                    << "a draft outside the local folder";
                if (twist == 'c')
                    recovering = crashed(probeRun(again, root, "r"));
                if (twist == 'r')
                    held = hold(draft + ".rec", 0);
                ASSERT_TRUE(twist != 'm' || second.there(false));
                for (const std::string &told : recovered(root)) // nothing saved or given up
                    EXPECT_TRUE(twist != 'm' || (!told.rfind("kept", 0) &&
                                                 told.find("for good") == std::string::npos))
                        << told;
                ASSERT_TRUE(twist != 'm' || second.there(true));
                ageAll(local), ageAll(root);
                saveText(root, "later"); // while what the first start kept waits
                CloseHandle(held);
                recovered(root);
                EXPECT_EQ(listTree(local), std::vector<std::string>{}) << "left behind";
                std::multiset<std::string> expected{"later"};
                for (const auto &[text, word] : lastWords(log))
                    if (word == "kept")
                        expected.insert(text);
                EXPECT_EQ(notesIn(root), expected) << log;
            }
    std::printf("%d crash points\n", points);
}

// Two instances of one user on one draft folder (two sessions), each killed at random moments
// of drafts, saves and erases, the other's files at times held by a third program, and a start
// while the other runs: each text kept is one note, an erased one none. JOTWELL_SEED replays.
TEST(NoteStore, TwoInstancesKilledAtRandomLeaveEachTextOnce) {
    const std::string local = localDrafts();
    TempFolder temp;
    const std::string log = temp / "log", root = temp / "notes";
    const char *given = std::getenv("JOTWELL_SEED");
    const unsigned seed = given ? std::atoi(given) : std::random_device{}();
    std::printf("JOTWELL_SEED=%u\n", seed);
    std::mt19937 random(seed);
    int next = 1;
    const auto start = [&] {
        const std::string first = "text " + std::to_string(next) + "\n";
        HANDLE probe =
            startProgram("\"" + ownFolder() + "\\probe.exe\" 0 \"" + root + "\" \"" + log +
                         "\" c:" + std::to_string(seed) + ":" + std::to_string(next));
        EXPECT_TRUE(waitUntil([&] { return readFile(log).find(first) != std::string::npos; }));
        next += 100000;
        return probe;
    };
    const auto kill = [&](HANDLE probe) {
        Sleep(random() % 30); // into whatever it does
        EXPECT_TRUE(TerminateProcess(probe, 1) && WaitForSingleObject(probe, 5000) == 0);
        CloseHandle(probe);
    };
    for (int round = 0; round < 20; ++round) {
        HANDLE one = start(), two = start();
        HANDLE held = hold(random() % 3 ? "" : local + "\\~jotwell-draft.txt");
        kill(one);
        recovered(root); // while the other runs
        kill(two);
        CloseHandle(held);
        recovered(root);
    }
    ageAll(root);
    saveText(root, "last"); // the clean-up, as everything left is a minute old
    const std::multiset<std::string> notes = notesIn(root);
    for (const auto &[text, word] : lastWords(readFile(log))) // killed erasing: either
        EXPECT_TRUE(word == "erasing" || notes.count(text) == (word == "kept" ? 1u : 0u)) << text;
    for (const std::string &text : notes) // nor a file that Jotwell writes for a moment
        EXPECT_TRUE(notes.count(text) == 1 && text.find("\\~") == std::string::npos) << text;
}

// A failed write, told after 設定, is the settings dialog's test.
TEST(SettingsFile, EachKeyReadsOnItsOwn) {
    const std::string dir = ownFolder(), ini = dir + "\\win_tests.ini"; // the program's, as .ini
    const Undo remove{[&] { DeleteFileA(ini.c_str()); }};
    const std::string split = "C:\\" + std::string(255, 'b') + "アイ";
    const std::string keys = "[ホットキー]\r\n表示の切り替え=", main = "\r\n[quillomat]\r\n",
                      a259(259, 'a'), utf8 = " 0 " + std::to_string(kErrorSettingsUtf8);
    // the file; what is read: the hotkey, the input method, the folder ("." the program's),
    // whether it was cut; why the file was not read (saved as UTF-8: a name in UTF-8 or the
    // byte-order mark; held by another program)
    const std::pair<std::string, std::string> cases[] = {
        {"", "0 1 . 0 0"},
        {keys + "1601" + main + "日本語入力=0\r\n文書保存フォルダ=D:\\メモ\\表",
         "1601 0 D:\\メモ\\表 0 0"},
        {keys + "12abc" + main + "日本語入力=2\r\n文書保存フォルダ=", "12 1  0 0"},
        {keys + "2147483648", "0 1 . 0 0"}, // beyond 32 bits: unreadable
        {main + "文書保存フォルダ=" + a259, "0 1 " + a259 + " 0 0"},
        {main + "文書保存フォルダ=" + a259 + "a", "0 1 " + a259 + " 1 0"}, // too long: cut
        {main + "文書保存フォルダ=" + split, "0 1 " + split.substr(0, 258) + " 1 0"}, // not half ア
        // 日本語入力=0, 文書保存=x: not read, even where the system could; a mark alone
        {main + "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE5\x85\xA5\xE5\x8A\x9B=0", "0 1 ." + utf8},
        {main + "\xE6\x96\x87\xE6\x9B\xB8\xE4\xBF\x9D\xE5\xAD\x98=x", "0 1 ." + utf8},
        {"\xEF\xBB\xBF; a comment\r\n", "0 1 ." + utf8},
        {"[\xE3\x83\x9B\xE3\x83\x83\xE3\x83\x88\xE3\x82\xAD\xE3\x83\xBC]", "0 1 ." + utf8},
        {keys + "1601", "0 1 . 0 32"}}; // ERROR_SHARING_VIOLATION
    for (const auto &[file, read] : cases) {
        DeleteFileA(ini.c_str());
        if (!file.empty())
            writeFile(ini, file);
        const std::size_t last = read.rfind(' '); // held by another program where it says so
        HANDLE held = hold(read.substr(last + 1) == "32" ? ini : "", 0);
        AppSettings settings{false, 5, "x", read[last - 1] == '0', 1, true}; // each as not read
        LoadSettings(settings);
        CloseHandle(held);
        const std::string folder = settings.documentFolder == dir ? "." : settings.documentFolder;
        EXPECT_EQ(std::to_string(settings.hotkey) + " " + std::to_string(settings.imeOnAtStartup) +
                      " " + folder + " " + std::to_string(settings.documentFolderCut) + " " +
                      std::to_string(settings.fileError),
                  read);
        // A file that was not read is never written over.
        EXPECT_TRUE(!settings.fileError || (!SaveSettings(settings) && readFile(ini) == file))
            << file;
    }
}

// True once more than 20 of the window's pixels have the colour.
static bool shows(HWND window, COLORREF colour) {
    return waitUntil([&] {
        RECT r{};
        GetClientRect(window, &r);
        HDC dc = GetDC(window);
        int count = 0;
        for (int i = 0; i < r.right * r.bottom; ++i)
            count += GetPixel(dc, i % r.right, i / r.right) == colour;
        ReleaseDC(window, dc);
        return count > 20;
    });
}

// Also: it names the free resources and lets the optional library go, centres OK, is dragged
// by its body, and lights the link under the mouse; another program's second WM_INITDIALOG
// and notifications change nothing.
TEST(AboutBox, NamesTheProductGrowsToItsLinkAndOpensTheAddressOnlyOnItsOwnClick) {
    TempFolder temp;
    const std::string address = temp / "probe.exe"; // it leaves probe.ini when it runs
    CopyFileA((ownFolder() + "\\probe.exe").c_str(), address.c_str(), FALSE);
    // The optional library comes from the system folder, never from the program's, where a
    // program is planted under its name. Those a crashed run left go first.
    char system[MAX_PATH];
    const std::string planted = ownFolder() + "\\rsrc32.dll",
                      library = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) +
                                "\\rsrc32.dll";
    const Undo remove{[&] { DeleteFileA(library.c_str()), DeleteFileA(planted.c_str()); }};
    remove.undo();
    ASSERT_TRUE(CopyFileA((ownFolder() + "\\fake_rsrc32.dll").c_str(), library.c_str(), TRUE) &&
                CopyFileA(address.c_str(), planted.c_str(), TRUE));
    // The box runs here while another thread works it.
    auto driver = std::async(std::launch::async, [&] {
        HWND box = findWindow(GetCurrentProcessId(), "#32770", IsWindowVisible, 5000),
             link = GetDlgItem(box, IDC_ABOUT_LINK);
        static void *const none[4] = {}; // another program's WM_INITDIALOG, with no record
        SendMessageA(box, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(none));
        EXPECT_EQ(windowText(box) + "|" + windowText(GetDlgItem(box, IDC_ABOUT_NAME)) + "|" +
                      windowText(link) + "|" + windowText(GetDlgItem(box, IDC_ABOUT_RESOURCES)),
                  "Jotwell について|Jotwell ver. " JOTWELL_VERSION_STRING "|" + address +
                      "|システムリソース： 42 ％使用可能");
        EXPECT_EQ(GetModuleHandleA("rsrc32.dll"), nullptr) << "the library let go once read";
        RECT client{}, line{}, outer{}, ok{}; // on the screen
        GetClientRect(box, &client);
        MapWindowPoints(box, nullptr, reinterpret_cast<POINT *>(&client), 2);
        GetWindowRect(link, &line);
        EXPECT_TRUE(line.right - line.left > 200 && line.right < client.right) << "grown, inside";
        GetWindowRect(box, &outer);
        GetWindowRect(GetDlgItem(box, IDOK), &ok);
        EXPECT_LE(std::abs(ok.left + ok.right - outer.left - outer.right), 1) << "OK centred";
        const POINT at{(line.left + line.right) / 2, (line.top + line.bottom) / 2};
        // Dragged by its body.
        EXPECT_EQ(SendMessageA(box, WM_NCHITTEST, 0, MAKELPARAM(client.right - 2, client.top + 2)),
                  HTCAPTION);
        mouseMove(at.x, at.y + 60);
        mouseMove(at.x, at.y);
        EXPECT_TRUE(shows(link, RGB(255, 0, 0))) << "red under the mouse";
        // Well-formed notifications that are not the link's own: read by neither.
        NMHDR foreign{link, IDC_ABOUT_LINK, LLN_LEAVE};
        SendMessageA(link, WM_NOTIFY, IDC_ABOUT_LINK, reinterpret_cast<LPARAM>(&foreign));
        UpdateWindow(link);
        EXPECT_TRUE(shows(link, RGB(255, 0, 0))) << "turned blue by another's leave";
        foreign.code = LLN_CLICK;
        SendMessageA(box, WM_NOTIFY, IDC_ABOUT_LINK, reinterpret_cast<LPARAM>(&foreign));
        // Pressed on the link, released off it: no click (as the label sees the mouse).
        SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        mouseMove(at.x, at.y + 60);
        SendMessageA(link, WM_LBUTTONUP, 0, 0);
        EXPECT_TRUE(shows(link, RGB(0, 0, 255))) << "blue once it left";
        EXPECT_TRUE(IsWindowVisible(box)) << "still open after a release off the link";
        mouseClick(at.x, at.y);
        if (!waitUntil([&] { return !IsWindow(box); })) // else this test would wait for ever
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    const AboutInfo info{address.c_str()};
    EXPECT_EQ(RunAboutBox(nullptr, &info), 1) << "ended by the click";
    driver.get();
    EXPECT_TRUE(waitUntil([&] { return readFile(temp / "probe.ini") != "<missing>"; }, 10000))
        << "the address started";
}

// The taskbar as Wine's shell32 talks to it: each Shell_NotifyIcon arrives as WM_COPYDATA.
// refuse: adds that fail; slow: adds that time out although the icon is added.
struct FakeTray {
    int adds = 0, deletes = 0, refuse = 0, slow = 0;
    bool icon = false;
    HWND tray = make("Shell_TrayWnd", nullptr, proc), area = nullptr;
    FakeTray() {
        SetWindowLongPtrA(tray, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        restart();
    }
    ~FakeTray() {
        DestroyWindow(tray);
    }
    void restart(bool comesBack = true) {
        DestroyWindow(area);
        area = comesBack ? make("TrayNotifyWnd", tray, DefWindowProcA) : nullptr;
    }
    static HWND make(const char *name, HWND parent, WNDPROC procedure) {
        registerAppWindowClass(nullptr, name, procedure);
        return CreateWindowExA(parent ? 0 : WS_EX_TOPMOST, name, "", parent ? WS_CHILD : WS_POPUP,
                               0, 0, 1, 1, parent, nullptr, nullptr, nullptr);
    }
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<FakeTray *>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message != WM_COPYDATA || !self)
            return DefWindowProcA(window, message, wParam, lParam);
        switch (reinterpret_cast<const COPYDATASTRUCT *>(lParam)->dwData) {
        case NIM_DELETE: ++self->deletes; return std::exchange(self->icon, false);
        case NIM_MODIFY: return self->icon;
        default: ++self->adds; break; // NIM_ADD
        }
        if (self->refuse-- > 0 || self->icon)
            return FALSE;
        self->icon = true;
        return self->slow-- <= 0;
    }
};

// Dispatches what is queued for this thread, the window's own posts among them.
static void dispatchQueued() {
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
        if (msg.message != WM_QUIT) // the one a main window's end posts for the program's loop
            DispatchMessageA(&msg);
}

// The texts of the boxes this process shows while the action runs, each answered (whileShown
// done first), each followed by "|".
static std::string boxesWhile(const std::function<void()> &action,
                              const std::function<void()> &whileShown = {}) {
    std::atomic<bool> done{false};
    auto boxes = std::async(std::launch::async, [&] {
        std::string texts;
        for (std::string text;
             !(text = answerBox(GetCurrentProcessId(), IDOK, 20000, &done, whileShown)).empty();)
            texts += text + "|";
        return texts;
    });
    action();
    done = true;
    return boxes.get();
}

// The main window, its icon in a stand-in notification area, its notes below a fresh folder.
// Its start-up work (nothing to tell: no drafts, no hotkey) is done at once unless the test
// does it.
struct Main {
    FakeTray tray;
    TempFolder notes;
    AppSettings settings;
    HWND window;
    explicit Main(std::int32_t hotkey = 0, bool started = true, int refusedAdds = 0)
        : settings(settingsFor(notes.path, hotkey)) {
        localDrafts();
        tray.refuse = refusedAdds;
        registerAppWindowClass(GetModuleHandleA(nullptr), "quillomat", MainWindowProc);
        window = CreateWindowExA(0, "quillomat", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), &settings);
        if (started)
            dispatchQueued();
    }
    ~Main() {
        DestroyWindow(window);
        dispatchQueued();
        editorWindow = nullptr;
    }
};

// A shell that refuses the icon at start (a slow log-on): 21 tries, 10 s, then a program whose
// hotkey works runs on without it, and the watchdog adds it once the shell takes it; one whose
// hotkey does not (none, or not registered) says so and ends. A slow add that took is not
// repeated; the watchdog adds it to each new notification area.
TEST(Tray, RunsOnUntilTheShellTakesTheIconAndTheWatchdogAddsItToEachNewNotificationArea) {
    const std::string told = boxesWhile([] { EXPECT_EQ(Main('A', true, 21).window, nullptr); });
    EXPECT_EQ(told.rfind("通知領域にアイコンを表示できませんでした。", 0), 0u) << "ends, told";
    const ULONGLONG start = GetTickCount64();
    Main m(kCtrlAltJ, true, 21);
    EXPECT_TRUE(IsWindow(m.window) && m.tray.adds == 21) << "runs on after 21 tries";
    EXPECT_GE(GetTickCount64() - start, 9900u) << "half a second apart";
    TrayWatchdogProc(nullptr, 0, 0, 0);
    EXPECT_TRUE(m.tray.icon) << "added on the watchdog's next tick once the shell takes it";
    RemoveTrayIcon(m.window);
    m.tray.slow = 1; // a shell slow at logon: the add times out, yet the icon is there
    ASSERT_TRUE(InstallTrayIcon(m.tray.tray));
    EXPECT_EQ(m.tray.adds, 23) << "an add that timed out but took is not repeated";
    m.tray.restart(); // the shell ended and came back with a new notification area
    EXPECT_TRUE(waitUntil([&] { return m.tray.adds == 24; }, 3000)) << "the watchdog's timer";
    m.tray.restart(false); // the shell ends: while there is no notification area, nothing
    TrayWatchdogProc(nullptr, 0, 0, 0);
    EXPECT_EQ(m.tray.adds, 24) << "an icon added where there is no notification area";
    m.tray.restart();
    TrayWatchdogProc(nullptr, 0, 0, 0);
    EXPECT_EQ(m.tray.adds, 25) << "the new notification area has it again";
    RemoveTrayIcon(m.tray.tray);
    EXPECT_EQ(m.tray.deletes, 4);
}

// 設定 from the main window, worked by another thread as a user would, after another program
// sent the dialog a second WM_INITDIALOG with a record that is not its own: it shows the record
// and takes a plain key as Ctrl+Alt+key, the input method on and the folder when typed (one
// too long first, refused, the dialog staying). Accepted (OK, or the close box's Yes), the
// record and the file take them, but a folder left as it was is not written: a default stays
// the program's folder, one the file held too long stays refused. A file that cannot be written
// is told. Whatever the end, the recorded hotkey is registered again, or told when taken.
TEST(SettingsDialog, SavesOnlyWhatTheUserSetWhenAcceptedAndRegistersTheHotkeyAgain) {
    const std::string ini = ownFolder() + "\\win_tests.ini"; // the program's, as .ini
    const Undo remove{[&] { DeleteFileA(ini.c_str()); }};
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'K')) << "another program's";
    const Undo release{[] { UnregisterHotKey(nullptr, 1); }};
    const std::string j0 = "[ホットキー]\r\n表示の切り替え=1610\r\n", c260(260, 'c'),
                      j = j0 + "[quillomat]\r\n日本語入力=0\r\n", f = "文書保存フォルダ=",
                      k = "[ホットキー]\r\n表示の切り替え=1611\r\n[quillomat]\r\n日本語入力=1\r\n",
                      tooLong = j + f + c260 + "\r\n",
                      taken = "ホットキー「Ctrl + Alt + K」を登録できませんでした|",
                      ask = "保存しますか？|", refused = "文書保存フォルダのパスが長すぎます|";
    // the file; how it ends: the dialog's button, or the close box and its answer there; the
    // folder typed; the file after; the boxes' first sentences
    const std::tuple<std::string, UINT, int, std::string, std::string, std::string> rows[] = {
        {j, WM_CLOSE, IDYES, "", k, ask + taken},
        {tooLong, WM_COMMAND, IDOK, "", k + f + c260 + "\r\n", taken},
        {tooLong, WM_CLOSE, IDCANCEL, "D:\\set", k + f + "D:\\set\r\n", refused + ask + taken},
        {tooLong, WM_CLOSE, IDNO, "D:\\set", tooLong, refused + ask},
        {j0, WM_COMMAND, IDCANCEL, "", j0, ""}, // a save would add the input method
        {j, WM_COMMAND, IDOK, "", j, "設定をファイルに保存できませんでした|" + taken}};
    for (const auto &[file, message, button, typed, after, told] : rows) {
        writeFile(ini, file);
        Main m(kCtrlAltJ);
        LoadSettings(m.settings);
        // Held as a sync tool may hold it, where the row tells so.
        HANDLE held = hold(told.rfind("設定を", 0) ? "" : ini);
        AppSettings other{};
        std::atomic<bool> done{false};
        auto user = std::async(std::launch::async, [&, typed = typed] {
            std::string boxes;
            const auto answer = [&](int with) {
                const std::string text = answerBox(GetCurrentProcessId(), with, 5000, &done);
                return text.empty() ? text : (boxes += text.substr(0, text.find("。")) + "|");
            };
            HWND dialog = findDialog(GetCurrentProcessId(), "設定");
            SendMessageA(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&other));
            EXPECT_EQ(std::make_tuple(SendDlgItemMessageA(dialog, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0),
                                      windowText(GetDlgItem(dialog, IDC_FOLDER)),
                                      IsDlgButtonChecked(dialog, IDC_IMEONSTART)),
                      std::make_tuple(LRESULT{m.settings.hotkey}, m.settings.documentFolder,
                                      UINT{m.settings.imeOnAtStartup}));
            SendDlgItemMessageA(dialog, IDC_HOTKEY, WM_KEYDOWN, 'K', 0);
            CheckDlgButton(dialog, IDC_IMEONSTART, BST_CHECKED);
            const auto type = [&](const std::string &text) {
                SetDlgItemTextA(dialog, IDC_FOLDER, text.c_str());
                SendDlgItemMessageA(dialog, IDC_FOLDER, EM_SETMODIFY, TRUE, 0); // as typed
            };
            if (!typed.empty()) {
                type(std::string(260, 'a'));
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                answer(IDOK);
                type(typed);
            }
            PostMessageA(dialog, message, message == WM_CLOSE ? 0 : button, 0);
            if (message == WM_CLOSE && !answer(button).empty() && button == IDCANCEL)
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            // What the main window tells after; a dialog left open (or found late) is cancelled.
            while (!done)
                if (answer(IDOK).empty() && !done)
                    PostMessageA(findDialog(GetCurrentProcessId(), "設定"), WM_COMMAND, IDCANCEL,
                                 0);
            return boxes;
        });
        SendMessageA(m.window, WM_COMMAND, IDM_SETTINGS, 0);
        done = true;
        CloseHandle(held);
        EXPECT_EQ(user.get(), told) << file;
        EXPECT_EQ(readFile(ini), after) << file;
        EXPECT_EQ(m.settings.documentFolderCut, after.find(c260) != std::string::npos)
            << "the record cut while the file holds a folder too long";
        EXPECT_FALSE(RegisterHotKey(nullptr, 2, MOD_CONTROL | MOD_ALT, m.settings.hotkey & 0xFF) &&
                     UnregisterHotKey(nullptr, 2))
            << "the recorded hotkey registered again";
    }
}

// 「フォルダを開く」 on a notes folder not made yet (a new folder before its first note) says so,
// and on a folder setting that names a program, starts nothing.
TEST(MainWindow, OpenFolderSaysWhyItOpensNone) {
    Main m;
    const std::string program = ownFolder() + "\\probe.exe", new_ = m.notes / "new";
    for (const std::string &folder : {new_, program}) {
        std::strcpy(m.settings.documentFolder, folder.c_str());
        const std::string told = "フォルダを開けませんでした。\r\n\r\n" + folder + "\r\n" +
                                 (folder == new_ ? "まだありません。" : "");
        const auto open = [&] { SendMessageA(m.window, WM_COMMAND, IDM_OPENFOLDER, 0); };
        EXPECT_EQ(boxesWhile(open).substr(0, told.size()), told);
    }
}

// The start-up work runs once the loop runs, once per run; the taskbar's restart is answered at
// once; quitting takes the icon away.
// Drafts an earlier run left are saved first, and one that is never read said to stay, not to be
// tried again; a settings file not read, held by another program or saved as UTF-8 (with the
// fix its reason names), and a hotkey not registered are told. Also: another program's second
// WM_CREATE changes nothing.
TEST(MainWindow, StartUpWorkRunsOnce) {
    for (const auto &[error, reason] :
         {std::pair<DWORD, std::string>{ERROR_SHARING_VIOLATION, "(32)"},
          {kErrorSettingsUtf8, "メモ帳で開き"}}) {
        Main m('A', false); // a plain letter for a hotkey: it would take typing everywhere
        m.settings.fileError = error;
        const std::string draft = localDrafts() + "\\~jotwell-draft";
        writeFile(draft + ".txt", std::string("a\0b", 3)), writeFile(draft + "_2.txt", "lost");
        // What is told once the queue is dispatched: the start-up work posted at the making.
        const std::string told = boxesWhile([&] { dispatchQueued(); });
        EXPECT_TRUE(
            told.rfind("前回保存されないまま残った書きかけのメモを保存しました。", 0) == 0 &&
            told.find("自動では保存しません") < told.find("|設定ファイルを読み込めません") &&
            told.find("次に起動したときにもう一度") == std::string::npos &&
            told.find(reason) < told.find("|ホットキー「A」を登録できませんでした。"))
            << told;
        EXPECT_EQ(boxesWhile([&] { SendMessageA(m.window, WM_STARTED, 0, 0); }), "")
            << "run again when another program asked";
        CREATESTRUCTA again{};
        again.lpCreateParams = &m.settings;
        SendMessageA(m.window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&again));
        SendMessageA(m.window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        EXPECT_EQ(m.tray.adds, 2) << "added again at once, and only then";
        SendMessageA(m.window, WM_COMMAND, IDM_QUIT, 0);
        EXPECT_FALSE(IsWindow(m.window) || m.tray.icon) << "left in the notification area";
    }
}

// Pressing the mouse on the tray icon activates the taskbar, which closes the editor; the
// release that follows must not open a new one, but a click long after it must.
TEST(MainWindow, TheTrayClickThatClosedTheEditorOpensNoOtherButALaterClickDoes) {
    Main m;
    // Opened as a command, not a click: an editor an earlier test's window closed by leaving it
    // may still make the first click look like the release of a press that closed it.
    SendMessageA(m.window, WM_COMMAND, IDM_POPUP, 0);
    HWND first = editorWindow;
    ASSERT_TRUE(IsWindow(first)) << "an editor opened";
    SendMessageA(first, WM_ACTIVATE, WA_INACTIVE, 0); // the press
    SendMessageA(m.window, WM_LBUTTONUP, 0, 0);       // its release
    EXPECT_FALSE(IsWindow(first) || IsWindow(editorWindow)) << "no editor from the closing click";
    SendMessageA(m.window, WM_LBUTTONUP, 0, 0); // the next click
    EXPECT_TRUE(IsWindow(editorWindow)) << "the next click opens one";
    SendMessageA(editorWindow, WM_ACTIVATE, WA_INACTIVE, 0); // another window activated
    Sleep(GetDoubleClickTime() + 50); // what makes this click another one is the time between
    SendMessageA(m.window, WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(IsWindow(editorWindow)) << "a click after the double-click time opens one";
}

// A note that cannot be saved stays in its editor through every end of the program, each
// explicit try told; a session's end puts a change just made in the draft first.
TEST(MainWindow, AFailedSaveKeepsTheTextThroughEveryEndUntilTheFolderIsFixed) {
    Main m;
    const std::string draft = localDrafts() + "\\~jotwell-draft.txt", blocked = m.notes / "blocked",
                      told = "メモを保存できませんでした。\r\n\r\n" + blocked + "\r\n";
    writeFile(blocked, "a file where the folder should be");
    blocked.copy(m.settings.documentFolder, sizeof m.settings.documentFolder - 1);
    SendMessageA(m.window, WM_COMMAND, MAKEWPARAM(IDM_POPUP, 2), 0); // a control's: no command
    EXPECT_FALSE(IsWindow(editorWindow));
    SendMessageA(m.window, WM_COMMAND, IDM_POPUP, 0);
    HWND editor = editorWindow, edit = GetDlgItem(editor, IDC_NOTE_EDIT);
    std::string text = "keep";
    // The end, right after a change (long before the draft's pause is over): what was told.
    const auto end = [&](HWND window, UINT message, WPARAM wParam, LRESULT result) {
        SetWindowTextA(edit, (text += "!").c_str());
        std::string drafted; // while the box says so
        const std::string shown = boxesWhile(
            [&] { EXPECT_EQ(SendMessageA(window, message, wParam, 0), result) << message; },
            [&] { drafted = readFile(draft); });
        EXPECT_EQ(windowText(edit), text) << message;
        const bool ending = message == WM_QUERYENDSESSION || (message == WM_ENDSESSION && wParam);
        EXPECT_TRUE(!ending || drafted == text) << message << ": on disk before it is told";
        return shown.substr(0, told.size());
    };
    EXPECT_EQ(end(m.window, WM_QUERYENDSESSION, 0, FALSE), told);
    EXPECT_EQ(end(m.window, WM_ENDSESSION, TRUE, 0), told);
    EXPECT_EQ(end(m.window, WM_ENDSESSION, FALSE, 0), "") << "a log-off called off: no end";
    EXPECT_EQ(end(editor, WM_COMMAND, IDM_CANCEL, 0), told) << "Esc, the hotkey, a tray click";
    EXPECT_EQ(end(m.window, WM_COMMAND, IDM_QUIT, 0), told);
    EXPECT_EQ(end(m.window, WM_CLOSE, 0, 0), told);
    EXPECT_EQ(end(editor, WM_ACTIVATE, WA_INACTIVE, 0), "") << "not told again on leaving";
    DeleteFileA(blocked.c_str());
    EXPECT_TRUE(SendMessageA(m.window, WM_QUERYENDSESSION, 0, 0) && !IsWindow(editor))
        << "closed and saved: the session may end";
    const std::vector<std::string> tree = listTree(blocked);
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(readFile(blocked + "\\" + tree[2]) + readFile(draft), text + "<missing>")
        << "the draft went with the save";
}
