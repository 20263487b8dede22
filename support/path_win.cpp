#include "support/path.h"

#include <windows.h>

bool moduleDirectory(char path[kPathBufferSize]) {
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathBufferSize);
    if (length == 0)
        path[0] = '\0';
    // Older systems leave a name that fills the buffer unterminated.
    path[kPathBufferSize - 1] = '\0';
    pathCutLastComponent(path);
    return true;
}

bool fileExists(const char *path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
