// Reading the copy list the way the tests look at it: the shell walks its
// slots, the tests count and index the entries in use.
#pragma once

#include "copy/copylist.h"

// Number of slots in use, 0 to 128.
inline int CountCopyEntries()
{
    int count = 0;
    for (const CopyEntry &entry : g_copyList.slots)
        count += entry.inUse ? 1 : 0;
    return count;
}

// The n-th slot in use, counting from 0 in slot order; nullptr past the end.
inline CopyEntry *GetCopyEntry(int n)
{
    for (CopyEntry &entry : g_copyList.slots) {
        if (entry.inUse && n-- == 0)
            return &entry;
    }
    return nullptr;
}
