/*
 * setupmodule.h - the contract between setup.exe and a product's setup module.
 *
 * A setup module is a 32-bit DLL that lives beside setup.exe in the
 * distribution folder. setup.exe loads "<command line>.dll" (or
 * "defsetup.dll" when started without arguments) and calls the hooks below
 * at fixed points of the installation. Every hook is optional: setup.exe
 * looks each one up by its exact, undecorated name right before calling it,
 * and a hook that is not exported takes the default its "Not exported" note
 * below names (setup's log: "hook X: not exported, taken as N"). For most
 * hooks that is consent; FileConflict's is FC_REPLACE, UserCancel's copies
 * on (the user cannot cancel) and DemoQuery's starts no demonstration.
 *
 * setup.exe loads libraries from the system folder only, so that nothing
 * planted beside it under a system name can run. The module itself is
 * loaded by its full path; a module that needs DLLs of its own must load
 * them by their full path too (sourceDir arrives in InitModule), and should
 * be linked statically against its compiler's runtime.
 *
 * Hooks are __stdcall. Export them undecorated: link the module with
 * -Wl,--kill-at (MinGW) or list them in a .def file, otherwise the linker
 * exports names such as "InitModule@16" that setup.exe will not find.
 *
 * While a hook runs, the module may send the service messages below to the
 * main window (its handle arrives in InitModule). They are handled at once,
 * before SendMessage returns. All texts are 8-bit ANSI, zero-terminated.
 * This header is all a module author needs; it compiles as C and as C++.
 */
#ifndef SETUPMODULE_H
#define SETUPMODULE_H

#include <windows.h>
#include <shlobj.h>
#include <stddef.h>

#include "setupexit.h"
#include "setuphooks.h"

