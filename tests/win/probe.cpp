// A stand-in for Jotwell in another process. Plain, it follows the settings file of the running
// executable (the tests run copies of it under other names and folders): it loads the
// settings, saves them back, and ends with the hotkey it read.
//
// "STEP ROOT LOG ACTION...": the actions with notes below ROOT, the process ended with 3 right
// after its STEPth file step (0: never). d:TEXT drafts; a:TEXT takes the draft an earlier write
// left in the local folder's first slot as its own; s:TEXT saves; e erases the draft; r is a
// start's recovery; c:SEED:N takes texts N, N+1, ... for ever, each by the seed drafted and
// saved, saved alone, or drafted and erased. LOG hears each text once a start must make it a
// note ("kept TEXT"), none ("erased TEXT", or "replaced TEXT" by a later one of the editor),
// and before an erase ("erasing TEXT").
#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture/draft.h"
#include "capture/draft_record.h"
#include "settings/settings.h"

namespace {

AppSettings settings{};
Draft draft{};
HANDLE logFile = INVALID_HANDLE_VALUE;
int stepsLeft = 0;
char action = 0;
std::string text, drafted;

// Each line in one write, so that it is there whole or not at all when the probe is killed.
void log(const std::string &line) {
    DWORD written = 0;
    WriteFile(logFile, (line + "\n").data(), static_cast<DWORD>(line.size() + 1), &written,
              nullptr);
}

void onStep(const char *step) {
    const std::string done = step;
    if (action == 's' && done == "note written" && !drafted.empty() && drafted != text)
        log("replaced " + drafted);
    if ((action == 'd' && done == "draft replaced") || (action == 's' && done == "note written"))
        log("kept " + text);
    if (action == 'd' && done == "draft replaced")
        drafted = text;
    else if (action == 'e' && done == "record written")
        log("erased " + text);
    if (--stepsLeft == 0)
        TerminateProcess(GetCurrentProcess(), 3);
}

void ignore(const DraftOutcome &, void *) {}

void run(char what, const std::string &with) {
    action = what;
    if (what == 'd' || what == 's' || what == 'a') // an erase takes the draft's text
        text = with;
    NoteSaveResult result{};
    unsigned seed = 0, number = 0;
    switch (what) {
    case 'd': writeDraft(&draft, settings, text.c_str()); break;
    case 's': saveNote(&draft, settings, text.c_str(), &result); break;
    case 'e':
        log("erasing " + text);
        eraseDraft(&draft);
        break;
    case 'r': recoverDrafts(settings, ignore, nullptr); break;
    case 'a':
        localDraftFolder(draft.folder, true);
        draft.sequence = 1;
        draft.onDisk = true;
        draft.size = text.size();
        draft.hash = textHash(text.data(), text.size());
        drafted = text;
        break;
    case 'c':
        std::sscanf(with.c_str(), "%u:%u", &seed, &number);
        for (;; ++number, releaseDraft(&draft), draft = Draft{}, drafted.clear()) {
            const unsigned kind = (seed ^ number * 2654435761u) >> 16 & 3;
            const std::string typed = "text " + std::to_string(number);
            if (kind != 0)
                run('d', typed);
            run(kind == 1 ? 'e' : 's', typed);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        LoadSettings(settings);
        SaveSettings(settings);
        return settings.hotkey;
    }
    stepsLeft = std::atoi(argv[1]);
    std::snprintf(settings.documentFolder, sizeof settings.documentFolder, "%s", argv[2]);
    logFile = CreateFileA(argv[3], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, 0, nullptr);
    afterFileStep = onStep;
    for (int i = 4; i < argc; ++i)
        run(argv[i][0], argv[i][1] ? argv[i] + 2 : "");
    return 0;
}
