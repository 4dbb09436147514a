// The last step of a file's copy: the complete temporary file beside the
// destination is put in its place. Every way a file lands (a copy, a move
// from the package's own folder, a large file finished in pieces) ends here,
// so that each is journaled, each replaced file kept for the undo, and each
// file in use replaced at the next restart alike.
#pragma once

enum PlaceResult {
    PLACE_FAILED = 0,     // nothing changed; GetLastError() says why
    PLACE_DONE = 1,       // the destination holds the new content
    PLACE_AT_RESTART = 2, // the destination is in use: the temporary file
                          // stays beside it and replaces it at the restart
};

// Puts `temporary` (in the destination's folder) in place of `destination`.
// A destination that exists is first renamed aside in its folder (kept, with
// its times and attributes, until the installation completes or is undone);
// one in use (another program holds it without sharing its deletion) is
// left, and the replacement is scheduled for the next restart. While a
// journal is open (record/journalfile.h) each change is announced there
// first; a change the journal cannot take is not made. On failure the
// temporary file is the caller's to delete.
PlaceResult PutInPlace(const char *temporary, const char *destination);

// Announces a temporary file just made beside a destination, so that an
// undo deletes it. False when the journal cannot take it.
bool JournalTemporary(const char *temporary);

// The replacements scheduled for the restart by this setup, in order.
int RestartCount();
const char *RestartPath(int index);
// The temporary file that replaces RestartPath(index).
const char *RestartSource(int index);
