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

// Saves the text (Shift-JIS, written byte for byte) below folder, or below the
// executable's directory when folder is empty, under the local time of now.
bool saveNote(const char *folder, const char *text, NoteSaveResult *result);

// Saves the text below root under the given time: creates the root, month and day
// folders where missing (one level each, never the root's ancestors) and writes
// the first free name of hhmmss.txt, hhmmss_2.txt, ...
bool createNoteFile(const char *root, const NoteTime &time, const char *text,
                    NoteSaveResult *result);

// The draft: the text of the open editor kept on disk while it is being typed, so that it
// outlives the process. One hidden file, kDraftName, in the notes' root folder.

// Writes the draft whole under a temporary name, flushed, then renamed over the draft
// (replacing nothing else). False, with nothing reported, when it cannot be written.
bool writeDraft(const char *folder, const char *text);
void removeDraft(const char *folder);

enum class DraftFate {
    None,   // there was no draft
    Saved,  // it is a note now (result names it) and is gone
    Empty,  // it held nothing and is gone
    Failed, // it stays; result names what could not be read or written
};
// At start: a draft left behind becomes a note named from its last write, in the usual
// tree and never over another file.
DraftFate draftToNote(const char *folder, NoteSaveResult *result);
