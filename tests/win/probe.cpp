// A stand-in for Jotwell in another process. Plain, it follows the settings file of the running
// executable (the tests run copies of it under other names and folders): it loads the
// settings, saves them back, and ends with the hotkey it read.
//
// "campaign FOLDER LOG N": drafts "text N", "text N+1", ... one after another as the editor
// does, saving each as a note below FOLDER, until it is killed; LOG hears N once text N is
// drafted.
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
    // Each line in one write, so that it is there whole or not at all when the probe is killed.
    HANDLE log = CreateFileA(argv[3], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, 0, nullptr);
    for (int text = std::atoi(argv[4]);; ++text) {
        char typed[32], line[16];
        std::snprintf(typed, sizeof typed, "text %d", text);
        const int length = std::snprintf(line, sizeof line, "%d\n", text);
        DWORD written = 0;
        Draft draft{};
        NoteSaveResult result{};
        if (!writeDraft(&draft, settings, typed) ||
            !WriteFile(log, line, length, &written, nullptr))
            return 2;
        saveNote(&draft, settings, typed, &result);
    }
}
