// Undoing what a journal (record/journal.h) lists, newest first, and
// finishing one whose installation completed. Used by setup.exe for its own
// journal when an installation ends unfinished, and by setup.exe and the
// uninstaller for a journal an earlier run left behind.
#pragma once

#include "record/bounds.h"
#include "record/journal.h"

// Hears one line for the log (printf-like, each text bounded by its precision).
typedef void (*UndoLogger)(const char *format, ...);

struct UndoCounts {
    int undone;    // changes taken back
    int scheduled; // in use: taken back at the next restart
    int kept;      // could not be taken back, or outside the journal's places
};

// Where a journal's entries may lie: files and folders below its folder, a
// shortcut (.lnk) or its folder below a Start Menu or desktop, and with
// `windows` (this run's own journal only) files below the Windows folder,
// which copy entries may name, and the folders made above `folder`.
// `folder` is the folder the journal was found in.
bool JournalEntryWithinBounds(const JournalEntry &entry, const char *folder,
                              const RecordPlaces &places, const char *windows);

// Takes back everything `journal` lists, newest first: each file kept aside
// put back in its place (replacing the new one), each file and temporary file
// made deleted, each folder made removed once empty; a replacement scheduled
// for the restart loses its temporary file. What is in use is scheduled for
// the restart. Then deletes the journal file in `folder`; the folder itself
// and those above it, when made, go last. Each step is logged.
UndoCounts UndoJournal(const Journal *journal, const char *folder, const RecordPlaces &places,
                       const char *windows, UndoLogger log);

// The installation the journal lists completed: the files it kept aside are
// deleted (scheduled for the restart when in use), then the journal file.
void FinishJournal(const Journal *journal, const char *folder, const RecordPlaces &places,
                   const char *windows, UndoLogger log);

enum EarlierJournal {
    EARLIER_NONE = 0,    // no journal in the folder
    EARLIER_ROLLED_BACK, // an unfinished installation was undone
    EARLIER_FINISHED,    // a completed one's leftovers were removed
    EARLIER_UNUSABLE,    // damaged, another folder's, or a running setup's: left as it
                         // is, nothing undone
};

// Finds a journal an earlier run left in `folder` and settles it: undone when
// unfinished, finished when complete. `counts`, when given, hears the undo.
EarlierJournal SettleEarlierJournal(const char *folder, const RecordPlaces &places, UndoLogger log,
                                    UndoCounts *counts = nullptr);
