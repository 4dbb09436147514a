// The registration kit's look before installing (include/setupkit.h): what
// the destination holds already, read from its install record and the
// product's Uninstall key, so that a module refuses what would orphan an
// installation and replaces only what an earlier one installed unchanged.
#include "setupkit.h"

#include <string.h>

#include "record/recordfile.h"
#include "util/paths.h"
#include "util/registry.h"
#include "util/text.h"

namespace
{

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The record of `folder` when it reads whole; false for a missing or
// damaged one (it is then nobody's).
bool ReadRecordIn(const char *folder, InstallRecord *record)
{
    char path[kPathSize];
    bool missing = false;
    return JoinPath(path, folder, kRecordFileName) &&
           ReadRecordFile(path, record, &missing) == RECORD_OK;
}

void DropTrailingSeparator(char *folder)
{
    size_t length = strlen(folder);
    if (length > 3 && folder[length - 1] == '\\')
        folder[length - 1] = 0;
}

// Folders compared as the file system names them: without regard to case,
// a trailing backslash or not.
bool SameFolder(const char *first, const char *second)
{
    char a[kPathSize];
    char b[kPathSize];
    if (CopyText(a, first) < 0 || CopyText(b, second) < 0)
        return false;
    DropTrailingSeparator(a);
    DropTrailingSeparator(b);
    return lstrcmpiA(a, b) == 0;
}

// The folder the Uninstall key of `id` names, when the record there is the
// product's: a key whose folder was emptied by hand is no installation.
bool InstalledFolder(const char *id, InstallRecord *record, char (&folder)[kPathSize])
{
    char keyPath[kPathSize];
    if (CopyText(keyPath, kUninstallKey) < 0 || AppendText(keyPath, id) < 0 ||
        !ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, "InstallLocation", folder, REG_SZ,
                           sizeof folder) ||
        !IsAbsolutePath(folder))
        return false;
    return ReadRecordIn(folder, record) && lstrcmpiA(record->product, id) == 0;
}

int Check(const char *id, const char *name, const char *destDir, InstallRecord *record,
          KitDestination *found)
{
    if (ReadRecordIn(destDir, record)) {
        if (lstrcmpiA(record->product, id) == 0) {
            CopyText(found->installedIn, sizeof found->installedIn, destDir);
            return KIT_DEST_EARLIER;
        }
        // Each text bounded, so that the whole fits wsprintf's 1024 characters.
        const char *other = record->name[0] ? record->name : record->product;
        wsprintfA(found->message,
                  "%.100s cannot be installed into %.259s: %.100s is installed there, and "
                  "could then no longer be removed.\n\nRemove %.100s first, or install %.100s "
                  "into another folder.",
                  name, destDir, other, other, name);
        return KIT_DEST_OTHER;
    }
    char folder[kPathSize];
    if (!InstalledFolder(id, record, folder) || SameFolder(folder, destDir))
        return KIT_DEST_FREE;
    CopyText(found->installedIn, sizeof found->installedIn, folder);
    wsprintfA(found->message,
              "%.100s is installed in %.259s already. A second installation in %.259s would "
              "leave that one without its entry in Add/Remove Programs.\n\nRemove it first, "
              "or install into the folder it is in.",
              name, folder, destDir);
    return KIT_DEST_ELSEWHERE;
}

const char *DestinationMeaning(int result)
{
    switch (result) {
    case KIT_DEST_EARLIER:
        return "an earlier installation of the product is there";
    case KIT_DEST_OTHER:
        return "another product is installed there";
    case KIT_DEST_ELSEWHERE:
        return "the product is installed in another folder";
    default:
        return "no installation to keep there";
    }
}

// The record KitEarlierFile reads, kept between the calls of one conflict
// scan: it is read again only when its file changed.
struct CachedRecord {
    InstallRecord *record;
    char path[kPathSize];
    uint64_t size;
    uint64_t written;
    bool readable;
};
CachedRecord g_cached;

