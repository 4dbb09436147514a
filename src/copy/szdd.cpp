#include "copy/szdd.h"

#include <string.h>

namespace
{

const unsigned char kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

const uint32_t kSlotMask = kSzddWindow - 1;
// The first slot written: a reference to any slot before the file has
// written it reads a blank.
const uint32_t kFirstSlot = kSzddWindow - 16;

// A group of eight items takes at most 17 bytes and gives at most 8 * 18:
// with that much room on both sides a group needs no checks.
const size_t kGroupInput = 1 + 8 * 2;
const size_t kGroupOutput = 8 * kSzddLongestMatch;

uint32_t ReadLe32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Decodes whole groups while the input, the output space and the declared
// size all have room for one more: the loop that carries nearly every byte
// of a large file, so it tests nothing per byte.
void DecodeGroups(SzddDecoder *d, const unsigned char *in, size_t inSize, size_t *i,
                  unsigned char *out, size_t outSize, size_t *o)
{
    unsigned char *window = d->window;
    uint32_t slot = d->writeSlot;
    size_t at = *i;
    size_t made = *o;
    size_t leftToDeclared = d->declared - d->produced;
    while (inSize - at >= kGroupInput && outSize - made >= kGroupOutput &&
           leftToDeclared >= kGroupOutput) {
        size_t groupStart = made;
        unsigned flags = in[at++];
        for (int item = 0; item < 8; ++item, flags >>= 1) {
            if (flags & 1) {
                unsigned char c = in[at++];
                window[slot] = c;
                slot = (slot + 1) & kSlotMask;
                out[made++] = c;
                continue;
            }
            uint32_t from = in[at] | (in[at + 1] & 0xF0u) << 4;
            uint32_t length = (in[at + 1] & 0x0Fu) + kSzddShortestMatch;
            at += 2;
            // Apart and away from the ring's end, the bytes copy as a block;
            // an overlapping reference repeats its start byte by byte.
            uint32_t ahead = (slot - from) & kSlotMask;
            if (ahead >= length && from + length <= kSzddWindow && slot + length <= kSzddWindow) {
                memcpy(out + made, window + from, length);
                memcpy(window + slot, out + made, length);
                made += length;
                slot = (slot + length) & kSlotMask;
                continue;
            }
            for (uint32_t k = 0; k < length; ++k) {
                unsigned char c = window[from];
                from = (from + 1) & kSlotMask;
                window[slot] = c;
                slot = (slot + 1) & kSlotMask;
                out[made++] = c;
            }
        }
        leftToDeclared -= made - groupStart;
    }
    d->produced = d->declared - static_cast<uint32_t>(leftToDeclared);
    d->writeSlot = slot;
    *i = at;
    *o = made;
}

// Gathers header bytes. Returns false when they cannot be an SZDD header.
bool TakeHeader(SzddDecoder *d, const unsigned char *in, size_t inSize, size_t *i)
{
    while (d->headerHave < kSzddHeaderLength && *i < inSize) {
        unsigned char c = in[(*i)++];
        if (d->headerHave < sizeof kMagic && c != kMagic[d->headerHave])
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
    size_t compared = length < sizeof kMagic ? length : sizeof kMagic;
    return memcmp(start, kMagic, compared) == 0;
}

bool SzddParseHeader(const unsigned char *data, size_t length, SzddHeader *header)
{
    if (length < kSzddHeaderLength || memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    header->method = data[8];
    header->lastChar = data[9];
    header->size = ReadLe32(data + 10);
    return true;
}

void SzddWriteHeader(unsigned char out[kSzddHeaderLength], uint32_t size, unsigned char lastChar)
{
    memcpy(out, kMagic, sizeof kMagic);
    out[8] = kSzddMethodA;
    out[9] = lastChar;
    for (int i = 0; i < 4; ++i)
        out[10 + i] = static_cast<unsigned char>(size >> (8 * i));
}

void SzddDecoderInit(SzddDecoder *decoder)
{
    memset(decoder->window, ' ', sizeof decoder->window);
    decoder->headerHave = 0;
    decoder->declared = 0;
    decoder->produced = 0;
    decoder->writeSlot = kFirstSlot;
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

    SzddStatus status = kSzddNeedInput;
    for (;;) {
        while (d->copyLeft && o < outSize) {
            unsigned char c = d->window[d->copySlot];
            d->copySlot = (d->copySlot + 1) & kSlotMask;
            d->window[d->writeSlot] = c;
            d->writeSlot = (d->writeSlot + 1) & kSlotMask;
            out[o++] = c;
            --d->copyLeft;
            ++d->produced;
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
            DecodeGroups(d, in, inSize, &i, out, outSize, &o);
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
            unsigned char c = in[i++];
            d->window[d->writeSlot] = c;
            d->writeSlot = (d->writeSlot + 1) & kSlotMask;
            out[o++] = c;
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
    *inUsed = i;
    *outMade = o;
    return Settle(d, status);
}

// ---------------------------------------------------------------------------
// Compression.

namespace
{

// Stream positions: the file's first byte is at kPrefill, after a window of
// blanks and the 18 before it that the blanks' own matches may reach back to.
// Position 0 stands for "none": always more than a window back.
const uint32_t kPrefill = 2 * kSzddWindow;
const uint32_t kNoPosition = 0;
const uint32_t kHeld = kSzddWindow + kSzddLongestMatch + kSzddParseSpan + kSzddSpanSlack;
const uint32_t kLiteralBits = 9;                // flag bit and byte
const uint32_t kReferenceBits = 17;             // flag bit and two bytes
const uint32_t kHashShift = 32 - kSzddHashBits; // multiplicative hash keeps the top bits
// Tree nodes by position, two windows' worth: a node is read only while
// within one window of the position searched.
const uint32_t kTreeMask = 2 * kSzddWindow - 1;
// A span is parsed once this much follows its start: its last item may end
// up to 17 past the span's length, and the longest match there needs 18 more.
const uint32_t kSpanNeeds = kSzddParseSpan + kSzddSpanSlack;

uint32_t Hash3(const unsigned char *p)
{
    uint32_t key = p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
    return (key * 0x9E3779B1u) >> kHashShift;
}

uint64_t Load64(const unsigned char *p)
{
    uint64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

// Length of the common start of `a` and `b`, at most `limit` (<= 18). Reads
// up to 24 bytes from each; the buffer has the slack for that.
uint32_t CommonLength(const unsigned char *a, const unsigned char *b, uint32_t limit)
{
    uint32_t n = 0;
    while (n < limit) {
        uint64_t diff = Load64(a + n) ^ Load64(b + n);
        if (diff) {
            n += static_cast<uint32_t>(__builtin_ctzll(diff)) >> 3;
            break;
        }
        n += 8;
    }
    return n < limit ? n : limit;
}

unsigned char *At(SzddEncoder *e, uint32_t position)
{
    return e->data + (position - e->base);
}

// Enters `position` into the binary tree of its hash and returns its longest
// match among the last 4096 positions (the blanks before the file included),
// `limit` bytes at most. Each tree orders its strings by their first 18
// bytes and is rooted at the newest, so a path only leads to older nodes and
// the walk ends at the window's start; the longest match is one of the
// neighbours the walk passes, found in about log2(nodes) steps however many
// strings share their start.
uint32_t FindAndInsert(SzddEncoder *e, uint32_t position, uint32_t limit, uint32_t *distance)
{
    const unsigned char *here = At(e, position);
    uint32_t h = Hash3(here);
    uint32_t candidate = e->head[h];
    e->head[h] = position;
    uint32_t *smaller = &e->tree[2 * (position & kTreeMask)];
    uint32_t *larger = smaller + 1;
    uint32_t best = 0;
    uint32_t bestDistance = 0;
    uint32_t reach = 0;
    for (;;) {
        uint32_t next = position - candidate;
        // Past the window, or a link that does not lead back (only after
        // the positions wrap at 4 GiB): the subtree is gone.
        if (next > kSzddWindow || next <= reach) {
            *smaller = kNoPosition;
            *larger = kNoPosition;
            break;
        }
        reach = next;
        uint32_t *pair = &e->tree[2 * (candidate & kTreeMask)];
        const unsigned char *there = here - reach;
        uint32_t n = CommonLength(here, there, limit);
        if (n > best) {
            best = n;
            bestDistance = reach;
        }
        if (n == limit) {
            // The same string, nearer now: the new node takes its place.
            *smaller = pair[0];
            *larger = pair[1];
            break;
        }
        if (there[n] < here[n]) {
            *smaller = candidate;
            smaller = pair + 1;
            candidate = *smaller;
        } else {
            *larger = candidate;
            larger = pair;
            candidate = *larger;
        }
    }
    *distance = bestDistance;
    return best;
}

// Hands the staged, finished groups to the sink and keeps the open one.
void FlushGroups(SzddEncoder *e)
{
    if (!e->failed && e->groupStart && !e->sink(e->context, e->staging, e->groupStart))
        e->failed = true;
    uint32_t open = e->stagingFill - e->groupStart;
    memmove(e->staging, e->staging + e->groupStart, open);
    e->stagingFill = open;
    e->groupStart = 0;
}

// Appends one item: a literal byte, or a reference of `length` bytes to the
// one `distance` back from `position`.
void EmitItem(SzddEncoder *e, uint32_t position, uint32_t length, uint32_t distance)
{
    if (e->stagingFill + 3 > sizeof e->staging)
        FlushGroups(e);
    if (e->groupItems == 8) {
        e->groupStart = e->stagingFill;
        e->groupItems = 0;
    }
    if (e->groupItems == 0)
        e->staging[e->stagingFill++] = 0;
    if (length == 1) {
        e->staging[e->groupStart] |= static_cast<unsigned char>(1u << e->groupItems);
        e->staging[e->stagingFill++] = *At(e, position);
    } else {
        // The file's first byte sits in slot 4080 and each position in the
        // slot after the one before it, the blanks before the file included.
        uint32_t slot = (position - distance - (kPrefill - kFirstSlot)) & kSlotMask;
        e->staging[e->stagingFill++] = static_cast<unsigned char>(slot);
        e->staging[e->stagingFill++] =
            static_cast<unsigned char>((slot >> 4 & 0xF0u) | (length - kSzddShortestMatch));
    }
    ++e->groupItems;
}

// Parses and emits the next span: from `parsed` to the first position, past
// the span's length, where a greedy longest-match parse also starts an item,
// or to the end of what is here. Over each span the fewest-bits parse costs at
// most what the greedy one does, so the file does too.
void ParseSpan(SzddEncoder *e)
{
    uint32_t start = e->parsed;
    uint32_t end = e->fill;
    // The blanks before the file enter the trees before its first byte.
    while (e->inserted != start && end - e->inserted >= kSzddShortestMatch) {
        uint32_t unused;
        uint32_t room = end - e->inserted;
        FindAndInsert(e, e->inserted++, room < kSzddLongestMatch ? room : kSzddLongestMatch,
                      &unused);
    }
    uint8_t *lengths = e->matchLength;
    uint16_t *distances = e->matchDistance;
    uint32_t greedyNext = e->greedyNext;
    uint32_t count = 0;
    for (;; ++count) {
        uint32_t position = start + count;
        if (position == end || (position == greedyNext && count >= kSzddParseSpan))
            break;
        uint32_t avail = end - position;
        uint32_t length = 0;
        uint32_t distance = 0;
        if (avail >= kSzddShortestMatch) {
            uint32_t limit = avail < kSzddLongestMatch ? avail : kSzddLongestMatch;
            length = FindAndInsert(e, position, limit, &distance);
            e->inserted = position + 1;
            if (length < kSzddShortestMatch)
                length = 0;
        }
        lengths[count] = static_cast<uint8_t>(length);
        distances[count] = static_cast<uint16_t>(distance);
        if (position == greedyNext)
            greedyNext += length ? length : 1;
    }
    e->greedyNext = greedyNext;

    // Fewest bits from each position to the span's end, walking back.
    e->cost[count] = 0;
    for (uint32_t k = count; k-- > 0;) {
        uint32_t best = e->cost[k + 1] + kLiteralBits;
        uint32_t chosen = 1;
        uint32_t length = e->matchLength[k];
        if (length > count - k)
            length = count - k;
        for (uint32_t n = kSzddShortestMatch; n <= length; ++n) {
            uint32_t bits = e->cost[k + n] + kReferenceBits;
            if (bits <= best) {
                best = bits;
                chosen = n;
            }
        }
        e->cost[k] = best;
        e->choice[k] = static_cast<uint8_t>(chosen);
    }
    for (uint32_t k = 0; k < count; k += e->choice[k])
        EmitItem(e, start + k, e->choice[k], e->matchDistance[k]);
    e->parsed = start + count;
    FlushGroups(e);
}

// Drops what lies more than a window before the next span.
void Slide(SzddEncoder *e)
{
    uint32_t keepFrom = e->parsed - kSzddWindow;
    uint32_t drop = keepFrom - e->base;
    if (!drop)
        return;
    memmove(e->data, e->data + drop, e->fill - keepFrom);
    e->base = keepFrom;
}

} // namespace

void SzddEncoderInit(SzddEncoder *encoder, uint32_t size, unsigned char lastChar, SzddSink sink,
                     void *context)
{
    SzddEncoder *e = encoder;
    memset(e->data, ' ', sizeof e->data);
    // Trees start empty: every root and link points more than a window back.
    for (size_t h = 0; h < sizeof e->head / sizeof e->head[0]; ++h)
        e->head[h] = kNoPosition;
    for (size_t i = 0; i < sizeof e->tree / sizeof e->tree[0]; ++i)
        e->tree[i] = kNoPosition;
    e->base = kPrefill - kSzddWindow - kSzddLongestMatch;
    e->fill = kPrefill;
    e->parsed = kPrefill;
    // The last 18 blanks are the ones a match can start in and differ by
    // where the file's bytes follow; the blanks further back repeat them.
    e->inserted = kPrefill - kSzddLongestMatch;
    e->greedyNext = kPrefill;
    SzddWriteHeader(e->staging, size, lastChar);
    e->stagingFill = kSzddHeaderLength;
    e->groupStart = kSzddHeaderLength;
    e->groupItems = 8;
    e->declared = size;
    e->taken = 0;
    e->failed = false;
    e->sink = sink;
    e->context = context;
}

bool SzddEncoderWrite(SzddEncoder *encoder, const void *bytes, size_t size)
{
    SzddEncoder *e = encoder;
    const unsigned char *from = static_cast<const unsigned char *>(bytes);
    if (size > e->declared - e->taken)
        e->failed = true;
    while (size && !e->failed) {
        uint32_t room = kHeld - (e->fill - e->base);
        uint32_t n = size < room ? static_cast<uint32_t>(size) : room;
        memcpy(At(e, e->fill), from, n);
        e->fill += n;
        e->taken += n;
        from += n;
        size -= n;
        if (e->fill - e->parsed >= kSpanNeeds) {
            ParseSpan(e);
            Slide(e);
        }
    }
    return !e->failed;
}

bool SzddEncoderFinish(SzddEncoder *encoder)
{
    SzddEncoder *e = encoder;
    // A header that declares another size would expand to a wrong file.
    if (e->taken != e->declared)
        e->failed = true;
    while (!e->failed && e->parsed != e->fill) {
        ParseSpan(e);
        Slide(e);
    }
    if (!e->failed && e->stagingFill && !e->sink(e->context, e->staging, e->stagingFill))
        e->failed = true;
    e->stagingFill = 0;
    e->groupStart = 0;
    return !e->failed;
}
