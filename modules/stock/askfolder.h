// The stock module's folder dialog (cbAskFolder=1): after the agreement the
// user sees the destination, may type or browse to another, and sees the
// space the product needs there and what the volume has free.
#pragma once

#include <windows.h>

// Why a folder the user typed cannot take the product; kFolderUsable when it can.
enum FolderFault {
    kFolderUsable,
    kFolderEmpty,     // nothing typed
    kFolderNotFull,   // no drive or share, a name no folder can have, too long
    kFolderInWindows, // the Windows folder, or inside it
    kFolderRoot,      // a drive's or a share's root, with no folder of its own
};

// Checks `typed` as setup checks /DIR=: one complete folder, written as the
// system resolves it (into `full`, SETUP_PATH_SIZE bytes, when usable), not
// the Windows folder `windowsDir` nor inside it, and not a root alone.
FolderFault CheckTypedFolder(const char *typed, const char *windowsDir, char *full);

// Shows the dialog over `mainWindow` with `destDir` (SETUP_PATH_SIZE bytes)
// proposed. On OK `destDir` holds the folder chosen, checked as above and,
// with a product `id` (may be empty), against the installations the
// registration kit knows (another product's there, this one's elsewhere):
// each refusal is told in a box and the dialog stays. Returns 0 for Cancel,
// 1 for OK or for a dialog that could not be shown (the folder then stays).
// `extraBytes` is added to the space setup counts (SM_GETSPACE): files the
// module installs beyond the data file's list.
int AskForFolder(HWND mainWindow, const char *title, const char *id, char *destDir,
                 unsigned long long extraBytes);
