// File system queries.
#pragma once

#include <stddef.h>

// 1 when a directory search finds anything at `path` (a file, a folder, or a
// wildcard match), 0 when it finds nothing or refuses the path, and 0 for a
// path whose last name is a device's (util/devicename.h).
int FileExists(const char *path);

// The low 32 bits of the file's size, or 0 when it cannot be opened for
// reading; an empty file also gives 0.
unsigned long FileSizeOf(const char *path);

// The same for a file of any size: its size in bytes, 0 when it cannot be opened.
long long FileSize64Of(const char *path);

// Creates the folder `path` and every missing folder above it. The path may
// end in a backslash. Returns 1 when the folder exists afterwards (made now or
// already there), 0 when it does not (a file in the way, no drive, no right).
// `made`, when given, hears each folder this call made, from the top down.
int CreateFolderPath(const char *path, void (*made)(const char *folder) = nullptr);

// The system's words for `error` (what FormatMessage gives, without its line
// end) in `text` of `size` bytes, or "System error N." when it has none.
void SystemReason(unsigned long error, char *text, size_t size);
