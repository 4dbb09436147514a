// A file setup.exe itself reads from the distribution (the data file, the
// licence, the module), read as setup will: a regular file, never through a
// link, and no larger than kvlship reads.
#pragma once

#include "check/result.h"

#include <stddef.h>

#include <string>

constexpr size_t kDataFileReadLimit = 16 << 20;
constexpr size_t kLicenceReadLimit = 1 << 20;
constexpr size_t kModuleReadLimit = 64 << 20;

// Reads `name` of the distribution into `bytes`. Returns why it cannot, or "".
std::string ReadShipped(const CheckOptions &options, const char *name, size_t limit,
                        std::string *bytes);