#ifdef __cplusplus
extern "C" {
#define SETUPMODULE_ASSERT(cond, text) static_assert(cond, text)
#else
#define SETUPMODULE_ASSERT(cond, text) _Static_assert(cond, text)
#endif

/* ------------------------------------------------------------------------
 * Sizes of the buffers that setup.exe hands to hooks.
 * ---------------------------------------------------------------------- */
#define SETUP_PATH_SIZE 260         /* every path and text buffer */
#define SETUP_MODULE_TITLE_SIZE 176 /* the title buffer of InitModule */

/* ------------------------------------------------------------------------
 * Answers of FileConflict. Any other value leaves the existing file alone.
 * ---------------------------------------------------------------------- */
#define FC_SKIP 0        /* do not install this file */
#define FC_REPLACE 1     /* replace the existing file */
#define FC_REPLACE_ALL 2 /* replace it and every later existing file, no more questions */
#define FC_ABORT 4       /* end the setup now */

/* ------------------------------------------------------------------------
 * Messages of the main window (class "SETUP_CLASS") that a module sends with
 * SendMessage, and the one it receives. The shell's own windows use 1084,
 * 1104, 1114, 1174 and 1269 on the main window and 1034, 1044, 1184, 1624
 * and 1724 on the copy window: those numbers are reserved.
 * ---------------------------------------------------------------------- */
/* 1064: create the "sender" child window and post it SENDER_START */
#define SM_STARTSENDER (WM_USER + 40)
/* 1119: end the setup now; setup.exe ends with SETUP_EXIT_MODULE, or with
   SETUP_EXIT_DECLINED when wParam is SETUP_EXIT_DECLINED (the user said no
   in a dialog of the module's, before anything was copied; an older
   setup.exe ends with SETUP_EXIT_MODULE) */
#define SM_EXIT (WM_USER + 95)
/* 1194: lParam = CopyRequest*; result: slot index, or -1 */
#define SM_ADDCOPYENTRY (WM_USER + 170)
/* 1199: lParam = AddInRequest*; result: slot index, or -1 */
#define SM_ADDADDIN (WM_USER + 175)
/* 1204: lParam = name of a file list in the source folder; result 1, or 0
   when a listed file was missing, empty or not a plain file name */
#define SM_ADDFILELIST (WM_USER + 180)
/* 1206: lParam = ShortcutRequest*; result 1 */
#define SM_CREATESHORTCUT (WM_USER + 182)
/* 1209: repaint the main window at once */
#define SM_REPAINT (WM_USER + 185)
/* 1214: how this setup runs; result: SETUP_MODE_... flags below. A setup.exe
   that predates this message answers 0: interactive, destination not chosen.
   Ask in InitModule and honour it: in the silent modes show nothing that
   waits for a person (no message box, no question), or the deployment that
   started the setup waits for ever. */
#define SM_GETSETUPMODE (WM_USER + 190)
/* 1216: lParam = a text (at most 1023 characters) for the installation log
   of /LOG=; result 1 when logged, 0 without a log. Use it for what you would
   have told the user in the silent modes. */
#define SM_WRITELOG (WM_USER + 192)
/* 1218: what the setup did, one item at a time: wParam = the item's number
   from 0, lParam = an InstalledItem* whose `size` the module has set to
   sizeof(InstalledItem); setup.exe fills it (never past `size`). Result 1
   when the item exists, 0 past the last. Items come in the order things
   happened: the folders setup.exe made (destination and sub-folders, each
   missing parent too), then per copy entry what became of its file (a
   file in use: INSTALLED_AT_RESTART, then its INSTALLED_RESTART_SOURCE). Ask
   from EndCopy on (CreateShortcuts, GenIniFiles, GetAddInOff, EndSetup,
   DemoQuery); an older setup.exe answers 0 at once. */
#define SM_GETINSTALLED (WM_USER + 194)
/* 1226: what installing into a folder needs on its volume, and what the
   volume has free: lParam = a SpaceQuery* whose `size` the module has set to
   sizeof(SpaceQuery) and whose `folder` names a complete path (it need not
   exist yet). setup.exe counts the data file's files (from AddFiles on, the
   copy list as it stands) as they would land with `folder` for the
   destination, as its own disk-space check before the copy counts them:
   entries bound for the Windows folder or a complete path count only when
   they are on the same volume. It fills the rest. Result 1, or 0 for
   a record too small, a folder that names no volume, or a volume whose free
   space cannot be read. Ask from SetDestDir on, for instance while the user
   picks a folder; an older setup.exe answers 0. */
#define SM_GETSPACE (WM_USER + 202)
/* 1220: lParam = UndoItem*: something the module is about to change beside
   the copy (a file, a registry key), so that an installation that does not
   complete takes it back with the copied files: a file that was there comes
   back as it was, one made new goes; a key's values come back as they were,
   a key that was not there goes. Send it right before the change, from a
   hook (the registration kit does, for the record, the uninstaller and the
   product's keys). Result 1 when setup.exe will take it back, 0 when it
   cannot (an older setup.exe answers 0: the module goes on all the same).
   A key's values are copied aside (below HKLM or HKCU\Software\KARVELO
   Setup\Kept) and journaled as the files are: after a setup killed once it
   changed one, the next setup for the folder or the uninstaller puts it
   back. A folder (UNDO_FOLDER) made after it is removed again when empty. */
#define SM_KEEPFORUNDO (WM_USER + 196)
/* 1234, sent or posted by the module's sender window, once: bit 15 of lParam
   set means success. A success reply that comes before the installation has
   begun starts it 8 ticks later; one that comes while the first start (24
   ticks after start-up) is still pending is dropped, and that start comes
   at its own time. A failure reply cancels a pending start, tells the user
   "Error: Program Manager not found. Setup must exit." and runs the finish
   (EndSetup, DemoQuery) once; setup.exe then ends with SETUP_EXIT_SENDER.
   A reply is taken only from the sender window setup.exe made, and only its
   first. */
#define SM_SENDERREPLY (WM_USER + 210)

/* Posted by the shell to the module's "sender" window right after creating it. */
#define SENDER_START (WM_USER + 180) /* 1204 */

/* Who may send what. The services that carry a pointer (SM_ADDCOPYENTRY,
 * SM_ADDADDIN, SM_ADDFILELIST, SM_CREATESHORTCUT, SM_WRITELOG,
 * SM_GETINSTALLED, SM_GETSPACE, SM_KEEPFORUNDO) are honoured only when sent
 * with SendMessage from setup.exe's own thread: from a hook, or from a window
 * or timer of the module on that thread. Posted, or sent from another thread
 * or process, they do nothing (result -1 or 0). No private message of the
 * main window is taken from another thread; each of the sequence's own
 * messages is acted on only at the moment the sequence expects it.
 *
 * Copy entries and add-ins sent before SetDestDir returns are dropped: the
 * lists are emptied right after it. Entries sent from AddFiles join the data
 * file's own: they are put to FileConflict and get their sub-folders made
 * (an older setup.exe never calls AddFiles). Entries sent after the conflict scan
 * (from GetAddInList on) are not put to FileConflict, and an existing file is
 * then replaced only when the entry asks for it (overwrite). The sub-folders
 * of entries sent from StartCopy or later are not made by setup.exe: such an
 * entry installs only into a folder that exists (a failed copy otherwise).
 *
 * The module stays loaded until the main window's message loop has ended,
 * so a module window or timer may send SM_EXIT and return safely.
 */

/* The answer of SM_GETSETUPMODE (SETUP_MODE_...) and setup.exe's exit codes
   (SETUP_EXIT_...) are in setupexit.h, which needs no Windows header. */

/* ------------------------------------------------------------------------
 * Records the module passes by address. setup.exe only reads them, only
 * during the message, and never past their fields. A text must end within
 * its field; a record whose text has no terminator there is refused.
 * ---------------------------------------------------------------------- */
#pragma pack(push, 1)

/* SM_ADDCOPYENTRY: one file to install. 812 bytes. */
typedef struct CopyRequest {
    char sourceName[264]; /* file in the source folder, or a full path with absolutePaths */
    char destName[264];   /* name at the destination, or a full path with absolutePaths */
    char subFolder[260];  /* below the destination folder; may be empty or nested */
    int toWindowsFolder;  /* non-zero: install into the Windows folder */
    int spareFlag1;       /* stored, not used */
    int overwrite;        /* non-zero: replace an existing file without asking */
    int spareFlag2;       /* stored, not used */
    int size;             /* kept with the entry; or COPY_SIZE_MEASURED */
    int absolutePaths;    /* non-zero: both names are complete paths */
} CopyRequest;

/* CopyRequest.size for a file too large for the field (2 GiB and more):
   setup.exe weighs the entry at its source file's own size. An older
   setup.exe counts it as 0. */
#define COPY_SIZE_MEASURED (-1)

/* SM_ADDADDIN: one add-in program. 780 bytes. */
typedef struct AddInRequest {
    char description[260]; /* key: a second add-in with the same description is refused */
    char fileName[260];
    char parameters[260];
} AddInRequest;

/* SM_CREATESHORTCUT: one .lnk file. 1568 bytes. */
typedef struct ShortcutRequest {
    char description[260];   /* the link's comment */
    char linkName[260];      /* file name of the link without ".lnk" */
    char linkFolder[260];    /* folder of the link file; it must exist */
    char targetFile[260];    /* target file name; empty when the target is a folder */
    char targetFolder[260];  /* folder of the target, or the target folder itself */
    char arguments[260];     /* command-line arguments stored in the link; may be empty */
    LPITEMIDLIST itemIdList; /* target as an item id list, used when useItemIdList is non-zero */
    int useItemIdList;
} ShortcutRequest;

/* SM_GETINSTALLED: one thing the setup did. */
typedef struct InstalledItem {
    int size;      /* set by the module: sizeof(InstalledItem) */
    int kind;      /* INSTALLED_... below */
    DWORD sizeLow; /* the file's size as installed (files only) */
    DWORD sizeHigh;
    FILETIME written;           /* its last-write time as installed (files only) */
    char path[SETUP_PATH_SIZE]; /* the file's or folder's full path */
} InstalledItem;

/* SM_GETSPACE: the space installing into `folder` needs. */
typedef struct SpaceQuery {
    int size;                     /* set by the module: sizeof(SpaceQuery) */
    char folder[SETUP_PATH_SIZE]; /* set by the module: the folder the product would go to */
    char volume[SETUP_PATH_SIZE]; /* its volume: "C:\" or "\\server\share\" */
    DWORD neededLow;              /* bytes the files to install need there */
    DWORD neededHigh;
    DWORD freeLow; /* bytes free there for this user */
    DWORD freeHigh;
} SpaceQuery;
/* SM_KEEPFORUNDO: one thing about to change. 272 bytes. */
typedef struct UndoItem {
    int size;                   /* set by the module: sizeof(UndoItem) */
    int kind;                   /* UNDO_... below */
    int root;                   /* UNDO_KEY: UNDO_MACHINE or UNDO_USER */
    char path[SETUP_PATH_SIZE]; /* UNDO_FILE: the file's complete path; UNDO_KEY: the key */
} UndoItem;

#pragma pack(pop)

/* UndoItem.kind */
#define UNDO_FILE 1 /* a file about to be written in place */
#define UNDO_KEY 2  /* a registry key about to be written (its values, not its sub-keys) */
/* a folder about to be made (a complete path): the undo removes it when
   empty; one that exists already is left alone. An older setup.exe answers 0. */
#define UNDO_FOLDER 3
/* UndoItem.root: the key is below */
#define UNDO_MACHINE 0 /* HKEY_LOCAL_MACHINE */
#define UNDO_USER 1    /* HKEY_CURRENT_USER */

/* InstalledItem.kind */
#define INSTALLED_FOLDER 1   /* a folder setup.exe made: it did not exist before */
#define INSTALLED_NEW 2      /* a file installed where none was */
#define INSTALLED_REPLACED 3 /* a file installed over one that was there */
#define INSTALLED_KEPT                                                                             \
    4 /* an existing file left as it was (the entry did not ask to replace it)                     \
       */
#define INSTALLED_SKIPPED 5 /* an existing file left as it was (FileConflict answered FC_SKIP) */
#define INSTALLED_FAILED 6  /* a file that could not be installed */
/* a file in use by another program: the new one replaces it at the next
   restart (size and time are the new file's); the item after it is its
   INSTALLED_RESTART_SOURCE. A module built before these ignores both. */
#define INSTALLED_AT_RESTART 7
/* the temporary file beside it that the restart moves into its place */
#define INSTALLED_RESTART_SOURCE 8

SETUPMODULE_ASSERT(sizeof(CopyRequest) == 812, "CopyRequest is 812 bytes");
SETUPMODULE_ASSERT(offsetof(CopyRequest, destName) == 264, "CopyRequest.destName");
SETUPMODULE_ASSERT(offsetof(CopyRequest, subFolder) == 528, "CopyRequest.subFolder");
SETUPMODULE_ASSERT(offsetof(CopyRequest, toWindowsFolder) == 788, "CopyRequest.toWindowsFolder");
SETUPMODULE_ASSERT(offsetof(CopyRequest, spareFlag1) == 792, "CopyRequest.spareFlag1");
SETUPMODULE_ASSERT(offsetof(CopyRequest, overwrite) == 796, "CopyRequest.overwrite");
SETUPMODULE_ASSERT(offsetof(CopyRequest, spareFlag2) == 800, "CopyRequest.spareFlag2");
SETUPMODULE_ASSERT(offsetof(CopyRequest, size) == 804, "CopyRequest.size");
SETUPMODULE_ASSERT(offsetof(CopyRequest, absolutePaths) == 808, "CopyRequest.absolutePaths");

SETUPMODULE_ASSERT(sizeof(AddInRequest) == 780, "AddInRequest is 780 bytes");
SETUPMODULE_ASSERT(offsetof(AddInRequest, fileName) == 260, "AddInRequest.fileName");
SETUPMODULE_ASSERT(offsetof(AddInRequest, parameters) == 520, "AddInRequest.parameters");

SETUPMODULE_ASSERT(sizeof(ShortcutRequest) == 1568, "ShortcutRequest is 1568 bytes");
SETUPMODULE_ASSERT(sizeof(InstalledItem) == 284, "InstalledItem is 284 bytes");
SETUPMODULE_ASSERT(sizeof(UndoItem) == 12 + SETUP_PATH_SIZE, "UndoItem is 272 bytes");
SETUPMODULE_ASSERT(offsetof(UndoItem, path) == 12, "UndoItem.path");
SETUPMODULE_ASSERT(offsetof(InstalledItem, written) == 16, "InstalledItem.written");
SETUPMODULE_ASSERT(offsetof(InstalledItem, path) == 24, "InstalledItem.path");
SETUPMODULE_ASSERT(sizeof(SpaceQuery) == 540, "SpaceQuery is 540 bytes");
SETUPMODULE_ASSERT(offsetof(SpaceQuery, volume) == 264, "SpaceQuery.volume");
SETUPMODULE_ASSERT(offsetof(SpaceQuery, neededLow) == 524, "SpaceQuery.neededLow");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, linkName) == 260, "ShortcutRequest.linkName");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, linkFolder) == 520, "ShortcutRequest.linkFolder");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, targetFile) == 780, "ShortcutRequest.targetFile");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, targetFolder) == 1040, "ShortcutRequest.targetFolder");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, arguments) == 1300, "ShortcutRequest.arguments");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, itemIdList) == 1560, "ShortcutRequest.itemIdList");
SETUPMODULE_ASSERT(offsetof(ShortcutRequest, useItemIdList) == 1564,
                   "ShortcutRequest.useItemIdList");

