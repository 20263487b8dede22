// The draft and the save: how a text reaches its note whatever moment the process ends at, and
// what a start makes of what an earlier run left.
//
// The rule: each text the user closed is, from the moment its save has written it whole, either
// a note or whole in a file that the next start turns into exactly one note; an erased text
// never comes back; nothing Jotwell did not write, and nothing that is the only whole copy of a
// text, is ever deleted. Each step below is on the disk (flushed, or written through) before a
// later one relies on it, so the rule holds with the notes on another volume than the drafts.
//
// The files. A note is written as T, ~hhmmss-XXXXXXXX.tmp with a token no other save takes (only
// where that path would be too long for Windows, ~hhmmss.tmp, ~hhmmss_2.tmp, ...), in its day
// folder, then renamed to hhmmss.txt. A draft folder (Jotwell's in the user's local application
// data; only where that cannot be had, the notes' root if it exists, else the settings file's
// folder) holds slots N of four names ("~jotwell-draft" or "~jotwell-draft_N" and): ".txt" the
// draft D, ".tmp" what D or R is written under before it replaces it, ".rec" the record R of what
// becomes of the text, ".lock" the lock: held by the editor or the start that uses the slot, so
// that another instance of the user's (in another session) passes it by.
//
// A save (saveNote):
//   1. T made new and empty.
//   2. R "saving": T, the note's time, the text's size and hash. A D beside it is older.
//   3. T holds the text, flushed.
//   4. Where a D is beside it: R "saved" replaces R, written through. (Where it cannot, D is
//      removed here instead, its removal on the disk with the rename when both share a volume.)
//   5. T takes the first free note name, replacing nothing; written through and flushed.
//   6. D removed, then R. Then empty T's a minute old in the day folder go: no text is in them.
//   A save that fails keeps the text in D, makes R "saving" again, and then empties and removes
//   T (R first); where D or R cannot be written after 3, T and R stay for the next start.
// An erase (eraseDraft): R "erased" with D's size and hash; D removed; R removed.
// A draft (writeDraft): ".tmp" written whole and flushed, then renamed over D.
//
// A start (recoverDrafts), slot by slot with its lock, never one that another instance holds:
//   - ".tmp" removed: a draft or record cut short, never a closed text's only copy.
//   - R cannot be read: nothing removed; told, tried again.
//   - R "saving" or "saved" naming anything but a temporary note of its time in its day folder
//     of the notes' root: nothing touched; told.
//   - T holds R's text whole: the save goes on from 4.
//   - T there but not whole: the save was cut short before 3; T emptied, R and T removed; D,
//     if any, is the text. (A short name may be another save's since: left, and taken as gone.)
//   - T gone, the notes' root there: "saved": the note has its name; D removed, then R.
//     "saving": T never held the text (only an empty T is ever removed), so D, if any, is it.
//   - T cannot be read (the drive or share missing, held): nothing removed; told, tried again.
//   - R "erased" with D's text: D removed, then R.
//   - No R, or one cut short: D becomes a note named from its last write, by a save as above;
//     an empty D goes; a D that cannot be read stays, told (a link, or one holding a NUL, for
//     the user to look at: never read).
#pragma once

#include <cstdint>

#include "capture/note_store.h"

struct AppSettings;

// One editor's draft. Its folder is decided once, when it is first needed; its slot too, and
// again only after one whose files it had to leave for the next start.
struct Draft {
    char folder[kPathBufferSize]; // empty until decided
    int sequence;                 // 0 until it has a slot
    HANDLE lock;                  // the slot's lock while it has one
    bool onDisk;                  // the slot's draft file holds the text of size and hash
    std::uint64_t size;
    std::uint64_t hash;
};

// Writes the text as the editor's draft. False, with nothing reported, when no folder took it.
bool writeDraft(Draft *draft, const AppSettings &settings, const char *text);
// The editor's text was erased: its draft goes, and no start brings the text back.
void eraseDraft(Draft *draft);
// Saves the text as a note below the settings' notes root (noteRoot) under the local time of
// now, and settles the editor's draft. On failure the draft holds the text.
bool saveNote(Draft *draft, const AppSettings &settings, const char *text, NoteSaveResult *result);
// The editor is gone: its slot's lock goes with it.
void releaseDraft(Draft *draft);

// What became of one slot found at start.
struct DraftOutcome {
    bool saved; // a note now (result names it), and the draft settled
    // Else what could not be read, written or removed, and why; where the text is kept; and
    // whether the next start tries again (not for a file Jotwell will not read).
    NoteSaveResult result;
    char kept[kPathBufferSize];
    bool again;
};
using DraftReport = void (*)(const DraftOutcome &outcome, void *context);

// At start: every slot an earlier run left, in Jotwell's local folder and in the places
// earlier versions used (the notes' root, the settings file's folder), drafts oldest first.
// report hears of each that became a note or had to stay.
void recoverDrafts(const AppSettings &settings, DraftReport report, void *context);

// Jotwell's folder in the user's local application data; made when make is true and it is
// missing. False when it cannot be had.
bool localDraftFolder(char (&folder)[kPathBufferSize], bool make);
