// The copy list (every file this run installs) and the add-in list: fixed
// tables of slots. An add takes the lowest free slot; a removal clears the
// slot's mark; nothing is ever compacted, so a slot index stays an entry's
// identity and its place in the copy order.
#pragma once

#include "setupdist.h"

// The records a module passes (setupmodule.h). The tables themselves need
// nothing from the platform; only the readers of these records do.
struct CopyRequest;
struct AddInRequest;

constexpr int kCopySlots = SETUP_COPY_SLOTS;
constexpr int kAddInSlots = 8;

struct CopyEntry {
    char sourceName[264]; // key of the duplicate test (exact, case-sensitive)
    char destName[264];
    char subFolder[260];
    int toWindowsFolder;
    int spareFlag1;
    int overwrite;
    int spareFlag2;
    int size;
    int absolutePaths;
    int inUse;
};

struct CopyList {
    CopyEntry slots[kCopySlots];
};

struct AddInEntry {
    char description[260]; // key of the duplicate test
    char fileName[260];
    char parameters[260];
    int inUse;
};

struct AddInList {
    AddInEntry slots[kAddInSlots];
};

extern CopyList g_copyList;
extern AddInList g_addInList;

// Frees every slot.
void ResetCopyList();

// Adds one entry. Returns its slot index (0-127), or -1 when the source name
// is already listed (no message) or the list is full (after telling the user).
// A name that does not fit its field is refused with -1 and no message.
int AddCopyEntry(const char *sourceName, const char *destName, const char *subFolder,
                 int toWindowsFolder, int spareFlag1, int overwrite, int spareFlag2, int size,
                 int absolutePaths);

// Adds the entry a module asked for. Reads the record within its fields only:
// a text without a terminator inside its field is refused with -1.
int AddCopyRequest(const CopyRequest *request);

// Frees every add-in slot.
void ResetAddInList();

// Adds one add-in. Returns its slot index (0-7), or -1 when the description
// is already listed (no message), the list is full (after telling the user),
// or a text does not fit its field.
int AddAddInEntry(const char *description, const char *fileName, const char *parameters);

// Adds an add-in; slot index (0-7) or -1 (duplicate description, full list
// after telling the user, or a text without its terminator).
int AddAddIn(const AddInRequest *request);