/* ------------------------------------------------------------------------
 * Hooks, in the order of a complete run (their names and parameters are
 * listed once, in setuphooks.h). Each returns 0 to refuse (the setup then
 * ends silently; the module should have told the user why) and non-zero to
 * consent, except where noted. "Not exported" says what setup does without
 * the hook.
 * ---------------------------------------------------------------------- */

/* InitModule: right after loading. sourceDir ends in a backslash. The
   module may write its title (at most 175 characters) into moduleTitle.
   Result ignored. Not exported: the caption carries no title of the module's.

   Present: before the agreement dialog; scratch is a 260-byte buffer of the
   module's. Not exported: setup goes on to the agreement.

   SetDestDir: after the agreement; destDir holds the default destination and
   may be rewritten with a complete path. setup.exe then writes it as the one
   folder the system makes of it (C:/Atlas. is C:\Atlas); a folder that cannot
   be one ends the setup with SETUP_EXIT_MODULE. Not exported: the default
   destination (<ProgramFilesDir>\KarveloEngine, or the folder of /DIR=) stands.

   AddFiles: after the data file's files are listed, before the conflict
   scan: the place to add files of the module's own (SM_ADDCOPYENTRY,
   SM_ADDFILELIST). Not exported: the data file's files only.

   FileConflict: a file to install exists already. Answers: FC_SKIP,
   FC_REPLACE, FC_REPLACE_ALL, FC_ABORT. Not exported: every existing file is
   replaced without a question (FC_REPLACE).

   GetAddInList: after the conflict scan; a good place to add files.
   Not exported: setup goes on.

   StartCopy: after the destination folders are made, before the copy.
   Not exported: setup goes on.

   UserCancel: the user asked to cancel the copy: 0 cancels the setup,
   non-zero copies on. Not exported: the copy goes on; the user's request is
   not granted.

   CriticError: copying stopped at a file that failed; failedPath is its
   destination, and GetLastError() on entry gives the system's reason
   (ERROR_INVALID_DATA for a damaged compressed file, ERROR_HANDLE_EOF for one
   cut short). Return 0 to end the setup, non-zero to go on with the shortcuts
   and the finish. Without this hook setup.exe tells the user which file
   failed and why, and goes on. Either way setup.exe ends with
   SETUP_EXIT_FILE_FAILED. Answering 0 ends the setup unfinished: everything
   it did is undone (files replaced are put back, files and folders made
   removed); going on completes a partial installation. A file in use by
   another program does not fail: it is replaced at the next restart
   (INSTALLED_AT_RESTART), and setup.exe ends with SETUP_EXIT_RESTART.

   NonCriticError: reserved: setup.exe does not call it.

   EndCopy: after copying. Not exported: setup goes on.

   CreateShortcuts: while the shortcut dialog opens: send SM_CREATESHORTCUT
   from here. Not exported: no shortcuts, and setup goes on.

   GenIniFiles: after the shortcuts. Result ignored. Not exported: nothing
   happens.

   GetAddInOff: after GenIniFiles. Result ignored. Not exported: nothing
   happens.

   EndSetup: at the finish. Result ignored. Not exported: nothing happens
   (nothing is registered for removal unless the module does it here).

   DemoQuery: last: write a program path relative to the destination folder
   and a document name relative to its "Demos" folder (260 bytes each, both
   zero-filled) and return non-zero to have the demonstration started. Left
   empty, the document is not passed: the program starts alone. Not exported:
   no demonstration is started (taken as 0). */

/* The hooks' types, InitModuleHook to DemoQueryHook, for GetProcAddress. */
#define SETUP_HOOK_TYPE(name, parameters) typedef int(WINAPI * name##Hook) parameters;
SETUP_HOOKS(SETUP_HOOK_TYPE)

/* Declarations for module authors: define the hooks you need with exactly
   these signatures. */
#define SETUP_HOOK __declspec(dllexport) int WINAPI
#define SETUP_HOOK_DECLARATION(name, parameters) SETUP_HOOK name parameters;
SETUP_HOOKS(SETUP_HOOK_DECLARATION)

#ifdef __cplusplus
}
#endif

#endif /* SETUPMODULE_H */
