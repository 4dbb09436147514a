// Checksums kvlship writes into what it ships: CRC-32 for each member of
// the distribution's zip archive, SHA-256 for the archive itself (a package
// manager checks the download against it). Plain code, no library.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// CRC-32 as zip and PNG use it (reflected, polynomial 0xEDB88320). Pass the
// result of one call as `crc` of the next to go on over more bytes.
uint32_t Crc32(const void *data, size_t size, uint32_t crc = 0);

struct Sha256 {
    uint32_t state[8];
    uint64_t length; // bytes taken so far
    unsigned char block[64];
    size_t used; // bytes waiting in `block`
};

void Sha256Init(Sha256 *sha);
void Sha256Update(Sha256 *sha, const void *data, size_t size);
// The digest as 32 bytes.
void Sha256Final(Sha256 *sha, unsigned char digest[32]);

// The SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string &bytes);
