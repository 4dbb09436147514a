#include "record/registration.h"

#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "util/paths.h"
#include "util/text.h"

namespace
{

constexpr size_t kKeyPathSize = sizeof kRecordDigestKey + kRecordFieldSize;

bool DigestKeyPath(char (&path)[kKeyPathSize], const char *id)
{
    return !strchr(id, '\\') && CopyText(path, kRecordDigestKey) >= 0 && AppendText(path, id) >= 0;
}

} // namespace

bool RememberRecord(const char *id, const char *folder, const char *digest)
{
    char path[kKeyPathSize];
    char name[kRecordFieldSize];
    if (!DigestKeyPath(path, id) || !NormaliseFullPath(name, folder))
        return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool kept = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(digest),
                               static_cast<DWORD>(strlen(digest) + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return kept;
}

bool RecordIsRemembered(const char *id, const char *folder, const char *digest)
{
    char path[kKeyPathSize];
    char name[kRecordFieldSize];
    if (!digest[0] || !DigestKeyPath(path, id) || !NormaliseFullPath(name, folder))
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char kept[80] = {};
    DWORD type = 0;
    DWORD size = sizeof kept - 1;
    bool same = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(kept),
                                 &size) == ERROR_SUCCESS &&
                type == REG_SZ && lstrcmpiA(kept, digest) == 0;
    RegCloseKey(key);
    return same;
}

void ForgetRecord(const char *id, const char *folder)
{
    char path[kKeyPathSize];
    char name[kRecordFieldSize];
    if (!DigestKeyPath(path, id) || !NormaliseFullPath(name, folder))
        return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name);
    DWORD values = 1;
    bool empty = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                 values == 0;
    RegCloseKey(key);
    if (empty)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

bool UninstallKeyIsFolders(const char *id, const char *folder)
{
    char path[sizeof kUninstallKey + kRecordFieldSize];
    if (strchr(id, '\\') || CopyText(path, kUninstallKey) < 0 || AppendText(path, id) < 0)
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char location[kRecordFieldSize + 1] = {};
    DWORD type = 0;
    DWORD size = sizeof location - 1;
    bool read = RegQueryValueExA(key, "InstallLocation", nullptr, &type,
                                 reinterpret_cast<BYTE *>(location), &size) == ERROR_SUCCESS &&
                type == REG_SZ;
    RegCloseKey(key);
    char normalLocation[kRecordFieldSize];
    char normalFolder[kRecordFieldSize];
    return read && NormaliseFullPath(normalLocation, location) &&
           NormaliseFullPath(normalFolder, folder) &&
           PathWithin(normalLocation, normalFolder, true) &&
           strlen(normalLocation) == strlen(normalFolder);
}

void FindRecordPlaces(RecordPlaces *places)
{
    memset(places, 0, sizeof *places);
    UINT length = GetWindowsDirectoryA(places->windows, sizeof places->windows);
    if (length == 0 || length >= sizeof places->windows)
        places->windows[0] = 0;
    const int folders[] = {CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU, CSIDL_COMMON_DESKTOPDIRECTORY,
                           CSIDL_DESKTOPDIRECTORY};
    for (int i = 0; i < 4; ++i) {
        char found[MAX_PATH] = {};
        if (SHGetSpecialFolderPathA(nullptr, found, folders[i], FALSE))
            CopyText(places->shortcuts[i], found);
    }
}
