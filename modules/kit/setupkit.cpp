// The registration kit (include/setupkit.h): the install record, the
// uninstaller in the product's folder and the product's Uninstall key.
#include "setupkit.h"

#include <stdarg.h>
#include <stddef.h>
#include <string.h>

#include "record/recordfile.h"
#include "record/registration.h"
#include "setupmodule.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

constexpr size_t kIdSize = 128;
// setup.exe lists at most SETUP_MOST_COPY_ENTRIES files and their folders;
// the bound only guards the loop.
constexpr int kMostInstalledItems = 4 * SETUP_MOST_COPY_ENTRIES;

const char *OrEmpty(const char *text)
{
    return text ? text : "";
}

bool IsPlainText(const char *text, size_t size)
{
    int length = BoundedLength(text, size);
    if (length < 0)
        return false;
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) < ' ')
            return false;
    }
    return true;
}

bool InfoIsUsable(const ProductInfo *info)
{
    // The fields from regValues on came later: a module built before them
    // passes the size it knew.
    if (!info || info->size < static_cast<int>(offsetof(ProductInfo, regValues)) || !info->id ||
        !info->displayName || !info->destDir || !info->sourceDir)
        return false;
    return info->id[0] && IsPlainText(info->id, kIdSize) && !strchr(info->id, '\\') &&
           info->displayName[0] && IsPlainText(info->displayName, kPathSize) &&
           IsPlainText(OrEmpty(info->version), kPathSize) &&
           IsPlainText(OrEmpty(info->publisher), kPathSize) &&
           IsPlainText(OrEmpty(info->displayIcon), kPathSize) &&
           IsPlainText(info->sourceDir, kPathSize) && IsAbsolutePath(info->destDir) &&
           IsPlainText(info->destDir, kPathSize);
}

bool SameFolder(const char *a, const char *b)
{
    char normalA[kPathSize];
    char normalB[kPathSize];
    return NormaliseFullPath(normalA, a) && NormaliseFullPath(normalB, b) &&
           lstrcmpiA(normalA, normalB) == 0;
}

// Why an earlier record of this product is not taken over; nullptr when it
// is this installation's: written for this folder, the product's key naming
// the folder, and its digest the one kept for it. Anything else may have
// been put there by whoever can write to the folder.
const char *NotTakenOver(const InstallRecord *record, const ProductInfo *info, const char *digest)
{
    if (!SameFolder(record->folder, info->destDir))
        return "it was written for another folder";
    if (!UninstallKeyIsFolders(info->id, info->destDir))
        return "the product's key does not name this folder";
    if (!RecordIsRemembered(info->id, info->destDir, digest))
        return "it is not the record setup wrote there";
    return nullptr;
}

// Drops what an installation into the destination cannot have made.
void KeepWithinBounds(HWND mainWindow, InstallRecord *record, const char *folder,
                      const RecordPlaces &places)
{
    int kept = 0;
    for (int i = 0; i < record->count; ++i) {
        if (ItemWithinBounds(record->items[i], folder, places))
            record->items[kept++] = record->items[i];
        else
            KitLog(mainWindow, "registration: not recorded (outside the product's places): %.259s",
                   record->items[i].path);
    }
    record->count = kept;
}

// The record already in the destination, when it is this installation's; a
// fresh one otherwise (the old one is then replaced, and the log says why).
// False, with nothing changed, when the folder holds another product's record.
bool StartRecord(HWND mainWindow, const char *recordPath, const ProductInfo *info,
                 InstallRecord *record)
{
    bool missing = false;
    char digest[kRecordDigestText];
    RecordRead read = ReadRecordFile(recordPath, record, &missing, digest);
    if (read == RECORD_OK && lstrcmpiA(record->product, info->id) != 0) {
        KitLog(mainWindow, "registration: %.259s holds the record of %.259s: left as it is",
               info->destDir, record->product);
        return false;
    }
    const char *why = read == RECORD_OK ? NotTakenOver(record, info, digest) : nullptr;
    if (read == RECORD_OK && !why) {
        KitLog(mainWindow,
               "registration: adding to the record of an earlier installation (%d items)",
               record->count);
        return true;
    }
    if (!missing)
        KitLog(mainWindow, "registration: the record there is not taken over: %s",
               why ? why : RecordReadMeaning(read));
    ParseRecord("", 0, record);
    return true;
}

