// Files for the note tests: a fresh folder of the test's own under %TEMP%, and
// whole-file reads and listings to check notes byte for byte.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace notetest {

// The harness's folder of the test's own, removed with everything in it.
using e2e::removeTree;
using e2e::TempFolder;

// The whole file, or "<missing>" when it cannot be opened.
inline std::string readFile(const std::string &path) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return "<missing>";
    std::string bytes;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

inline void writeFile(const std::string &path, const std::string &bytes) {
    if (FILE *file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

// Every file and folder below root, relative to it, sorted; folders end in "\".
inline std::vector<std::string> listTree(const std::string &root, const std::string &prefix = "") {
    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries.push_back(prefix + name + "\\");
            for (const std::string &inner : listTree(root + "\\" + name, prefix + name + "\\"))
                entries.push_back(inner);
        } else {
            entries.push_back(prefix + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(entries.begin(), entries.end());
    return entries;
}

inline std::string hex(const std::string &bytes) {
    return e2e::hexBytes(bytes);
}

} // namespace notetest
