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
// device's (ERROR_INVALID_NAME). Returns 1 on success, 0 on failure (no
// temporary file is left then).
int CopyOneFile(const char *source, const char *destination);
