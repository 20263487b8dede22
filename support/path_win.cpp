#include "support/path.h"

#include "support/sjis.h"

#include <windows.h>

bool moduleDirectory(char path[kPathBufferSize]) {
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathBufferSize);
    // A cut-off name would name some other folder.
    if (length == 0 || length >= kPathBufferSize) {
        path[0] = '\0';
        return false;
    }
    pathCutLastComponent(path);
    return true;
}

bool fileExists(const char *path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const char *path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

constexpr int kHeldTries = 11;
constexpr DWORD kHeldWaitMs = 10;

// True when the operation succeeded; otherwise tries again while another program may only be
// holding the file for a moment.
template <typename Operation, typename Held> bool retryWhileHeld(Operation operation, Held held) {
    for (int tries = 1;; ++tries) {
        if (operation())
            return true;
        const DWORD error = GetLastError();
        if (tries == kHeldTries || !held(error)) {
            SetLastError(error);
            return false;
        }
        Sleep(kHeldWaitMs);
    }
}

bool sharingOrAccess(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

} // namespace

bool moveFileRetrying(const char *from, const char *to, unsigned long flags) {
    // Access is also denied when the new name is taken by a folder or a read-only file: that
    // is no reason to wait, unless the move is to replace it.
    return retryWhileHeld([&] { return MoveFileExA(from, to, flags) != 0; },
                          [&](DWORD error) {
                              return error == ERROR_SHARING_VIOLATION ||
                                     (error == ERROR_ACCESS_DENIED &&
                                      ((flags & MOVEFILE_REPLACE_EXISTING) || !fileExists(to)));
                          });
}

bool deleteFileRetrying(const char *path) {
    return retryWhileHeld([&] { return DeleteFileA(path) != 0; }, sharingOrAccess);
}

void (*afterFileStep)(const char *step) = nullptr;

void fileStepDone(const char *step) {
    if (afterFileStep)
        afterFileStep(step);
}

bool emptyFoundFile(const char *path) {
    // Windows deletes or opens a symbolic link itself, Wine what it points to. A rename
    // replaces the link itself on both: a new empty file of Jotwell's own takes the name.
    char folder[kPathBufferSize], scratch[MAX_PATH + 16];
    sjisCopyBounded(sizeof folder, folder, path);
    pathCutLastComponent(folder);
    if (GetTempFileNameA(folder, "~jw", 0, scratch) == 0)
        return false;
    fileStepDone("scratch made");
    if (!MoveFileExA(scratch, path, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(scratch);
        return false;
    }
    fileStepDone("emptied");
    return true;
}

bool removeFoundFile(const char *path) {
    if (!emptyFoundFile(path) || !DeleteFileA(path))
        return false;
    fileStepDone("removed");
    return true;
}
