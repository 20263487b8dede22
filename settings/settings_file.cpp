// The settings record and its INI file beside the executable, read and written
// through the platform's profile functions.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "settings/settings.h"
#include "support/error_text.h"
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

// Whether a settings file that is there can be read as Jotwell writes it: 0 when it can (or is
// not there), else the system's error or kErrorSettingsUtf8. Notepad saves a new file as UTF-8
// (with or without a byte-order mark), and then no Japanese name in it matches.
static DWORD settingsFileError(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    static char text[16384];
    DWORD got = 0;
    const DWORD error = ReadFile(file, text, sizeof text - 1, &got, nullptr) ? 0 : GetLastError();
    CloseHandle(file);
    text[got] = '\0';
    // Notepad writes the byte-order mark into a UTF-8 file that holds no name yet (empty, or
    // comments only): OK would write Shift-JIS after it.
    if (std::strncmp(text, "\xEF\xBB\xBF", 3) == 0)
        return kErrorSettingsUtf8;
    // ホッ, 日本 and 文書 (of the section and key names) as UTF-8 writes them, after a
    // byte-order mark or not: every section and key Jotwell reads has one of them.
    for (const char *name :
         {"\xE3\x83\x9B\xE3\x83\x83", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x96\x87\xE6\x9B\xB8"})
        if (std::strstr(text, name))
            return kErrorSettingsUtf8;
    return error;
}

void LoadSettings(AppSettings &settings) {
    char path[kPathBufferSize];
    const bool haveFile = GetIniPath(path);
    settings.fileError = haveFile ? settingsFileError(path) : 0;
    // A file that is there but not read as Jotwell writes it gives the defaults whole, as if
    // there were none, rather than whatever parts of it the profile functions make out.
    const bool read = haveFile && settings.fileError == 0;

    std::int32_t value = 0;
    settings.hotkey = read && readInt(kHotkeySection, kHotkeyKey, path, &value) ? value : 0;
    settings.imeOnAtStartup =
        read && readInt(kMainSection, kImeKey, path, &value) ? value != 0 : true;

    char directory[kPathBufferSize];
    moduleDirectory(directory);
    // Read into a path buffer, so that a value too long for the record is seen as such; what
    // the record shows of it is cut at a character boundary.
    char folder[kPathBufferSize];
    if (read)
        GetPrivateProfileStringA(kMainSection, kFolderKey, directory, folder, sizeof folder, path);
    else
        sjisCopyBounded(sizeof folder, folder, directory);
    settings.documentFolderSet = false;
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
    if (!GetIniPath(path) || settings.fileError != 0) {
        SetLastError(settings.fileError == kErrorSettingsUtf8 ? kErrorSettingsUtf8
                     : settings.fileError != 0                ? kErrorSettingsUnreadable
                                                              : ERROR_FILENAME_EXCED_RANGE);
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
    // Written only once the user set it in 設定: the file keeps the folder the user wrote by hand
    // as it is (one cut on loading included), and a default (no key) stays the program's folder
    // wherever the program goes.
    if (settings.documentFolderSet)
        note(WritePrivateProfileStringA(kMainSection, kFolderKey, settings.documentFolder, path) !=
             0);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}
