// The LZ ("SZDD") compression the distribution's files are stored in.
#include "formats/lzencode.h"

#include <string.h>

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
const uint32_t kLinkMask = kSzddChainSlots - 1;
// A span is parsed once this much follows its start: its last item may end
// up to 17 past the span's length, and the longest match there needs 18 more.
const uint32_t kSpanNeeds = kSzddParseSpan + kSzddSpanSlack;
// Positions a span may parse: its last greedy item starts before its length.
const uint32_t kSpanMost = kSzddParseSpan + kSzddLongestMatch - 1;
static_assert(kSzddChainSlots >= kSzddWindow + kSpanMost + kSzddLongestMatch,
              "a link is read only while no later position reuses its slot");
// A cost with its position in the low bits: the most bits a span's parse can
// cost, 9 a position, fit above them.
const uint32_t kPositionBits = 14;
const uint32_t kPositionMask = (1u << kPositionBits) - 1;
static_assert(kSpanMost < (1u << kPositionBits) &&
                  uint64_t(kSpanMost) * kLiteralBits < (1u << (32 - kPositionBits)),
              "a keyed cost fits 32 bits");

uint32_t Smaller(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

// The steps each chain's walk may take one position after a greedy
// reference, a search that need not find the longest; and no bound.
const uint32_t kLazySteps = 4;
const uint32_t kEveryStep = 0xFFFFFFFFu;

// Key length of each chain level, shortest first.
constexpr uint32_t kKeyLength[kSzddKeyLevels] = {3, 5, 8, 12};

uint32_t Load32(const unsigned char *p)
{
    uint32_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

uint64_t Load64(const unsigned char *p)
{
    uint64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

// Hash of the first `key` (3 to 12) bytes at `p`, reading 12 whatever the
// key. With the key a constant this folds to a few multiplies.
inline uint32_t KeyHash(const unsigned char *p, uint32_t key)
{
    uint32_t h = Load32(p);
    if (key < 4)
        h &= 0xFFFFFFFFu >> (8 * (4 - key));
    h *= 0x9E3779B1u;
    if (key > 4) {
        uint32_t next = Load32(p + 4);
        if (key < 8)
            next &= 0xFFFFFFFFu >> (8 * (8 - key));
        h = (h + next) * 0x85EBCA77u;
    }
    if (key > 8) {
        uint32_t next = Load32(p + 8);
        if (key < 12)
            next &= 0xFFFFFFFFu >> (8 * (12 - key));
        h = (h + next) * 0xC2B2AE3Du;
    }
    return h >> kHashShift;
}

// Length of the common start of `a` and `b` as far as 18 (or a little more);
// reads 20 bytes from each. No branch depends on where they differ.
uint32_t ShortCommonLength(const unsigned char *a, const unsigned char *b)
{
    const uint64_t stop = 1ull << 63;
    uint64_t first = Load64(a) ^ Load64(b);
    uint64_t second = Load64(a + 8) ^ Load64(b + 8);
    uint32_t third = Load32(a + 16) ^ Load32(b + 16);
    uint32_t n = static_cast<uint32_t>(__builtin_ctzll(third | stop)) >> 3; // 16 + up to 7
    uint32_t inSecond = static_cast<uint32_t>(__builtin_ctzll(second | stop)) >> 3;
    n = second ? inSecond : 8 + n;
    uint32_t inFirst = static_cast<uint32_t>(__builtin_ctzll(first | stop)) >> 3;
    return first ? inFirst : 8 + n;
}

// True when the 18 bytes at `p` are those at `p - 1`: inside a run of one byte.
bool Repeats(const unsigned char *p)
{
    return Load64(p) == Load64(p - 1) && Load64(p + 8) == Load64(p + 7) &&
           Load32(p + 14) == Load32(p + 13);
}

unsigned char *At(SzddEncoder *e, uint32_t position)
{
    return e->data + (position - e->base);
}

// Links `position` into the chain of each level from `Level` on: how far
// back the newest one with the same key hash lies, 0 past the window.
template <uint32_t Level>
void Link(SzddEncoder *e, const unsigned char *here, uint32_t position, uint32_t slot)
{
    if constexpr (Level < kSzddKeyLevels) {
        uint32_t *root = &e->head[Level][KeyHash(here, kKeyLength[Level])];
        uint32_t link = position - *root;
        *root = position;
        e->older[Level][slot] = static_cast<uint16_t>(link <= kSzddWindow ? link : 0);
        Link<Level + 1>(e, here, position, slot);
    }
}

// Enters the positions up to `upTo` into the chain of each key they have all
// the bytes of, `end` being the end of what is here. A position's link is
// where its own search starts: the chains as they were before it.
void Insert(SzddEncoder *e, uint32_t upTo, uint32_t end)
{
    for (uint32_t position = e->inserted; position != upTo; ++position) {
        const unsigned char *here = At(e, position);
        uint32_t avail = end - position;
        uint32_t slot = position & kLinkMask;
        if (avail > kSzddLongestMatch && Load64(here) != Load64(here - 1)) {
            Link<0>(e, here, position, slot); // the common case: every key, no run
            continue;
        }
        // Inside a run of one byte the string is the one before it, which
        // then leaves the chains: a long run costs later walks one step, not
        // one a byte. Its own search knows the run (see Longest).
        bool repeat = avail > kSzddLongestMatch && Repeats(here);
        uint32_t before = (position - 1) & kLinkMask;
        for (uint32_t level = 0; level < kSzddKeyLevels && avail >= kKeyLength[level]; ++level) {
            uint32_t *root = &e->head[level][KeyHash(here, kKeyLength[level])];
            uint32_t link = position - *root;
            *root = position;
            if (repeat)
                link = e->older[level][before] ? e->older[level][before] + 1u : 0;
            e->older[level][slot] = static_cast<uint16_t>(link <= kSzddWindow ? link : 0);
        }
    }
    e->inserted = upTo;
}

// The longest match for `position` within the window, `limit` bytes at most,
// or the match of `best` bytes `*distance` back when none is longer. Every
// string that shares a level's key is on that level's chain, so walking the
// levels from the longest key down, a level ends the search once what was
// found is no shorter than its key less one: what is not on its chain matches
// fewer bytes.
uint32_t Longest(SzddEncoder *e, uint32_t position, uint32_t limit, uint32_t best,
                 uint32_t *distance, uint32_t budget)
{
    const unsigned char *here = At(e, position);
    if (limit == kSzddLongestMatch && Repeats(here)) {
        // The one byte before, left out of this position's chains.
        *distance = 1;
        return kSzddLongestMatch;
    }
    uint32_t slot = position & kLinkMask;
    uint32_t anyLink = 0;
    for (uint32_t level = 0; level < kSzddKeyLevels; ++level)
        anyLink |= e->older[level][slot];
    if (!anyLink)
        return best; // nothing with even the shortest key's hash: most literals
    uint32_t bestDistance = *distance;
    uint32_t cap = limit;
    for (int level = static_cast<int>(kSzddKeyLevels) - 1; level >= 0 && best < cap; --level) {
        uint32_t key = kKeyLength[level];
        if (limit < key)
            continue;
        const uint16_t *links = e->older[level];
        uint32_t steps = budget;
        uint32_t reach = links[slot];
        while (reach) {
            uint32_t n = ShortCommonLength(here, here - reach);
            n = n < cap ? n : cap;
            bool longer = n > best;
            best = longer ? n : best;
            bestDistance = longer ? reach : bestDistance;
            uint32_t link = links[(position - reach) & kLinkMask];
            reach += link;
            if ((best >= cap) | (link == 0) | (reach > kSzddWindow) | (--steps == 0))
                break;
        }
        if (best + 1 >= key)
            break;
        cap = key - 1;
    }
    *distance = bestDistance;
    return best;
}

// floor(log2(length - 2)) for a reference of `length`: the two blocks of a
// power of two that cover its range of ends.
const uint8_t kBlock[kSzddLongestMatch + 1] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 2,
                                               3, 3, 3, 3, 3, 3, 3, 3, 3};

// Picks the fewest-bits parse of the `count` positions whose matches are in
// matchLength: choice[k] is the item taken at k. Walking back, the cost from
// each position to the end is known for all later ones; every reference costs
// the same, so one from k is best to the cheapest position in [k + 3, k +
// length]. Those ranges are at most 16 long: two blocks of 1, 2, 4 or 8
// positions cover one, and each position keeps the cheapest of each block
// size starting there. Costs carry their position in the low bits, so the
// smallest entry also names where it is. No branch depends on the data.
void Costs(SzddEncoder *e, uint32_t count)
{
    uint32_t(*least)[4] = e->least;
    const uint8_t *lengths = e->matchLength;
    uint8_t *choice = e->choice;
    for (uint32_t j = count + 1; j <= count + 8; ++j)
        least[j][0] = least[j][1] = least[j][2] = least[j][3] = 0xFFFFFFFFu;
    uint32_t after = 0; // the cost from k + 1 on
    uint32_t k = count;
    for (;;) {
        uint32_t keyed = after << kPositionBits | k;
        uint32_t *at = least[k];
        at[0] = keyed;
        at[1] = Smaller(keyed, least[k + 1][0]);
        at[2] = Smaller(at[1], least[k + 2][1]);
        at[3] = Smaller(at[2], least[k + 4][2]);
        if (k-- == 0)
            break;
        uint32_t n = lengths[k];
        if (n > count - k)
            n = count - k;
        if (n < kSzddShortestMatch) {
            after += kLiteralBits; // only a literal: no range to look over
            choice[k] = 1;
            continue;
        }
        uint32_t block = kBlock[n];
        uint32_t cheapest =
            Smaller(least[k + kSzddShortestMatch][block], least[k + n + 1 - (1u << block)][block]);
        uint32_t literal = after + kLiteralBits;
        uint32_t reference = (cheapest >> kPositionBits) + kReferenceBits;
        bool refer = reference <= literal;
        after = refer ? reference : literal;
        choice[k] = static_cast<uint8_t>(refer ? (cheapest & kPositionMask) - k : 1);
    }
}

// Appends the items the parse chose for the `count` positions from `start`,
// in groups of eight behind their flag byte, and hands finished groups over.
void EmitSpan(SzddEncoder *e, uint32_t start, uint32_t count)
{
    unsigned char *out = e->staging;
    uint32_t fill = e->stagingFill;
    uint32_t group = e->groupStart;
    uint32_t items = e->groupItems;
    const unsigned char *bytes = At(e, start);
    for (uint32_t k = 0; k < count; k += e->choice[k]) {
        if (items == 8) {
            group = fill;
            out[fill++] = 0;
            items = 0;
        }
        uint32_t length = e->choice[k];
        if (length == 1) {
            out[group] |= static_cast<unsigned char>(1u << items);
            out[fill++] = bytes[k];
        } else {
            // The file's first byte sits in slot 4080 and each position in
            // the slot after the one before it, the blanks before the file
            // included.
            uint32_t slot =
                (start + k - e->matchDistance[k] - (kPrefill - kSzddFirstSlot)) & (kSzddWindow - 1);
            out[fill++] = static_cast<unsigned char>(slot);
            out[fill++] =
                static_cast<unsigned char>((slot >> 4 & 0xF0u) | (length - kSzddShortestMatch));
        }
        ++items;
    }
    // Only the open group stays: a span's items fit the staging however many.
    if (!e->failed && group && !e->sink(e->context, out, group))
        e->failed = true;
    memmove(out, out + group, fill - group);
    e->stagingFill = fill - group;
    e->groupStart = 0;
    e->groupItems = items;
}

// Parses and emits the next span: from `parsed` to the first position, past
// the span's length, where a greedy longest-match parse also starts an item,
// or to the end of what is here.
//
// Every greedy item inside the span is a way through it for the parse below:
// where a greedy item starts the match is the longest there is, and the span
// ends where one ends. So over each span the fewest-bits parse costs at most
// what the greedy one does, and the file does too. Elsewhere a match needs
// only to be right: what the previous position's match leaves (one shorter,
// the same distance), or one position after a greedy reference, where a
// longer match pays off most, the longest a few steps of each chain find.
void ParseSpan(SzddEncoder *e)
{
    uint32_t start = e->parsed;
    uint32_t end = e->fill;
    // Every position the span may parse enters the chains first, but none
    // with fewer than 3 bytes after it: it matches nothing.
    uint32_t upTo = end - kSzddShortestMatch + 1;
    if (end - start >= kSpanMost + kSzddShortestMatch)
        upTo = start + kSpanMost;
    if (static_cast<int32_t>(upTo - e->inserted) > 0)
        Insert(e, upTo, end);

    uint8_t *lengths = e->matchLength;
    uint16_t *distances = e->matchDistance;
    uint32_t greedyNext = e->greedyNext;
    uint32_t length = 0;
    uint32_t distance = 0;
    uint32_t count = 0;
    uint32_t lazyAt = start;
    for (;; ++count) {
        uint32_t position = start + count;
        if (position == end || (position == greedyNext && count >= kSzddParseSpan))
            break;
        uint32_t avail = end - position;
        length = length > kSzddShortestMatch ? length - 1 : 0;
        if (avail >= kSzddShortestMatch && (position == greedyNext || position == lazyAt)) {
            uint32_t limit = avail < kSzddLongestMatch ? avail : kSzddLongestMatch;
            uint32_t budget = position == greedyNext ? kEveryStep : kLazySteps;
            length = Longest(e, position, limit, length, &distance, budget);
            if (length < kSzddShortestMatch)
                length = 0;
        }
        lengths[count] = static_cast<uint8_t>(length);
        distances[count] = static_cast<uint16_t>(distance);
        if (position == greedyNext) {
            lazyAt = position + 1;
            greedyNext += length ? length : 1;
        }
    }
    e->greedyNext = greedyNext;

    Costs(e, count);
    EmitSpan(e, start, count);
    e->parsed = start + count;
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
    // Chains start empty: every root points more than a window back, and the
    // blank before the first one entered links nowhere.
    for (size_t level = 0; level < kSzddKeyLevels; ++level) {
        for (size_t h = 0; h < sizeof e->head[0] / sizeof e->head[0][0]; ++h)
            e->head[level][h] = kNoPosition;
        e->older[level][(kPrefill - kSzddLongestMatch - 1) & kLinkMask] = 0;
    }
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

void SzddWriteHeader(unsigned char out[kSzddHeaderLength], uint32_t size, unsigned char lastChar)
{
    memcpy(out, kSzddMagic, sizeof kSzddMagic);
    out[8] = kSzddMethodA;
    out[9] = lastChar;
    for (int i = 0; i < 4; ++i)
        out[10 + i] = static_cast<unsigned char>(size >> (8 * i));
}
