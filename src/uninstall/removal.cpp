#include "uninstall/removal.h"

#include <windows.h>
#include <string.h>

#include "record/bounds.h"
#include "record/recordfile.h"
#include "uninstall/ulog.h"
#include "util/text.h"

namespace
{

// Bytes a settings file may have and still hold nothing worth keeping.
constexpr DWORD kEmptySettingsProbe = 64;

Outcome DeleteOrSchedule(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return OUTCOME_ABSENT;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(path))
        return OUTCOME_REMOVED;
    DWORD error = GetLastError();
    if ((error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION) &&
        MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return OUTCOME_SCHEDULED;
    Log("cannot remove %.259s (error %lu)", path, error);
    return OUTCOME_KEPT;
}

Outcome RemoveFile(const RecordItem &item)
{
    uint64_t size = 0;
    uint64_t written = 0;
    if (!FileFacts(item.path, &size, &written))
        return GetFileAttributesA(item.path) == INVALID_FILE_ATTRIBUTES ? OUTCOME_ABSENT
                                                                        : OUTCOME_KEPT;
    // Not what setup left: the user's work, or another program's.
    if (size != item.size || written != item.written)
        return OUTCOME_CHANGED;
    return DeleteOrSchedule(item.path);
}

// A settings file that holds nothing but blanks.
bool HoldsNothing(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char bytes[kEmptySettingsProbe + 1];
    DWORD read = 0;
    bool empty = ReadFile(file, bytes, sizeof bytes, &read, nullptr) && read <= kEmptySettingsProbe;
    CloseHandle(file);
    for (DWORD i = 0; empty && i < read; ++i)
        empty = static_cast<unsigned char>(bytes[i]) <= ' ';
    return empty;
}

Outcome RemoveSetting(const RecordItem &item, const char *folder)
{
    if (GetFileAttributesA(item.path) == INVALID_FILE_ATTRIBUTES)
        return OUTCOME_ABSENT;
    if (!WritePrivateProfileStringA(item.section, item.key, nullptr, item.path))
        return OUTCOME_KEPT;
    // A section the product's keys alone made goes with them, and so does a
    // file they alone filled.
    char probe[4];
    if (GetPrivateProfileSectionA(item.section, probe, sizeof probe, item.path) == 0)
        WritePrivateProfileStringA(item.section, nullptr, nullptr, item.path);
    // Systems that cache profiles write the file only when asked to.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, item.path);
    // A file elsewhere (the Windows folder) may have been there before.
    if (SettingsFileIsOwn(item.path, folder) && HoldsNothing(item.path))
        DeleteFileA(item.path);
    return OUTCOME_REMOVED;
}

const char *OutcomeWords(Outcome outcome)
{
    switch (outcome) {
    case OUTCOME_REMOVED:
        return "removed";
    case OUTCOME_ABSENT:
        return "not there";
    case OUTCOME_CHANGED:
        return "kept, changed since installation";
    case OUTCOME_SCHEDULED:
        return "in use, removed at the next restart";
    default:
        return "kept, cannot be removed";
    }
}

void Note(const RecordItem &item, Outcome outcome)
{
    if (item.kind == RECORD_INI)
        Log("setting %.259s [%.200s] %.200s: %s", item.path, item.section, item.key,
            OutcomeWords(outcome));
    else
        Log("%s %.259s: %s",
            item.kind == RECORD_FILE      ? "file"
            : item.kind == RECORD_LINK    ? "shortcut"
            : item.kind == RECORD_RESTART ? "replacement awaiting the restart"
                                          : "folder",
            item.path, OutcomeWords(outcome));
}

// True when `path` lies below `folder`.
bool Below(const char *path, const char *folder)
{
    size_t length = strlen(folder);
    return length > 0 && strlen(path) > length && _strnicmp(path, folder, length) == 0 &&
           (path[length] == '\\' || folder[length - 1] == '\\');
}

bool HoldsScheduled(const Removal *removal, const char *folder)
{
    for (int i = 0; i < removal->record->count; ++i) {
        if (removal->outcome[i] == OUTCOME_SCHEDULED &&
            Below(removal->record->items[i].path, folder))
            return true;
    }
    return false;
}

Outcome RemoveFolder(const Removal *removal, const char *path)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return OUTCOME_ABSENT;
    if (RemoveDirectoryA(path))
        return OUTCOME_REMOVED;
    if (HoldsScheduled(removal, path) && MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return OUTCOME_SCHEDULED;
    return OUTCOME_KEPT;
}

bool IsFolder(int kind)
{
    return kind == RECORD_DIR || kind == RECORD_GROUP;
}

} // namespace