// Tells setup.exe what is about to change, so that an installation that does
// not complete takes it back with the copied files (an older setup.exe
// answers 0, and the change is made all the same).
void KeepForUndo(HWND mainWindow, int kind, const char *path, const char *name = "")
{
    char whole[SETUP_PATH_SIZE];
    if (CopyText(whole, path) >= 0 && AppendText(whole, name) >= 0)
        KitKeepForUndo(mainWindow, kind, UNDO_MACHINE, whole);
}

uint64_t Join(unsigned long high, unsigned long low)
{
    return (static_cast<uint64_t>(high) << 32) | low;
}

// Everything setup.exe made: folders, and files installed new or replaced. A
// file it kept, skipped or failed is not the product's to remove, unless an
// earlier installation recorded it (it then stays as it was recorded).
void AddInstalled(HWND mainWindow, InstallRecord *record)
{
    int taken = 0;
    for (int index = 0; index < kMostInstalledItems; ++index) {
        InstalledItem item;
        memset(&item, 0, sizeof item);
        item.size = sizeof item;
        if (!SendMessageA(mainWindow, SM_GETINSTALLED, static_cast<WPARAM>(index),
                          reinterpret_cast<LPARAM>(&item)))
            break;
        item.path[sizeof item.path - 1] = 0;
        bool added = true;
        if (item.kind == INSTALLED_FOLDER)
            added = AddRecordItem(record, RECORD_DIR, item.path, 0, 0);
        else if (item.kind == INSTALLED_RESTART_SOURCE)
            added = AddRecordItem(record, RECORD_RESTART, item.path, 0, 0);
        else if (item.kind == INSTALLED_NEW || item.kind == INSTALLED_REPLACED ||
                 item.kind == INSTALLED_AT_RESTART)
            added = AddRecordItem(record, RECORD_FILE, item.path, Join(item.sizeHigh, item.sizeLow),
                                  Join(item.written.dwHighDateTime, item.written.dwLowDateTime));
        else
            continue;
        if (added)
            ++taken;
        else
            KitLog(mainWindow, "registration: not recorded (the record cannot carry it): %.259s",
                   item.path);
    }
    KitLog(mainWindow, "registration: setup reported %d folders and files to record", taken);
}

bool AddOwn(HWND mainWindow, InstallRecord *record, const ProductInfo *info)
{
    bool all = true;
    for (int i = 0; info->shortcuts && i < info->shortcutCount; ++i) {
        // Kept by its size and time as a file is: one rewritten since (by
        // another installation, or the user) is not this one's to remove.
        uint64_t size = 0;
        uint64_t written = 0;
        all &= info->shortcuts[i] && FileFacts(info->shortcuts[i], &size, &written) &&
               AddRecordItem(record, RECORD_LINK, info->shortcuts[i], size, written);
    }
    for (int i = 0; info->groupFolders && i < info->groupFolderCount; ++i)
        all &= AddRecordItem(record, RECORD_GROUP, info->groupFolders[i], 0, 0);
    for (int i = 0; info->iniEntries && i < info->iniEntryCount; ++i) {
        const KitIniEntry &entry = info->iniEntries[i];
        all &= entry.file && entry.section && entry.key &&
               AddRecordItem(record, RECORD_INI, entry.file, 0, 0, entry.section, entry.key);
    }
    bool registry = info->size >= static_cast<int>(sizeof(ProductInfo));
    for (int i = 0; registry && info->regValues && i < info->regValueCount; ++i) {
        const KitRegValue &value = info->regValues[i];
        all &= value.key && value.name && value.data &&
               AddRecordItem(record, RECORD_REG, value.key, value.type, 0, value.name, value.data);
    }
    for (int i = 0; registry && info->regKeys && i < info->regKeyCount; ++i)
        all &= info->regKeys[i] && AddRecordItem(record, RECORD_REGKEY, info->regKeys[i], 0, 0);
    if (!all)
        KitLog(mainWindow, "registration: some of the module's own items cannot be recorded");
    return all;
}

