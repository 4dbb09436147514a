#include "record/undo.h"

#include <windows.h>

#include "record/bounds.h"
#include "record/journalfile.h"
#include "record/keptkey.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

bool Exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool InUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED || error == ERROR_USER_MAPPED_FILE;
}

// A file to go: deleted, or in use and scheduled for the restart. `undoing`
// says whether this takes back a change (logged each) or clears up after a
// complete installation (only what stays is logged).
void DeleteOrSchedule(const char *path, const char *what, bool undoing, UndoLogger log,
                      UndoCounts *counts)
{
    const char *prefix = undoing ? "not undone: " : "";
    // A file kept aside keeps its attributes: a read-only one is still ours to delete.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(path) || !Exists(path)) {
        if (undoing)
            log("undone: %s %.259s deleted", what, path);
        ++counts->undone;
        return;
    }
    DWORD error = GetLastError();
    if (InUse(error) && MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        log("%sin use: %s %.259s is deleted at the next restart", prefix, what, path);
        ++counts->scheduled;
        return;
    }
    log("%s%s %.259s cannot be deleted (error %lu)", prefix, what, path, error);
    ++counts->kept;
}

// True when `path` is the temporary file of a replacement at the restart.
bool AwaitsRestart(const Journal *journal, const char *path)
{
    for (int i = 0; i < journal->count; ++i) {
        if (journal->entries[i].kind == JOURNAL_RESTART &&
            lstrcmpiA(journal->entries[i].path, path) == 0)
            return true;
    }
    return false;
}

void PutBack(const JournalEntry &entry, UndoLogger log, UndoCounts *counts)
{
    // Not kept aside yet: the file never left its place.
    if (!Exists(entry.other))
        return;
    // A rename on its own volume: the old content, times and attributes as they were.
    if (MoveFileExA(entry.other, entry.path, MOVEFILE_REPLACE_EXISTING)) {
        log("undone: %.259s put back as it was", entry.path);
        ++counts->undone;
        return;
    }
    DWORD error = GetLastError();
    if (InUse(error) && MoveFileExA(entry.other, entry.path,
                                    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        log("not undone, in use: %.259s is put back at the next restart from %.259s", entry.path,
            entry.other);
        ++counts->scheduled;
        return;
    }
    log("not undone: %.259s cannot be put back (error %lu); the old file is %.259s", entry.path,
        error, entry.other);
    ++counts->kept;
}

void PutKeyBack(const JournalEntry &entry, UndoLogger log, UndoCounts *counts)
{
    switch (RestoreKeptKey(entry.path, entry.other)) {
    case KEPT_KEY_DONE:
        log("undone: key %.259s put back as it was", entry.path);
        ++counts->undone;
        return;
    case KEPT_KEY_NO_COPY:
        // Announced, but stopped before its copy was whole: the key was not
        // written yet, as the module writes it only once it is kept.
        log("key %.259s: no copy %.259s, not changed", entry.path, entry.other);
        return;
    default:
        log("not undone: key %.259s cannot be put back whole", entry.path);
        break;
    }
    ++counts->kept;
}

void RemoveFolder(const char *path, UndoLogger log, UndoCounts *counts)
{
    if (RemoveDirectoryA(path) || !Exists(path)) {
        log("undone: folder %.259s removed", path);
        ++counts->undone;
    } else {
        log("not undone: folder %.259s is not empty", path);
        ++counts->kept;
    }
}

} // namespace

bool JournalEntryWithinBounds(const JournalEntry &entry, const char *folder,
                              const RecordPlaces &places, const char *windows)
{
    // A key comes back only from a copy that says it is that key's (record/keptkey.h).
    if (entry.kind == JOURNAL_KEY)
        return true;
    const char *paths[] = {entry.path, entry.other};
    int count = entry.kind == JOURNAL_ASIDE || entry.kind == JOURNAL_RESTART ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        RecordItem item = {};
        item.kind = entry.kind == JOURNAL_DIR ? RECORD_DIR : RECORD_FILE;
        if (CopyText(item.path, paths[i]) < 0)
            return false;
        bool inside = ItemWithinBounds(item, folder, places);
        if (!inside) {
            item.kind = entry.kind == JOURNAL_DIR ? RECORD_GROUP : RECORD_LINK;
            inside = ItemWithinBounds(item, folder, places);
        }
        // This run's own journal also names the Windows folder's files and
        // the folders it made above its destination.
        if (!inside && windows && windows[0])
            inside = FullPathWithin(paths[i], windows, false) ||
                     (entry.kind == JOURNAL_DIR && FullPathWithin(folder, paths[i], false));
        if (!inside)
            return false;
    }
    return true;
}

