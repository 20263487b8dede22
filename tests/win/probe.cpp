// The settings file follows the running executable: the tests run copies of this probe
// under other names and folders. It loads the settings, saves them back, and ends with
// the hotkey it read.
#include "settings/settings.h"

int main() {
    AppSettings settings{};
    LoadSettings(settings);
    SaveSettings(settings);
    return settings.hotkey;
}
