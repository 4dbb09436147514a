// SHA-256, plain code with no library: kvlship's checksums of what it ships
// and the single-file package's check of its own payload.
#pragma once

#include <stddef.h>
#include <stdint.h>

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
