#include "capture/draft.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "capture/draft_record.h"
#include "settings/settings.h"
#include "support/error_text.h"
#include "support/path.h"
#include "support/sjis.h"

namespace {

// One slot of a draft folder: the draft, its record, and the name the draft is written under
// before it is renamed to its own.
struct Slot {
    char draft[kPathBufferSize];
    char record[kPathBufferSize];
    char temporary[kPathBufferSize];
};

bool slotOf(const char *folder, int sequence, Slot *slot) {
    char draft[kNoteNameSize], record[kNoteNameSize], temporary[kNoteNameSize];
    return draftFileName(sequence, draft) && draftRecordName(sequence, record) &&
           draftTemporaryName(sequence, temporary) && joinFolder(slot->draft, folder, draft) &&
           joinFolder(slot->record, folder, record) &&
           joinFolder(slot->temporary, folder, temporary);
}

// Removed, or not there to remove.
bool gone(bool removed) {
    return removed || GetLastError() == ERROR_FILE_NOT_FOUND;
}

HANDLE createNewFile(const char *path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// A new file holding exactly the bytes, flushed to the disk. It is always created new, never
// opened, so that a link planted under the name is never followed: a draft cannot truncate
// the file it points to. A leftover of the name goes first.
bool writeNewFile(const char *path, const char *bytes, std::size_t length) {
    HANDLE file = createNewFile(path);
    const DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE &&
        (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && removeFoundFile(path))
        file = createNewFile(path);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = writeWhole(file, bytes, length);
    if (!CloseHandle(file) && written == ERROR_SUCCESS)
        written = GetLastError();
    if (written == ERROR_SUCCESS)
        return true;
    DeleteFileA(path);
    SetLastError(written);
    return false;
}

bool writeRecord(const char *path, const DraftRecord &record) {
    char text[kDraftRecordSize];
    return formatDraftRecord(record, text) && writeNewFile(path, text, std::strlen(text));
}

// The whole file (freed by the caller with free()), terminated, its length and what the
// system says of it; null, with the last error set, when it cannot be read whole. A link is
// opened as itself, never followed.
char *readWhole(const char *path, DWORD share, std::size_t *length,
                BY_HANDLE_FILE_INFORMATION *info) {
    HANDLE file = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD got = 0;
    char *text = nullptr;
    const bool read = GetFileInformationByHandle(file, info) && info->nFileSizeHigh == 0 &&
                      info->nFileSizeLow < 0x7FFFFFFF &&
                      (text = static_cast<char *>(std::calloc(info->nFileSizeLow + 1, 1))) &&
                      ReadFile(file, text, info->nFileSizeLow, &got, nullptr) &&
                      got == info->nFileSizeLow;
    const DWORD error = read ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (!read) {
        std::free(text);
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_READ_FAULT);
        return nullptr;
    }
    *length = got;
    return text;
}

// A draft's text and the time of its last write. Only a plain file of its own is ever a
// note: a link, a file with other names too, or bytes that are no text stay where they are.
char *readDraft(const char *path, std::size_t *length, NoteTime *time) {
    BY_HANDLE_FILE_INFORMATION info{};
    char *text = readWhole(path, FILE_SHARE_READ, length, &info);
    if (!text)
        return nullptr;
    DWORD error = ERROR_SUCCESS;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1)
        error = kErrorDraftIsLink;
    else if (std::memchr(text, '\0', *length))
        error = kErrorDraftHasNul;
    else if (!noteTimeOfFileTime(info.ftLastWriteTime, time))
        error = ERROR_INVALID_DATA;
    if (error == ERROR_SUCCESS)
        return text;
    std::free(text);
    SetLastError(error);
    return nullptr;
}

// True when the file holds exactly the text the record names.
bool holdsRecordedText(const char *path, const DraftRecord &record) {
    std::size_t length = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    char *text = readWhole(path, FILE_SHARE_READ | FILE_SHARE_DELETE, &length, &info);
    const bool holds = text && length == record.size && textHash(text, length) == record.hash;
    std::free(text);
    return holds;
}

