/*
 * setupkit.h - the registration kit: makes an installation removable.
 *
 * A module links the static library `setupkit` (with CMake:
 * target_link_libraries(atlas PRIVATE setupkit) after
 * include(cmake/SetupModule.cmake)) and calls RegisterProduct once, near the
 * end of the setup: from EndSetup. Ship uninst.exe (built here) in the
 * distribution folder beside setup.exe. RegisterProduct then:
 *
 *   - asks setup.exe what it did (SM_GETINSTALLED): the folders it made and
 *     each file it installed new or replaced, with its size and last-write
 *     time. Files that were there and left alone (kept, skipped) and files
 *     that failed are never recorded: the uninstaller leaves them. A file in
 *     use that the next restart replaces is recorded as installed, with the
 *     temporary file that replaces it;
 *   - copies uninst.exe from the source folder into the destination;
 *   - writes the install record, uninst.dat, in the destination (its format
 *     is below), with what the module itself made: shortcut files, the
 *     folders made for them, settings written into INI files;
 *   - writes the product's key HKLM\Software\Microsoft\Windows\CurrentVersion\
 *     Uninstall\<id>: DisplayName, DisplayVersion, Publisher, InstallLocation,
 *     DisplayIcon, UninstallString ("<destination>\uninst.exe" /ID="<id>"),
 *     QuietUninstallString (the same with /S), EstimatedSize (KiB of the
 *     recorded files), NoModify = 1, NoRepair = 1;
 *   - keeps the SHA-256 of the record it wrote where only administrators
 *     write: HKLM\Software\Karvelo\Install records\<id>, a value named by
 *     the destination (a full path, normalised) holding the digest in hex.
 *
 * Before each of these changes it tells setup.exe (SM_KEEPFORUNDO), so that
 * an installation that does not complete after all (a failed sender reply,
 * the setup closed from outside while EndSetup runs) puts the earlier record,
 * uninstaller and keys back, or removes them when there were none.
 *
 * The destination may be writable by every user, and so may its record. The
 * uninstaller therefore trusts a record only when it is the one the kit wrote
 * for that folder (its digest the one kept for it), for the product its
 * command names (/ID=), and when every item lies where an installation into
 * the folder may have put it:
 *   files           below the destination;
 *   folders         the destination or below it;
 *   shortcuts       .lnk files below a Start Menu or a desktop (everyone's or
 *                   the user's), removed only as they were written (size and
 *                   last-write time);
 *   shortcut groups folders below a Start Menu or a desktop;
 *   settings        in files below the destination, or directly in the
 *                   Windows folder; a settings file left empty is deleted
 *                   only when it is below the destination.
 * Otherwise it removes nothing and says why. The kit records nothing outside
 * these places (it logs what it leaves out), so that the record it writes is
 * always one the uninstaller accepts. The product's key is removed only when
 * its InstallLocation is the folder being removed: another installation of
 * the product elsewhere keeps its entry.
 *
 * Installing again with the same id into the same folder (a repair, an
 * upgrade) adds to the record already in the destination, when it is the one
 * the kit wrote there and the product's key names that folder (a record
 * placed there by someone else starts nothing): files the new version no
 * longer ships stay listed, so the uninstaller still removes them; a file
 * recorded before stays the product's even when this setup found it there
 * and replaced it; what was installed again takes its new size and time. The
 * key is written anew. A destination that holds another product's record is
 * left alone: the kit neither replaces that record nor the uninstaller there,
 * and answers KIT_OTHER_PRODUCT.
 *
 * The kit shows nothing, in any mode: it tells setup's log (SM_WRITELOG) what
 * it did, and its result says whether the product was registered; a module
 * that wants the user to know tells them itself (and only when the setup is
 * not silent).
 *
 * The record, uninst.dat: text, one item a line, CR LF line ends, fields
 * separated by a tab:
 *
 *   KARVELO-UNINSTALL<TAB>2     (3 when it holds reg, regkey or restart lines)
 *   product<TAB><id>
 *   name<TAB><display name>
 *   version<TAB><version>
 *   publisher<TAB><publisher>
 *   folder<TAB><destination>
 *   file<TAB><size, hex><TAB><last-write time as a FILETIME, hex><TAB><path>
 *   dir<TAB><a folder setup made>
 *   link<TAB><size, hex><TAB><last-write time, hex><TAB><a shortcut file>
 *   group<TAB><a folder made for shortcuts>
 *   ini<TAB><settings file><TAB><section><TAB><key>
 *   reg<TAB><sz or dword><TAB><key><TAB><value name><TAB><data>
 *   regkey<TAB><a registry key the module made>
 *   restart<TAB><a temporary file the next restart moves over an installed
 *            file that was in use (INSTALLED_AT_RESTART); the file's own line
 *            carries the new file's size and time>
 *   ...
 *   end<TAB><number of item lines, decimal><TAB><check>
 *
 * where <check> is the FNV-1a hash (32 bits, 8 hex digits) of every byte
 * before the end line.
 *
 * Paths are complete, at most 259 characters; no field holds a control
 * character; 1024 items and 1 MiB at most. The uninstaller reads a record that
 * breaks any of this as damaged, and then removes nothing.
 */
