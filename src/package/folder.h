// The package's private folder under the user's temporary folder: a new
// random name, created exclusively, so that nothing planted in advance can be
// waiting in it; and its removal once setup is done. A package that is ended
// from outside cannot remove its folder: the next package run does, once it
// can prove the folder a package's and nobody's now (the folder's mark).
#pragma once

#include <stddef.h>

#include "util/paths.h"

// Fills `bytes` with `size` unpredictable bytes; false when it cannot.
using RandomSource = bool (*)(void *context, unsigned char *bytes, size_t size);

// The system's random source (RtlGenRandom), from the system folder.
bool SystemRandom(void *context, unsigned char *bytes, size_t size);

// Creates a folder of a fresh random name below `base` into `folder`. A
// name that exists already (whoever made it) is passed over for another;
// false when no folder could be created.
bool MakePrivateFolder(const char *base, RandomSource random, void *context,
                       char (&folder)[kPathSize]);

// Removes the files in `folder` and the folder itself. What is still in
// use is removed at the next restart. False when something had to wait.
bool RemovePrivateFolder(const char *folder);

// The mark of a private folder in use: an empty file named after its folder
// ("kvl0123456789abcdef.run"; only the stub pairs the two), created first
// and held open, shared with nobody, for the package's whole run, and
// inherited by setup.exe. Returns its handle (inheritable), or nullptr when
// it cannot be made; the folder is then used unmarked.
void *MarkPrivateFolder(const char *folder);

// Closes the mark; RemovePrivateFolder takes its file with the rest.
void ReleaseFolderMark(void *mark);

// Removes the folders below `base` that earlier packages left behind: named
// as MakePrivateFolder names them, holding their mark, and no process
// holding it open. Every other folder stays. Returns how many were removed.
int RemoveStaleFolders(const char *base);
