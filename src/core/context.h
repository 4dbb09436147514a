// The shell's one process-wide record of folders, handles, titles and flags.
// Each field says who writes it; everybody may read it. What only one part
// needs lives with that part (the copy's progress with the copy window, the
// hook nesting with the hook calls).
#pragma once

#include <windows.h>

#include "util/paths.h"

constexpr size_t kModuleTitleSize = 176; // what a module is told it may write
// A module that writes a longer title than it may should not overwrite the
// fields behind it, so the title field has this much room; the title is cut
// back to kModuleTitleSize - 1 characters once InitModule returns.
constexpr size_t kModuleTitleRoom = 1024;

struct SetupContext {
    HINSTANCE instance;          // set by: WinMain
    char commandLine[kPathSize]; // set by: WinMain; the module's name exactly as given
    int commandLineTooLong;      // set by: WinMain; the name did not fit commandLine
    HBITMAP tileBitmap;          // set by: WinMain; held for the life of the process
    HWND mainWindow;             // set by: the main window's creation
    int ended;                   // set by: the main window's destruction; steps under way stop
    char windowsDir[kPathSize];  // set by: the main window's creation
    char sourceDir[kPathSize];   // set by: the main window's creation; ends in a backslash
    HMODULE moduleHandle;        // set by: the main window's creation (null when loading
                                 // failed) and the module's release
    char moduleTitle[kModuleTitleRoom]; // set by: the module, in InitModule
    char setupTitle[kPathSize];         // set by: the main window's creation (the caption)
    char destDir[kPathSize];            // set by: the begin step, and the module in SetDestDir
    int beginStarted;                   // set by: the begin step, which runs once
    HWND copyWindow;                    // set by: the begin step
    int copyInProgress;                 // set by: the begin step and the copy result; arms
                                        // the cancel zone of the main window
    int criticalCopyError;              // set by: the copy window
    char failedPath[kPathSize];         // set by: the copy window, and the module in CriticError
    DWORD failedError;                  // set by: the copy window; the system's reason
    int finishArmed;                    // set by: the copy result and a failed sender reply;
                                        // the finish step runs only once armed
    int finishStarted;                  // set by: the finish step, which runs once
    HWND senderWindow;                  // set by: SM_STARTSENDER, once
    int senderReplied;                  // set by: the first reply of the sender
    unsigned mode;                      // set by: WinMain, from the switches (SETUP_MODE_...)
    char chosenDir[kPathSize];          // set by: WinMain, from /DIR=
    int fastCopy;                       // set by: WinMain, from the data file (cbFastCopy=1)
    int disposableSource;               // set by: WinMain, when the package proves the source
                                        // folder its own (/FROMPACKAGE=): files may be moved
    int exitCode;                       // set by: the first end of the setup that names one
    int exitCodeSet;                    // set by: the same
    int listsBuilt; // set by: the begin step, once it lists the files to install
};

extern SetupContext g_setup;
