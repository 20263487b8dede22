// A stand-in for Jotwell in another process. Plain, it follows the settings file of the running
// executable (the tests run copies of it under other names and folders): it loads the
// settings, saves them back, and ends with the hotkey it read.
//
// "campaign FOLDER LOG N": drafts "text N", "text N+1", ... one after another as the editor
// does, saving each as a note below FOLDER (erasing every third instead), until it is killed;
// LOG hears "d N" once a text is drafted and "e N" once it is erased.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/draft.h"
#include "settings/settings.h"

int main(int argc, char **argv) {
    AppSettings settings{};
    if (argc != 5 || std::strcmp(argv[1], "campaign") != 0) {
        LoadSettings(settings);
        SaveSettings(settings);
        return settings.hotkey;
    }
    std::snprintf(settings.documentFolder, sizeof settings.documentFolder, "%s", argv[2]);
    HANDLE log = CreateFileA(argv[3], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, 0, nullptr);
    const auto tell = [log](char step, int text) {
        char line[32];
        const int length = std::snprintf(line, sizeof line, "%c %d\n", step, text);
        DWORD written = 0;
        WriteFile(log, line, static_cast<DWORD>(length), &written, nullptr);
    };
    for (int text = std::atoi(argv[4]);; ++text) {
        char typed[32];
        std::snprintf(typed, sizeof typed, "text %d", text);
        Draft draft{};
        if (!writeDraft(&draft, settings, typed))
            return 2;
        tell('d', text);
        NoteSaveResult result{};
        if (text % 3 != 2) {
            saveNote(&draft, settings, typed, &result);
        } else {
            eraseDraft(&draft);
            tell('e', text);
        }
    }
}
