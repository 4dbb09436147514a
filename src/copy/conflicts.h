// The path rule of every copy entry, the conflict scan that lets the module
// decide about destination files that exist already, and the destination
// sub-folders.
#pragma once

#include "copy/copylist.h"
#include "util/paths.h"

// Where one copy entry comes from and goes to.
struct CopyPaths {
    char source[kPathSize];
    char dest[kPathSize];
};

// Builds the entry's source and destination path into `paths`. With
// absolutePaths both names are taken as they stand; otherwise the source is
// sourceDir\sourceName and the destination destName in windowsDir
// (toWindowsFolder) or in destDir\subFolder.
// Returns 1, or 0 when either path does not fit (both are then empty).
int BuildCopyPaths(const CopyEntry *entry, CopyPaths *paths);

// Puts every entry whose destination exists already and that does not
// replace it anyway to the module's FileConflict hook, and acts on the
// answers (FC_SKIP frees the slot, FC_REPLACE / FC_REPLACE_ALL set
// overwrite). Returns 1 when the scan ran to its end, 0 when the module
// answered FC_ABORT (the changes made so far stay).
int ScanConflicts();

// Makes the sub-folder of every entry in use below destDir, with any missing
// parents, so nested sub-folders do not depend on slot order. Failures are
// left for the copy to report.
void CreateDestFolders();
