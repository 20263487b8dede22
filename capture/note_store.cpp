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
    if (CreateDirectoryA(path, nullptr)) {
        fileStepDone("folder made");
        return true;
    }
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

bool makeNoteFolders(const char *root, const NoteTime &time, PendingNote *note,
                     NoteSaveResult *result) {
    result->path[0] = '\0';
    result->error = ERROR_SUCCESS;
    note->time = time;
    note->temporary[0] = '\0';
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
    if (!joinFolder(monthFolder, root, monthName))
        return fail(result, monthFolder, ERROR_FILENAME_EXCED_RANGE);
    if (formatBounded(kFormatSize, note->dayFolder, "%s\\%s", monthFolder, dayName) < 0)
        return fail(result, note->dayFolder, ERROR_FILENAME_EXCED_RANGE);
    return ensureFolder(root, result) && ensureFolder(monthFolder, result) &&
           ensureFolder(note->dayFolder, result);
}

namespace {

// A token for a temporary name that no other save takes while a record may name the file: a
// name is freed when its note takes its own, and a record can outlive that.
unsigned temporaryToken() {
    static unsigned count = 0;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<unsigned>(now.QuadPart) ^ (GetCurrentProcessId() << 16) ^
           (++count * 0x9E3779B9u);
}

} // namespace

HANDLE createTemporaryNote(PendingNote *note, NoteSaveResult *result) {
    char *path = note->temporary;
    char name[kNoteNameSize];
    // The short names only where a token's would make the path longer than Windows takes.
    noteTemporaryFileName(note->time, 0, name);
    const bool roomy = formatBounded(kFormatSize, path, "%s\\%s", note->dayFolder, name) >= 0 &&
                       MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0) <= MAX_PATH;
    for (int sequence = 1; sequence <= kNoteSequenceLimit; ++sequence) {
        if (roomy)
            noteTemporaryFileName(note->time, temporaryToken(), name);
        else
            noteShortTemporaryFileName(note->time, sequence, name);
        if (formatBounded(kFormatSize, path, "%s\\%s", note->dayFolder, name) < 0) {
            fail(result, path, ERROR_FILENAME_EXCED_RANGE);
            break;
        }
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            fileStepDone("note made");
            return file;
        }
        const DWORD error = GetLastError();
        if (!nameIsTaken(path, error) || sequence == kNoteSequenceLimit) {
            fail(result, note->dayFolder, nameIsTaken(path, error) ? ERROR_FILE_EXISTS : error);
            break;
        }
    }
    path[0] = '\0'; // none was made
    return INVALID_HANDLE_VALUE;
}

bool writeTemporaryNote(HANDLE file, const PendingNote &note, const char *text,
                        NoteSaveResult *result) {
    DWORD error = writeWhole(file, text, std::strlen(text));
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
        error = GetLastError();
    if (error != ERROR_SUCCESS)
        return fail(result, note.dayFolder, error);
    fileStepDone("note written");
    return true;
}

namespace {

// Older than this, a file of a name Jotwell writes for a moment is no longer being written.
constexpr ULONGLONG kLeftoverAge = 60ull * 10000000; // a minute, in file-time units

ULONGLONG ticksOf(const FILETIME &time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The note under its new name reaches the disk before anything that relies on it is removed:
// the rename written through, and the file's own flush, which takes its name along.
bool flushNote(const char *path) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return flushed;
}

} // namespace

void removeLeftovers(const char *folder) {
    char pattern[kPathBufferSize];
    if (!joinFolder(pattern, folder, "~*.tmp"))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    do {
        char path[kPathBufferSize];
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.nFileSizeLow == 0 &&
            found.nFileSizeHigh == 0 &&
            (isNoteTemporaryName(found.cFileName) || isScratchName(found.cFileName)) &&
            ticksOf(now) > ticksOf(found.ftLastWriteTime) + kLeftoverAge &&
            joinFolder(path, folder, found.cFileName))
            removeFoundFile(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

bool nameNote(const PendingNote &note, NoteSaveResult *result, bool *durable) {
    char path[kPathBufferSize] = "";
    DWORD error = ERROR_FILE_EXISTS;
    // The first free name: the rename replaces nothing, so a note of the same second, or a
    // file the user made, is never touched.
    for (int sequence = 1; sequence <= kNoteSequenceLimit; ++sequence) {
        char name[kNoteNameSize];
        noteFileName(note.time, sequence, name);
        if (formatBounded(kFormatSize, path, "%s\\%s", note.dayFolder, name) < 0) {
            error = ERROR_FILENAME_EXCED_RANGE;
            break;
        }
        if (moveFileRetrying(note.temporary, path, MOVEFILE_WRITE_THROUGH)) {
            fileStepDone("note named");
            const bool flushed = flushNote(path);
            if (durable)
                *durable = flushed;
            sjisCopyBounded(kPathBufferSize, result->path, path);
            result->error = ERROR_SUCCESS;
            removeLeftovers(note.dayFolder);
            return true;
        }
        error = GetLastError();
        if (!nameIsTaken(path, error))
            break;
        error = ERROR_FILE_EXISTS;
    }
    return fail(result, path, error);
}

bool createNoteFile(const char *root, const NoteTime &time, const char *text,
                    NoteSaveResult *result) {
    PendingNote note;
    if (!makeNoteFolders(root, time, &note, result))
        return false;
    HANDLE file = createTemporaryNote(&note, result);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (writeTemporaryNote(file, note, text, result) && nameNote(note, result))
        return true;
    DeleteFileA(note.temporary);
    return false;
}

bool noteRootOf(const char *program, const char *folder, char (&root)[kPathBufferSize],
                NoteSaveResult *result) {
    switch (pathResolve(root, program, folder)) {
    case kPathResolved: return true;
    case kPathInvalid: return fail(result, folder, ERROR_BAD_PATHNAME);
    default: return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    }
}

bool noteRoot(const AppSettings &settings, char (&root)[kPathBufferSize], NoteSaveResult *result) {
    const char *folder = settings.documentFolder;
    // Cut, it would name some other folder.
    if (settings.documentFolderCut)
        return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    char program[kPathBufferSize];
    if (!moduleDirectory(program))
        return fail(result, folder, ERROR_FILENAME_EXCED_RANGE);
    return noteRootOf(program, folder, root, result);
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

NoteTime noteTimeNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return noteTimeOf(now);
}
