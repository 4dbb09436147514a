/*
 * stockkit.h - the stock module's behaviour, for a module of your own.
 *
 * stock.dll installs a product from its settings in kvlsetup.dat ([PRODUCT],
 * [GROUP], [INI]; modules/stock/stock.cpp documents them). The stock kit is
 * that behaviour as a static library, so that a module which needs a little
 * code of its own (one more question, a folder of its own choosing) keeps
 * everything else as the stock module does it. With CMake, after
 * include(cmake/SetupModule.cmake):
 *
 *   add_setup_module(orbit orbit.cpp)
 *   target_link_libraries(orbit PRIVATE stockkit)
 *
 * Export the hooks as usual and call the kit's procedure of the same name
 * from each one; do your own work before or after it. A hook you do not
 * export keeps setup.exe's default, not the stock behaviour: export every
 * hook whose stock behaviour you want. The stock module itself is this:
 *
 *   int WINAPI InitModule(HWND w, char *source, char *title, HMODULE)
 *                                           { return StockInitModule(w, source, title); }
 *   int WINAPI SetDestDir(char *dest)       { return StockSetDestDir(dest); }
 *   int WINAPI FileConflict(char *dest, char *) { return StockFileConflict(dest); }
 *   int WINAPI CriticError(char *failed)    { return StockCriticError(failed); }
 *   int WINAPI CreateShortcuts(void)        { return StockCreateShortcuts(); }
 *   int WINAPI GenIniFiles(void)            { return StockGenIniFiles(); }
 *   int WINAPI EndSetup(void)               { return StockEndSetup(); }
 *   int WINAPI DemoQuery(char *p, char *d)  { return StockDemoQuery(p, d); }
 *
 * modules/example/example.cpp asks whether to install the samples and
 * chooses its own folder, in a few lines more. The kit keeps its state in
 * the module (one setup at a time), shows nothing in the silent modes (a
 * question takes the answer you give for them, a message goes to setup's
 * log) and links the registration kit (setupkit.h) for cbId.
 */
#ifndef STOCKKIT_H
#define STOCKKIT_H

#include "setupkit.h"
#include "setupmodule.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- the hooks' stock behaviour -------------------------------------- */

/* Reads the settings from kvlsetup.dat in sourceDir, asks setup's mode, and
   puts [PRODUCT] cbTitle into moduleTitle (SETUP_MODULE_TITLE_SIZE bytes). */
int StockInitModule(HWND mainWindow, const char *sourceDir, char *moduleTitle);

/* Moves the destination to [PRODUCT] cbFolder below Program Files (unless
   the caller chose it with /DIR=) and remembers it for the steps below.
   With cbId, a product installed already goes where it is, unless the caller
   chose the folder; a folder with another product's installation, or one
   beside this product's earlier installation, is refused: the user is told
   (silently: the log), and it returns 0 (the setup ends with 2). With
   cbAskFolder=1 the user then sees the folder in a dialog and may choose
   another (not silently, nor with /DIR=); Cancel returns 0 and the setup
   ends with 1. */
int StockSetDestDir(char *destDir);

/* The [STORED] files (kept in the distribution folder under a name of their
   own by kvlship build), each as one copy request: from AddFiles, which
   setup.exe calls before its conflict scan. */
int StockAddFiles(void);

/* cbConflict: FC_REPLACE, FC_SKIP, or the user's answer: Yes, Yes to All
   (FC_REPLACE_ALL), No, No to All (FC_SKIP now and for every later question)
   or Cancel (FC_ABORT).
   Over an earlier installation of the product (cbId), a file it installed
   and nobody changed since is replaced without asking; one that was changed
   is kept (logged) silently and with cbConflict=keep, else asked about. */
int StockFileConflict(const char *destPath);

/* cbFileError: tells the user which file failed and why; 1 to go on, 0 to end. */
int StockCriticError(const char *failedPath);

/* The [GROUP] shortcuts, in all users' Start menu or the user's (cbFor),
   and the [DESKTOP] shortcut when it is wanted. */
int StockCreateShortcuts(void);

/* The [INI] settings, then the [REGISTRY] values and the [ASSOC] file types. */
int StockGenIniFiles(void);

/* Registers the product for removal when [PRODUCT] cbId is set; a product
   that cannot be registered is named to the user (or the log). */
int StockEndSetup(void);

/* cbDemoProgram and cbDemoDocument; a program setup cannot start is named to
   the user and not started. Returns 1 with both buffers filled. */
int StockDemoQuery(char *program, char *document);

/* ---- pieces for your own hooks --------------------------------------- */

/* SetDestDir with a folder of your choosing instead of cbFolder: `folder`
   (names joined by backslashes, "Vendor\\Product") below Program Files,
   unless the caller chose the destination with /DIR=. Returns 1, also when
   the folder is refused (the destination then stays as it is); 0 only as
   StockSetDestDir does, for an installation it refuses. With cbId, the
   folder of the product's earlier installation comes before `folder` (as
   before cbFolder). Then, with cbAskFolder=1 and nobody's /DIR=, the user
   sees the folder and may choose another (Cancel: 0, the setup ends as
   declined). Then, with [DESKTOP], the desktop shortcut is offered
   (a small dialog; silently /NODESKTOP, /DESKTOP or cbChecked answer). */
int StockUseFolder(char *destDir, const char *folder);

/* The destination as SetDestDir left it ("" before). */
const char *StockDestDir(void);

/* True in /SILENT and /VERYSILENT: nobody is there to answer. */
int StockSilent(void);

/* A message for the user (icon: MB_ICONINFORMATION, ...); silently it goes to
   setup's log. */
void StockTell(const char *text, UINT icon);

/* A yes/no question; silently nobody is asked and `silentAnswer` is taken.
   Returns 1 for yes. */
int StockAsk(const char *question, int silentAnswer);

/* One more file to install: `storedName` in the distribution folder (plain
   or compressed), installed as `installedName` in `subFolder` below the
   destination ("" for the destination itself), replacing a file of that name
   without asking. Send it from GetAddInList: setup.exe drops entries sent
   before SetDestDir returns. Returns the slot, or -1 (a name too long, the
   list full, the file listed already). */
int StockAddFile(const char *storedName, const char *installedName, const char *subFolder);

/* A setting of kvlsetup.dat, cut to `size` - 1; returns its length, or -1 when
   the key is missing. */
int StockReadSetting(const char *section, const char *key, char *buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* STOCKKIT_H */
