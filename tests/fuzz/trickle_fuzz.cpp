// The expansion's fast path against its slowest one: the same file expanded
// in one call with room for all of it, and fed one input byte and one byte
// of room at a time, must give the same bytes and the same verdict.
#include "codec/szdd.h"

#include <stdint.h>
#include <stdlib.h>

#include <vector>

namespace
{

SzddStatus Whole(const uint8_t *file, size_t size, std::vector<uint8_t> *out)
{
    SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    // Each item of at most two bytes gives at most 18: this much always
    // fits. Room of just the declared size when that is less, on the heap:
    // a fast path writing past its end is caught.
    size_t most = size * 9 + 64;
    SzddHeader header;
    if (SzddParseHeader(file, size, &header) && header.size < most)
        most = header.size;
    uint8_t *room = static_cast<uint8_t *>(malloc(most));
    size_t used = 0, made = 0;
    SzddStatus status = SzddDecode(&decoder, file, size, &used, room, most, &made, true);
    if (used > size || made > most)
        abort();
    out->assign(room, room + made);
    free(room);
    return status;
}

SzddStatus Trickle(const uint8_t *file, size_t size, std::vector<uint8_t> *out)
{
    SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    // One byte of room on the heap: a write past it is caught.
    uint8_t *room = static_cast<uint8_t *>(malloc(1));
    size_t at = 0;
    SzddStatus status;
    do {
        size_t piece = at < size ? 1 : 0;
        size_t used = 0, made = 0;
        status = SzddDecode(&decoder, file + at, piece, &used, room, 1, &made, at + piece == size);
        if (used > piece || made > 1 || out->size() > size * 9 + 64)
            abort();
        out->insert(out->end(), room, room + made);
        at += used;
    } while (status == kSzddNeedInput || status == kSzddNeedOutput);
    free(room);
    return status;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> whole, trickled;
    SzddStatus once = Whole(data, size, &whole);
    if (once != kSzddComplete && once != kSzddCut && once != kSzddCorrupt)
        abort();
    if (Trickle(data, size, &trickled) != once || trickled != whole)
        abort();
    return 0;
}
