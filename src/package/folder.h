// The package's private folder under the user's temporary folder: a new
// random name, created exclusively, so that nothing planted in advance can be
// waiting in it; and its removal once setup is done.
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
