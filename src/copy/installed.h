// What the setup did to the disk, in the order it happened: the folders it
// made and what became of each copy entry's file. A module reads it with
// SM_GETINSTALLED, to record what an uninstall may remove.
#pragma once

#include "setupmodule.h"

// Room for every copy slot's file and the folders above them.
constexpr int kInstalledSlots = 512;

// The room for `copyEntries` entries declared beyond the copy list's
// default: a file and a folder for each, and the default's room besides.
// Taken once at start-up; false when the memory cannot be had.
bool ReserveInstalled(int copyEntries);

// Forgets everything noted (a new list is being built).
void ResetInstalled();

// Notes a folder the setup made.
void NoteFolderMade(const char *folder);

// Notes what became of the file at `path` (INSTALLED_...); for a file
// installed new or over another, its size and time as it now stands (or as
// `content` stands, the file that replaces it at the restart).
void NoteFile(int kind, const char *path, const char *content = nullptr);

// SM_GETINSTALLED: fills item `n` into `item`, writing no further than the
// `size` the module set (which must hold at least size and kind). Returns 1,
// or 0 past the last item or for a record too small.
int FillInstalledItem(int n, InstalledItem *item);
