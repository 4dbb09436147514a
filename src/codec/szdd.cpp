#include "codec/szdd.h"

#include <string.h>

namespace
{

const uint32_t kSlotMask = kSzddWindow - 1;

// A group of eight items takes at most 17 bytes and gives at most 8 * 18.
// Bytes go in moves of 8 whatever an item's length, the excess overwritten
// by what follows: the literals before a reference (or the group's end) in
// one move even when there are none, a reference in up to three. So a move
// reads up to 8 past the group's input and writes up to 8 past its output;
// with that much room on both sides a group needs no checks.
const size_t kGroupInput = 1 + 8 * 2 + 8;
const size_t kGroupOutput = 8 * kSzddLongestMatch + 8;
static_assert(kGroupOutput >= 7 * kSzddLongestMatch + 3 * 8, "the last reference's moves fit");

uint32_t ReadLe32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Move8(unsigned char *to, const unsigned char *from)
{
    memcpy(to, from, 8);
}

// How far back from out[made] the window slot `from` lies: 1 to 4096.
uint32_t Back(uint32_t startSlot, size_t made, uint32_t from)
{
    return ((startSlot + static_cast<uint32_t>(made) - from - 1) & kSlotMask) + 1;
}

// Copies `length` bytes of a reference that starts at window slot `from` to
// out[made], one at a time: each from this call's output when it lies
// there, else from the ring, which holds what earlier calls made and blanks
// where nothing was written yet.
void CopyThroughRing(const unsigned char *ring, unsigned char *out, size_t made, uint32_t startSlot,
                     uint32_t from, uint32_t length)
{
    for (uint32_t k = 0; k < length; ++k, ++made, from = (from + 1) & kSlotMask) {
        uint32_t back = Back(startSlot, made, from);
        out[made] = back <= made ? out[made - back] : ring[from];
    }
}

// Decodes whole groups while `next` is at most `inLast` and `to` at most
// `toLast`: the loop that carries nearly every byte of a large file, so it
// tests nothing per byte. It expands straight into `out` and reads
// references from there; with `kMayReachRing` (the call's first 4 KiB of
// output) a reference may reach back before `out`, into the ring. Without
// it, fewer values live in the loop, which is what the 32-bit build's few
// registers need. The literals between two references go in one move: what
// decides a branch is where the next reference is, not what each item is.
template <bool kMayReachRing>
void DecodeStretch(const SzddDecoder *d, const unsigned char *&next, const unsigned char *inLast,
                   unsigned char *&to, const unsigned char *toLast, unsigned char *out,
                   uint32_t startSlot)
{
    // The window slot before `to` is this plus its address.
    const uint32_t slotBefore =
        startSlot - 1 - static_cast<uint32_t>(reinterpret_cast<uintptr_t>(out));
    while (next <= inLast && to <= toLast) {
        // A set bit for each reference of the group, and one past its end.
        uint32_t refs = (~*next++ & 0xFFu) | 0x100u;
        for (;;) {
            uint32_t literals = static_cast<uint32_t>(__builtin_ctz(refs));
            Move8(to, next);
            to += literals;
            next += literals;
            refs >>= literals;
            if (refs == 1)
                break;
            uint32_t high = next[1];
            uint32_t from = next[0] | (high & 0xF0u) << 4;
            next += 2;
            uint32_t back =
                ((slotBefore + static_cast<uint32_t>(reinterpret_cast<uintptr_t>(to)) - from) &
                 kSlotMask) +
                1;
            if (kMayReachRing && back > static_cast<size_t>(to - out)) {
                // Before this call's output: from the ring, with no pointer
                // made to before `out`.
                CopyThroughRing(d->window, out, static_cast<size_t>(to - out), startSlot, from,
                                (high & 0x0Fu) + kSzddShortestMatch);
                to += (high & 0x0Fu) + kSzddShortestMatch;
                refs >>= 1;
                continue;
            }
            const unsigned char *source = to - back;
            if (__builtin_expect(back >= 16, 1)) {
                // Apart by a wide move or more: the move reads only bytes
                // already written.
                memcpy(to, source, 16);
                if (__builtin_expect((high & 0x0Fu) > 16 - kSzddShortestMatch, 0))
                    Move8(to + 16, source + 16);
            } else {
                // A period shorter than a wide move repeats byte by byte.
                uint32_t length = (high & 0x0Fu) + kSzddShortestMatch;
                for (uint32_t k = 0; k < length; ++k)
                    to[k] = source[k];
            }
            to += (high & 0x0Fu) + kSzddShortestMatch;
            refs >>= 1;
        }
    }
}

// Decodes whole groups while the input, the output space and the declared
// size all have room for one more.
void DecodeGroups(SzddDecoder *d, const unsigned char *in, size_t inSize, size_t *i,
                  unsigned char *out, size_t outSize, size_t *o, uint32_t startSlot)
{
    // A group starts only where it has room on both sides and cannot pass
    // the declared size.
    size_t left = d->declared - d->produced;
    if (inSize - *i < kGroupInput || outSize - *o < kGroupOutput || left < 8 * kSzddLongestMatch)
        return;
    const unsigned char *next = in + *i;
    const unsigned char *inLast = in + inSize - kGroupInput;
    unsigned char *to = out + *o;
    unsigned char *outLast = out + outSize - kGroupOutput;
    if (left - 8 * kSzddLongestMatch < static_cast<size_t>(outLast - to))
        outLast = to + (left - 8 * kSzddLongestMatch);
    unsigned char *start = to;
    // Until this call has made a window's worth, a reference may reach back
    // before its output.
    const unsigned char *ringLast =
        static_cast<size_t>(outLast - out) < kSzddWindow - 1 ? outLast : out + kSzddWindow - 1;
    DecodeStretch<true>(d, next, inLast, to, ringLast, out, startSlot);
    DecodeStretch<false>(d, next, inLast, to, outLast, out, startSlot);
    d->produced += static_cast<uint32_t>(to - start);
    *i = static_cast<size_t>(next - in);
    *o = static_cast<size_t>(to - out);
}

// Keeps the last window's worth of this call's output in the ring, at the
// slots it went to, for the references of later calls.
void KeepInRing(SzddDecoder *d, const unsigned char *out, size_t made, uint32_t startSlot)
{
    if (!made)
        return; // `out` may be null then
    size_t n = made < kSzddWindow ? made : kSzddWindow;
    uint32_t slot = (startSlot + static_cast<uint32_t>(made - n)) & kSlotMask;
    size_t first = kSzddWindow - slot < n ? kSzddWindow - slot : n;
    memcpy(d->window + slot, out + made - n, first);
    memcpy(d->window, out + made - n + first, n - first);
}

// Gathers header bytes. Returns false when they cannot be an SZDD header.
bool TakeHeader(SzddDecoder *d, const unsigned char *in, size_t inSize, size_t *i)
{
    while (d->headerHave < kSzddHeaderLength && *i < inSize) {
        unsigned char c = in[(*i)++];
        if (d->headerHave < sizeof kSzddMagic && c != kSzddMagic[d->headerHave])
            return false;
        d->header[d->headerHave++] = c;
    }
    if (d->headerHave < kSzddHeaderLength)
        return true;
    d->declared = ReadLe32(d->header + 10);
    return d->header[8] == kSzddMethodA;
}

SzddStatus Settle(SzddDecoder *d, SzddStatus status)
{
    if (status == kSzddComplete || status == kSzddCut || status == kSzddCorrupt)
        d->verdict = status;
    return status;
}

} // namespace

