// Checksums kvlship writes into what it ships: CRC-32 for each member of
// the distribution's zip archive, SHA-256 for the archive itself (a package
// manager checks the download against it). Plain code, no library.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "codec/sha256.h"

// CRC-32 as zip and PNG use it (reflected, polynomial 0xEDB88320). Pass the
// result of one call as `crc` of the next to go on over more bytes.
uint32_t Crc32(const void *data, size_t size, uint32_t crc = 0);

// The SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string &bytes);
