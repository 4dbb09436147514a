#include "copy/listroom.h"

#include <windows.h>

#include "copy/copylist.h"
#include "copy/installed.h"

bool TakeCopyRoom(int count)
{
    if (count <= kCopySlots)
        return true;
    // Committed but untouched pages are zero and cost no working set: the
    // list touches only the slots it uses.
    int indexSize = CopyIndexSize(count);
    size_t entries = sizeof(CopyEntry) * static_cast<size_t>(count);
    size_t index = sizeof(int) * static_cast<size_t>(indexSize);
    char *room =
        static_cast<char *>(VirtualAlloc(nullptr, entries + index, MEM_COMMIT, PAGE_READWRITE));
    if (!room)
        return false;
    if (!ReserveInstalled(count)) {
        VirtualFree(room, 0, MEM_RELEASE);
        return false;
    }
    UseCopyRoom(reinterpret_cast<CopyEntry *>(room), count, reinterpret_cast<int *>(room + entries),
                indexSize);
    return true;
}
