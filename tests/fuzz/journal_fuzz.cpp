// The journal's reader on any bytes, given in a heap block of exactly their
// size so that a read past them is caught; whatever it accepts must be
// written back to the same bytes (a last line cut while written left out).
// fuzz-sources: src/record/journal.cpp src/record/record.cpp
#include "record/journal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Journal journal;
    static char written[kJournalMaxBytes + kJournalLineMax];
    char *text = static_cast<char *>(malloc(size ? size : 1));
    memcpy(text, data, size);
    if (ParseJournal(text, size, &journal) == JOURNAL_OK) {
        uint32_t hash = 0;
        size_t used = FormatJournalStart(journal.folder, written, sizeof written, &hash);
        for (int i = 0; used && i < journal.count; ++i) {
            const JournalEntry &entry = journal.entries[i];
            size_t line = FormatJournalEntry(entry.kind, entry.path, entry.other, written + used,
                                             sizeof written - used, &hash);
            used = line ? used + line : 0;
        }
        if (used && journal.complete) {
            size_t line =
                FormatJournalEntry(0, "", "", written + used, sizeof written - used, &hash);
            used = line ? used + line : 0;
        }
        size_t whole = size;
        if (journal.cut)
            while (whole > 0 && text[whole - 1] != '\n')
                --whole;
        if (used == 0 || used != whole || memcmp(written, text, whole) != 0)
            abort();
    }
    free(text);
    return 0;
}
