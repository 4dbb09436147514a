#include "shell/keep.h"

#include "core/log.h"
#include "record/aside.h"
#include "record/journalfile.h"
#include "record/keptkey.h"
#include "record/record.h"
#include "util/text.h"

namespace
{

// A key the module is about to write: journaled with the name of its copy
// first, then copied, so that an undo after a kill finds either the copy
// or a key not yet written.
int KeepKey(int rootId, const char *path)
{
    char key[kRecordFieldSize];
    char copy[kRecordFieldSize];
    if (CopyText(key, rootId == UNDO_MACHINE ? "HKLM\\" : "HKCU\\") < 0 ||
        AppendText(key, path) < 0 ||
        !NameKeptCopy(key, copy, GetTickCount() ^ GetCurrentProcessId()) ||
        !WriteJournal(JOURNAL_KEY, key, copy))
        return 0;
    KeptKeyResult copied = CopyKeptKey(key, copy);
    if (copied != KEPT_KEY_DONE) {
        LogLine("not kept for the undo (%s): key %.259s",
                copied == KEPT_KEY_TOO_LARGE ? "too large" : "cannot be copied", key);
        return 0;
    }
    LogLine("kept for the undo: key %.259s", key);
    return 1;
}

} // namespace

int KeepForUndo(const UndoItem *item)
{
    if (!item || item->size < static_cast<int>(sizeof(UndoItem)) ||
        BoundedLength(item->path, sizeof item->path) <= 0 || !JournalStarted())
        return 0;
    if (item->kind == UNDO_FILE) {
        // Only a complete path: a relative one would be resolved against
        // whatever folder setup stands in, now and at the undo.
        if (!IsCompleteRecordPath(item->path) || !PrepareToEdit(item->path))
            return 0;
        LogLine("kept for the undo: %.259s", item->path);
        return 1;
    }
    if (item->kind == UNDO_FOLDER) {
        if (!IsCompleteRecordPath(item->path))
            return 0;
        // Only a folder this run makes goes again.
        if (GetFileAttributesA(item->path) != INVALID_FILE_ATTRIBUTES)
            return 1;
        if (!WriteJournal(JOURNAL_DIR, item->path))
            return 0;
        LogLine("kept for the undo: folder %.259s", item->path);
        return 1;
    }
    if (item->kind != UNDO_KEY || (item->root != UNDO_MACHINE && item->root != UNDO_USER))
        return 0;
    return KeepKey(item->root, item->path);
}
