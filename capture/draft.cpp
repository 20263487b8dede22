// The draft, the save and the start's recovery: the steps and what each state means are in
// draft.h.
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

struct Slot {
    char draft[kPathBufferSize];
    char record[kPathBufferSize];
    char temporary[kPathBufferSize];
    char lock[kPathBufferSize];
};

bool slotOf(const char *folder, int sequence, Slot *slot) {
    char draft[kNoteNameSize], record[kNoteNameSize], temporary[kNoteNameSize], lock[kNoteNameSize];
    return draftFileName(sequence, draft) && draftRecordName(sequence, record) &&
           draftTemporaryName(sequence, temporary) && draftLockName(sequence, lock) &&
           joinFolder(slot->draft, folder, draft) && joinFolder(slot->record, folder, record) &&
           joinFolder(slot->temporary, folder, temporary) && joinFolder(slot->lock, folder, lock);
}

// The slot's lock: a hidden file held without sharing, removed when its handle closes, however
// the process ends. Null, and *held true, while another editor or start holds it; null alone
// when it cannot be made.
HANDLE lockSlot(const Slot &slot, bool *held) {
    HANDLE lock = CreateFileA(
        slot.lock, DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    *held = lock == INVALID_HANDLE_VALUE &&
            (GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_ACCESS_DENIED);
    return lock == INVALID_HANDLE_VALUE ? nullptr : lock;
}

// Removed, or not there to remove.
bool removed(const char *path) {
    if (deleteFileRetrying(path)) {
        fileStepDone("removed");
        return true;
    }
    return GetLastError() == ERROR_FILE_NOT_FOUND;
}

HANDLE createNewFile(const char *path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// A new file holding exactly the bytes, flushed to the disk. It is always created new, never
// opened, so that a link planted under the name is never followed: a draft cannot truncate
// the file it points to. A leftover of the name goes first.
bool writeNewFile(const char *path, const char *bytes, std::size_t length, const char *step) {
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
    if (written == ERROR_SUCCESS) {
        fileStepDone(step);
        return true;
    }
    DeleteFileA(path);
    SetLastError(written);
    return false;
}

// Written under the slot's ".tmp" and renamed over the destination, which thus holds the old
// bytes or the new, whole.
bool replaceFile(const Slot &slot, const char *destination, const char *bytes, std::size_t length,
                 const char *step) {
    if (!writeNewFile(slot.temporary, bytes, length, "written"))
        return false;
    if (!moveFileRetrying(slot.temporary, destination,
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileA(slot.temporary);
        SetLastError(error);
        return false;
    }
    fileStepDone(step);
    return true;
}

// A new record where the slot has none; replaced at once where it has one.
bool writeRecord(const Slot &slot, const DraftRecord &record, bool replace = false) {
    char text[kDraftRecordSize];
    if (!formatDraftRecord(record, text))
        return false;
    return replace ? replaceFile(slot, slot.record, text, std::strlen(text), "record replaced")
                   : writeNewFile(slot.record, text, std::strlen(text), "record written");
}

DraftRecord recordOf(DraftRecord::Kind kind, const char *text, const NoteTime &time,
                     const char *temporary) {
    DraftRecord record{};
    record.kind = kind;
    record.size = std::strlen(text);
    record.hash = textHash(text, record.size);
    record.time = time;
    sjisCopyBounded(sizeof record.temporary, record.temporary, temporary);
    return record;
}

// The whole file (freed by the caller with free()), terminated, its length and what the
// system says of it; null, with the last error set, when it cannot be read whole. A link is
// opened as itself, never followed.
char *readWhole(const char *path, std::size_t *length, BY_HANDLE_FILE_INFORMATION *info) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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

// Whether the file holds the record's text whole; *error says why it could not be read
// (ERROR_SUCCESS when it was).
bool holdsRecordText(const char *path, const DraftRecord &record, DWORD *error) {
    std::size_t length = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    char *text = readWhole(path, &length, &info); // freed here
    *error = text ? ERROR_SUCCESS : GetLastError();
    const bool whole = text && record.size == length && record.hash == textHash(text, length);
    std::free(text);
    return whole;
}

// A draft's text and the time of its last write. Only a plain file of its own is ever a
// note: a link, a file with other names too, or bytes that are no text stay where they are.
char *readDraft(const char *path, std::size_t *length, NoteTime *time) {
    BY_HANDLE_FILE_INFORMATION info{};
    char *text = readWhole(path, length, &info);
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

// Where this editor's drafts go, decided once: see draft.h.
bool chooseFolder(const AppSettings &settings, char (&folder)[kPathBufferSize]) {
    NoteSaveResult ignored{};
    if (localDraftFolder(folder, true) ||
        (noteRoot(settings, folder, &ignored) && isDirectory(folder)))
        return true;
    return GetIniFolder(folder);
}

// The first slot whose lock this editor can take and that holds neither a draft nor a record.
bool haveSlot(Draft *draft, const AppSettings &settings) {
    if (draft->sequence != 0)
        return true;
    if (!draft->folder[0] && !chooseFolder(settings, draft->folder)) {
        draft->folder[0] = '\0';
        return false;
    }
    for (int sequence = 1; sequence <= kDraftSequenceLimit; ++sequence) {
        Slot slot;
        bool held = false;
        HANDLE lock = slotOf(draft->folder, sequence, &slot) ? lockSlot(slot, &held) : nullptr;
        if (lock && !fileExists(slot.draft) && !fileExists(slot.record)) {
            draft->sequence = sequence;
            draft->lock = lock;
            return true;
        }
        if (lock)
            CloseHandle(lock);
    }
    return false;
}

// The editor leaves its slot to the next start (its files wait there) and takes another when
// it next needs one.
void leaveSlot(Draft *draft) {
    releaseDraft(draft);
    draft->onDisk = false;
}

// The text as the slot's draft, replacing it whole.
bool draftIn(Draft *draft, const Slot &slot, const char *text) {
    const std::size_t length = std::strlen(text);
    if (!replaceFile(slot, slot.draft, text, length, "draft replaced"))
        return false;
    draft->onDisk = true;
    draft->size = length;
    draft->hash = textHash(text, length);
    return true;
}

// A note that will not take its name goes: emptied first, then its record, then the file, so
// that a record never names a file that is gone without having become a note.
void abandonNote(const char *temporary, const char *record) {
    emptyFoundFile(temporary);
    if (!record || removed(record))
        removed(temporary);
}

// Steps 4 to 6 of a save (draft.h), T whole and, when recorded, R saying so. True once the note
// has its name; *settled then tells whether D and R are gone, or wait for the next start.
bool finishSave(const Slot &slot, bool recorded, bool draftOnDisk, DraftRecord *record,
                const PendingNote &note, NoteSaveResult *result, bool *settled) {
    *settled = false;
    // R says "saved", written through, before T takes its name, and D goes only after that: a
    // removal is not on the disk until something later on its volume is written through, and
    // the note may be on another volume. Where R cannot say so, D goes first, as before a
    // rename on its own volume. Without a record nothing would name T: D then stays until the
    // note has its name.
    if (draftOnDisk && recorded && record->kind == DraftRecord::kDraftFirst) {
        record->kind = DraftRecord::kNoteFirst;
        if (!writeRecord(slot, *record, true)) {
            record->kind = DraftRecord::kDraftFirst;
            if (!removed(slot.draft)) {
                sjisCopyBounded(sizeof result->path, result->path, slot.draft);
                result->error = GetLastError() ? GetLastError() : ERROR_SHARING_VIOLATION;
                return false;
            }
            draftOnDisk = false;
        }
    }
    bool durable = false;
    if (!nameNote(note, result, &durable))
        return false;
    // A name the system could not say is on the disk: the next start settles D and R.
    if (!durable || (draftOnDisk && !removed(slot.draft)))
        return true;
    *settled = !recorded || removed(slot.record);
    return true;
}

// A save's steps for the text in the draft's slot (or with no record, where it has none).
// On failure the text is kept in D (unless keep is false: then T and R stay when D is gone),
// and T goes.
bool saveInSlot(Draft *draft, PendingNote *note, const char *text, bool keep,
                NoteSaveResult *result) {
    Slot slot;
    const bool slotted = draft->sequence != 0 && slotOf(draft->folder, draft->sequence, &slot);
    HANDLE file = createTemporaryNote(note, result);
    if (file == INVALID_HANDLE_VALUE) {
        if (slotted && keep)
            draftIn(draft, slot, text);
        return false;
    }
    DraftRecord record = recordOf(DraftRecord::kDraftFirst, text, note->time, note->temporary);
    const bool recorded = slotted && writeRecord(slot, record);
    const bool whole = writeTemporaryNote(file, *note, text, result);
    bool settled = false;
    if (whole && finishSave(slot, recorded, draft->onDisk, &record, *note, result, &settled)) {
        draft->onDisk = false;
        if (!settled && slotted)
            leaveSlot(draft);
        return true;
    }
    // The note did not take its name: the text goes back to D, then T goes. R says "saving"
    // again first: a start would take an emptied T of a short name, found with "saved", for
    // the note.
    const bool inDraft = slotted && keep && draftIn(draft, slot, text);
    if (recorded && record.kind == DraftRecord::kNoteFirst) {
        record.kind = DraftRecord::kDraftFirst;
        if (!writeRecord(slot, record, true)) {
            leaveSlot(draft); // T, R and D wait: the next start names T and settles D
            return false;
        }
    }
    if (whole && slotted && !inDraft && !fileExists(slot.draft)) {
        leaveSlot(draft); // T is the text's only whole copy: it waits for the next start
        return false;
    }
    abandonNote(note->temporary, recorded ? slot.record : nullptr);
    return false;
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
    return haveSlot(draft, settings) && slotOf(draft->folder, draft->sequence, &slot) &&
           draftIn(draft, slot, text);
}

void eraseDraft(Draft *draft) {
    Slot slot;
    if (!draft->onDisk || !slotOf(draft->folder, draft->sequence, &slot))
        return;
    DraftRecord record{};
    record.kind = DraftRecord::kErased;
    record.size = draft->size;
    record.hash = draft->hash;
    const bool recorded = writeRecord(slot, record);
    draft->onDisk = false;
    if (!removed(slot.draft) || (recorded && !removed(slot.record)))
        leaveSlot(draft);
}

bool saveNote(Draft *draft, const AppSettings &settings, const char *text, NoteSaveResult *result) {
    char root[kPathBufferSize];
    PendingNote note;
    if (!noteRoot(settings, root, result) || !makeNoteFolders(root, noteTimeNow(), &note, result)) {
        writeDraft(draft, settings, text);
        return false;
    }
    // A slot for the record even before the first draft: a save ended at any step then still
    // leaves its text to be found.
    haveSlot(draft, settings);
    return saveInSlot(draft, &note, text, true, result);
}

void releaseDraft(Draft *draft) {
    if (draft->lock)
        CloseHandle(draft->lock);
    draft->lock = nullptr;
    draft->sequence = 0;
}

namespace {

// The start's recovery of one slot, its lock held.
struct Recovery {
    const char *root;             // the notes' root, empty when the settings give none
    const NoteSaveResult &noRoot; // why not, then
    const char *folder;
    int sequence;
    Slot slot;
    DraftOutcome *outcome;
};

// Told: kept, with why and where the text is.
bool keep(const Recovery &r, const char *path, DWORD error, const char *kept, bool again = true) {
    NoteSaveResult &result = r.outcome->result;
    sjisCopyBounded(sizeof result.path, result.path, path);
    result.error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    sjisCopyBounded(sizeof r.outcome->kept, r.outcome->kept, kept);
    r.outcome->saved = false;
    r.outcome->again = again;
    return true;
}

bool saved(const Recovery &r) {
    r.outcome->saved = true;
    return true;
}

// D gone, then R: the text is a note already, or was erased. A D held by another program keeps
// R, which keeps the next start from saving it again.
bool settle(const Recovery &r) {
    if (removed(r.slot.draft))
        removed(r.slot.record);
    return false;
}

// No record, or one cut short: D is the text. True when there is something to tell.
bool recoverDraft(const Recovery &r) {
    std::size_t length = 0;
    NoteTime time{};
    char *text = readDraft(r.slot.draft, &length, &time); // freed here
    if (!text) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return settle(r);
        const bool again = error != kErrorDraftIsLink && error != kErrorDraftHasNul;
        return keep(r, r.slot.draft, error, r.slot.draft, again);
    }
    if (length == 0) {
        std::free(text);
        return settle(r);
    }
    if (!r.root[0]) {
        std::free(text);
        return keep(r, r.noRoot.path, r.noRoot.error, r.slot.draft);
    }
    Draft draft{};
    sjisCopyBounded(sizeof draft.folder, draft.folder, r.folder);
    draft.sequence = r.sequence;
    draft.onDisk = true;
    PendingNote note;
    NoteSaveResult &result = r.outcome->result;
    const bool done = makeNoteFolders(r.root, time, &note, &result) &&
                      saveInSlot(&draft, &note, text, false, &result);
    std::free(text);
    if (done)
        return saved(r);
    return keep(r, result.path, result.error,
                fileExists(r.slot.draft) ? r.slot.draft : note.temporary);
}

// An erase that ended early: D goes if it holds the erased text; a D of another text is
// a text of its own.
bool recoverErased(const Recovery &r, const DraftRecord &record) {
    DWORD error = ERROR_SUCCESS;
    if (holdsRecordText(r.slot.draft, record, &error) || error == ERROR_FILE_NOT_FOUND)
        return settle(r);
    if (error != ERROR_SUCCESS)
        return keep(r, r.slot.draft, error, r.slot.draft);
    return recoverDraft(r);
}

// Only a temporary note of the record's own time in its day folder of the notes' root is ever
// read, named or removed for a record: one planted elsewhere reaches nothing, no share or
// folder the settings do not name.
bool namesOwnNote(const char *root, const DraftRecord &record, PendingNote *note, bool *token) {
    char month[kNoteNameSize], day[kNoteNameSize], monthFolder[kPathBufferSize],
        expected[kPathBufferSize], name[kNoteNameSize];
    sjisCopyBounded(sizeof note->dayFolder, note->dayFolder, record.temporary);
    const char *temporary = pathCutLastComponent(note->dayFolder);
    sjisCopyBounded(sizeof note->temporary, note->temporary, record.temporary);
    note->time = record.time;
    return root[0] && noteMonthFolderName(record.time, month) &&
           noteDayFolderName(record.time, day) && noteFileName(record.time, 1, name) &&
           joinFolder(monthFolder, root, month) && joinFolder(expected, monthFolder, day) &&
           lstrcmpiA(expected, note->dayFolder) == 0 && isNoteTemporaryName(temporary, token) &&
           std::strncmp(temporary + 1, name, 6) == 0;
}

// What became of a save the record names: T's state decides (draft.h).
bool recoverSave(const Recovery &r, DraftRecord *record) {
    PendingNote note;
    bool token = false;
    if (!namesOwnNote(r.root, *record, &note, &token))
        return keep(r, record->temporary, kErrorRecordElsewhere, r.slot.record, false);
    DWORD error = ERROR_SUCCESS;
    if (holdsRecordText(note.temporary, *record, &error)) {
        bool settled = false;
        NoteSaveResult &result = r.outcome->result;
        if (finishSave(r.slot, true, fileExists(r.slot.draft), record, note, &result, &settled))
            return saved(r);
        return keep(r, result.path, result.error, note.temporary);
    }
    // A file of the name without the record's text: the save was cut short before the text was
    // in it, where the name has a token no other save takes; a short name of a long path may be
    // another save's file since, which is left as it is, as if the record's were gone.
    if (error == ERROR_SUCCESS && token) {
        abandonNote(note.temporary, r.slot.record);
        return recoverDraft(r);
    }
    if (error == ERROR_SUCCESS)
        error = ERROR_FILE_NOT_FOUND;
    // Gone only where the notes' root is there to say so: a drive or share that is missing says
    // nothing.
    if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) || !isDirectory(r.root))
        return keep(r, note.temporary, error,
                    fileExists(r.slot.draft) ? r.slot.draft : note.temporary);
    if (record->kind == DraftRecord::kNoteFirst)
        return settle(r);
    removed(r.slot.record); // T never held the text: D, if any, is it
    return recoverDraft(r);
}

// One slot an earlier run left. True when outcome has something to tell.
bool recoverSlot(const char *root, const NoteSaveResult &noRoot, const char *folder, int sequence,
                 DraftOutcome *outcome) {
    zeroFill(outcome, sizeof *outcome);
    Recovery r{root, noRoot, folder, sequence, {}, outcome};
    bool held = false;
    HANDLE lock = slotOf(folder, sequence, &r.slot) ? lockSlot(r.slot, &held) : nullptr;
    if (held || !r.slot.draft[0])
        return false; // another instance's, in use
    // A draft or record cut short while it was written: the file it was to replace stands.
    if (fileExists(r.slot.temporary))
        removeFoundFile(r.slot.temporary);
    std::size_t length = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    char *text = readWhole(r.slot.record, &length, &info); // freed here
    const DWORD error = text ? ERROR_SUCCESS : GetLastError();
    DraftRecord record{};
    // A record cut short by the end of its writer was written before T held any text.
    const bool whole = text && parseDraftRecord(text, &record);
    std::free(text);
    bool told = false;
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        told = keep(r, r.slot.record, error, r.slot.draft);
    else if (whole && record.kind == DraftRecord::kErased)
        told = recoverErased(r, record);
    else if (whole)
        told = recoverSave(r, &record);
    else
        told = recoverDraft(r);
    if (lock)
        CloseHandle(lock);
    return told;
}

struct Found {
    FILETIME written; // the draft's last write; zero for a slot without one
    int folder;
    int sequence;
};

// The slots in one folder, added to found; empty leftovers a minute old go. False, with
// outcome saying why, when the folder could not be searched.
bool findSlots(const char *folder, int index, Found *found, int *count, int capacity,
               DraftOutcome *outcome) {
    removeLeftovers(folder);
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
        sjisCopyBounded(sizeof outcome->result.path, outcome->result.path, folder);
        sjisCopyBounded(sizeof outcome->kept, outcome->kept, folder);
        outcome->result.error = error;
        outcome->again = true;
        return false;
    }
    Found slots[kDraftSequenceLimit + 1] = {};
    do {
        const char *name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        int sequence = draftSequenceOf(name);
        if (sequence)
            slots[sequence] = {data.ftLastWriteTime, index, sequence};
        else if ((sequence = draftRecordSequenceOf(name)) ||
                 (sequence = draftTemporarySequenceOf(name)))
            slots[sequence].sequence = sequence, slots[sequence].folder = index;
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
    NoteSaveResult noRoot{};
    char root[kPathBufferSize] = "";
    if (!noteRoot(settings, root, &noRoot))
        root[0] = '\0';
    const auto add = [&](bool have) {
        if (have && pathResolve(folders[count], found, "") == kPathResolved) {
            for (int i = 0; i < count; ++i)
                if (lstrcmpiA(folders[i], folders[count]) == 0)
                    return;
            ++count;
        }
    };
    add(localDraftFolder(found, false));
    add(root[0] && isDirectory(root) && sjisCopyBounded(sizeof found, found, root));
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
        if (recoverSlot(root, noRoot, folders[slots[i].folder], slots[i].sequence, &outcome))
            report(outcome, context);
}
