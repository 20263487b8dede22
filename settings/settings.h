// The one settings record of a run, and the INI file beside the executable
// that keeps it between runs.
#pragma once

#include <cstdint>

#include "support/path.h"

// Lives as a local of the run loop for the whole run; windows keep a pointer
// to it in their PROP_PARAM property and never copy it.
struct AppSettings {
    bool imeOnAtStartup;
    // A hotkey control's word: virtual key in the low byte, HOTKEYF_ bits in
    // the second byte; 0 means no hotkey.
    std::int32_t hotkey;
    char documentFolder[260]; // Shift-JIS path, terminated
    // The settings file's folder was longer than the record holds: documentFolder has only
    // its start, so notes are refused rather than put into that other folder, and the file's
    // value is not written over until the user sets another folder.
    bool documentFolderCut;
    // 0, or why the settings file that is there was not read: the system's error when it could
    // not be read at all, kErrorSettingsUtf8 when it was saved as UTF-8. The defaults hold
    // then, and the file is not written over.
    std::uint32_t fileError;
    // The user set the folder in 設定 (typed, pasted or chosen) during this run: only then is
    // it written, so that the file keeps what it holds, the user's own value or none (the
    // program's folder wherever the program goes).
    bool documentFolderSet;
};

// The executable's path with ".ini" for its extension, lower-cased. False only
// when the executable's own path cannot be had.
bool GetIniPath(char path[kPathBufferSize]);
// The folder the settings file lies in.
bool GetIniFolder(char path[kPathBufferSize]);

// Fills every field, each from its own key or its default.
void LoadSettings(AppSettings &settings);

// Writes the hotkey and the input method, whether they changed or not, and the folder once the
// user set it; never over a file that was there but not read (fileError). False, with the
// system's error (GetLastError), when the file could not be written.
bool SaveSettings(const AppSettings &settings);
