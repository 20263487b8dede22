// Path operations over Shift-JIS byte strings.
//
// A backslash is always a single-byte 0x5C: the second byte of a double-byte
// character (表 is 0x95 0x5C) is never taken for one. Buffers belong to the caller.
#pragma once

#include <cstddef>

// Size of every path buffer: at most 521 bytes of path and the terminator.
constexpr std::size_t kPathBufferSize = 522;

const char *pathFirstBackslash(const char *path);
const char *pathLastBackslash(const char *path);
// The last backslash when it is the final character, else null.
const char *pathTrailingBackslash(const char *path);
bool pathEndsWithBackslash(const char *path);

inline char *pathFirstBackslash(char *path) {
    return const_cast<char *>(pathFirstBackslash(static_cast<const char *>(path)));
}
inline char *pathLastBackslash(char *path) {
    return const_cast<char *>(pathLastBackslash(static_cast<const char *>(path)));
}
inline char *pathTrailingBackslash(char *path) {
    return const_cast<char *>(pathTrailingBackslash(static_cast<const char *>(path)));
}

// Cuts the path at the dot of its last component's extension. Returns the text after
// the dot, or the empty string at the path's end when there is no extension.
char *pathCutExtension(char *path);

// Cuts the path at its last backslash. Returns the last component, or the path itself
// when it has no backslash.
char *pathCutLastComponent(char *path);

// Joins the relative path onto base in destination, handling "." and ".." segments;
// "/" and "\\" both separate, and output separators are backslashes. False when ".."
// meets an empty path (destination is then empty). Text beyond 521 bytes is dropped.
bool pathJoin(char destination[kPathBufferSize], const char *base, const char *relative);

// True for a path that names the same folder wherever the program runs: a drive and a
// backslash (D:\Notes) or a network share (\\server\share).
bool pathIsAbsolute(const char *path);

// The path as a setting means it, relative to base (the program's folder): an absolute one
// as it is, one that starts with a backslash on base's drive or share, any other below
// base. False, with destination empty, when the result would not fit in 521 bytes.
bool pathResolve(char destination[kPathBufferSize], const char *base, const char *path);

#ifdef _WIN32
// Windows only (path_win.cpp).

// The running executable's directory, without a trailing backslash ("D:" for a root).
// False, with the empty string, when the file name cannot be had whole.
bool moduleDirectory(char path[kPathBufferSize]);

// True for an existing file or directory; every failure reads as false.
bool fileExists(const char *path);
bool isDirectory(const char *path);

// A virus scanner, a search indexer or a sync client holds a file it has just seen for a
// few milliseconds: a move or delete that fails for that reason (a sharing violation, or
// access denied to a name that is free) is tried again for about 100 ms. The last error
// is that of the last try.
bool moveFileRetrying(const char *from, const char *to, unsigned long flags);
bool deleteFileRetrying(const char *path);
#endif
