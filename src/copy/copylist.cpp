#include "copy/copylist.h"

#include "copy/listfull.h"
#include "setupcontrols.h"
#include "util/text.h"

#include <string.h>

namespace
{

// The room every run has without a declaration.
CopyEntry g_defaultSlots[kCopySlots];
int g_defaultIndex[2 * kCopySlots];

} // namespace

CopyList g_copyList = {{g_defaultSlots, kCopySlots}, g_defaultIndex, 2 * kCopySlots, 0, 0, 0, -1};
AddInList g_addInList;

namespace
{

// A name fits a field of `fieldSize` bytes when its terminator lies within
// that many bytes; nothing past them is read to find out.
bool Fits(const char *name, size_t fieldSize)
{
    return BoundedLength(name, fieldSize) >= 0;
}

unsigned NameHash(const char *name)
{
    unsigned hash = 2166136261u;
    for (; *name; ++name)
        hash = (hash ^ static_cast<unsigned char>(*name)) * 16777619u;
    return hash;
}

// The index cell where `name` is, or the empty cell that ends its probe.
int *IndexCell(const char *name)
{
    unsigned mask = static_cast<unsigned>(g_copyList.indexSize) - 1;
    for (unsigned cell = NameHash(name) & mask;; cell = (cell + 1) & mask) {
        int *at = &g_copyList.index[cell];
        if (*at == 0)
            return at;
        const CopyEntry &entry = g_copyList.slots[*at - 1];
        if (entry.inUse && strcmp(entry.sourceName, name) == 0)
            return at;
    }
}

// Cells of freed or reused slots stay until the index is mostly taken; then
// it is made again from the slots in use, which at most half fill it.
void RebuildIndexWhenFull()
{
    if (g_copyList.indexFilled < g_copyList.indexSize / 4 * 3)
        return;
    memset(g_copyList.index, 0, sizeof(int) * static_cast<size_t>(g_copyList.indexSize));
    g_copyList.indexFilled = 0;
    for (int slot = 0; slot < g_copyList.end; ++slot) {
        if (g_copyList.slots[slot].inUse) {
            *IndexCell(g_copyList.slots[slot].sourceName) = slot + 1;
            ++g_copyList.indexFilled;
        }
    }
}

// Slot whose source name is exactly `sourceName`, or -1.
int FindCopySource(const char *sourceName)
{
    int found = *IndexCell(sourceName);
    return found ? found - 1 : -1;
}

// Lowest free slot, or -1 when all are in use.
int FreeCopySlot()
{
    for (int slot = g_copyList.firstFree; slot < g_copyList.slots.count; ++slot) {
        if (!g_copyList.slots[slot].inUse)
            return slot;
    }
    return -1;
}

int FindAddIn(const char *description)
{
    for (int slot = 0; slot < kAddInSlots; ++slot) {
        const AddInEntry &entry = g_addInList.slots[slot];
        if (entry.inUse && strcmp(entry.description, description) == 0)
            return slot;
    }
    return -1;
}

int FreeAddInSlot()
{
    for (int slot = 0; slot < kAddInSlots; ++slot) {
        if (!g_addInList.slots[slot].inUse)
            return slot;
    }
    return -1;
}

} // namespace

void ResetCopyList()
{
    // Only what was used is cleared: the rest of a large room stays untouched.
    memset(g_copyList.slots.entries, 0, sizeof(CopyEntry) * static_cast<size_t>(g_copyList.end));
    memset(g_copyList.index, 0, sizeof(int) * static_cast<size_t>(g_copyList.indexSize));
    g_copyList.indexFilled = 0;
    g_copyList.end = 0;
    g_copyList.firstFree = 0;
    g_copyList.lowestAdded = -1;
}

int CopyIndexSize(int count)
{
    int size = 2;
    while (size < 2 * count)
        size *= 2;
    return size;
}

void UseCopyRoom(CopyEntry *room, int count, int *index, int indexSize)
{
    g_copyList.slots.entries = room;
    g_copyList.slots.count = count;
    g_copyList.index = index;
    g_copyList.indexSize = indexSize;
    g_copyList.end = 0;
    ResetCopyList();
}

void ReleaseCopySlot(int slot)
{
    g_copyList.slots[slot].inUse = 0;
    if (slot < g_copyList.firstFree)
        g_copyList.firstFree = slot;
}

int TakeLowestAdded()
{
    int lowest = g_copyList.lowestAdded;
    g_copyList.lowestAdded = -1;
    return lowest;
}

int DeclaredCopySlots(const char *declared)
{
    if (!declared)
        return kCopySlots;
    long long value = 0;
    const char *p = declared;
    if (!*p)
        return -1;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9' || value > kMostCopyEntries)
            return -1;
        value = value * 10 + (*p - '0');
    }
    if (value > kMostCopyEntries)
        return -1;
    return value < kCopySlots ? kCopySlots : static_cast<int>(value);
}

int AddCopyEntry(const char *sourceName, const char *destName, const char *subFolder,
                 int toWindowsFolder, int spareFlag1, int overwrite, int spareFlag2, long long size,
                 int absolutePaths)
{
    if (!Fits(sourceName, sizeof(CopyEntry::sourceName)) ||
        !Fits(destName, sizeof(CopyEntry::destName)) ||
        !Fits(subFolder, sizeof(CopyEntry::subFolder)))
        return -1;
    // The duplicate test comes first: a name already listed is no reason to
    // tell the user that the list is full.
    if (FindCopySource(sourceName) >= 0)
        return -1;
    int slot = FreeCopySlot();
    if (slot < 0) {
        TellListFull("No more copy-list place", SETUP_WINDOW_CAPTION);
        return -1;
    }
    CopyEntry &entry = g_copyList.slots[slot];
    CopyText(entry.sourceName, sourceName);
    CopyText(entry.destName, destName);
    CopyText(entry.subFolder, subFolder);
    entry.toWindowsFolder = toWindowsFolder;
    entry.spareFlag1 = spareFlag1;
    entry.overwrite = overwrite;
    entry.spareFlag2 = spareFlag2;
    entry.size = size;
    entry.absolutePaths = absolutePaths;
    entry.inUse = 1;
    entry.handled = 0;
    int *cell = IndexCell(sourceName);
    if (*cell == 0)
        ++g_copyList.indexFilled;
    *cell = slot + 1;
    RebuildIndexWhenFull();
    g_copyList.firstFree = slot + 1;
    if (slot >= g_copyList.end)
        g_copyList.end = slot + 1;
    if (g_copyList.lowestAdded < 0 || slot < g_copyList.lowestAdded)
        g_copyList.lowestAdded = slot;
    return slot;
}

void ResetAddInList()
{
    memset(&g_addInList, 0, sizeof g_addInList);
}

int AddAddInEntry(const char *description, const char *fileName, const char *parameters)
{
    if (!Fits(description, sizeof(AddInEntry::description)) ||
        !Fits(fileName, sizeof(AddInEntry::fileName)) ||
        !Fits(parameters, sizeof(AddInEntry::parameters)))
        return -1;
    if (FindAddIn(description) >= 0)
        return -1;
    int slot = FreeAddInSlot();
    if (slot < 0) {
        TellListFull("No more AddIn-list place", SETUP_BOX_CAPTION);
        return -1;
    }
    AddInEntry &entry = g_addInList.slots[slot];
    CopyText(entry.description, description);
    CopyText(entry.fileName, fileName);
    CopyText(entry.parameters, parameters);
    entry.inUse = 1;
    return slot;
}
