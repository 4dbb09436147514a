// The stock setup module: installs a product that needs no code of its own.
// Ship it beside setup.exe as "defsetup.dll" and describe the product in
// kvlsetup.dat, next to the [GENERAL] and [FILELIST] sections of the shell:
//
//   [PRODUCT]
//   cbFolder=Harbour Atlas       folder below Program Files: the destination becomes
//                                <ProgramFilesDir>\Harbour Atlas. Nested names are fine
//                                (Harbour Software\Harbour Atlas). Empty or missing keeps
//                                the default; a value with / or :, a leading, doubled or
//                                trailing \, another character a name cannot hold, or a name
//                                made of dots is refused (the default is kept).
//                                A folder the caller chose with setup's /DIR= wins.
//   cbTitle=Harbour Atlas 2.1    title shown in the caption (optional)
//   cbConflict=ask               a file to install exists already: ask (Yes replaces, No
//                                skips it, Yes to All and No to All answer for this file
//                                and every later one, Cancel ends the setup), replace, or keep.
//                                Missing or anything else: ask. In a silent setup nobody
//                                is asked: "ask" keeps the existing file. With cbId, over
//                                an earlier installation (its record in the folder), a file
//                                it installed and nobody changed since (the size and time
//                                it recorded) is replaced without asking, in every mode; one
//                                changed since is asked about (ask) or kept and logged
//                                (silent, or keep).
//   cbDemoProgram=DEMO.EXE       program started at the end, below the destination;
//                                missing: no demonstration. Only a program (.exe, .com,
//                                .bat, .cmd) is started; another file is named to the user
//                                and nothing is started.
//   cbDemoDocument=HARBOUR.TXT   its document, below the destination's Demos folder (optional)
//   cbFileError=stop             a file could not be installed: the user is told which and
//                                why, and the setup ends (stop), or goes on with the shortcuts
//                                and the rest (continue). Missing or anything else: stop.
//                                In a silent setup the message goes to setup's log.
//   cbId=Harbour Atlas           registers the product so that it can be removed (see
//                                include/setupkit.h): the name of its key below
//                                ...\CurrentVersion\Uninstall, the same in every version;
//                                a plain name of at most 127 characters. Missing or empty:
//                                nothing is registered. Ship uninst.exe beside setup.exe.
//                                Add/Remove Programs lists the product under cbTitle (or
//                                cbId without a title). The record lists the files setup
//                                installed, the [GROUP] shortcuts and their folder, and the
//                                [INI] settings.
//                                A product installed already (its Uninstall key names a
//                                folder holding its record) is installed again where it
//                                is: cbFolder gives way. A folder the caller gave with /DIR=
//                                beside it is refused before anything is copied, as is a
//                                folder holding another product's record: the user is told
//                                why (silently: the log) and setup ends with exit code 2.
//                                Remove the earlier installation first to move a product.
//   cbAskFolder=1                after the agreement the user sees the folder (cbFolder, or
//                                where the product is installed already) in a dialog, may type
//                                another or browse to one, and sees the space the product needs
//                                there and what its drive has free. OK takes the folder only when
//                                it is one complete path, not the Windows folder nor inside it,
//                                not a drive's root alone, and (with cbId) not another product's
//                                installation nor a second one beside this product's; a box says
//                                what is wrong. Cancel ends the setup with exit code 1. Never
//                                shown silently or when the caller chose the folder (/DIR=).
//                                0, missing or anything else: no dialog.
//   cbVersion=2.1                its version, shown there (optional)
//   cbPublisher=Karvelo          its publisher, shown there (optional)
//
//   [GROUP]
//   cbName=Harbour Atlas         program group: a folder in the Start menu's Programs;
//                                missing: no shortcuts
//   cbFor=auto                   whose Start menu: all users' when setup runs with an
//                                administrator's rights (an elevated token), else the
//                                user's (auto); all; user. Missing or anything else: auto.
//                                All users' menu without the rights to write it: the
//                                user's. The record names the folder used.
//   cbItem00=Harbour Atlas Demo|DEMO.EXE|HARBOUR.TXT|Demos|Harbour Atlas demonstration
//   cbItem01=Read Me|README.TXT||.|About Harbour Atlas
//       link name | target below the destination | arguments | working folder below
//       the destination ("." or empty: the destination itself) | description
//
//   [INI]
//   cbItem00=ATLAS.INI|Atlas|Home|%DEST%
//   cbItem01=ATLAS.INI|Atlas|Version|2.1
//       file below the destination (its folder must exist: the destination or a folder
//       setup made for a file) | section | key | value; %DEST% in the value stands for
//       the destination folder, in exactly that case (%dest% is written as it stands)
//
// Lists are read from cbItem00 up to the first missing number, cbItem99 at
// most: items after a gap are never read. Blanks around each field are
// dropped; the last field takes the rest of the line. Paths are names joined by backslashes below
// the destination: an item whose path has a drive, a leading, doubled or trailing separator or a
// component made of dots, or whose text is too long (259 characters for a path
// or text, 175 for the title), is skipped whole.
//
//   [DESKTOP]
//   cbLink=Harbour Atlas|DEMO.EXE||.|Harbour Atlas
//                                a desktop shortcut (a [GROUP] item), offered after the
//                                agreement with one checkbox; silently setup's /NODESKTOP
//                                or /DESKTOP answers, else cbChecked
//   cbChecked=yes                the box starts checked (yes) or cleared (no)
//
//   [REGISTRY]
//   cbItem00=HKLM|Software\Harbour Charts\Atlas|InstallDir|string|%DEST%
//       HKLM or HKCU | key below Software (not Microsoft, Classes, Policies, Wow6432Node) |
//       value name (empty: the default) | string or number | value; removed with the
//       product only when the installation created it and it still holds what was written
//
//   [ASSOC]
//   cbItem00=.hat|Harbour.Chart|Harbour Atlas chart|DEMO.EXE|
//       extension | type name with a dot | description | program | icon (empty: the
//       program's); taken back at removal while it still points to this product
//
//   [STORED]
//   cbItem00=index_2.da_|Two\index.dat|0
//       a file kvlship build keeps under a name of its own (its installed name
//       clashes with another's, or no [FILELIST] line can spell its folder):
//       stored name | installed path below the destination | 1 to replace
//       without asking. Installed from AddFiles, before the conflict scan.
//
// docs/stock-module.md describes every setting for vendors. The rules above
// are modules/stock/settings.cpp, which `kvlship check` reads
// a distribution by; the behaviour is the stock kit (include/stockkit.h),
// which a module of its own links to keep it.
#include <windows.h>

#include "settings.h"
#include "stockkit.h"

// Kept although nothing reads it here: kvlship check looks for it.
__attribute__((used)) static const char kStockModuleMark[] = STOCK_MODULE_MARK;

extern "C" {

int WINAPI InitModule(HWND mainWindow, char *sourceDir, char *moduleTitle, HMODULE)
{
    return StockInitModule(mainWindow, sourceDir, moduleTitle);
}

int WINAPI SetDestDir(char *destDir)
{
    return StockSetDestDir(destDir);
}

int WINAPI AddFiles(void)
{
    return StockAddFiles();
}

int WINAPI FileConflict(char *destPath, char *)
{
    return StockFileConflict(destPath);
}

int WINAPI CriticError(char *failedPath)
{
    return StockCriticError(failedPath);
}

int WINAPI CreateShortcuts(void)
{
    return StockCreateShortcuts();
}

int WINAPI GenIniFiles(void)
{
    return StockGenIniFiles();
}

int WINAPI EndSetup(void)
{
    return StockEndSetup();
}

int WINAPI DemoQuery(char *program, char *document)
{
    return StockDemoQuery(program, document);
}
}
