#include "shell/keep.h"

#include "core/log.h"
#include "record/aside.h"
#include "record/journalfile.h"
#include "record/record.h"
#include "util/text.h"

namespace
{

constexpr int kMostKeys = 8;
constexpr int kMostValues = 32;
constexpr DWORD kValueNameSize = 256;
constexpr DWORD kValueDataSize = 2048;

struct KeptValue {
    char name[kValueNameSize];
    DWORD type;
    DWORD size;
    BYTE data[kValueDataSize];
};

struct KeptKey {
    HKEY root;
    char path[SETUP_PATH_SIZE];
    int existed;
    int count;
    KeptValue values[kMostValues];
};

// Taken from the heap on first use: most setups keep no key.
KeptKey *g_keys;
int g_keyCount;

const char *RootName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
}

bool AlreadyKept(HKEY root, const char *path)
{
    for (int i = 0; i < g_keyCount; ++i) {
        if (g_keys[i].root == root && lstrcmpiA(g_keys[i].path, path) == 0)
            return true;
    }
    return false;
}

// Reads every value of the key as it stands; false when one does not fit.
bool Snapshot(KeptKey *kept)
{
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(kept->root, kept->path, 0, KEY_QUERY_VALUE, &key);
    kept->count = 0;
    kept->existed = opened == ERROR_SUCCESS;
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    bool whole = true;
    for (DWORD index = 0;; ++index) {
        KeptValue value;
        DWORD nameSize = sizeof value.name;
        value.size = sizeof value.data;
        LONG read = RegEnumValueA(key, index, value.name, &nameSize, nullptr, &value.type,
                                  value.data, &value.size);
        if (read == ERROR_NO_MORE_ITEMS)
            break;
        if (read != ERROR_SUCCESS || kept->count >= kMostValues) {
            whole = false;
            break;
        }
        kept->values[kept->count++] = value;
    }
    RegCloseKey(key);
    return whole;
}

void Restore(const KeptKey &kept)
{
    if (!kept.existed) {
        LONG gone = RegDeleteKeyA(kept.root, kept.path);
        LogLine("undone: key %s\\%.259s %s", RootName(kept.root), kept.path,
                gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND ? "removed"
                                                                      : "cannot be removed");
        return;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(kept.root, kept.path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        LogLine("not undone: key %s\\%.259s cannot be opened", RootName(kept.root), kept.path);
        return;
    }
    // The values written since go first; a bound stops a key that refuses.
    for (int guard = 0; guard < 4 * kMostValues; ++guard) {
        char name[kValueNameSize];
        DWORD nameSize = sizeof name;
        if (RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS ||
            RegDeleteValueA(key, name) != ERROR_SUCCESS)
            break;
    }
    bool whole = true;
    for (int i = 0; i < kept.count; ++i) {
        const KeptValue &value = kept.values[i];
        whole &=
            RegSetValueExA(key, value.name, 0, value.type, value.data, value.size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    LogLine("%s: key %s\\%.259s %s", whole ? "undone" : "not undone", RootName(kept.root),
            kept.path, whole ? "put back as it was" : "cannot be put back whole");
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
    if (item->kind != UNDO_KEY || (item->root != UNDO_MACHINE && item->root != UNDO_USER))
        return 0;
    HKEY root = item->root == UNDO_MACHINE ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (AlreadyKept(root, item->path))
        return 1;
    if (!g_keys)
        g_keys = static_cast<KeptKey *>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kMostKeys * sizeof(KeptKey)));
    if (!g_keys || g_keyCount >= kMostKeys)
        return 0;
    KeptKey *kept = &g_keys[g_keyCount];
    kept->root = root;
    CopyText(kept->path, item->path);
    if (!Snapshot(kept)) {
        LogLine("not kept for the undo (too large): key %s\\%.259s", RootName(root), item->path);
        return 0;
    }
    ++g_keyCount;
    LogLine("kept for the undo: key %s\\%.259s", RootName(root), item->path);
    return 1;
}

void RestoreKeptKeys()
{
    for (int i = g_keyCount - 1; i >= 0; --i)
        Restore(g_keys[i]);
    g_keyCount = 0;
}

void ForgetKeptKeys()
{
    g_keyCount = 0;
}
