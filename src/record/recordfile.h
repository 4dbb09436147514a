// The install record on disk: read with every byte bounded (the product's
// folder is writable by others than the uninstaller's user), written whole
// or not at all.
#pragma once

#include <stdint.h>

#include "record/record.h"

// A record for one use, zeroed, off the stack (it is some 800 KB); nullptr
// when the memory cannot be had. FreeRecord takes it back.
InstallRecord *NewRecord();
void FreeRecord(InstallRecord *record);

constexpr size_t kRecordDigestText = 65; // SHA-256 in hex, terminator included

// Reads the record file at `path` into `record`. A file that cannot be opened
// gives RECORD_NO_END with `*missing` set; one larger than kRecordMaxBytes is
// not read at all. With `digest`, the SHA-256 of the bytes read goes there in
// hex (empty when nothing was read).
RecordRead ReadRecordFile(const char *path, InstallRecord *record, bool *missing,
                          char *digest = nullptr);

// Writes the record to `path`: to "<path>.new" first, then put in its place,
// so that a record is never left half written. False when it could not be.
// With `digest`, the SHA-256 of the bytes written goes there in hex.
bool WriteRecordFile(const char *path, const InstallRecord *record, char *digest = nullptr);

// The size and last-write time (a FILETIME as one number) of a file; false
// when it cannot be read, or it is a folder.
bool FileFacts(const char *path, uint64_t *size, uint64_t *written);
