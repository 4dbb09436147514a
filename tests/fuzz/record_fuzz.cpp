// The install record's reader on any bytes, given in a heap block of exactly
// their size so that a read past them is caught; whatever it accepts must be
// written back to the same bytes.
// fuzz-sources: src/record/record.cpp
#include "record/record.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static InstallRecord record;
    static char written[kRecordMaxBytes];
    char *text = static_cast<char *>(malloc(size ? size : 1));
    memcpy(text, data, size);
    if (ParseRecord(text, size, &record) == RECORD_OK) {
        size_t length = FormatRecord(&record, written, sizeof written);
        if (length != size || memcmp(written, text, size) != 0)
            abort();
    }
    free(text);
    return 0;
}