// Whether the note the record names took its name in its day folder: ERROR_SUCCESS when it
// did, ERROR_FILE_NOT_FOUND when it did not, or why the folder could not be searched.
DWORD findRecordedNote(const char *folder, const DraftRecord &record) {
    char name[kNoteNameSize], pattern[kPathBufferSize];
    noteFileName(record.time, 1, name); // hhmmss.txt: its seconds' notes are hhmmss*.txt
    std::strcpy(name + 6, "*.txt");
    if (!joinFolder(pattern, folder, name))
        return ERROR_FILE_NOT_FOUND;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND
                                                                             : error;
    }
    bool saved = false;
    do {
        char path[kPathBufferSize];
        saved = !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.nFileSizeHigh == 0 &&
                found.nFileSizeLow == record.size && joinFolder(path, folder, found.cFileName) &&
                holdsRecordedText(path, record);
    } while (!saved && FindNextFileA(search, &found));
    FindClose(search);
    return saved ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// The draft and then its record go; what stays (held by another program) waits for the next
// start, and the record keeps it from being saved again.
void settleSlot(const Slot &slot) {
    if (gone(deleteFileRetrying(slot.draft)))
        deleteFileRetrying(slot.record);
}

// Names the pending note and settles the draft, in an order that leaves the text one note
// whatever moment the process ends at: the record goes to the disk first, then the note takes
// its name, then the draft goes, then the record.
bool settle(Draft *draft, const PendingNote &note, const char *text, NoteSaveResult *result) {
    Slot slot;
    const bool slotted = draft->sequence != 0 && slotOf(draft->folder, draft->sequence, &slot);
    DraftRecord record{};
    record.kind = DraftRecord::kSaved;
    record.size = std::strlen(text);
    record.hash = textHash(text, record.size);
    record.time = note.time;
    sjisCopyBounded(sizeof record.temporary, record.temporary, note.temporary);
    const bool recorded = slotted && writeRecord(slot.record, record);
    if (!nameNote(note, result)) {
        // Without the note, the record proves nothing: the draft stays the text's keeper.
        if (recorded)
            DeleteFileA(slot.record);
        DeleteFileA(note.temporary);
        return false;
    }
    const bool draftGone = !draft->onDisk || gone(deleteFileRetrying(slot.draft));
    draft->onDisk = false;
    if (!draftGone || (recorded && !gone(deleteFileRetrying(slot.record))))
        draft->sequence = 0; // left to the next start; later text takes another slot
    return true;
}

// Where this editor's drafts go, decided once: see draft.h.
bool chooseFolder(const AppSettings &settings, char (&folder)[kPathBufferSize]) {
    NoteSaveResult ignored{};
    if (localDraftFolder(folder, true) ||
        (noteRoot(settings, folder, &ignored) && isDirectory(folder)))
        return true;
    return GetIniFolder(folder);
}

// A slot is free while neither a draft nor a record has its name.
bool haveSlot(Draft *draft, const AppSettings &settings) {
    if (!draft->folder[0] && !chooseFolder(settings, draft->folder)) {
        draft->folder[0] = '\0';
        return false;
    }
    for (int sequence = 1; draft->sequence == 0 && sequence <= kDraftSequenceLimit; ++sequence) {
        Slot slot;
        if (slotOf(draft->folder, sequence, &slot) && !fileExists(slot.draft) &&
            !fileExists(slot.record))
            draft->sequence = sequence;
    }
    return draft->sequence != 0;
}

} // namespace

bool localDraftFolder(char (&folder)[kPathBufferSize], bool make) {
    char base[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) == S_OK &&
        joinFolder(folder, base, "Jotwell") &&
        (isDirectory(folder) ||
         (make && (CreateDirectoryA(folder, nullptr) || isDirectory(folder)))))
        return true;
    folder[0] = '\0';
    return false;
}

