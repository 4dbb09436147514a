#include "copy/copylist.h"

#include "copy/listfull.h"
#include "util/text.h"

#include <string.h>

CopyList g_copyList;
AddInList g_addInList;

namespace
{

// A name fits a field of `fieldSize` bytes when its terminator lies within
// that many bytes; nothing past them is read to find out.
bool Fits(const char *name, size_t fieldSize)
{
    return BoundedLength(name, fieldSize) >= 0;
}

// Slot whose source name is exactly `sourceName`, or -1.
int FindCopySource(const char *sourceName)
{
    for (int slot = 0; slot < kCopySlots; ++slot) {
        const CopyEntry &entry = g_copyList.slots[slot];
        if (entry.inUse && strcmp(entry.sourceName, sourceName) == 0)
            return slot;
    }
    return -1;
}

// Lowest free slot, or -1 when all are in use.
int FreeCopySlot()
{
    for (int slot = 0; slot < kCopySlots; ++slot) {
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
    memset(&g_copyList, 0, sizeof g_copyList);
}

int AddCopyEntry(const char *sourceName, const char *destName, const char *subFolder,
                 int toWindowsFolder, int spareFlag1, int overwrite, int spareFlag2, int size,
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
        TellListFull("No more copy-list place", "KARVELO - Setup");
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
        TellListFull("No more AddIn-list place", "KARVELO Setup");
        return -1;
    }
    AddInEntry &entry = g_addInList.slots[slot];
    CopyText(entry.description, description);
    CopyText(entry.fileName, fileName);
    CopyText(entry.parameters, parameters);
    entry.inUse = 1;
    return slot;
}
