// The settings record and its INI file beside the executable, read and written
// through the platform's profile functions.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "settings/settings.h"
#include "support/path.h"
#include "support/sjis.h"

static const char kHotkeySection[] = "ホットキー";
static const char kHotkeyKey[] = "表示の切り替え";
static const char kMainSection[] = "quillomat";
static const char kImeKey[] = "日本語入力";
static const char kFolderKey[] = "文書保存フォルダ";

bool GetIniPath(char path[kPathBufferSize]) {
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathBufferSize);
    // A cut-off name would put the file somewhere else.
    if (length == 0 || length >= kPathBufferSize) {
        path[0] = '\0';
        return false;
    }
    pathCutExtension(path);
    const std::size_t used = std::strlen(path);
    std::strncat(path, ".ini", kPathBufferSize - 1 - used);
    sjisToLowerAscii(path);
    return true;
}

bool GetIniFolder(char path[kPathBufferSize]) {
    if (!GetIniPath(path))
        return false;
    pathCutLastComponent(path);
    return true;
}

// The first decimal integer of the text, as "%d" reads it; false when there is
// none, or when it does not fit in 32 bits (which "%d" would not read reliably).
static bool parseInt(const char *text, std::int32_t *value) {
    char *end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    *value = static_cast<std::int32_t>(parsed);
    return true;
}

static bool readInt(const char *section, const char *key, const char *path, std::int32_t *value) {
    char text[1024];
    GetPrivateProfileStringA(section, key, "", text, sizeof text - 1, path);
    text[sizeof text - 1] = '\0';
    return parseInt(text, value);
}

void LoadSettings(AppSettings &settings) {
    char path[kPathBufferSize];
    const bool haveFile = GetIniPath(path);

    std::int32_t value = 0;
    settings.hotkey = haveFile && readInt(kHotkeySection, kHotkeyKey, path, &value) ? value : 0;
    settings.imeOnAtStartup =
        haveFile && readInt(kMainSection, kImeKey, path, &value) ? value != 0 : true;

    char directory[kPathBufferSize];
    moduleDirectory(directory);
    // Read into a path buffer, so that a value too long for the record is seen as such; what
    // the record shows of it is cut at a character boundary.
    char folder[kPathBufferSize];
    if (haveFile)
        GetPrivateProfileStringA(kMainSection, kFolderKey, directory, folder, sizeof folder, path);
    else
        sjisCopyBounded(sizeof folder, folder, directory);
    settings.documentFolderCut = std::strlen(folder) >= sizeof settings.documentFolder;
    sjisCopyBounded(sizeof settings.documentFolder, settings.documentFolder, folder);
}

static bool writeInt(const char *section, const char *key, std::int32_t value, const char *path) {
    char text[256];
    formatBounded(sizeof text - 1, text, "%d", static_cast<int>(value));
    text[sizeof text - 1] = '\0';
    return WritePrivateProfileStringA(section, key, text, path) != 0;
}

bool SaveSettings(const AppSettings &settings) {
    char path[kPathBufferSize];
    if (!GetIniPath(path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // Each write is tried; the error told is the first one's.
    DWORD error = ERROR_SUCCESS;
    const auto note = [&error](bool written) {
        if (!written && error == ERROR_SUCCESS)
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    };
    note(writeInt(kHotkeySection, kHotkeyKey, settings.hotkey, path));
    note(writeInt(kMainSection, kImeKey, settings.imeOnAtStartup ? 1 : 0, path));
    // A cut folder would replace the user's own in the file with some other folder's name.
    if (!settings.documentFolderCut)
        note(WritePrivateProfileStringA(kMainSection, kFolderKey, settings.documentFolder, path) !=
             0);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}
