// A stand-in for Jotwell in another process. Plain, it follows the settings file of the running
// executable (the tests run copies of it under other names and folders): it loads the
// settings, saves them back, and ends with the hotkey it read.
//
// "crash STEP ROOT LOG ACTION...": the actions with notes below ROOT, ending the process right
// after its STEPth file step (d:TEXT drafts, s:TEXT saves, e erases the draft, w waits for the
// event "JotwellProbeGo" once LOG says "waiting", r is a start's recovery). LOG then says
// "crash" or "done", and the text the notes must hold once ("-" for none): the draft's once it
// is on disk, a saved text's once it is whole in its file, none once an erase is recorded.
//
// "campaign SEED ROOT LOG N": texts N, N+1, ... one after another as editors would, until
// killed: of each, by SEED, a draft then a save (LOG hears "d N" once it is drafted), a save
// alone ("q N" once saved), or a draft then an erase ("e N" once drafted, "x N" once erased).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/draft.h"
#include "settings/settings.h"

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;
int stepsLeft = 0;
char action = 0;
std::string text, expected = "-";

// Each line in one write, so that it is there whole or not at all when the probe is killed.
void log(const std::string &line) {
    DWORD written = 0;
    WriteFile(logFile, (line + "\n").data(), static_cast<DWORD>(line.size() + 1), &written,
              nullptr);
}

void onStep(const char *step) {
    const std::string done = step;
    if ((action == 'd' && done == "draft replaced") || (action == 's' && done == "note written"))
        expected = text;
    else if (action == 'e' && done == "record written")
        expected = "-";
    if (--stepsLeft == 0) {
        log("crash " + expected);
        TerminateProcess(GetCurrentProcess(), 3);
    }
}

void ignore(const DraftOutcome &, void *) {}

} // namespace

int main(int argc, char **argv) {
    AppSettings settings{};
    if (argc < 5) {
        LoadSettings(settings);
        SaveSettings(settings);
        return settings.hotkey;
    }
    std::snprintf(settings.documentFolder, sizeof settings.documentFolder, "%s", argv[3]);
    logFile = CreateFileA(argv[4], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, 0, nullptr);
    Draft draft{};
    NoteSaveResult result{};
    if (std::strcmp(argv[1], "crash") == 0) {
        stepsLeft = std::atoi(argv[2]);
        afterFileStep = onStep;
        for (int i = 5; i < argc; ++i) {
            action = argv[i][0];
            text = argv[i][1] ? argv[i] + 2 : "";
            if (action == 'd')
                writeDraft(&draft, settings, text.c_str());
            else if (action == 's')
                saveNote(&draft, settings, text.c_str(), &result);
            else if (action == 'e')
                eraseDraft(&draft);
            else if (action == 'r')
                recoverDrafts(settings, ignore, nullptr);
            else if (action == 'w' && (log("waiting"), true))
                WaitForSingleObject(CreateEventA(nullptr, TRUE, FALSE, "JotwellProbeGo"), 30000);
        }
        log("done " + expected);
        return 0;
    }
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    for (int number = std::atoi(argv[5]);; ++number) {
        const std::string typed = "text " + std::to_string(number), at = std::to_string(number);
        const unsigned kind = (seed ^ static_cast<unsigned>(number) * 2654435761u) >> 16 & 3;
        if (kind == 0) {
            if (saveNote(&draft, settings, typed.c_str(), &result))
                log("q " + at);
        } else if (writeDraft(&draft, settings, typed.c_str())) {
            log((kind == 1 ? "e " : "d ") + at);
            if (kind == 1) {
                eraseDraft(&draft);
                log("x " + at);
            } else {
                saveNote(&draft, settings, typed.c_str(), &result);
            }
        }
        releaseDraft(&draft);
        draft = Draft{};
    }
}
