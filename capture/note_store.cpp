#include "capture/note_store.h"

#include <cstdlib>
#include <cstring>

#include "settings/settings.h"
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

} // namespace

bool joinFolder(char (&destination)[kPathBufferSize], const char *folder, const char *name) {
    const std::size_t expected =
        std::strlen(folder) + (pathEndsWithBackslash(folder) ? 0 : 1) + std::strlen(name);
    return pathJoin(destination, folder, name) && std::strlen(destination) == expected;
}

namespace {

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

} // namespace

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

namespace {

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
        if (moveFileRetrying(temporary, path, 0)) {
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

bool noteRoot(const AppSettings &settings, char (&root)[kPathBufferSize], NoteSaveResult *result) {
    const char *folder = settings.documentFolder;
    // Cut, it would name some other folder.
    if (settings.documentFolderCut)
        return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    char program[kPathBufferSize];
    if (!moduleDirectory(program))
        return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    if (folder[0] == '\0')
        sjisCopyBounded(kPathBufferSize, root, program);
    else if (!pathResolve(root, program, folder))
        return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    return true;
}

static NoteTime noteTimeOf(const SYSTEMTIME &t) {
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

bool noteTimeOfFileTime(const FILETIME &written, NoteTime *time) {
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &t))
        return false;
    *time = noteTimeOf(t);
    return true;
}

bool saveNote(const AppSettings &settings, const char *text, NoteSaveResult *result) {
    char root[kPathBufferSize];
    if (!noteRoot(settings, root, result))
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    return createNoteFile(root, noteTimeOf(now), text, result);
}
