// The stock module's [STORED] section: files kept in the distribution folder
// under a name of their own (kvlship gives them one when their installed
// names clash or no data-file line can spell their folder), each installed
// with a copy request. The section's format is in setupdist.h.
#pragma once

#include <windows.h>

// The size a copy request gives the file at `path`: its own, or
// COPY_SIZE_MEASURED when the record's field cannot hold it; 0 when unread.
int CopyRequestSize(const char *path);

// Sends one copy request for each usable [STORED] item of the data file at
// `dataPath` (empty: none), from cbItem00 up to the first missing or empty
// key. An item that is cut, names no plain stored file or an installed path
// that leaves the destination is skipped and logged. Returns 1.
int AddStoredFiles(HWND mainWindow, const char *dataPath, const char *sourceDir);

// What the usable [STORED] items install as, in bytes, all told (an LZ
// file at its expanded size): the part of the product the data file's own
// list does not name, for the space the folder dialog shows.
unsigned long long StoredBytes(const char *dataPath, const char *sourceDir);
