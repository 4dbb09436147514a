// The expansion fed a file cut into random pieces with random small output
// space must give the same verdict and bytes as one call over the whole file,
// and never write past the space it was given.
#include "codec/szdd.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace
{

// Piece sizes from the first two input bytes: the rest is the file.
struct Splitter {
    uint32_t state;
    uint32_t maxIn, maxOut;
    size_t Next(uint32_t most)
    {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 16) % most;
    }
};

SzddStatus Whole(const uint8_t *file, size_t size, std::vector<uint8_t> *out)
{
    SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    // Each item of at most two bytes gives at most 18: this much always fits.
    out->assign(size * 9 + 64, 0);
    size_t used = 0, made = 0;
    SzddStatus status =
        SzddDecode(&decoder, file, size, &used, out->data(), out->size(), &made, true);
    if (status != kSzddComplete && status != kSzddCut && status != kSzddCorrupt)
        abort();
    if (used > size || made > out->size())
        abort();
    out->resize(made);
    return status;
}

SzddStatus Pieces(const uint8_t *file, size_t size, Splitter *split, std::vector<uint8_t> *out)
{
    SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    size_t at = 0;
    SzddStatus status = kSzddNeedInput;
    for (size_t calls = 0;; ++calls) {
        if (calls > 4 * (size + 64) * 18)
            abort(); // no progress
        size_t left = size - at;
        size_t piece = left ? split->Next(split->maxIn) : 0;
        if (piece > left)
            piece = left;
        bool ends = piece == left;
        size_t room = split->Next(split->maxOut);
        // Room of exactly this size on the heap: a write past it is caught.
        uint8_t *space = static_cast<uint8_t *>(malloc(room));
        size_t used = 0, made = 0;
        status = SzddDecode(&decoder, file + at, piece, &used, space, room, &made, ends);
        if (used > piece || made > room)
            abort();
        out->insert(out->end(), space, space + made);
        free(space);
        at += used;
        if (status == kSzddNeedInput && used != piece)
            abort();
        if (status == kSzddComplete || status == kSzddCut || status == kSzddCorrupt)
            break;
    }
    // A settled decoder takes and gives nothing more.
    uint8_t spare[4];
    size_t used = 1, made = 1;
    if (SzddDecode(&decoder, file, size, &used, spare, sizeof spare, &made, true) != status ||
        used != 0 || made != 0)
        abort();
    return status;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    Splitter split = {static_cast<uint32_t>(data[0]) * 257u + data[1], 1u + data[0] % 40u,
                      1u + data[1] % 40u};
    const uint8_t *file = data + 2;
    size_t fileSize = size - 2;

    std::vector<uint8_t> whole, pieces;
    SzddStatus once = Whole(file, fileSize, &whole);
    SzddStatus split_ = Pieces(file, fileSize, &split, &pieces);
    if (once != split_ || whole != pieces)
        abort();

    SzddHeader header;
    if (once == kSzddComplete &&
        (!SzddParseHeader(file, fileSize, &header) || header.size != whole.size()))
        abort();
    if (fileSize == 0 && once != kSzddCut)
        abort();
    return 0;
}
