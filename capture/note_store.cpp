#include "capture/note_store.h"

#include <cstdlib>
#include <cstring>

#include "support/sjis.h"

namespace {

// Formatted paths hold at most 520 bytes.
constexpr std::size_t kFormatSize = kPathBufferSize - 1;

bool fail(NoteSaveResult *result, const char *path, DWORD error) {
    sjisCopyBounded(kPathBufferSize, result->path, path);
    // A failure must never read as success, whatever the system left behind.
    result->error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    return false;
}

bool isDirectory(const char *path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The name is in use (by a file, or a folder, of the user's or an earlier note).
bool nameIsTaken(const char *path, DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           (error == ERROR_ACCESS_DENIED && fileExists(path));
}

// Makes one level only: a missing parent is reported, not made.
bool ensureFolder(const char *path, NoteSaveResult *result) {
    if (isDirectory(path))
        return true;
    if (CreateDirectoryA(path, nullptr))
        return true;
    const DWORD error = GetLastError();
    if (isDirectory(path))
        return true;
    return fail(result, path, error);
}

// pathJoin adds a separator only where the folder lacks one (also after 表,
// whose second byte is 0x5C); false when the joined path would be cut.
bool joinFolder(char (&destination)[kPathBufferSize], const char *folder, const char *name) {
    const std::size_t expected =
        std::strlen(folder) + (pathEndsWithBackslash(folder) ? 0 : 1) + std::strlen(name);
    return pathJoin(destination, folder, name) && std::strlen(destination) == expected;
}

// A new file of a name nobody uses; an existing file is never opened.
HANDLE createTemporaryFile(const char *dayFolder, const NoteTime &time,
                           char (&path)[kPathBufferSize], NoteSaveResult *result) {
    for (int sequence = 1; sequence <= kNoteSequenceLimit; ++sequence) {
        char name[kNoteNameSize];
        noteTemporaryFileName(time, sequence, name);
        if (formatBounded(kFormatSize, path, "%s\\%s", dayFolder, name) < 0) {
            fail(result, path, ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        const DWORD error = GetLastError();
        if (!nameIsTaken(path, error)) {
            fail(result, dayFolder, error);
            return INVALID_HANDLE_VALUE;
        }
    }
    fail(result, dayFolder, ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Every byte reaches the disk, or the error says why not.
DWORD writeWhole(HANDLE file, const char *text, std::size_t length) {
    constexpr std::size_t kChunk = 1u << 20;
    while (length > 0) {
        const DWORD size = static_cast<DWORD>(length < kChunk ? length : kChunk);
        DWORD written = 0;
        if (!WriteFile(file, text, size, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        text += written;
        length -= written;
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

// Gives the written note the first free name; the rename replaces nothing, so a
// note of the same second, or a file the user made, is never touched.
bool renameToFreeName(const char *temporary, const char *dayFolder, const NoteTime &time,
                      NoteSaveResult *result) {
    char path[kPathBufferSize] = "";
    for (int sequence = 1; sequence <= kNoteSequenceLimit; ++sequence) {
        char name[kNoteNameSize];
        noteFileName(time, sequence, name);
        if (formatBounded(kFormatSize, path, "%s\\%s", dayFolder, name) < 0)
            return fail(result, path, ERROR_FILENAME_EXCED_RANGE);
        if (MoveFileExA(temporary, path, 0)) {
            sjisCopyBounded(kPathBufferSize, result->path, path);
            result->error = ERROR_SUCCESS;
            return true;
        }
        const DWORD error = GetLastError();
        if (!nameIsTaken(path, error))
            return fail(result, path, error);
    }
    return fail(result, path, ERROR_FILE_EXISTS);
}

} // namespace

bool createNoteFile(const char *root, const NoteTime &time, const char *text,
                    NoteSaveResult *result) {
    result->path[0] = '\0';
    result->error = ERROR_SUCCESS;
    char monthName[kNoteNameSize];
    char dayName[kNoteNameSize];
    if (!noteMonthFolderName(time, monthName) || !noteDayFolderName(time, dayName))
        return fail(result, root, ERROR_INVALID_PARAMETER);
    if (root[0] == '\0')
        return fail(result, root, ERROR_PATH_NOT_FOUND);
    // Half a double-byte character would take the separator after it as its
    // second byte and put the note in some other folder.
    if (sjisByteKind(root, std::strlen(root) - 1) == kSjisLead)
        return fail(result, root, ERROR_INVALID_NAME);

    // Every name is made before any folder, so a path too long creates nothing.
    char monthFolder[kPathBufferSize];
    char dayFolder[kPathBufferSize];
    if (!joinFolder(monthFolder, root, monthName))
        return fail(result, monthFolder, ERROR_FILENAME_EXCED_RANGE);
    if (formatBounded(kFormatSize, dayFolder, "%s\\%s", monthFolder, dayName) < 0)
        return fail(result, dayFolder, ERROR_FILENAME_EXCED_RANGE);
    if (!ensureFolder(root, result) || !ensureFolder(monthFolder, result) ||
        !ensureFolder(dayFolder, result))
        return false;

    // Written whole under a temporary name first: a crash or a full disk leaves
    // no cut note under a note's name.
    char temporary[kPathBufferSize];
    HANDLE file = createTemporaryFile(dayFolder, time, temporary, result);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD error = writeWhole(file, text, std::strlen(text));
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileA(temporary);
        return fail(result, dayFolder, error);
    }
    if (!renameToFreeName(temporary, dayFolder, time, result)) {
        DeleteFileA(temporary);
        return false;
    }
    return true;
}

// The folder notes go below: the document folder, or the executable's directory.
static bool noteRoot(const char *folder, char (&root)[kPathBufferSize], NoteSaveResult *result) {
    if (folder[0] == '\0') {
        if (!moduleDirectory(root))
            return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    } else if (std::strlen(folder) >= kPathBufferSize)
        return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    else
        sjisCopyBounded(kPathBufferSize, root, folder);
    return true;
}

static NoteTime noteTimeOf(const SYSTEMTIME &t) {
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

bool saveNote(const char *folder, const char *text, NoteSaveResult *result) {
    char root[kPathBufferSize];
    if (!noteRoot(folder, root, result))
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    return createNoteFile(root, noteTimeOf(now), text, result);
}

// The notes' root, the draft in it and the temporary name the draft is written under.
struct DraftPaths {
    char root[kPathBufferSize], draft[kPathBufferSize], temporary[kPathBufferSize];
};

static bool draftPaths(const char *folder, DraftPaths *paths, NoteSaveResult *result) {
    return noteRoot(folder, paths->root, result) &&
           joinFolder(paths->draft, paths->root, kDraftName) &&
           joinFolder(paths->temporary, paths->root, kDraftTemporaryName);
}

bool writeDraft(const char *folder, const char *text) {
    DraftPaths paths;
    NoteSaveResult ignored{};
    if (!draftPaths(folder, &paths, &ignored) || !ensureFolder(paths.root, &ignored))
        return false;
    HANDLE file = CreateFileA(paths.temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool written = writeWhole(file, text, std::strlen(text)) == ERROR_SUCCESS;
    // The rename replaces the draft and nothing else: whole or not at all.
    if (CloseHandle(file) && written &&
        MoveFileExA(paths.temporary, paths.draft, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(paths.temporary);
    return false;
}

void removeDraft(const char *folder) {
    DraftPaths paths;
    NoteSaveResult ignored{};
    if (draftPaths(folder, &paths, &ignored))
        DeleteFileA(paths.draft);
}

DraftFate draftToNote(const char *folder, NoteSaveResult *result) {
    result->path[0] = '\0';
    result->error = ERROR_SUCCESS;
    DraftPaths paths;
    if (!draftPaths(folder, &paths, result))
        return DraftFate::None;
    DeleteFileA(paths.temporary); // half written when the program ended
    HANDLE file =
        CreateFileA(paths.draft, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return DraftFate::None;
    FILETIME written{}, local{};
    SYSTEMTIME time{};
    LARGE_INTEGER size{};
    DWORD got = 0;
    char *text = nullptr; // freed here
    const bool read = GetFileTime(file, nullptr, nullptr, &written) &&
                      FileTimeToLocalFileTime(&written, &local) &&
                      FileTimeToSystemTime(&local, &time) && GetFileSizeEx(file, &size) &&
                      size.QuadPart < 0x7FFFFFFF &&
                      (text = static_cast<char *>(std::calloc(size.LowPart + 1, 1))) &&
                      ReadFile(file, text, size.LowPart, &got, nullptr) && got == size.LowPart;
    const DWORD error = GetLastError();
    CloseHandle(file);
    DraftFate fate = DraftFate::Failed;
    if (!read)
        fail(result, paths.draft, error);
    else if (text[0] == '\0')
        fate = DraftFate::Empty;
    else if (createNoteFile(paths.root, noteTimeOf(time), text, result))
        fate = DraftFate::Saved;
    std::free(text);
    if (fate != DraftFate::Failed)
        DeleteFileA(paths.draft);
    return fate;
}
