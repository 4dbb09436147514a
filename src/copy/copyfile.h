// Copying one file to its destination, expanding the LZ compressed ("SZDD")
// format on the way.
#pragma once

#include <stddef.h>

// Size of the fixed header of an SZDD file: magic (8), method, the name's
// missing last character, and the expanded size (32-bit little-endian).
constexpr size_t kSzddHeaderSize = 14;

// Reads the expanded size that an SZDD header declares. Returns 1 and stores
// the size when `header` (of `length` bytes) starts with the SZDD magic and
// holds the whole header, 0 for anything else (a plain file).
int SzddDeclaredSize(const unsigned char *header, size_t length, unsigned long *size);

// True when `start` (the first `length` bytes of a file) begins like an SZDD
// file: at least "SZDD", and as much of the 8-byte magic as there is.
bool StartsLikeSzdd(const unsigned char *start, size_t length);

// Copies `source` to `destination`: a plain source unchanged, a compressed
// one expanded. The content goes into a temporary file in the destination's
// folder first and replaces the destination only once it is complete, so an
// existing destination holds either its old content or the whole new one.
// A compressed source that expands to other than its declared size fails, and
// so does one cut inside its header.
// Returns 1 on success, 0 on failure (no temporary file is left then).
int CopyOneFile(const char *source, const char *destination);
