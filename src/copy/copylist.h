// The copy list (every file this run installs) and the add-in list: tables
// of slots. An add takes the lowest free slot; a removal clears the slot's
// mark; nothing is ever compacted, so a slot index stays an entry's identity
// and its place in the copy order. The copy list has kCopySlots slots unless
// the distribution declares more (cbCopyEntries): its room is then given
// once, before the first add, and never grows.
#pragma once

#include "setupdist.h"

// The records a module passes (setupmodule.h). The tables themselves need
// nothing from the platform; only the readers of these records do.
struct CopyRequest;
struct AddInRequest;

constexpr int kCopySlots = SETUP_COPY_SLOTS;
constexpr int kAddInSlots = 8;
// The most copy entries a distribution may declare.
constexpr int kMostCopyEntries = SETUP_MOST_COPY_ENTRIES;

struct CopyEntry {
    char sourceName[264]; // key of the duplicate test (exact, case-sensitive)
    char destName[264];
    char subFolder[260];
    int toWindowsFolder;
    int spareFlag1;
    int overwrite;
    int spareFlag2;
    long long size; // kept with the entry; a file may hold 4 GiB and more
    int absolutePaths;
    int inUse;
    int handled; // the copy under way has handled this entry (the copy window's mark)
};

// The slots, indexed and walked as an array of `count` entries.
struct CopySlots {
    CopyEntry *entries;
    int count;
    CopyEntry &operator[](int slot) { return entries[slot]; }
    const CopyEntry &operator[](int slot) const { return entries[slot]; }
    CopyEntry *begin() { return entries; }
    CopyEntry *end() { return entries + count; }
    const CopyEntry *begin() const { return entries; }
    const CopyEntry *end() const { return entries + count; }
};

struct CopyList {
    CopySlots slots;
    int *index;      // the duplicate test's hash of source names: slot + 1, 0 when empty
    int indexSize;   // a power of two, at least twice the slots
    int indexFilled; // cells taken, stale ones included (rebuilt when most are)
    int end;         // every slot from here on has never been used since the reset
    int firstFree;   // no slot below this one is free
    int lowestAdded; // the lowest slot added since the copy window last looked
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

// Gives the copy list `count` slots (kCopySlots to kMostCopyEntries) in
// `room`, and `index` of `indexSize` cells (a power of two, at least
// 2 * count) for the duplicate test, both zeroed; then resets the list.
// Untouched slots are never read, so a large room costs only what is used.
void UseCopyRoom(CopyEntry *room, int count, int *index, int indexSize);

// The index size UseCopyRoom wants for `count` slots.
int CopyIndexSize(int count);

// One past the highest slot used since the reset: loops over the list stop here.
inline int CopySlotEnd()
{
    return g_copyList.end;
}

// Frees a slot (the conflict scan's refusal); its place is taken by the next add.
void ReleaseCopySlot(int slot);

// The lowest slot added since the last call, or -1; for the copy window,
// which walks the list once and must see entries added behind it.
int TakeLowestAdded();

// What [GENERAL] cbCopyEntries says, read as text (`declared` null when the
// key is absent). Returns the slots to take (kCopySlots without the key or
// for a smaller number), or -1 when the value is not a whole number from 0
// to kMostCopyEntries.
int DeclaredCopySlots(const char *declared);

// Adds one entry. Returns its slot index (0-127 by default), or -1 when the source name
// is already listed (no message) or the list is full (after telling the user).
// A name that does not fit its field is refused with -1 and no message.
int AddCopyEntry(const char *sourceName, const char *destName, const char *subFolder,
                 int toWindowsFolder, int spareFlag1, int overwrite, int spareFlag2, long long size,
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