// uninst.exe from the distribution into the destination, recorded as one of
// the product's files.
bool PlaceUninstaller(HWND mainWindow, const ProductInfo *info, InstallRecord *record,
                      char (&target)[kPathSize])
{
    char source[kPathSize];
    if (!JoinPath(source, info->sourceDir, kUninstallerName) ||
        !JoinPath(target, info->destDir, kUninstallerName))
        return false;
    uint64_t size = 0;
    uint64_t written = 0;
    KeepForUndo(mainWindow, UNDO_FILE, target);
    if (!CopyFileA(source, target, FALSE) || !FileFacts(target, &size, &written)) {
        KitLog(mainWindow, "registration: %.259s could not be copied to %.259s (error %lu)", source,
               target, GetLastError());
        return false;
    }
    return AddRecordItem(record, RECORD_FILE, target, size, written);
}

uint64_t InstalledBytes(const InstallRecord *record)
{
    uint64_t total = 0;
    for (int i = 0; i < record->count; ++i) {
        if (record->items[i].kind == RECORD_FILE)
            total += record->items[i].size;
    }
    return total;
}

bool SetText(HKEY key, const char *name, const char *value)
{
    if (!value[0]) {
        LONG gone = RegDeleteValueA(key, name);
        return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(strlen(value) + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

bool WriteUninstallKey(const ProductInfo *info, const InstallRecord *record,
                       const char *uninstaller)
{
    // The commands name the product: its uninstaller refuses a record of
    // another product (an id with a double quote cannot be quoted: none).
    char keyPath[sizeof kUninstallKey + kIdSize];
    char command[kPathSize + kIdSize + 16];
    char quiet[kPathSize + kIdSize + 16];
    bool named = !strchr(info->id, '"');
    if (CopyText(keyPath, kUninstallKey) < 0 || AppendText(keyPath, info->id) < 0 ||
        CopyText(command, "\"") < 0 || AppendText(command, uninstaller) < 0 ||
        AppendText(command, "\"") < 0 ||
        (named && (AppendText(command, " /ID=\"") < 0 || AppendText(command, info->id) < 0 ||
                   AppendText(command, "\"") < 0)) ||
        CopyText(quiet, command) < 0 || AppendText(quiet, " /S") < 0)
        return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const char *icon = info->displayIcon && info->displayIcon[0] ? info->displayIcon : uninstaller;
    uint64_t kib = (InstalledBytes(record) + 1023) / 1024;
    bool written = SetText(key, "DisplayName", info->displayName) &&
                   SetText(key, "DisplayVersion", OrEmpty(info->version)) &&
                   SetText(key, "Publisher", OrEmpty(info->publisher)) &&
                   SetText(key, "InstallLocation", info->destDir) &&
                   SetText(key, "DisplayIcon", icon) && SetText(key, "UninstallString", command) &&
                   SetText(key, "QuietUninstallString", quiet) &&
                   SetNumber(key, "EstimatedSize",
                             kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kib)) &&
                   SetNumber(key, "NoModify", 1) && SetNumber(key, "NoRepair", 1);
    RegCloseKey(key);
    return written;
}

int Register(HWND mainWindow, const ProductInfo *info, InstallRecord *record)
{
    char recordPath[kPathSize];
    if (!JoinPath(recordPath, info->destDir, kRecordFileName))
        return KIT_BAD_INFO;
    if (!StartRecord(mainWindow, recordPath, info, record))
        return KIT_OTHER_PRODUCT;
    if (!SetRecordField(record->product, info->id) ||
        !SetRecordField(record->name, info->displayName) ||
        !SetRecordField(record->version, OrEmpty(info->version)) ||
        !SetRecordField(record->publisher, OrEmpty(info->publisher)) ||
        !SetRecordField(record->folder, info->destDir))
        return KIT_BAD_INFO;
    AddInstalled(mainWindow, record);
    AddOwn(mainWindow, record, info);
    // The uninstaller refuses a record naming anything else.
    RecordPlaces places;
    FindRecordPlaces(&places);
    KeepWithinBounds(mainWindow, record, info->destDir, places);
    char uninstaller[kPathSize];
    if (!PlaceUninstaller(mainWindow, info, record, uninstaller))
        return KIT_NO_UNINSTALLER;
    char digest[kRecordDigestText];
    KeepForUndo(mainWindow, UNDO_FILE, recordPath);
    KeepForUndo(mainWindow, UNDO_FILE, recordPath, ".new");
    if (!WriteRecordFile(recordPath, record, digest))
        return KIT_RECORD_FAILED;
    KitLog(mainWindow, "registration: record %.259s written, %d items", recordPath, record->count);
    KeepForUndo(mainWindow, UNDO_KEY, kRecordDigestKey, info->id);
    KeepForUndo(mainWindow, UNDO_KEY, kUninstallKey, info->id);
    return RememberRecord(info->id, info->destDir, digest) &&
                   WriteUninstallKey(info, record, uninstaller)
               ? KIT_REGISTERED
               : KIT_REGISTRY_FAILED;
}

} // namespace

extern "C" int RegisterProduct(HWND mainWindow, const ProductInfo *info)
{
    if (!InfoIsUsable(info)) {
        KitLog(mainWindow, "registration: %s", KitResultMeaning(KIT_BAD_INFO));
        return KIT_BAD_INFO;
    }
    InstallRecord *record = NewRecord();
    if (!record)
        return KIT_NO_MEMORY;
    int result = Register(mainWindow, info, record);
    FreeRecord(record);
    KitLog(mainWindow, "registration of %.127s: %s", info->id, KitResultMeaning(result));
    return result;
}

extern "C" int KitKeepForUndo(HWND mainWindow, int kind, int root, const char *path)
{
    UndoItem item;
    memset(&item, 0, sizeof item);
    item.size = sizeof item;
    item.kind = kind;
    item.root = root;
    if (!path || CopyText(item.path, path) < 0)
        return 0;
    return SendMessageA(mainWindow, SM_KEEPFORUNDO, 0, reinterpret_cast<LPARAM>(&item)) == 1;
}

extern "C" void KitLog(HWND mainWindow, const char *format, ...)
{
    char line[1025];
    va_list args;
    va_start(args, format);
    wvsprintfA(line, format, args);
    va_end(args);
    SendMessageA(mainWindow, SM_WRITELOG, 0, reinterpret_cast<LPARAM>(line));
}

extern "C" const char *KitResultMeaning(int result)
{
    switch (result) {
    case KIT_REGISTERED:
        return "registered; it can be removed from Add/Remove Programs";
    case KIT_BAD_INFO:
        return "the product's description is incomplete or too long";
    case KIT_NO_UNINSTALLER:
        return "the uninstaller could not be copied into the product's folder";
    case KIT_RECORD_FAILED:
        return "the install record could not be written";
    case KIT_REGISTRY_FAILED:
        return "the Uninstall key could not be written";
    case KIT_NO_MEMORY:
        return "not enough memory";
    case KIT_OTHER_PRODUCT:
        return "the destination holds another product's record; it was left as it is";
    default:
        return "not a result of RegisterProduct";
    }
}
