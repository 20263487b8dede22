// The names of the note tree: root\YYYY-MM\DD\hhmmss.txt, from the local time
// of the save. A second note of the same second is hhmmss_2.txt, then _3, ...
#pragma once

#include <cstddef>

struct NoteTime {
    int year;   // at least four digits in the name
    int month;  // 1 to 12
    int day;    // 1 to the month's last day
    int hour;   // 0 to 23
    int minute; // 0 to 59
    int second; // 0 to 59
};

// The draft of the open editor: kDraftName, or ~jotwell-draft_2.txt, _3, ... beside a draft
// that an earlier run left and that is still waiting to be made a note.
constexpr char kDraftName[] = "~jotwell-draft.txt";
// The highest sequence number a draft's name takes.
constexpr int kDraftSequenceLimit = 99;

// A name buffer holds the longest name of every kind ("99999-12", "235959_999.txt").
constexpr std::size_t kNoteNameSize = 24;
// The highest sequence number tried for one second's notes.
constexpr int kNoteSequenceLimit = 999;

bool noteTimeIsValid(const NoteTime &time);

// Each is false, with the name left empty, for an invalid time or a sequence
// outside 1 to kNoteSequenceLimit. Sequence 1 is the plain name.
bool noteMonthFolderName(const NoteTime &time, char (&name)[kNoteNameSize]); // "2024-05"
bool noteDayFolderName(const NoteTime &time, char (&name)[kNoteNameSize]);   // "07"
bool noteFileName(const NoteTime &time, int sequence,
                  char (&name)[kNoteNameSize]); // "090502.txt", "090502_2.txt"
// The name a note is written under before it is renamed to its own name: the time and a token
// that no other save takes while this one's record may name the file ("~090502-1A2B3C4D.tmp");
// where a path has no room for the token, the short names of earlier versions ("~090502.tmp",
// "~090502_2.tmp"), which a later save may take again once the note has its own.
bool noteTemporaryFileName(const NoteTime &time, unsigned token, char (&name)[kNoteNameSize]);
bool noteShortTemporaryFileName(const NoteTime &time, int sequence, char (&name)[kNoteNameSize]);

// "~jotwell-draft.txt", "~jotwell-draft_2.txt", ...; and the name it is written under before it
// is renamed to that ("~jotwell-draft.tmp", "~jotwell-draft_2.tmp"). False, with the name
// left empty, for a sequence outside 1 to kDraftSequenceLimit.
bool draftFileName(int sequence, char (&name)[kNoteNameSize]);
bool draftTemporaryName(int sequence, char (&name)[kNoteNameSize]);
// The record of what becomes of a draft ("~jotwell-draft.rec", "~jotwell-draft_2.rec", ...).
bool draftRecordName(int sequence, char (&name)[kNoteNameSize]);
// The slot's lock, held while an editor or a start uses the slot ("~jotwell-draft.lock", ...).
bool draftLockName(int sequence, char (&name)[kNoteNameSize]);
// The sequence of a draft's name (1 for kDraftName), or 0 when the name is no draft's: only
// these names are ever taken back as a note. The same for a record's and a temporary draft's.
int draftSequenceOf(const char *name);
int draftRecordSequenceOf(const char *name);
int draftTemporarySequenceOf(const char *name);
// True for a name that either makes, of any time, token and sequence; *token then tells
// whether it is one with a token.
bool isNoteTemporaryName(const char *name, bool *token = nullptr);
// True for the name of the empty file that takes a removed file's place for a moment
// ("~jw" and up to four hexadecimal digits, ".tmp").
bool isScratchName(const char *name);
