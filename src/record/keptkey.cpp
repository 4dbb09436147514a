#include "record/keptkey.h"

#include <windows.h>

#include <string.h>

#include "util/text.h"

namespace
{

constexpr int kMostValues = 32;
constexpr DWORD kValueNameSize = 256;
constexpr DWORD kValueDataSize = 2048;
// The copy's own values: which key it is of, and whether that key was there.
// The key's values go into its sub-key kValues.
constexpr char kOfValue[] = "Key";
constexpr char kExistedValue[] = "Existed";
constexpr char kValues[] = "Values";

struct Value {
    char name[kValueNameSize];
    DWORD type;
    DWORD size;
    BYTE data[kValueDataSize];
};

// The root of "HKLM\..." or "HKCU\...", and the path below it.
HKEY RootOf(const char *key, const char **path)
{
    *path = key + 5;
    return strncmp(key, "HKLM\\", 5) == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool CopyPath(char (&path)[kRecordFieldSize], const char *copy)
{
    return copy[0] && !strchr(copy, '\\') && CopyText(path, kKeptKeysFolder) >= 0 &&
           AppendText(path, "\\") >= 0 && AppendText(path, copy) >= 0;
}

// Every value of `from` onto `to`; KEPT_KEY_TOO_LARGE past the bounds.
KeptKeyResult CopyValues(HKEY from, HKEY to)
{
    Value value;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof value.name;
        value.size = sizeof value.data;
        LONG read = RegEnumValueA(from, index, value.name, &nameSize, nullptr, &value.type,
                                  value.data, &value.size);
        if (read == ERROR_NO_MORE_ITEMS)
            return KEPT_KEY_DONE;
        if (read != ERROR_SUCCESS || index >= kMostValues)
            return KEPT_KEY_TOO_LARGE;
        if (RegSetValueExA(to, value.name, 0, value.type, value.data, value.size) != ERROR_SUCCESS)
            return KEPT_KEY_FAILED;
    }
}

// Deletes the copy, and the folders above it once empty.
void DeleteCopy(HKEY root, const char *path)
{
    char values[kRecordFieldSize + 8];
    if (CopyText(values, path) >= 0 && AppendText(values, "\\") >= 0 &&
        AppendText(values, kValues) >= 0)
        RegDeleteKeyA(root, values);
    RegDeleteKeyA(root, path);
    if (RegDeleteKeyA(root, kKeptKeysFolder) == ERROR_SUCCESS)
        RegDeleteKeyA(root, "Software\\KARVELO Setup");
}

bool CopyIsOf(HKEY copy, const char *key)
{
    char of[kRecordFieldSize] = {};
    DWORD size = sizeof of - 1, type = 0;
    return RegQueryValueExA(copy, kOfValue, nullptr, &type, reinterpret_cast<BYTE *>(of), &size) ==
               ERROR_SUCCESS &&
           type == REG_SZ && lstrcmpiA(of, key) == 0;
}

// Clears the key's values and writes the copy's back.
KeptKeyResult PutValuesBack(HKEY root, const char *path, HKEY values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return KEPT_KEY_FAILED;
    // The values written since go first; a bound stops a key that refuses.
    for (int guard = 0; guard < 4 * kMostValues; ++guard) {
        char name[kValueNameSize];
        DWORD nameSize = sizeof name;
        if (RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS ||
            RegDeleteValueA(key, name) != ERROR_SUCCESS)
            break;
    }
    KeptKeyResult result = CopyValues(values, key);
    RegCloseKey(key);
    return result;
}

// The copy named `copy` below `root`, opened to read, its path in
// `copyPath`; nullptr when the name is not a copy's or it is not there.
HKEY OpenCopy(HKEY root, const char *copy, char (&copyPath)[kRecordFieldSize])
{
    HKEY kept = nullptr;
    if (!CopyPath(copyPath, copy) ||
        RegOpenKeyExA(root, copyPath, 0, KEY_READ, &kept) != ERROR_SUCCESS)
        return nullptr;
    return kept;
}

} // namespace