void RemoveItems(Removal *removal, RemovalProgress progress, void *context)
{
    const InstallRecord *record = removal->record;
    // Shortcuts first, so that nothing on the menu points at a removed file;
    // then the settings, which may live in a file that goes after them.
    // A replacement still waiting for the restart loses its temporary file
    // first: the restart then has nothing to move into the product's folder.
    const int order[] = {RECORD_RESTART, RECORD_LINK, RECORD_INI, RECORD_FILE};
    int done = 0;
    for (int kind : order) {
        for (int i = 0; i < record->count; ++i) {
            const RecordItem &item = record->items[i];
            if (item.kind != kind)
                continue;
            if (kind == RECORD_FILE && removal->deferred[0] &&
                lstrcmpiA(item.path, removal->deferred) == 0)
                continue;
            removal->outcome[i] = kind == RECORD_INI       ? RemoveSetting(item, record->folder)
                                  : kind == RECORD_RESTART ? DeleteOrSchedule(item.path)
                                                           : RemoveFile(item);
            Note(item, removal->outcome[i]);
            if (progress)
                progress(context, ++done, record->count, item.path);
        }
    }
}

void RemoveDeferred(Removal *removal, const char *spare)
{
    for (int i = 0; removal->deferred[0] && i < removal->record->count; ++i) {
        const RecordItem &item = removal->record->items[i];
        if (item.kind != RECORD_FILE || lstrcmpiA(item.path, removal->deferred) != 0)
            continue;
        uint64_t size = 0;
        uint64_t written = 0;
        char moved[MAX_PATH];
        if (!FileFacts(item.path, &size, &written) || size != item.size ||
            written != item.written) {
            removal->outcome[i] = RemoveFile(item);
        } else if (DeleteFileA(item.path)) {
            removal->outcome[i] = OUTCOME_REMOVED;
        } else if (GetTempFileNameA(spare, "kvu", 0, moved) && DeleteFileA(moved) &&
                   MoveFileExA(item.path, moved, 0)) {
            // A running program cannot be deleted, but it can be renamed on
            // its volume: out of the folder, it no longer keeps the folder.
            CopyText(removal->moved, moved);
            removal->outcome[i] = OUTCOME_REMOVED;
        } else {
            removal->outcome[i] = DeleteOrSchedule(item.path);
        }
        Note(item, removal->outcome[i]);
    }
}

void RemoveMoved(Removal *removal)
{
    if (removal->moved[0] && !DeleteFileA(removal->moved))
        MoveFileExA(removal->moved, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void RemoveFolders(Removal *removal)
{
    const InstallRecord *record = removal->record;
    // Longest path first: a folder's sub-folders are always longer than it.
    for (;;) {
        int deepest = -1;
        for (int i = 0; i < record->count; ++i) {
            if (IsFolder(record->items[i].kind) && removal->outcome[i] == OUTCOME_PENDING &&
                (deepest < 0 ||
                 strlen(record->items[i].path) > strlen(record->items[deepest].path)))
                deepest = i;
        }
        if (deepest < 0)
            return;
        removal->outcome[deepest] = RemoveFolder(removal, record->items[deepest].path);
        Note(record->items[deepest], removal->outcome[deepest]);
    }
}

int CountOutcome(const Removal *removal, Outcome outcome)
{
    int count = 0;
    for (int i = 0; i < removal->record->count; ++i)
        count +=
            removal->outcome[i] == outcome && !IsFolder(removal->record->items[i].kind) ? 1 : 0;
    return count;
}