const InstallRecord *RecordOf(const char *destDir)
{
    char path[kPathSize];
    uint64_t size = 0;
    uint64_t written = 0;
    if (!JoinPath(path, destDir, kRecordFileName) || !FileFacts(path, &size, &written))
        return nullptr;
    if (g_cached.record && lstrcmpiA(g_cached.path, path) == 0 && g_cached.size == size &&
        g_cached.written == written)
        return g_cached.readable ? g_cached.record : nullptr;
    if (!g_cached.record && !(g_cached.record = NewRecord()))
        return nullptr;
    bool missing = false;
    g_cached.readable = ReadRecordFile(path, g_cached.record, &missing) == RECORD_OK;
    g_cached.size = size;
    g_cached.written = written;
    CopyText(g_cached.path, path);
    return g_cached.readable ? g_cached.record : nullptr;
}

} // namespace

extern "C" int KitCheckDestination(HWND mainWindow, const char *id, const char *displayName,
                                   const char *destDir, KitDestination *found)
{
    if (!found || found->size < static_cast<int>(sizeof(KitDestination)))
        return KIT_DEST_FREE;
    found->installedIn[0] = 0;
    found->message[0] = 0;
    if (!id || !id[0] || !destDir || !IsAbsolutePath(destDir) || BoundedLength(id, 128) < 0 ||
        BoundedLength(destDir, kPathSize) < 0)
        return KIT_DEST_FREE;
    const char *name = displayName && BoundedLength(displayName, kPathSize) > 0 ? displayName : id;
    InstallRecord *record = NewRecord();
    if (!record)
        return KIT_DEST_FREE;
    int result = Check(id, name, destDir, record, found);
    FreeRecord(record);
    KitLog(mainWindow, "destination %.259s: %s", destDir, DestinationMeaning(result));
    return result;
}

extern "C" int KitEarlierFile(const char *id, const char *destDir, const char *path)
{
    if (!id || !destDir || !path || BoundedLength(id, 128) < 0 ||
        BoundedLength(destDir, kPathSize) < 0 || BoundedLength(path, kPathSize) < 0)
        return KIT_FILE_NOT_RECORDED;
    const InstallRecord *record = RecordOf(destDir);
    if (!record || lstrcmpiA(record->product, id) != 0)
        return KIT_FILE_NOT_RECORDED;
    for (int i = 0; i < record->count; ++i) {
        const RecordItem &item = record->items[i];
        if (item.kind != RECORD_FILE || lstrcmpiA(item.path, path) != 0)
            continue;
        uint64_t size = 0;
        uint64_t written = 0;
        return FileFacts(path, &size, &written) && size == item.size && written == item.written
                   ? KIT_FILE_UNCHANGED
                   : KIT_FILE_CHANGED;
    }
    return KIT_FILE_NOT_RECORDED;
}

extern "C" int KitEarlierValue(const char *id, const char *destDir, const char *key,
                               const char *name)
{
    if (!id || !destDir || !key || !name || BoundedLength(id, 128) < 0 ||
        BoundedLength(destDir, kPathSize) < 0)
        return 0;
    const InstallRecord *record = RecordOf(destDir);
    if (!record || lstrcmpiA(record->product, id) != 0)
        return 0;
    for (int i = 0; i < record->count; ++i) {
        const RecordItem &item = record->items[i];
        if (item.kind == RECORD_REG && lstrcmpiA(item.path, key) == 0 &&
            lstrcmpiA(item.section, name) == 0)
            return 1;
    }
    return 0;
}

extern "C" int KitEarlierFolder(const char *id, char *folder, int size)
{
    if (!folder || size <= 0)
        return 0;
    folder[0] = 0;
    if (!id || !id[0] || BoundedLength(id, 128) < 0)
        return 0;
    InstallRecord *record = NewRecord();
    if (!record)
        return 0;
    char found[kPathSize];
    bool there = InstalledFolder(id, record, found);
    FreeRecord(record);
    return there && CopyText(folder, static_cast<size_t>(size), found) >= 0 ? 1 : 0;
}
