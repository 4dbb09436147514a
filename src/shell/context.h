// The shell's one process-wide record of folders, handles, titles and flags.
#pragma once

#include <windows.h>

#include "util/paths.h"

constexpr size_t kModuleTitleSize = 176; // what a module is told it may write
// A module that writes a longer title than it may should not overwrite the
// fields behind it, so the title field has this much room; the title is cut
// back to kModuleTitleSize - 1 characters once InitModule returns.
constexpr size_t kModuleTitleRoom = 1024;

struct SetupContext {
    HINSTANCE instance;
    char commandLine[kPathSize]; // argument part of the command line, exactly as given
    int commandLineTooLong;      // the arguments did not fit commandLine
    HBITMAP tileBitmap;          // held for the life of the process
    HWND mainWindow;
    char windowsDir[kPathSize];
    char sourceDir[kPathSize]; // the shell's own folder, ends in a backslash
    HMODULE moduleHandle;      // the setup module; null when loading failed
    char moduleTitle[kModuleTitleRoom];
    char setupTitle[kPathSize];
    char destDir[kPathSize];
    HWND copyWindow;
    int copyInProgress; // arms the cancel zone of the main window
    int criticalCopyError;
    char failedPath[kPathSize];
    char sourcePath[kPathSize]; // paths of the copy entry being examined or copied
    char destPath[kPathSize];
    int beginStarted;   // the begin step runs once, however often it is requested
    int hookDepth;      // hooks of the module now on the stack
    int releasePending; // the module is to be released once the last hook returns
};

extern SetupContext g_setup;
