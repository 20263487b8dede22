#include "capture/draft.h"

#include <cstdlib>
#include <cstring>

#include "settings/settings.h"
#include "support/path.h"
#include "support/sjis.h"

namespace {

// The notes' root, and the settings file's folder.
constexpr int kDraftFolders = 2;
using DraftFolders = char[kDraftFolders][kPathBufferSize];

// Where drafts go, in this order: the notes' root when it is a folder that exists, and the
// settings file's folder (once, when it is the root).
int draftFolders(const AppSettings &settings, DraftFolders &folders) {
    int count = 0;
    NoteSaveResult ignored{};
    if (noteRoot(settings, folders[count], &ignored) && isDirectory(folders[count]))
        ++count;
    if (GetIniFolder(folders[count]) && (count == 0 || lstrcmpiA(folders[0], folders[1]) != 0))
        ++count;
    return count;
}

bool inFolder(const char *path, const char *folder) {
    char copy[kPathBufferSize];
    sjisCopyBounded(sizeof copy, copy, path);
    pathCutLastComponent(copy);
    return lstrcmpiA(copy, folder) == 0;
}

int sequenceOf(const char *path) {
    char copy[kPathBufferSize];
    sjisCopyBounded(sizeof copy, copy, path);
    return draftSequenceOf(pathCutLastComponent(copy));
}

bool draftPath(const char *folder, int sequence, bool temporary, char (&path)[kPathBufferSize]) {
    char name[kNoteNameSize];
    return (temporary ? draftTemporaryName(sequence, name) : draftFileName(sequence, name)) &&
           joinFolder(path, folder, name);
}

// Whole or not at all: written and flushed under the temporary name, then renamed.
bool writeAndRename(const char *temporary, const char *target, const char *text, bool replace) {
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool written = writeWhole(file, text, std::strlen(text)) == ERROR_SUCCESS;
    if (CloseHandle(file) && written &&
        moveFileRetrying(temporary, target, replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return true;
    DeleteFileA(temporary);
    return false;
}

// Into the folder: over the editor's own draft there, or under the first free name.
bool writeInto(Draft *draft, const char *folder, const char *text) {
    const bool own = draft->path[0] != '\0' && inFolder(draft->path, folder);
    const int first = own ? sequenceOf(draft->path) : 1;
    for (int sequence = first; sequence >= 1 && sequence <= kDraftSequenceLimit; ++sequence) {
        char target[kPathBufferSize], temporary[kPathBufferSize];
        if (!draftPath(folder, sequence, false, target) ||
            !draftPath(folder, sequence, true, temporary))
            return false;
        if (!own && fileExists(target))
            continue; // an earlier run's, waiting for the next start
        if (!writeAndRename(temporary, target, text, own))
            return false;
        // The draft has moved to the other folder: the old one goes (or is tried again later).
        if (!own && draft->path[0] != '\0' && !deleteFileRetrying(draft->path))
            sjisCopyBounded(sizeof draft->stale, draft->stale, draft->path);
        sjisCopyBounded(sizeof draft->path, draft->path, target);
        return true;
    }
    return false;
}

void removeFile(char (&path)[kPathBufferSize]) {
    if (path[0] != '\0' && (deleteFileRetrying(path) || GetLastError() == ERROR_FILE_NOT_FOUND))
        path[0] = '\0';
}

bool failed(DraftOutcome *outcome, const char *path, DWORD error) {
    sjisCopyBounded(kPathBufferSize, outcome->result.path, path);
    outcome->result.error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    outcome->saved = false;
    return false;
}

// The draft's text (freed by the caller with free()) and the time of its last write; null
// when it cannot be read, with the error set.
char *readDraft(const char *path, NoteTime *time) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    FILETIME written{};
    LARGE_INTEGER size{};
    DWORD got = 0;
    char *text = nullptr;
    const bool read = GetFileTime(file, nullptr, nullptr, &written) &&
                      noteTimeOfFileTime(written, time) && GetFileSizeEx(file, &size) &&
                      size.QuadPart < 0x7FFFFFFF &&
                      (text = static_cast<char *>(std::calloc(size.LowPart + 1, 1))) &&
                      ReadFile(file, text, size.LowPart, &got, nullptr) && got == size.LowPart;
    const DWORD error = read ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (!read) {
        std::free(text);
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_READ_FAULT);
        return nullptr;
    }
    return text;
}

// One draft into a note. False, with nothing to report, for an empty draft or one that went
// away meanwhile; otherwise outcome says how it went.
bool recoverOne(const AppSettings &settings, const char *path, DraftOutcome *outcome) {
    zeroFill(outcome, sizeof *outcome);
    sjisCopyBounded(sizeof outcome->draft, outcome->draft, path);
    NoteTime time{};
    char *text = readDraft(path, &time); // freed here
    if (!text) {
        // Only a draft that is not there is no draft: any other failure keeps it, and is told.
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return false;
        failed(outcome, path, error);
        return true;
    }
    char root[kPathBufferSize];
    bool report = true;
    if (text[0] == '\0') {
        report = false;
        deleteFileRetrying(path);
    } else if (!noteRoot(settings, root, &outcome->result) ||
               !createNoteFile(root, time, text, &outcome->result)) {
        outcome->saved = false;
    } else if (!deleteFileRetrying(path)) {
        // Kept, the draft would be saved again at the next start: this note goes instead.
        const DWORD error = GetLastError();
        DeleteFileA(outcome->result.path);
        failed(outcome, path, error);
    } else {
        outcome->saved = true;
    }
    std::free(text);
    return report;
}

struct Found {
    FILETIME written;
    int folder;
    int sequence;
};

// The drafts in one folder, added to found; half-written ones are removed. False, with
// outcome saying why, when the folder could not be searched.
bool findDrafts(const char *folder, int index, Found *found, int *count, int capacity,
                DraftOutcome *outcome) {
    char pattern[kPathBufferSize];
    if (!joinFolder(pattern, folder, "~jotwell-draft*"))
        return true;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_NO_MORE_FILES)
            return true;
        zeroFill(outcome, sizeof *outcome);
        sjisCopyBounded(sizeof outcome->draft, outcome->draft, folder);
        return failed(outcome, folder, error);
    }
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const int sequence = draftSequenceOf(data.cFileName);
        char temporary[kNoteNameSize];
        if (sequence > 0 && *count < capacity)
            found[(*count)++] = {data.ftLastWriteTime, index, sequence};
        for (int s = 1; sequence == 0 && s <= kDraftSequenceLimit; ++s)
            if (draftTemporaryName(s, temporary) && std::strcmp(temporary, data.cFileName) == 0) {
                char path[kPathBufferSize];
                if (joinFolder(path, folder, data.cFileName))
                    DeleteFileA(path); // the program ended while it was written
                break;
            }
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return true;
}

} // namespace

