// Registry keys kept for the undo: before a module writes a key, its values
// are copied to a key of their own below kKeptKeysFolder in the same root,
// and the journal names both (record/journal.h). The undo, by this run or
// after a kill by the next setup or the uninstaller, puts the values back
// from the copy; a completed installation drops the copy. The copy lies
// where only those who may write the key itself may write, and says which
// key it is of: a journal changed by someone else cannot aim it elsewhere.
#pragma once

#include "record/record.h"

constexpr char kKeptKeysFolder[] = "Software\\KARVELO Setup\\Kept";

enum KeptKeyResult {
    KEPT_KEY_DONE = 0,
    KEPT_KEY_TOO_LARGE, // a value too large, or too many of them, to copy
    KEPT_KEY_FAILED,    // the key or its copy cannot be read or written
    KEPT_KEY_NO_COPY,   // no copy of that key under that name
};

// A name for the copy of `key` ("HKLM\..." or "HKCU\...") that no key below
// kKeptKeysFolder has yet; `seed` varies the names. False when none is found.
bool NameKeptCopy(const char *key, char (&copy)[kRecordFieldSize], unsigned long seed);

// Copies the values of `key` to a new key `copy` below kKeptKeysFolder.
KeptKeyResult CopyKeptKey(const char *key, const char *copy);

// Puts `key` back as its copy says it was (its values; a key that was not
// there goes), then deletes the copy.
KeptKeyResult RestoreKeptKey(const char *key, const char *copy);

// Deletes the copy: the installation completed.
void DropKeptKey(const char *key, const char *copy);
