// A single-file package read back: its payload's files laid out in a folder
// as the stub lays them out, so that `try` runs what customers download.
#pragma once

#include <string>

// True when `path` is a plain file that is a package kvlship made.
bool IsPackageFile(const std::string &path);

// Expands the package at `path` into the existing folder `folder`: the
// payload is checked whole first, as the stub checks it, and each file lands
// under its table name read in the code page the package's data file names
// ([GENERAL] cbCodePage), as the host names such a file. False with `why`
// when the package cannot be read, is damaged, or a file cannot be written.
bool UnpackPackage(const std::string &path, const std::string &folder, std::string *why);
