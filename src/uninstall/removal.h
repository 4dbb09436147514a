// Removing what an install record lists, item by item, and what became of
// each: the uninstaller's work without its windows.
#pragma once

#include "record/record.h"

enum Outcome : unsigned char {
    OUTCOME_PENDING = 0,
    OUTCOME_REMOVED,   // gone now
    OUTCOME_ABSENT,    // was not there any more
    OUTCOME_CHANGED,   // a file whose size or last-write time is not as installed: kept
    OUTCOME_SCHEDULED, // in use: removed at the next restart
    OUTCOME_KEPT,      // could not be removed (no right, a folder not empty): left
};

struct Removal {
    const InstallRecord *record;
    Outcome outcome[kRecordMaxItems];
    // A file left for later: the program in the product's folder that waits
    // for the temporary copy doing the work. Empty: none.
    char deferred[kRecordFieldSize];
    // Where that program was moved to while it ran, to go once it has ended.
    // Empty: it was not moved.
    char moved[kRecordFieldSize];
};

// Called after each item; `path` is what was just worked on.
typedef void (*RemovalProgress)(void *context, int done, int total, const char *path);

// The shortcuts, the settings (then their sections when nothing is left in
// them, and their files too when they are below the product's folder) and the
// files, in the record's order; the deferred file stays pending. A file or
// shortcut that is not as installed is kept; one in use is scheduled for
// removal at the next restart.
void RemoveItems(Removal *removal, RemovalProgress progress, void *context);

// The deferred file, which the waiting program runs: deleted when it can be,
// else moved out of the product's folder into `spare` (a folder on the
// same volume, such as the temporary one) to go once the program has ended
// (RemoveMoved), else scheduled for the next restart. Either way its outcome
// is known before the exit code is handed back.
void RemoveDeferred(Removal *removal, const char *spare);

// The program moved away by RemoveDeferred, once it has ended (or at the
// next restart, when it still cannot go).
void RemoveMoved(Removal *removal);

// The registry keys the installation made, deepest first, each only once
// nothing is left in it (its values went with RemoveItems, those that still
// held what was written).
void RemoveRegistryKeys(Removal *removal);

// The folders, deepest first, each only once it is empty. A folder that still
// holds a file scheduled for the restart is scheduled too (the system removes
// it then if it is empty).
void RemoveFolders(Removal *removal);

// How many files, shortcuts and settings came to `outcome` (a folder left is
// only the consequence of what is left in it).
int CountOutcome(const Removal *removal, Outcome outcome);
