// The journal on disk (record/journal.h): this process's journal, written
// through to the disk line by line before each change it announces, and an
// earlier run's, read with every byte bounded (the destination may be
// writable by others than the one who runs setup or the uninstaller).
#pragma once

#include "record/journal.h"

// Starts this process's journal in `folder` (which exists), replacing any
// file of its name there. False when it cannot be written: the installation
// then goes on without one, and nothing it does can be undone.
bool StartJournal(const char *folder);

// True while this process's journal is open.
bool JournalStarted();

// The journal's folder, "" when none was started.
const char *JournalFolder();

// Announces a change (JournalKind; `other` for aside and restart), written
// through before it returns. True when written, and when no journal is open;
// false when the open journal cannot take it (full, the disk refused): the
// change must then not be made.
bool WriteJournal(int kind, const char *path, const char *other = "");

// Writes the complete line and closes the journal; false when the line could
// not be written (the journal then still reads as unfinished).
bool CloseJournalComplete();

// Closes the journal as it stands (to be undone).
void CloseJournal();

// A journal, zeroed, off the stack (it is some 8 MB); nullptr when the memory
// cannot be had. FreeJournal takes it back.
Journal *NewJournal();
void FreeJournal(Journal *journal);

// Reads the journal in `folder` into `journal`. A missing file gives
// JOURNAL_BAD_HEADER with `*missing` set, and so does one a running setup
// is writing, with `*busy` set; one larger than kJournalMaxBytes is not read
// at all.
JournalRead ReadJournalFile(const char *folder, Journal *journal, bool *missing,
                            bool *busy = nullptr);

// Deletes the journal file in `folder`; true when none is left.
bool DeleteJournalFile(const char *folder);
