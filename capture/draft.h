// The draft: the text of the open editor kept on disk while it is being typed, so that it
// outlives the process. A hidden file, kDraftName (or ~jotwell-draft_2.txt, ... beside drafts
// an earlier run left), in Jotwell's folder of the user's local application data, where only
// this user on this machine writes; only where that folder cannot be had, in the notes' root
// when that folder exists, else beside the settings file. A draft never makes the notes' root.
// Before a draft's text is saved as a note or erased, a record beside it says so (draft_record.h):
// the next start turns every draft it finds into exactly one note, or none for an erased one.
#pragma once

#include <cstdint>

#include "capture/note_store.h"

struct AppSettings;

// One editor's draft. Its folder is decided once, when it is first needed; its slot (the
// sequence of its name) too, and again only after a draft it could not remove.
struct Draft {
    char folder[kPathBufferSize]; // empty until decided
    int sequence;                 // 0 until it has a slot
    bool onDisk;                  // the slot's draft file holds the text of size and hash
    std::uint64_t size;
    std::uint64_t hash;
};

// Writes the text whole under a temporary name, flushed, then renamed over the editor's
// draft. A file the editor did not write is never replaced. False, with nothing reported,
// when no folder took it.
bool writeDraft(Draft *draft, const AppSettings &settings, const char *text);
// The editor's text was erased: its draft goes, and no start brings the text back.
void eraseDraft(Draft *draft);
// Saves the text as a note below the settings' notes root (noteRoot) under the local time of
// now, and settles the editor's draft: the text becomes one note whatever moment the process
// ends at.
bool saveNote(Draft *draft, const AppSettings &settings, const char *text, NoteSaveResult *result);

// What became of one draft found at start.
struct DraftOutcome {
    bool saved;                  // a note now (result names it), and the draft is settled
    char draft[kPathBufferSize]; // the draft, or the folder that could not be searched
    // On failure the file or folder that could not be read, written or removed, and why; the
    // draft stays for the next start.
    NoteSaveResult result;
};
using DraftReport = void (*)(const DraftOutcome &outcome, void *context);

// At start: every draft an earlier run left, in Jotwell's local folder and in the places
// earlier versions used (the notes' root, beside the settings file), oldest first, becomes a
// note of its own, named from its last write, in the usual tree and never over another file;
// a draft whose record says it was saved or erased does not. report hears of each that
// became a note or had to stay. Empty drafts and half-written ones go quietly.
void recoverDrafts(const AppSettings &settings, DraftReport report, void *context);

// Jotwell's folder in the user's local application data; made when make is true and it is
// missing. False when it cannot be had.
bool localDraftFolder(char (&folder)[kPathBufferSize], bool make);
