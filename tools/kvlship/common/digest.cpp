// CRC-32 and SHA-256 as kvlship writes them into what it ships.
#include "common/digest.h"

#include <string.h>

uint32_t Crc32(const void *data, size_t size, uint32_t crc)
{
    static uint32_t table[256];
    if (!table[1]) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string Sha256Hex(const std::string &bytes)
{
    Sha256 sha;
    Sha256Init(&sha);
    Sha256Update(&sha, bytes.data(), bytes.size());
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}
