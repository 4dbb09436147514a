// The copy list and the add-in list driven by any sequence of adds, removals
// (what the conflict scan does) and resets: slots stay consistent with the
// tables' rules, names never run past their fields.
// fuzz-sources: src/copy/copylist.cpp src/util/text.cpp
#include "copy/copylist.h"
#include "copy/listfull.h"

#include <stdint.h>
#include <string.h>

static int g_fullTold;

// The lists tell the user when they are full; here that is only counted.
void TellListFull(const char *, const char *)
{
    ++g_fullTold;
}

namespace
{

// A name from the input: up to `limit` bytes, possibly without its
// terminator inside the field it is read from.
size_t TakeName(const uint8_t *&data, size_t &size, char *name, size_t room)
{
    size_t length = size ? data[0] % room : 0;
    if (size)
        ++data, --size;
    if (length > size)
        length = size;
    memcpy(name, data, length);
    memset(name + length, 0, room - length);
    data += length;
    size -= length;
    return length;
}

int CountCopyEntries()
{
    int count = 0;
    for (const CopyEntry &entry : g_copyList.slots)
        count += entry.inUse ? 1 : 0;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ResetCopyList();
    ResetAddInList();
    while (size > 0) {
        uint8_t op = *data++;
        --size;
        char source[300], dest[300], sub[300];
        switch (op % 5) {
        case 0: {
            TakeName(data, size, source, sizeof source);
            TakeName(data, size, dest, sizeof dest);
            TakeName(data, size, sub, sizeof sub);
            int before = CountCopyEntries();
            int slot = AddCopyEntry(source, dest, sub, op & 8, 0, op & 16, 0, 1, 0);
            if (slot >= 0 && (!g_copyList.slots[slot].inUse || CountCopyEntries() != before + 1 ||
                              strcmp(g_copyList.slots[slot].sourceName, source) != 0))
                __builtin_trap();
            if (slot < 0 && CountCopyEntries() != before)
                __builtin_trap();
            break;
        }
        case 1: {
            // The conflict scan's FC_SKIP: the slot is freed, nothing moves.
            int slot = size ? data[0] % kCopySlots : 0;
            ReleaseCopySlot(slot);
            break;
        }
        case 2:
            TakeName(data, size, source, sizeof source);
            TakeName(data, size, dest, sizeof dest);
            TakeName(data, size, sub, sizeof sub);
            AddAddInEntry(source, dest, sub);
            break;
        case 3:
            ResetCopyList();
            break;
        default:
            break;
        }
    }
    // No two slots in use hold the same source name.
    for (int a = 0; a < kCopySlots; ++a) {
        for (int b = a + 1; b < kCopySlots; ++b) {
            if (g_copyList.slots[a].inUse && g_copyList.slots[b].inUse &&
                strcmp(g_copyList.slots[a].sourceName, g_copyList.slots[b].sourceName) == 0)
                __builtin_trap();
        }
    }
    return 0;
}