bool SzddStartsLike(const unsigned char *start, size_t length)
{
    if (length < 4)
        return false;
    size_t compared = length < sizeof kSzddMagic ? length : sizeof kSzddMagic;
    return memcmp(start, kSzddMagic, compared) == 0;
}

bool SzddParseHeader(const unsigned char *data, size_t length, SzddHeader *header)
{
    if (length < kSzddHeaderLength || memcmp(data, kSzddMagic, sizeof kSzddMagic) != 0)
        return false;
    header->method = data[8];
    header->lastChar = data[9];
    header->size = ReadLe32(data + 10);
    return true;
}

void SzddDecoderInit(SzddDecoder *decoder)
{
    memset(decoder->window, ' ', sizeof decoder->window);
    decoder->headerHave = 0;
    decoder->declared = 0;
    decoder->produced = 0;
    decoder->flags = 1;
    decoder->lowByte = -1;
    decoder->copySlot = 0;
    decoder->copyLeft = 0;
    decoder->verdict = kSzddNeedInput;
}

SzddStatus SzddDecode(SzddDecoder *d, const unsigned char *in, size_t inSize, size_t *inUsed,
                      unsigned char *out, size_t outSize, size_t *outMade, bool inputEnds)
{
    size_t i = 0;
    size_t o = 0;
    *inUsed = 0;
    *outMade = 0;
    if (d->verdict != kSzddNeedInput)
        return d->verdict;
    if (d->headerHave < kSzddHeaderLength) {
        bool fits = TakeHeader(d, in, inSize, &i);
        *inUsed = i;
        if (!fits)
            return Settle(d, kSzddCorrupt);
        if (d->headerHave < kSzddHeaderLength)
            return Settle(d, inputEnds ? kSzddCut : kSzddNeedInput);
    }

    // Output goes to the slot after the last one written; out[0] is the
    // call's first byte.
    const uint32_t startSlot = (kSzddFirstSlot + d->produced) & kSlotMask;
    SzddStatus status = kSzddNeedInput;
    for (;;) {
        if (d->copyLeft) {
            uint32_t n =
                outSize - o < d->copyLeft ? static_cast<uint32_t>(outSize - o) : d->copyLeft;
            CopyThroughRing(d->window, out, o, startSlot, d->copySlot, n);
            o += n;
            d->produced += n;
            d->copySlot = (d->copySlot + n) & kSlotMask;
            d->copyLeft -= n;
        }
        if (d->copyLeft) {
            status = kSzddNeedOutput;
            break;
        }
        if (d->produced == d->declared) {
            // Whatever follows the last item could only make more.
            if (i < inSize || d->lowByte >= 0)
                status = kSzddCorrupt;
            else
                status = inputEnds ? kSzddComplete : kSzddNeedInput;
            break;
        }
        if (d->flags == 1 && d->lowByte < 0) {
            DecodeGroups(d, in, inSize, &i, out, outSize, &o, startSlot);
            if (d->produced == d->declared)
                continue;
        }
        if (i == inSize) {
            status = inputEnds ? kSzddCut : kSzddNeedInput;
            break;
        }
        if (d->flags == 1) {
            d->flags = in[i++] | 0x100u;
            continue;
        }
        if (d->flags & 1) {
            if (o == outSize) {
                status = kSzddNeedOutput;
                break;
            }
            out[o++] = in[i++];
            ++d->produced;
            d->flags >>= 1;
            continue;
        }
        if (d->lowByte < 0) {
            d->lowByte = in[i++];
            continue;
        }
        unsigned char high = in[i++];
        uint32_t length = (high & 0x0Fu) + kSzddShortestMatch;
        d->copySlot = static_cast<uint32_t>(d->lowByte) | (high & 0xF0u) << 4;
        d->lowByte = -1;
        d->flags >>= 1;
        if (length > d->declared - d->produced) {
            status = kSzddCorrupt;
            break;
        }
        d->copyLeft = length;
    }
    KeepInRing(d, out, o, startSlot);
    *inUsed = i;
    *outMade = o;
    return Settle(d, status);
}
