// A helper of the settings-file tests: they copy it under other names and into
// other folders, since the settings file follows the running executable.
// Prints where its settings file lies and what LoadSettings read from it;
// with the argument "save" it then saves that record back.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "settings/settings.h"

int main(int argc, char **argv) {
    // The bytes are Shift-JIS; no line-end translation.
    _setmode(_fileno(stdout), _O_BINARY);
    char path[kPathBufferSize];
    const bool found = GetIniPath(path);
    AppSettings settings{};
    LoadSettings(settings);
    std::printf("path=%s\nfound=%d\nhotkey=%d\nime=%d\nfolder=%s\n", found ? path : "",
                found ? 1 : 0, static_cast<int>(settings.hotkey), settings.imeOnAtStartup ? 1 : 0,
                settings.documentFolder);
    if (argc > 1 && std::strcmp(argv[1], "save") == 0)
        SaveSettings(settings);
    return 0;
}
