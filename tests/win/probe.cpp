// A stand-in for Jotwell in another process. Plain, it follows the settings file of the running
// executable (the tests run copies of it under other names and folders): it loads the
// settings, saves them back, and ends with the hotkey it read.
//
// "campaign FOLDER LOG N": drafts "text N", "text N+1", ... one after another as the editor
// does, saving each as a note below FOLDER (erasing every third instead), until it is killed;
// LOG hears N once text N is drafted.
#include <cstdio>
#include <cstdlib>

#include "capture/draft.h"
#include "settings/settings.h"

int main(int argc, char **argv) {
    AppSettings settings{};
    if (argc != 5) {
        LoadSettings(settings);
        SaveSettings(settings);
        return settings.hotkey;
    }
    std::snprintf(settings.documentFolder, sizeof settings.documentFolder, "%s", argv[2]);
    FILE *log = std::fopen(argv[3], "ab");
    std::setvbuf(log, nullptr, _IONBF, 0); // on disk as soon as written: it is killed
    for (int text = std::atoi(argv[4]);; ++text) {
        char typed[32];
        std::snprintf(typed, sizeof typed, "text %d", text);
        Draft draft{};
        NoteSaveResult result{};
        if (!writeDraft(&draft, settings, typed) || std::fprintf(log, "%d\n", text) < 0)
            return 2;
        if (text % 3 != 2)
            saveNote(&draft, settings, typed, &result);
        else
            eraseDraft(&draft);
    }
}
