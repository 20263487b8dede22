// The note store: one piece of text becomes one new file in the dated tree
// root\YYYY-MM\DD\hhmmss.txt. A note is written whole under a temporary name
// and then renamed; an existing file is never replaced.
#pragma once

#include <windows.h>

#include "capture/note_name.h"
#include "support/path.h"

struct NoteSaveResult {
    // On success the note's file; on failure the folder or file that could not
    // be made or written.
    char path[kPathBufferSize];
    // 0 on success, else the system's error code (GetLastError).
    DWORD error;
};

struct AppSettings;

// A note on its way to its own name: its day folder, the time it is named from, and the
// temporary name it is written under there.
struct PendingNote {
    char temporary[kPathBufferSize];
    char dayFolder[kPathBufferSize];
    NoteTime time;
};

// Below root under the given time: creates the root, month and day folders where missing (one
// level each, never the root's ancestors) and names the day folder in note.
bool makeNoteFolders(const char *root, const NoteTime &time, PendingNote *note,
                     NoteSaveResult *result);
// A new, empty file of a free temporary name in the day folder, open for writing; an existing
// file is never opened. INVALID_HANDLE_VALUE, with result saying why, when none can be made.
HANDLE createTemporaryNote(PendingNote *note, NoteSaveResult *result);
// Writes the text (Shift-JIS, byte for byte) whole, flushed to the disk, and closes the file.
bool writeTemporaryNote(HANDLE file, const PendingNote &note, const char *text,
                        NoteSaveResult *result);
// Gives the whole note the first free name of hhmmss.txt, hhmmss_2.txt, ..., replacing nothing,
// and makes the new name durable: when *durable is false after success, the system could not
// say that it reached the disk. On failure the temporary file stays.
bool nameNote(const PendingNote &note, NoteSaveResult *result, bool *durable = nullptr);
// All in one, with no record: a note below root under the given time, or nothing.
bool createNoteFile(const char *root, const NoteTime &time, const char *text,
                    NoteSaveResult *result);
// Empty files of the names Jotwell writes for a moment (a note's temporary name, a removal's
// scratch file) left in the folder by a process that ended midway, once a minute old. A file
// that holds anything stays: it may be the only copy of a text.
void removeLeftovers(const char *folder);

// The folder notes go below, as the settings mean it: the document folder in any form a user
// or the platform writes it (a relative one taken from the program's folder, never from
// whatever the current directory is), or the program's folder when it is empty. False, with
// result saying why, when there is none: the settings file held a folder too long for the
// record, or the folder names none or would be too long.
bool noteRoot(const AppSettings &settings, char (&root)[kPathBufferSize], NoteSaveResult *result);
// The same for the given program folder and document folder.
bool noteRootOf(const char *program, const char *folder, char (&root)[kPathBufferSize],
                NoteSaveResult *result);

// folder\name in destination; false when the joined path would be cut. A separator is added
// only where the folder lacks one (also after 表, whose second byte is 0x5C).
bool joinFolder(char (&destination)[kPathBufferSize], const char *folder, const char *name);

// Writes every byte and flushes them to the disk: ERROR_SUCCESS, or why not.
DWORD writeWhole(HANDLE file, const char *text, std::size_t length);

// The local time of a file time, as a note is named; and the local time of now.
bool noteTimeOfFileTime(const FILETIME &written, NoteTime *time);
NoteTime noteTimeNow();