UndoCounts UndoJournal(const Journal *journal, const char *folder, const RecordPlaces &places,
                       const char *windows, UndoLogger log)
{
    UndoCounts counts = {};
    char journalPath[kPathSize];
    JoinPath(journalPath, folder, kJournalFileName);
    for (int i = journal->count - 1; i >= 0; --i) {
        const JournalEntry &entry = journal->entries[i];
        if (!JournalEntryWithinBounds(entry, folder, places, windows)) {
            log("not undone, outside the installation's places: %.259s", entry.path);
            ++counts.kept;
            continue;
        }
        switch (entry.kind) {
        case JOURNAL_DIR:
            // The journal's own folder, and those above it, go once the journal has.
            if (!FullPathWithin(journalPath, entry.path, false))
                RemoveFolder(entry.path, log, &counts);
            break;
        case JOURNAL_NEW:
            if (Exists(entry.path))
                DeleteOrSchedule(entry.path, "file", true, log, &counts);
            break;
        case JOURNAL_TEMP:
            if (Exists(entry.path))
                DeleteFileA(entry.path);
            break;
        case JOURNAL_ASIDE:
            PutBack(entry, log, &counts);
            break;
        case JOURNAL_KEY:
            PutKeyBack(entry, log, &counts);
            break;
        case JOURNAL_RESTART:
            // Without its temporary file the scheduled rename finds nothing to move.
            if (Exists(entry.path))
                DeleteOrSchedule(entry.path, "the replacement awaiting the restart,", true, log,
                                 &counts);
            break;
        default:
            break;
        }
    }
    if (!DeleteJournalFile(folder))
        log("the journal %.259s cannot be deleted", journalPath);
    for (int i = journal->count - 1; i >= 0; --i) {
        const JournalEntry &entry = journal->entries[i];
        if (entry.kind == JOURNAL_DIR && FullPathWithin(journalPath, entry.path, false) &&
            JournalEntryWithinBounds(entry, folder, places, windows))
            RemoveFolder(entry.path, log, &counts);
    }
    return counts;
}

void FinishJournal(const Journal *journal, const char *folder, const RecordPlaces &places,
                   const char *windows, UndoLogger log)
{
    UndoCounts counts = {};
    for (int i = 0; i < journal->count; ++i) {
        const JournalEntry &entry = journal->entries[i];
        if (!JournalEntryWithinBounds(entry, folder, places, windows))
            continue;
        if (entry.kind == JOURNAL_KEY)
            DropKeptKey(entry.path, entry.other);
        else if (entry.kind == JOURNAL_ASIDE && Exists(entry.other))
            DeleteOrSchedule(entry.other, "the replaced file kept aside,", false, log, &counts);
        else if (entry.kind == JOURNAL_TEMP && Exists(entry.path) &&
                 !AwaitsRestart(journal, entry.path))
            DeleteFileA(entry.path);
    }
    DeleteJournalFile(folder);
}

EarlierJournal SettleEarlierJournal(const char *folder, const RecordPlaces &places, UndoLogger log,
                                    UndoCounts *counts)
{
    Journal *journal = NewJournal();
    if (!journal)
        return EARLIER_UNUSABLE;
    bool missing = false;
    bool busy = false;
    JournalRead read = ReadJournalFile(folder, journal, &missing, &busy);
    EarlierJournal result = EARLIER_NONE;
    char normalOwn[kPathSize];
    char normalFound[kPathSize];
    if (missing) {
        result = EARLIER_NONE;
    } else if (busy) {
        log("journal in %.259s: another setup is installing there now; nothing undone", folder);
        result = EARLIER_UNUSABLE;
    } else if (read != JOURNAL_OK) {
        log("journal in %.259s: %s; nothing undone", folder, JournalReadMeaning(read));
        result = EARLIER_UNUSABLE;
    } else if (!NormaliseFullPath(normalOwn, folder) ||
               !NormaliseFullPath(normalFound, journal->folder) ||
               lstrcmpiA(normalOwn, normalFound) != 0) {
        log("journal in %.259s: it was written for %.259s; nothing undone", folder,
            journal->folder);
        result = EARLIER_UNUSABLE;
    } else if (journal->complete) {
        log("journal in %.259s: an installation completed there; its leftovers go", folder);
        FinishJournal(journal, folder, places, nullptr, log);
        result = EARLIER_FINISHED;
    } else {
        log("journal in %.259s: an installation there did not finish; undoing it (%d changes)",
            folder, journal->count);
        UndoCounts undone = UndoJournal(journal, folder, places, nullptr, log);
        log("undo: %d changes taken back, %d at the next restart, %d not", undone.undone,
            undone.scheduled, undone.kept);
        if (counts)
            *counts = undone;
        result = EARLIER_ROLLED_BACK;
    }
    FreeJournal(journal);
    return result;
}
