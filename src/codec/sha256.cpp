#include "codec/sha256.h"

#include <string.h>

namespace
{

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void Compress(Sha256 *sha, const unsigned char *block)
{
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = static_cast<uint32_t>(block[4 * i]) << 24 |
               static_cast<uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = sha->state[0], b = sha->state[1], c = sha->state[2], d = sha->state[3];
    uint32_t e = sha->state[4], f = sha->state[5], g = sha->state[6], h = sha->state[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                      kRoundConstants[i] + w[i];
        uint32_t t2 =
            (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    uint32_t add[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        sha->state[i] += add[i];
}

} // namespace

void Sha256Init(Sha256 *sha)
{
    static const uint32_t kStart[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(sha->state, kStart, sizeof kStart);
    sha->length = 0;
    sha->used = 0;
}

void Sha256Update(Sha256 *sha, const void *data, size_t size)
{
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    sha->length += size;
    while (size > 0) {
        size_t take = sizeof sha->block - sha->used < size ? sizeof sha->block - sha->used : size;
        memcpy(sha->block + sha->used, bytes, take);
        sha->used += take;
        bytes += take;
        size -= take;
        if (sha->used == sizeof sha->block) {
            Compress(sha, sha->block);
            sha->used = 0;
        }
    }
}

void Sha256Final(Sha256 *sha, unsigned char digest[32])
{
    uint64_t bits = sha->length * 8;
    // The padding: 0x80, zeros up to 56 bytes of a block, the length in bits.
    unsigned char pad[72] = {0x80};
    size_t padding = sha->used < 56 ? 56 - sha->used : 120 - sha->used;
    for (int i = 0; i < 8; ++i)
        pad[padding + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Sha256Update(sha, pad, padding + 8);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = static_cast<unsigned char>(sha->state[i] >> 24);
        digest[4 * i + 1] = static_cast<unsigned char>(sha->state[i] >> 16);
        digest[4 * i + 2] = static_cast<unsigned char>(sha->state[i] >> 8);
        digest[4 * i + 3] = static_cast<unsigned char>(sha->state[i]);
    }
}
