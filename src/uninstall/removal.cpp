#include "uninstall/removal.h"

#include <windows.h>
#include <string.h>

#include "record/bounds.h"
#include "record/recordfile.h"
#include "uninstall/ulog.h"
#include "util/paths.h"
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

HKEY RootOf(const char *path)
{
    return strncmp(path, "HKLM\\", 5) == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Whether a value read holds what the record says the installation wrote.
bool HoldsWritten(const RecordItem &item, DWORD type, const BYTE *data, DWORD size)
{
    if (item.size == REG_DWORD) {
        DWORD number = 0;
        if (type != REG_DWORD || size != sizeof number)
            return false;
        memcpy(&number, data, sizeof number);
        char text[16];
        wsprintfA(text, "%lu", number);
        return strcmp(text, item.key) == 0;
    }
    size_t length = strlen(item.key);
    return type == REG_SZ && (size == length || size == length + 1) &&
           memcmp(data, item.key, length) == 0;
}

// A registry value, only while it holds what the installation wrote: one
// changed since is the user's, or another program's.
Outcome RemoveValue(const RecordItem &item)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootOf(item.path), item.path + 5, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return OUTCOME_ABSENT;
    BYTE data[kRecordFieldSize + 1];
    DWORD type = 0;
    DWORD size = sizeof data;
    LONG read = RegQueryValueExA(key, item.section, nullptr, &type, data, &size);
    Outcome outcome = OUTCOME_KEPT;
    if (read == ERROR_FILE_NOT_FOUND)
        outcome = OUTCOME_ABSENT;
    else if (read != ERROR_SUCCESS || !HoldsWritten(item, type, data, size))
        outcome = OUTCOME_CHANGED;
    else if (RegDeleteValueA(key, item.section) == ERROR_SUCCESS)
        outcome = OUTCOME_REMOVED;
    RegCloseKey(key);
    return outcome;
}

// A key the installation made, only once nothing is left in it.
Outcome RemoveRegistryKey(const char *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootOf(path), path + 5, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return OUTCOME_ABSENT;
    DWORD subKeys = 0;
    DWORD values = 0;
    bool empty = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                  &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                 subKeys == 0 && values == 0;
    RegCloseKey(key);
    if (!empty)
        return OUTCOME_KEPT;
    return RegDeleteKeyA(RootOf(path), path + 5) == ERROR_SUCCESS ? OUTCOME_REMOVED : OUTCOME_KEPT;
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
    if (item.kind == RECORD_REG)
        Log("registry value %.259s [%.200s]: %s", item.path,
            item.section[0] ? item.section : "(default)",
            outcome == OUTCOME_CHANGED ? "kept, changed since installation"
                                       : OutcomeWords(outcome));
    else if (item.kind == RECORD_REGKEY)
        Log("registry key %.259s: %s", item.path,
            outcome == OUTCOME_KEPT ? "kept: not empty" : OutcomeWords(outcome));
    else if (item.kind == RECORD_INI)
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

// What holds other items: its outcome follows from theirs.
bool IsContainer(int kind)
{
    return IsFolder(kind) || kind == RECORD_REGKEY;
}

bool Recorded(const InstallRecord *record, const char *path)
{
    for (int i = 0; i < record->count; ++i) {
        if (!IsFolder(record->items[i].kind) && lstrcmpiA(record->items[i].path, path) == 0)
            return true;
    }
    return false;
}

// Deep enough for any folder a path of MAX_PATH can name a few levels into.
constexpr int kDeepestCount = 16;

// Counts what is below `folder`: the files the record does not list (put
// there since the installation) into `added`, everything into `entries`.
void CountBelow(const InstallRecord *record, const char *folder, int depth, int *added,
                int *entries)
{
    char pattern[MAX_PATH];
    if (depth > kDeepestCount || !JoinPath(pattern, folder, "*"))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        ++*entries;
        char path[MAX_PATH];
        if (!JoinPath(path, folder, found.cFileName))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CountBelow(record, path, depth + 1, added, entries);
        else if (!Recorded(record, path))
            ++*added;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// A folder that stays: why, when it is because something is in it.
void NoteFolder(const InstallRecord *record, const RecordItem &item, Outcome outcome)
{
    int added = 0;
    int entries = 0;
    if (outcome == OUTCOME_KEPT)
        CountBelow(record, item.path, 0, &added, &entries);
    if (entries == 0) {
        Note(item, outcome);
        return;
    }
    if (added > 0)
        Log("folder %.259s: kept: not empty (%d file%s added since)", item.path, added,
            added == 1 ? "" : "s");
    else
        Log("folder %.259s: kept: not empty (what the removal kept is in it)", item.path);
}

} // namespace

void RemoveItems(Removal *removal, RemovalProgress progress, void *context)
{
    const InstallRecord *record = removal->record;
    // Shortcuts first, so that nothing on the menu points at a removed file;
    // then the settings, which may live in a file that goes after them.
    // A replacement still waiting for the restart loses its temporary file
    // first: the restart then has nothing to move into the product's folder.
    const int order[] = {RECORD_RESTART, RECORD_LINK, RECORD_INI, RECORD_REG, RECORD_FILE};
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
                                  : kind == RECORD_REG     ? RemoveValue(item)
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

void RemoveRegistryKeys(Removal *removal)
{
    const InstallRecord *record = removal->record;
    // Longest path first: a key's sub-keys are always longer than it.
    for (;;) {
        int deepest = -1;
        for (int i = 0; i < record->count; ++i) {
            if (record->items[i].kind == RECORD_REGKEY && removal->outcome[i] == OUTCOME_PENDING &&
                (deepest < 0 ||
                 strlen(record->items[i].path) > strlen(record->items[deepest].path)))
                deepest = i;
        }
        if (deepest < 0)
            return;
        removal->outcome[deepest] = RemoveRegistryKey(record->items[deepest].path);
        Note(record->items[deepest], removal->outcome[deepest]);
    }
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
        NoteFolder(record, record->items[deepest], removal->outcome[deepest]);
    }
}

int CountOutcome(const Removal *removal, Outcome outcome)
{
    int count = 0;
    for (int i = 0; i < removal->record->count; ++i)
        count +=
            removal->outcome[i] == outcome && !IsContainer(removal->record->items[i].kind) ? 1 : 0;
    return count;
}