#ifndef SETUPKIT_H
#define SETUPKIT_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A setting the module wrote: the uninstaller deletes the key, then the
   section if no key is left in it, then the file if nothing is left in it and
   it is below the destination. */
typedef struct KitIniEntry {
    const char *file; /* complete path of the settings file */
    const char *section;
    const char *key;
} KitIniEntry;

/* A registry value the module created (the stock module's [REGISTRY] and
   [ASSOC]): the uninstaller deletes it only while it still holds `data`,
   and then each key in regKeys that is left empty. Record only values that
   were not there before the installation (or that an earlier installation
   of the product recorded): the uninstaller takes the record's word. The
   key is below HKLM\Software or HKCU\Software (not Microsoft, Policies,
   Wow6432Node; below Classes only a file association's keys). */
typedef struct KitRegValue {
    const char *key;  /* "HKLM\\Software\\Vendor\\Product", or "HKCU\\..." */
    const char *name; /* "" for the key's default value */
    DWORD type;       /* REG_SZ or REG_DWORD */
    const char *data; /* what was written; a REG_DWORD in decimal */
} KitRegValue;

/* What the product is, and what the module made beyond setup.exe's files.
   Texts are ANSI, at most 259 characters, without control characters. */
typedef struct ProductInfo {
    int size;                     /* sizeof(ProductInfo) */
    const char *id;               /* the registry key's name: a plain name (no \), at most 127
                                     characters; the same id in every version of the product */
    const char *displayName;      /* what Add/Remove Programs lists */
    const char *version;          /* may be null */
    const char *publisher;        /* may be null */
    const char *destDir;          /* the destination, a complete path */
    const char *sourceDir;        /* the distribution folder, where uninst.exe is */
    const char *displayIcon;      /* may be null: the uninstaller's icon */
    const char *const *shortcuts; /* complete paths of the .lnk files written */
    int shortcutCount;
    const char *const *groupFolders; /* folders made for them; removed once empty */
    int groupFolderCount;
    const KitIniEntry *iniEntries;
    int iniEntryCount;
    /* Read only when `size` covers them: a module built before they were
       added passes a smaller size and records none. */
    const KitRegValue *regValues;
    int regValueCount;
    const char *const *regKeys; /* keys the module made ("HKLM\\..."), removed once empty */
    int regKeyCount;
} ProductInfo;

/* RegisterProduct's results. */
#define KIT_REGISTERED 0      /* record, uninstaller and key are in place */
#define KIT_BAD_INFO 1        /* a field is missing, too long, or not a complete path */
#define KIT_NO_UNINSTALLER 2  /* uninst.exe could not be copied into the destination */
#define KIT_RECORD_FAILED 3   /* the record could not be written (or is full) */
#define KIT_REGISTRY_FAILED 4 /* the key could not be written (no right to HKLM?) */
#define KIT_NO_MEMORY 5
/* the destination holds another product's record: neither it nor the
   uninstaller there was touched, and this product was not registered */
#define KIT_OTHER_PRODUCT 6

