// Whatever goes in, fed to the compression in random pieces, comes back out
// of the expansion byte for byte, and never takes more room than literals.
// fuzz-sources: tools/kvlship/formats/lzencode.cpp
#include "codec/szdd.h"
#include "formats/lzencode.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace
{

bool Append(void *context, const unsigned char *data, size_t size)
{
    static_cast<std::vector<uint8_t> *>(context)->insert(
        static_cast<std::vector<uint8_t> *>(context)->end(), data, data + size);
    return true;
}

SzddEncoder encoder; // about 820 KiB: not on the stack
SzddDecoder decoder;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte repeats the rest, so that small inputs still cross the
    // parse spans and the window with long, far matches.
    uint32_t repeats = 1 + data[0] % 8;
    std::vector<uint8_t> plain;
    for (uint32_t r = 0; r < repeats; ++r) {
        plain.insert(plain.end(), data + 1, data + size);
        if (r && !plain.empty())
            plain[plain.size() / (r + 1)] ^= static_cast<uint8_t>(r);
    }

    std::vector<uint8_t> packed;
    SzddEncoderInit(&encoder, static_cast<uint32_t>(plain.size()), data[0], Append, &packed);
    uint32_t state = data[0];
    for (size_t at = 0; at < plain.size();) {
        state = state * 1103515245u + 12345u;
        size_t piece = 1 + (state >> 16) % 5000;
        if (piece > plain.size() - at)
            piece = plain.size() - at;
        if (!SzddEncoderWrite(&encoder, plain.data() + at, piece))
            abort();
        at += piece;
    }
    if (!SzddEncoderFinish(&encoder))
        abort();
    if (packed.size() > kSzddHeaderLength + plain.size() + (plain.size() + 7) / 8)
        abort();

    SzddHeader header;
    if (!SzddParseHeader(packed.data(), packed.size(), &header) || header.method != 'A' ||
        header.lastChar != data[0] || header.size != plain.size())
        abort();

    std::vector<uint8_t> back(plain.size() + 1);
    SzddDecoderInit(&decoder);
    size_t used = 0, made = 0;
    SzddStatus status = SzddDecode(&decoder, packed.data(), packed.size(), &used, back.data(),
                                   back.size(), &made, true);
    if (status != kSzddComplete || used != packed.size() || made != plain.size() ||
        (made && memcmp(back.data(), plain.data(), made) != 0))
        abort();
    return 0;
}