bool writeDraft(Draft *draft, const AppSettings &settings, const char *text) {
    DraftFolders folders;
    const int count = draftFolders(settings, folders);
    for (int i = 0; i < count; ++i)
        if (writeInto(draft, folders[i], text))
            return true;
    return false;
}

void removeDraft(Draft *draft) {
    removeFile(draft->path);
    removeFile(draft->stale);
}

void recoverDrafts(const AppSettings &settings, DraftReport report, void *context) {
    DraftFolders folders;
    const int count = draftFolders(settings, folders);
    Found found[kDraftFolders * kDraftSequenceLimit];
    int drafts = 0;
    DraftOutcome outcome;
    for (int i = 0; i < count; ++i)
        if (!findDrafts(folders[i], i, found, &drafts, kDraftFolders * kDraftSequenceLimit,
                        &outcome))
            report(outcome, context);
    // Oldest first, so that the notes' names follow the order they were written in.
    for (int i = 1; i < drafts; ++i)
        for (int j = i; j > 0 && CompareFileTime(&found[j].written, &found[j - 1].written) < 0;
             --j) {
            const Found earlier = found[j - 1];
            found[j - 1] = found[j];
            found[j] = earlier;
        }
    for (int i = 0; i < drafts; ++i) {
        char path[kPathBufferSize];
        if (draftPath(folders[found[i].folder], found[i].sequence, false, path) &&
            recoverOne(settings, path, &outcome))
            report(outcome, context);
    }
}
