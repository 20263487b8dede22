#include "support/path.h"

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
