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

// What became of a folder as a setting or the platform writes it.
enum PathResolution {
    kPathResolved,
    kPathInvalid, // names no folder: on a drive without its root (E:notes), above a root (D:\..),
                  // a share without its name, or relative to a base that is no folder
    kPathTooLong, // would not fit in 521 bytes
};

// The folder a path names, written the one way Windows reads it: D:\Notes, D:\ for a drive's
// root, \\server\share\notes for a share; "/" and "\" both separate, doubled and trailing
// separators and "." are dropped, ".." climbs. A path that starts with a separator lies on
// base's drive or share, a relative one below base (the program's folder, itself written in any of
// these forms); \\?\ and \\.\ paths are taken as they are. Destination is empty unless resolved.
PathResolution pathResolve(char destination[kPathBufferSize], const char *base, const char *path);

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

// Replaces a file found under a name with an empty one of Jotwell's own, or removes it: never
// what a link of that name points to. An empty "~jw*.tmp" is left when the process ends midway.
bool emptyFoundFile(const char *path);
bool removeFoundFile(const char *path);

// Called after each step that makes, writes, renames or removes one of Jotwell's files, with
// what the step did: a test's probe ends the process there, to see that each such moment keeps
// every text. Null in the program.
extern void (*afterFileStep)(const char *step);
void fileStepDone(const char *step);
#endif
