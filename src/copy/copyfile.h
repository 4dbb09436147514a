// Copying one file to its destination, expanding the LZ compressed ("SZDD")
// format on the way.
#pragma once

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