bool NameKeptCopy(const char *key, char (&copy)[kRecordFieldSize], unsigned long seed)
{
    const char *path;
    HKEY root = RootOf(key, &path);
    for (unsigned long attempt = 0; attempt < 100; ++attempt) {
        static const char kDigits[] = "0123456789abcdef";
        for (int i = 0; i < 8; ++i)
            copy[i] = kDigits[((seed + attempt) >> (28 - 4 * i)) & 15];
        copy[8] = 0;
        char copyPath[kRecordFieldSize];
        HKEY found = nullptr;
        if (!CopyPath(copyPath, copy))
            return false;
        if (RegOpenKeyExA(root, copyPath, 0, KEY_QUERY_VALUE, &found) != ERROR_SUCCESS)
            return true;
        RegCloseKey(found);
    }
    return false;
}

KeptKeyResult CopyKeptKey(const char *key, const char *copy)
{
    const char *path;
    HKEY root = RootOf(key, &path);
    HKEY from = nullptr;
    LONG opened = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &from);
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND)
        return KEPT_KEY_FAILED;
    char copyPath[kRecordFieldSize];
    HKEY made = nullptr, values = nullptr;
    DWORD disposition = 0, existed = opened == ERROR_SUCCESS;
    KeptKeyResult result = KEPT_KEY_FAILED;
    if (CopyPath(copyPath, copy) &&
        RegCreateKeyExA(root, copyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                        &disposition) == ERROR_SUCCESS &&
        disposition == REG_CREATED_NEW_KEY &&
        RegSetValueExA(made, kOfValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(key),
                       lstrlenA(key) + 1) == ERROR_SUCCESS &&
        RegSetValueExA(made, kExistedValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&existed),
                       sizeof existed) == ERROR_SUCCESS &&
        RegCreateKeyExA(made, kValues, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &values, nullptr) ==
            ERROR_SUCCESS)
        result = from ? CopyValues(from, values) : KEPT_KEY_DONE;
    if (values)
        RegCloseKey(values);
    if (made)
        RegCloseKey(made);
    if (from)
        RegCloseKey(from);
    // A copy made but not whole goes; one that was there already is not ours.
    if (made && disposition == REG_CREATED_NEW_KEY && result != KEPT_KEY_DONE)
        DeleteCopy(root, copyPath);
    return result;
}

KeptKeyResult RestoreKeptKey(const char *key, const char *copy)
{
    const char *path;
    HKEY root = RootOf(key, &path);
    char copyPath[kRecordFieldSize];
    HKEY kept = OpenCopy(root, copy, copyPath), values = nullptr;
    if (!kept)
        return KEPT_KEY_NO_COPY;
    DWORD existed = 0, size = sizeof existed;
    bool known = CopyIsOf(kept, key) &&
                 RegQueryValueExA(kept, kExistedValue, nullptr, nullptr,
                                  reinterpret_cast<BYTE *>(&existed), &size) == ERROR_SUCCESS &&
                 RegOpenKeyExA(kept, kValues, 0, KEY_READ, &values) == ERROR_SUCCESS;
    RegCloseKey(kept);
    if (!known) {
        if (values)
            RegCloseKey(values);
        return KEPT_KEY_NO_COPY;
    }
    KeptKeyResult result;
    if (!existed) {
        LONG gone = RegDeleteKeyA(root, path);
        result =
            gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND ? KEPT_KEY_DONE : KEPT_KEY_FAILED;
    } else {
        result = PutValuesBack(root, path, values);
    }
    RegCloseKey(values);
    DeleteCopy(root, copyPath);
    return result;
}

void DropKeptKey(const char *key, const char *copy)
{
    const char *path;
    HKEY root = RootOf(key, &path);
    char copyPath[kRecordFieldSize];
    HKEY kept = OpenCopy(root, copy, copyPath);
    if (!kept)
        return;
    bool ours = CopyIsOf(kept, key);
    RegCloseKey(kept);
    if (ours)
        DeleteCopy(root, copyPath);
}
