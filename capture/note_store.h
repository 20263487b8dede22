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

// A note written whole and flushed under a temporary name in its day folder, waiting for its
// own name.
struct PendingNote {
    char temporary[kPathBufferSize];
    char dayFolder[kPathBufferSize];
    NoteTime time;
};

// Below root under the given time: creates the root, month and day folders where missing (one
// level each, never the root's ancestors) and writes the text (Shift-JIS, byte for byte) whole
// to a new temporary file there.
bool prepareNote(const char *root, const NoteTime &time, const char *text, PendingNote *note,
                 NoteSaveResult *result);
// Gives the pending note the first free name of hhmmss.txt, hhmmss_2.txt, ...; when that fails
// the temporary file stays, for the caller to remove or keep. Temporary files that saves cut
// short long ago go.
bool nameNote(const PendingNote &note, NoteSaveResult *result);
// Both in one: a note below root under the given time.
bool createNoteFile(const char *root, const NoteTime &time, const char *text,
                    NoteSaveResult *result);

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
