// The LZ compressed ("SZDD") file format: header and streaming expansion.
// Plain C++ on caller-provided state, no platform headers and no heap, so
// that the same pair builds for the shell and natively for tools and fuzzers.
// The compression is the vendor tool's (tools/kvlship/formats/lzencode.h): setup
// only ever expands.
//
// A file is a 14-byte header (magic, method 'A', the installed name's last
// character or 0, expanded size as 32-bit little-endian), then LZSS items in
// groups of eight, each group led by a flag byte read low bit first: 1 = a
// literal byte, 0 = a two-byte reference into a 4096-byte ring that starts
// out filled with blanks and is first written at slot 4096 - 16.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t kSzddHeaderLength = 14;
constexpr unsigned char kSzddMethodA = 'A';
constexpr size_t kSzddWindow = 4096;
// The window slot the file's first byte goes to; each later byte goes to the
// slot after the one before. A reference to a slot nothing wrote reads a blank.
constexpr uint32_t kSzddFirstSlot = kSzddWindow - 16;
constexpr size_t kSzddShortestMatch = 3;
constexpr size_t kSzddLongestMatch = 18;
constexpr unsigned char kSzddMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

struct SzddHeader {
    unsigned char method;   // 'A' is the only one there is
    unsigned char lastChar; // the name's replaced last character, 0 when unknown
    uint32_t size;          // expanded size
};

// True when `start` (the first `length` bytes of a file) begins like an SZDD
// file: at least "SZDD", and as much of the 8-byte magic as there is.
bool SzddStartsLike(const unsigned char *start, size_t length);

// Reads the header at `data`. Returns true and fills `header` when `length`
// holds all 14 bytes and they start with the magic, whatever the method (the
// caller decides what an unknown one means); false otherwise.
bool SzddParseHeader(const unsigned char *data, size_t length, SzddHeader *header);

// ---------------------------------------------------------------------------
// Expansion.

enum SzddStatus {
    kSzddNeedInput,  // every input byte was taken; more input may follow
    kSzddNeedOutput, // the output space is full: call again with room and the untaken input
    kSzddComplete,   // the declared size was produced and the input ended right after it
    kSzddCut,        // the input ended before the declared size (also inside the header)
    kSzddCorrupt,    // not the magic, an unknown method, or more data than declared
};

// The expansion's whole state: about 4 KiB, any file size. Within a call
// references read the call's own output; the ring keeps only the window that
// earlier calls made, by slot, for the references that reach back into it.
struct SzddDecoder {
    unsigned char window[kSzddWindow]; // the ring as the last call left it
    unsigned char header[kSzddHeaderLength];
    uint32_t headerHave; // header bytes gathered so far
    uint32_t declared;   // expanded size from the header
    uint32_t produced;   // bytes handed out so far; the next goes to slot 4080 + this
    uint32_t flags;      // flag bits left in the group above a marker bit; 1 = group over
    int32_t lowByte;     // first byte of a reference the input split, or -1
    uint32_t copySlot;   // window slot a reference reads next
    uint32_t copyLeft;   // bytes of that reference still to hand out
    SzddStatus verdict;  // kSzddNeedInput while running, then the final status
};

void SzddDecoderInit(SzddDecoder *decoder);

// Expands the next `inSize` bytes of a file (header included) into `out`.
// Takes what it can, produces what fits, and keeps state across calls: the
// input may be split anywhere. `*inUsed` and `*outMade` tell how much was
// taken and written. Set `inputEnds` when no byte follows this chunk; only
// then can the result be kSzddComplete or kSzddCut. Bytes of `out` past
// `*outMade` (never past `outSize`) may have been written over: a reference
// is copied in wide moves.
//
// The body must end with the item that completes the declared size: any
// byte after it can only start another item or group, so it is corrupt, as
// is a reference that would run past the declared size. Unused flag bits of
// the last group are padding. An empty input is cut short, a header declaring
// 0 bytes with nothing after it is complete. Once complete, cut or corrupt,
// the decoder keeps answering the same and takes nothing more.
SzddStatus SzddDecode(SzddDecoder *decoder, const unsigned char *in, size_t inSize, size_t *inUsed,
                      unsigned char *out, size_t outSize, size_t *outMade, bool inputEnds);