bool writeDraft(Draft *draft, const AppSettings &settings, const char *text) {
    Slot slot;
    if (!haveSlot(draft, settings) || !slotOf(draft->folder, draft->sequence, &slot))
        return false;
    const std::size_t length = std::strlen(text);
    if (!writeNewFile(slot.temporary, text, length))
        return false;
    if (!moveFileRetrying(slot.temporary, slot.draft, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(slot.temporary);
        return false;
    }
    draft->onDisk = true;
    draft->size = length;
    draft->hash = textHash(text, length);
    return true;
}

void eraseDraft(Draft *draft) {
    Slot slot;
    if (!draft->onDisk || !slotOf(draft->folder, draft->sequence, &slot))
        return;
    DraftRecord record{};
    record.kind = DraftRecord::kErased;
    record.size = draft->size;
    record.hash = draft->hash;
    const bool recorded = writeRecord(slot.record, record);
    draft->onDisk = false;
    if (!gone(deleteFileRetrying(slot.draft)) ||
        (recorded && !gone(deleteFileRetrying(slot.record))))
        draft->sequence = 0; // left to the next start; later text takes another slot
}

bool saveNote(Draft *draft, const AppSettings &settings, const char *text, NoteSaveResult *result) {
    char root[kPathBufferSize];
    PendingNote note;
    if (!noteRoot(settings, root, result) || !prepareNote(root, noteTimeNow(), text, &note, result))
        return false;
    // A slot for the record even before the first draft: a crash before the note has its name
    // then still leaves its text to be found.
    haveSlot(draft, settings);
    return settle(draft, note, text, result);
}

namespace {

bool failed(DraftOutcome *outcome, const char *path, DWORD error) {
    sjisCopyBounded(kPathBufferSize, outcome->result.path, path);
    outcome->result.error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    outcome->saved = false;
    return true;
}

// What the slot's record says, if it has a whole one; false, with outcome told, when it
// cannot be read.
bool readRecord(const Slot &slot, DraftRecord *record, bool *whole, DraftOutcome *outcome) {
    std::size_t length = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    char *text = readWhole(slot.record, FILE_SHARE_READ | FILE_SHARE_DELETE, &length, &info);
    // A record cut short by the end of its writer was written before any note took its name.
    *whole = text && parseDraftRecord(text, record);
    const DWORD error = text ? ERROR_SUCCESS : GetLastError();
    std::free(text);
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND)
        return true;
    failed(outcome, slot.record, error);
    return false;
}

// One slot an earlier run left. True when outcome has something to tell.
bool recoverSlot(const AppSettings &settings, const char *folder, int sequence,
                 DraftOutcome *outcome) {
    zeroFill(outcome, sizeof *outcome);
    Slot slot;
    if (!slotOf(folder, sequence, &slot))
        return false;
    sjisCopyBounded(sizeof outcome->draft, outcome->draft, slot.draft);
    DraftRecord record;
    bool whole = false;
    if (!readRecord(slot, &record, &whole, outcome))
        return true;
    if (whole && record.kind == DraftRecord::kSaved) {
        PendingNote note{};
        note.time = record.time;
        sjisCopyBounded(sizeof note.temporary, note.temporary, record.temporary);
        sjisCopyBounded(sizeof note.dayFolder, note.dayFolder, record.temporary);
        const char *temporaryName = pathCutLastComponent(note.dayFolder);
        const DWORD found = findRecordedNote(note.dayFolder, record);
        if (found == ERROR_SUCCESS) {
            settleSlot(slot); // saved before the process ended
            return false;
        }
        if (found != ERROR_FILE_NOT_FOUND)
            return failed(outcome, record.temporary, found);
        // Ended after the note was written whole and before it took its name. Only a file of
        // the name a save writes is taken: a planted record could name any other.
        if (isNoteTemporaryName(temporaryName) && holdsRecordedText(note.temporary, record)) {
            outcome->saved = nameNote(note, &outcome->result);
            if (outcome->saved)
                settleSlot(slot);
            return true;
        }
    }
    std::size_t length = 0;
    NoteTime time{};
    char *text = readDraft(slot.draft, &length, &time); // freed here
    if (!text) {
        // Only a draft that is not there is no draft: any other failure keeps it, and is told.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            return failed(outcome, slot.draft, error);
        DeleteFileA(slot.record);
        return false;
    }
    const bool erased = whole && record.kind == DraftRecord::kErased && record.size == length &&
                        record.hash == textHash(text, length);
    bool told = false;
    if (erased || length == 0) {
        settleSlot(slot);
    } else {
        Draft draft{};
        sjisCopyBounded(sizeof draft.folder, draft.folder, folder);
        draft.sequence = sequence;
        draft.onDisk = true;
        char root[kPathBufferSize];
        PendingNote note;
        outcome->saved = noteRoot(settings, root, &outcome->result) &&
                         prepareNote(root, time, text, &note, &outcome->result) &&
                         settle(&draft, note, text, &outcome->result);
        told = true;
    }
    std::free(text);
    return told;
}

struct Found {
    FILETIME written; // the draft's last write; zero for a record alone
    int folder;
    int sequence;
};

// The slots of drafts and records in one folder, added to found; half-written drafts are
// removed. False, with outcome saying why, when the folder could not be searched.
bool findSlots(const char *folder, int index, Found *found, int *count, int capacity,
               DraftOutcome *outcome) {
    char pattern[kPathBufferSize];
    if (!joinFolder(pattern, folder, "~jotwell-draft*"))
        return true;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_NO_MORE_FILES)
            return true;
        zeroFill(outcome, sizeof *outcome);
        sjisCopyBounded(sizeof outcome->draft, outcome->draft, folder);
        failed(outcome, folder, error);
        return false;
    }
    Found slots[kDraftSequenceLimit + 1] = {};
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char path[kPathBufferSize];
        if (const int sequence = draftSequenceOf(data.cFileName))
            slots[sequence] = {data.ftLastWriteTime, index, sequence};
        else if (const int recorded = draftRecordSequenceOf(data.cFileName))
            slots[recorded].sequence = recorded, slots[recorded].folder = index;
        else if (draftTemporarySequenceOf(data.cFileName) &&
                 joinFolder(path, folder, data.cFileName))
            removeFoundFile(path); // the program ended while it was written
    } while (FindNextFileA(search, &data));
    FindClose(search);
    for (const Found &slot : slots)
        if (slot.sequence && *count < capacity)
            found[(*count)++] = slot;
    return true;
}

} // namespace

