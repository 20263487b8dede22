// Files for the note tests: a fresh folder of the test's own under %TEMP%, and
// whole-file reads and listings to check notes byte for byte.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace notetest {

// Removes a file, or a folder with everything in it.
inline void removeTree(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            removeTree(path + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

class TempFolder {
  public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static unsigned counter = 0;
        for (;;) {
            char name[MAX_PATH];
            std::snprintf(name, sizeof name, "%snotetest-%lu-%u", base, GetCurrentProcessId(),
                          ++counter);
            if (CreateDirectoryA(name, nullptr)) {
                path_ = name;
                return;
            }
        }
    }
    ~TempFolder() {
        removeTree(path_);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &path() const {
        return path_;
    }
    std::string operator/(const std::string &name) const {
        return path_ + "\\" + name;
    }

  private:
    std::string path_;
};

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
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

} // namespace notetest
