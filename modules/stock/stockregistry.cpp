#include "stockregistry.h"

#include "setupmodule.h"

#include <shlobj.h>
#include <string.h>

using namespace stock;

namespace
{

constexpr int kMostValues = kStockMostItems * 5; // [REGISTRY], and four for each [ASSOC]
constexpr int kMostKeys = kStockMostItems * 8;
constexpr size_t kText = kStockTextSize;

struct Created {
    char keys[kMostValues][kText];
    char names[kMostValues][kText];
    char data[kMostValues][kText];
    KitRegValue values[kMostValues];
    int valueCount;
    char madeKeys[kMostKeys][kText];
    const char *keyList[kMostKeys];
    int keyCount;
};

Created *g_created;
HWND g_window;

HKEY RootKey(bool machine)
{
    return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool KeyExists(HKEY root, const char *key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// "HKLM\" or "HKCU\" and the key: the record's spelling.
bool FullKey(char (&full)[kText], bool machine, const char *key)
{
    return CopyWhole(full, sizeof full, machine ? "HKLM\\" : "HKCU\\") &&
           AppendWhole(full, sizeof full, key);
}

// Notes each key of `key`'s path that is not there yet, shallowest first:
// the installation makes them, and the removal takes them once empty.
void NoteMissingKeys(bool machine, const char *key)
{
    char path[kText];
    if (!CopyWhole(path, sizeof path, key))
        return;
    size_t length = strlen(path);
    for (size_t end = 0; end <= length; ++end) {
        if (path[end] != '\\' && path[end] != 0)
            continue;
        char saved = path[end];
        path[end] = 0;
        if (!KeyExists(RootKey(machine), path) && g_created->keyCount < kMostKeys &&
            FullKey(g_created->madeKeys[g_created->keyCount], machine, path)) {
            g_created->keyList[g_created->keyCount] = g_created->madeKeys[g_created->keyCount];
            ++g_created->keyCount;
        }
        path[end] = saved;
    }
}

bool ValueExists(HKEY root, const char *key, const char *name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    bool there =
        RegQueryValueExA(opened, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return there;
}

void Remember(const char *full, const char *name, DWORD type, const char *data)
{
    int n = g_created->valueCount;
    if (n >= kMostValues || !CopyWhole(g_created->keys[n], kText, full) ||
        !CopyWhole(g_created->names[n], kText, name) || !CopyWhole(g_created->data[n], kText, data))
        return;
    g_created->values[n] =
        KitRegValue{g_created->keys[n], g_created->names[n], type, g_created->data[n]};
    ++g_created->valueCount;
}

// One value. Recorded when the installation created it, or when an earlier
// installation of the product recorded it: a value that was there before
// stays at the removal.
void WriteValue(bool machine, const char *key, const char *name, DWORD type, const char *text,
                DWORD number, const char *id, const char *destDir)
{
    char full[kText];
    if (!FullKey(full, machine, key))
        return;
    HKEY root = RootKey(machine);
    bool existed = ValueExists(root, key, name);
    NoteMissingKeys(machine, key);
    // Its values come back as they were if the installation does not complete.
    KitKeepForUndo(g_window, UNDO_KEY, machine ? UNDO_MACHINE : UNDO_USER, key);
    HKEY opened = nullptr;
    LONG result =
        RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr);
    if (result == ERROR_SUCCESS) {
        result = type == REG_DWORD
                     ? RegSetValueExA(opened, name, 0, REG_DWORD,
                                      reinterpret_cast<const BYTE *>(&number), sizeof number)
                     : RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                                      static_cast<DWORD>(strlen(text) + 1));
        RegCloseKey(opened);
    }
    char shown[16];
    wsprintfA(shown, "%lu", number);
    const char *data = type == REG_DWORD ? shown : text;
    bool own = !existed || (id[0] && KitEarlierValue(id, destDir, full, name));
    KitLog(g_window, "registry value %.259s [%.200s]: %s", full, name[0] ? name : "(default)",
           result != ERROR_SUCCESS ? "failed"
           : own                   ? "written"
                                   : "written; it was there before, so the removal keeps it");
    if (result == ERROR_SUCCESS && own)
        Remember(full, name, type, data);
}

void WriteRegistryItems(const StockReader &reader, const char *destDir, const char *id)
{
    char line[kStockLineSize];
    int length = 0;
    for (int i = 0; i < kStockMostItems && StockReadItem(reader, "REGISTRY", i, line, &length);
         ++i) {
        StockRegistryItem item;
        char value[kText];
        if (length == kStockTooLong || ParseRegistryItem(line, &item) != kStockItemUsable ||
            (!item.number && !StockExpandValue(value, sizeof value, item.value, destDir)))
            continue;
        WriteValue(item.machine, item.key, item.name, item.number ? REG_DWORD : REG_SZ,
                   item.number ? "" : value, item.number ? item.numberValue : 0, id, destDir);
    }
}

// The default value of `key`, when it holds a text that is not empty.
bool ReadDefault(HKEY root, const char *key, char (&value)[kText])
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    bool read = RegQueryValueExA(opened, "", nullptr, &type, reinterpret_cast<BYTE *>(value),
                                 &size) == ERROR_SUCCESS &&
                type == REG_SZ;
    RegCloseKey(opened);
    value[read ? size : 0] = 0;
    return read && value[0];
}

bool ClassKey(char (&key)[kText], const char *name, const char *below)
{
    return CopyWhole(key, sizeof key, "Software\\Classes\\") &&
           AppendWhole(key, sizeof key, name) && AppendWhole(key, sizeof key, below);
}

// One file type: the extension names the type, the type its icon and the
// command that opens such a file with the program.
void WriteAssoc(const StockAssocItem &item, bool machine, const char *destDir, const char *id)
{
    char program[kText];
    char icon[kText];
    char command[kText];
    char key[kText];
    if (!JoinWhole(program, sizeof program, destDir, item.program) ||
        !JoinWhole(icon, sizeof icon, destDir, item.icon[0] ? item.icon : item.program) ||
        (!item.icon[0] || !strchr(item.icon, ',') ? !AppendWhole(icon, sizeof icon, ",0")
                                                  : false) ||
        !CopyWhole(command, sizeof command, "\"") ||
        !AppendWhole(command, sizeof command, program) ||
        !AppendWhole(command, sizeof command, "\" \"%1\""))
        return;
    // An extension another type has already stays that type's: taken over,
    // it would point nowhere once this product is removed.
    char owner[kText] = "";
    if (ClassKey(key, item.extension, "") &&
        (!ReadDefault(RootKey(machine), key, owner) || lstrcmpiA(owner, item.typeName) == 0))
        WriteValue(machine, key, "", REG_SZ, item.typeName, 0, id, destDir);
    else
        KitLog(g_window, "file type %.100s: left to %.200s, whose it is", item.extension, owner);
    if (ClassKey(key, item.typeName, ""))
        WriteValue(machine, key, "", REG_SZ, item.description, 0, id, destDir);
    if (ClassKey(key, item.typeName, "\\DefaultIcon"))
        WriteValue(machine, key, "", REG_SZ, icon, 0, id, destDir);
    if (ClassKey(key, item.typeName, "\\shell\\open\\command"))
        WriteValue(machine, key, "", REG_SZ, command, 0, id, destDir);
}

void WriteAssocItems(const StockReader &reader, const char *destDir, const char *id, bool machine)
{
    char line[kStockLineSize];
    int length = 0;
    bool any = false;
    for (int i = 0; i < kStockMostItems && StockReadItem(reader, "ASSOC", i, line, &length); ++i) {
        StockAssocItem item;
        if (length == kStockTooLong || ParseAssocItem(line, &item) != kStockItemUsable)
            continue;
        WriteAssoc(item, machine, destDir, id);
        any = true;
    }
    // Explorer reads the types again.
    if (any)
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace

void WriteRegistrySettings(HWND mainWindow, const StockReader &reader, const char *destDir,
                           const char *id, bool machineTypes)
{
    g_window = mainWindow;
    if (!g_created)
        g_created =
            static_cast<Created *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Created)));
    if (!g_created || !destDir[0])
        return;
    WriteRegistryItems(reader, destDir, id);
    WriteAssocItems(reader, destDir, id, machineTypes);
}

void GatherRegistry(ProductInfo *info)
{
    if (!g_created)
        return;
    info->regValues = g_created->values;
    info->regValueCount = g_created->valueCount;
    info->regKeys = g_created->keyList;
    info->regKeyCount = g_created->keyCount;
}