void recoverDrafts(const AppSettings &settings, DraftReport report, void *context) {
    // Jotwell's own folder, and where earlier versions kept drafts, each once.
    constexpr int kFolders = 3;
    char folders[kFolders][kPathBufferSize] = {};
    char found[kPathBufferSize];
    int count = 0;
    NoteSaveResult ignored{};
    const auto add = [&](bool have) {
        if (have && pathResolve(folders[count], found, "") == kPathResolved) {
            for (int i = 0; i < count; ++i)
                if (lstrcmpiA(folders[i], folders[count]) == 0)
                    return;
            ++count;
        }
    };
    add(localDraftFolder(found, false));
    add(noteRoot(settings, found, &ignored) && isDirectory(found));
    add(GetIniFolder(found));

    Found slots[kFolders * kDraftSequenceLimit];
    int total = 0;
    DraftOutcome outcome;
    for (int i = 0; i < count; ++i)
        if (!findSlots(folders[i], i, slots, &total, kFolders * kDraftSequenceLimit, &outcome))
            report(outcome, context);
    // Oldest first, so that the notes' names follow the order they were written in.
    for (int i = 1; i < total; ++i)
        for (int j = i; j > 0 && CompareFileTime(&slots[j].written, &slots[j - 1].written) < 0; --j)
            std::swap(slots[j - 1], slots[j]);
    for (int i = 0; i < total; ++i)
        if (recoverSlot(settings, folders[slots[i].folder], slots[i].sequence, &outcome))
            report(outcome, context);
}
