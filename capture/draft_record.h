// A draft's record: written beside the draft, and made durable, before the draft's text is
// settled (saved as a note, or erased), and removed once the draft is gone. The next start
// reads it, so that whatever moment the process ended at, a text becomes exactly one note and
// an erased one none.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/note_name.h"
#include "support/path.h"

struct DraftRecord {
    // kErased: the draft holding the text was erased. kDraftFirst: the note of the text is being
    // written under its temporary name, not yet whole; a draft beside the record is older and
    // goes before the note takes its name, so a draft found with it means the note never did.
    // kNoteFirst: the note under its temporary name was whole before the record was written;
    // the draft goes after the note took its name (as earlier versions always wrote it).
    enum Kind { kErased, kDraftFirst, kNoteFirst } kind;
    // kErased: the erased draft's text; else the note's text.
    std::uint64_t size;
    std::uint64_t hash;
    // Not kErased: the time the note is named from, and its temporary file in its day folder.
    NoteTime time;
    char temporary[kPathBufferSize];
};

// FNV-1a, 64 bits: tells one text from another, not a secret.
std::uint64_t textHash(const char *text, std::size_t length);

// Room for a record's text.
constexpr std::size_t kDraftRecordSize = kPathBufferSize + 160;

// The record as text (Shift-JIS, CRLF); false when it does not fit.
bool formatDraftRecord(const DraftRecord &record, char (&text)[kDraftRecordSize]);
// False for anything but a whole record, one cut short by the end of its writer included.
bool parseDraftRecord(const char *text, DraftRecord *record);
