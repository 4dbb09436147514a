// Whether setup's source folder is the package's private folder, which the
// package removes once setup is done: its files may then be moved into place
// instead of copied. Only the package can prove it: it passes the handle of
// the folder's mark (/FROMPACKAGE=<handle>), which it holds open, shared with
// nobody, for its whole run, and which setup inherits.
#pragma once

#include <stddef.h>

// True when `sourceDir` (ending in a backslash) is a folder directly below
// `tempDir` (ending in a backslash) named as the package names its folders:
// "kvl" and 16 hexadecimal digits. Letters are compared without regard to case.
bool IsPackageFolderName(const char *sourceDir, const char *tempDir);

// True when `path`, as the system gives a file handle's path (with or
// without the "\\?\" prefix), is the mark of the private folder `sourceDir`:
// that folder's name and ".run", in that folder.
bool IsMarkOf(const char *path, const char *sourceDir);

// The whole proof: `sourceDir` is a package's private folder under the
// user's temporary folder and `handleText` (decimal) is an open handle of
// this process to a disk file that is that folder's mark. False, with `why`
// saying what failed, otherwise.
bool SourceIsDisposable(const char *sourceDir, const char *handleText, char *why, size_t whySize);
