// The draft: the text of the open editor kept on disk while it is being typed, so that it
// outlives the process. A hidden file, kDraftName (or ~jotwell-draft_2.txt, ... beside drafts
// an earlier run left), in the notes' root folder when that folder exists, else beside the
// settings file; a draft never makes a folder. The next start turns every draft it finds into
// a note.
#pragma once

#include "capture/note_store.h"

struct AppSettings;

// One editor's draft: the files it wrote, so that it replaces and removes only its own.
struct Draft {
    char path[kPathBufferSize];  // the draft; empty until the first write
    char stale[kPathBufferSize]; // an older one left in the other folder, when it resisted removal
};

// Writes the text whole under a temporary name, flushed, then renamed over the editor's
// draft: in the notes' root when it exists and takes it, else beside the settings file. A
// file the editor did not write is never replaced. False, with nothing reported, when no
// folder took it.
bool writeDraft(Draft *draft, const AppSettings &settings, const char *text);
// Removes the editor's draft files, when it wrote any.
void removeDraft(Draft *draft);

// What became of one draft found at start.
struct DraftOutcome {
    bool saved;                  // a note now (result names it), and the draft is gone
    char draft[kPathBufferSize]; // the draft, or the folder that could not be searched
    // On failure the file or folder that could not be read, written or removed, and why; the
    // draft stays for the next start.
    NoteSaveResult result;
};
using DraftReport = void (*)(const DraftOutcome &outcome, void *context);

// At start: every draft an earlier run left, in the notes' root and beside the settings file,
// oldest first, each becomes a note of its own, named from its last write, in the usual tree
// and never over another file; report hears of each that held text. Empty drafts and
// half-written ones go quietly.
void recoverDrafts(const AppSettings &settings, DraftReport report, void *context);
