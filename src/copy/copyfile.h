// Copying one file to its destination, expanding the LZ compressed ("SZDD")
// format on the way.
#pragma once

#include "util/paths.h"

// Copies `source` to `destination`: a plain source unchanged, a compressed
// one expanded. When `source` does not exist, its compressed twin (the name
// with its last character replaced by '_') is taken instead. The source is
// opened with read and write sharing. The content goes into a temporary file
// in the destination's folder first and replaces the destination only once
// it is complete, so an existing destination holds either its old content or
// the whole new one. A source that starts like a compressed file but does not
// expand to exactly its declared size (cut short, inside its header too, or
// carrying more) fails, and so does a source or destination whose name is a
// device's (ERROR_INVALID_NAME). The temporary file takes the destination's
// place through PutInPlace (copy/replace.h): kept aside, journaled, or left
// beside a destination in use to replace it at the restart. Returns 1 on
// success, 2 when the destination is replaced only at the next restart, 0 on
// failure (no temporary file is left then).
int CopyOneFile(const char *source, const char *destination);

// The same copy in pieces, for a caller that must stay responsive during a
// large file: begin, continue as often as needed, then finish or abandon.
// The content goes into the temporary beside the destination; only finish
// puts it in place, and abandon removes it, leaving the destination as it was.
struct FileCopy {
    void *in;
    void *out;
    void *buffers;
    char temporary[kPathSize];
    char destination[kPathSize];
    unsigned long long total; // the source's size in bytes
    unsigned long long done;  // the source's bytes read so far
    unsigned long got;        // bytes read and not yet written
    int compressed;
    int complete; // the temporary holds the whole content
    int moved;    // the source itself was moved into the temporary
};

// Opens the source and makes the temporary. With `mayMove`, a plain source
// (the name itself, not its compressed twin) on the destination's volume is
// moved into the temporary instead of copied: the source is gone afterwards.
// Returns 1, or 0 on failure (nothing left behind, the reason in
// GetLastError()).
int BeginFileCopy(FileCopy *copy, const char *source, const char *destination, int mayMove);

// Copies pieces of at most 1 MiB until the content is complete or `budget`
// milliseconds have passed (INFINITE: no limit). Returns 1 when complete, 0
// when there is more, -1 on failure (the copy is abandoned, the reason in
// GetLastError()).
int ContinueFileCopy(FileCopy *copy, unsigned long budget);

// Puts the complete temporary in place of the destination (PutInPlace).
// Returns 1, 2 when the destination is in use and is replaced at the next
// restart (the temporary stays beside it), or 0 on failure (the copy is
// abandoned).
int FinishFileCopy(FileCopy *copy);

// Closes everything and removes the temporary; the destination is as it was.
void AbandonFileCopy(FileCopy *copy);
