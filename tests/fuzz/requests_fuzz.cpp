// The records a module passes by address, read by the shell within their
// fields only: each record is given in a heap block of exactly its size, so
// that any read past it is caught by the address sanitizer.
// fuzz-sources: src/copy/requests.cpp src/copy/copylist.cpp src/util/text.cpp
#include "copy/copylist.h"
#include "copy/listfull.h"
#include "setupmodule.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

void TellListFull(const char *, const char *) {}

namespace
{

template <typename Record> Record *Exact(const uint8_t *data, size_t size)
{
    Record *record = static_cast<Record *>(malloc(sizeof(Record)));
    memset(record, 'x', sizeof(Record));
    memcpy(record, data, size < sizeof(Record) ? size : sizeof(Record));
    return record;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ResetCopyList();
    ResetAddInList();
    CopyRequest *copy = Exact<CopyRequest>(data, size);
    int slot = AddCopyRequest(copy);
    if (slot >= 0 && strcmp(g_copyList.slots[slot].sourceName, copy->sourceName) != 0)
        __builtin_trap();
    free(copy);

    AddInRequest *addIn = Exact<AddInRequest>(data, size);
    AddAddIn(addIn);
    free(addIn);
    return 0;
}