/* Registers the installation; mainWindow is setup's (InitModule's). Call it
   from EndSetup, after setup.exe has made everything. Items setup.exe
   reports that the record cannot carry (a path too long) are left out and
   logged. Returns KIT_... above. */
int RegisterProduct(HWND mainWindow, const ProductInfo *info);

/* A line for setup's installation log (/LOG=): `format` is wsprintf's, each
   text bounded by its precision (%.259s), the line cut at 1024 characters.
   Without a log (or with a setup.exe that keeps none) nothing happens. */
void KitLog(HWND mainWindow, const char *format, ...);

/* Tells setup.exe, right before the module changes it, of a file (UNDO_FILE,
   a complete path), a folder it makes (UNDO_FOLDER, a complete path) or a
   registry key (UNDO_KEY below `root`, UNDO_MACHINE or UNDO_USER), so that
   an installation that does not complete puts it back
   (SM_KEEPFORUNDO). Returns 1 when setup.exe will, 0 when it cannot or is
   older; the change may be made either way. */
int KitKeepForUndo(HWND mainWindow, int kind, int root, const char *path);

/* A few words on a KIT_... result, for the module's own message or log. */
const char *KitResultMeaning(int result);

/* ---- Before installing: what the destination holds already ------------ */

/* KitCheckDestination's answers:
   FREE      no record there, and the product is installed nowhere else;
   EARLIER   this product's earlier installation is there: installing again
             adds to it (an upgrade, a repair);
   OTHER     another product's record is there: installing would take over
             its uninstaller, and that product could no longer be removed;
   ELSEWHERE the product is installed in another folder (its Uninstall key
             names it and its record is there): a second installation would
             leave that one without its entry in Add/Remove Programs. */
#define KIT_DEST_FREE 0
#define KIT_DEST_EARLIER 1
#define KIT_DEST_OTHER 2
#define KIT_DEST_ELSEWHERE 3

typedef struct KitDestination {
    int size;                   /* set by the caller: sizeof(KitDestination) */
    char installedIn[MAX_PATH]; /* the folder the product is installed in; "" when nowhere */
    char message[1024];         /* for the user with KIT_DEST_OTHER and KIT_DEST_ELSEWHERE */
} KitDestination;

/* What installing the product `id` (shown as `displayName`) into `destDir`
   would meet, asked before anything is copied: from SetDestDir, with the
   folder the setup will use. Reads the record in `destDir` and the product's
   Uninstall key; changes nothing, shows nothing, logs its answer. A record
   that cannot be read is no one's. Returns KIT_DEST_..., KIT_DEST_FREE also
   for a missing argument. A module refuses OTHER and ELSEWHERE (SetDestDir
   answers 0: exit code 2) after telling the user `message`, or moves the
   destination to `installedIn` when the caller did not choose it. */
int KitCheckDestination(HWND mainWindow, const char *id, const char *displayName,
                        const char *destDir, KitDestination *found);

/* KitEarlierFile's answers: no earlier installation of the product installed
   the file; one did, and its size and last-write time are still those it
   recorded; one did, and it changed since. */
#define KIT_FILE_NOT_RECORDED 0
#define KIT_FILE_UNCHANGED 1
#define KIT_FILE_CHANGED 2

/* Whether `path`, a file that exists already (FileConflict's destPath), is
   the product's own from an earlier installation into `destDir`, by the
   record there: an unchanged one is the product's to replace on an upgrade,
   a changed one the user's work. */
int KitEarlierFile(const char *id, const char *destDir, const char *path);

/* Whether an earlier installation of the product into `destDir` recorded
   the registry value `name` of `key` (KitRegValue's spelling) as its own:
   1 when it did, so that an upgrade records it again although it exists. */
int KitEarlierValue(const char *id, const char *destDir, const char *key, const char *name);

/* The folder of the product's earlier installation: the one its Uninstall
   key names, when that folder still holds the product's record. Writes it
   into `folder` (`size` bytes) and returns 1; returns 0, `folder` empty,
   when there is none. For a module's default destination, and for a folder
   dialog's. */
int KitEarlierFolder(const char *id, char *folder, int size);

#ifdef __cplusplus
}
#endif

#endif /* SETUPKIT_H */
