// The LZ compressed ("SZDD") file format's compression, for the vendor's
// tool: setup only expands (src/codec/szdd.h). Plain C++ on caller-provided
// state, no platform headers and no heap, like the expansion.
#pragma once

#include "codec/szdd.h"

// Fills `out` with the header of a file that expands to `size` bytes.
void SzddWriteHeader(unsigned char out[kSzddHeaderLength], uint32_t size, unsigned char lastChar);

// Receives the compressed file in pieces, in order. Returns false to stop the
// compression (a failed write).
typedef bool (*SzddSink)(void *context, const unsigned char *data, size_t size);

constexpr size_t kSzddParseSpan = 8192; // positions parsed at once
constexpr size_t kSzddSpanSlack = 2 * kSzddLongestMatch;
constexpr size_t kSzddKeyLevels = 4; // chains by the first 3, 5, 8 and 12 bytes
constexpr size_t kSzddHashBits = 15;
// Chain links by position: the window before a span and all the span may parse.
constexpr size_t kSzddChainSlots = 4 * kSzddWindow;
constexpr size_t kSzddStagingSize = 64 + (kSzddParseSpan + kSzddSpanSlack) * 9 / 8;

// The compression's whole state: about 820 KiB, any file size. Where a greedy
// longest-match parse would put an item the match is the longest within the
// window; elsewhere it is a cheaper one. Each span is parsed for the fewest
// bits and ends where the greedy parse also ends, so the output is never
// longer than a greedy longest-match one.
struct SzddEncoder {
    // The stream as the decoder's window sees it: blanks, then the file; a
    // window before the span being parsed, the span and what its matches read.
    // `base` is the stream position of data[0], `fill` the end of what is here.
    unsigned char data[kSzddWindow + kSzddLongestMatch + kSzddParseSpan + kSzddSpanSlack + 24];
    // Per key length: the newest stream position per hash of that many first
    // bytes, and how far back from each position the next one with the same
    // hash lies (0: none within the window).
    uint32_t head[kSzddKeyLevels][1u << kSzddHashBits];
    uint16_t older[kSzddKeyLevels][kSzddChainSlots];
    uint8_t matchLength[kSzddParseSpan + kSzddSpanSlack];
    uint16_t matchDistance[kSzddParseSpan + kSzddSpanSlack];
    uint8_t choice[kSzddParseSpan + kSzddSpanSlack];
    // Per position, the cheapest cost (with where) from it over 1, 2, 4, 8 positions.
    uint32_t least[kSzddParseSpan + kSzddSpanSlack + 9][4];
    unsigned char staging[kSzddStagingSize];
    uint32_t base, fill;
    uint32_t parsed;     // stream position where the next span starts
    uint32_t inserted;   // next stream position to enter the chains
    uint32_t greedyNext; // where a greedy parse puts its next item
    uint32_t stagingFill;
    uint32_t groupStart; // staging offset of the open group's flag byte
    uint32_t groupItems; // items in the open group
    uint32_t declared, taken;
    bool failed;
    SzddSink sink;
    void *context;
};

// Starts a file that expands to `size` bytes; its header goes out first.
void SzddEncoderInit(SzddEncoder *encoder, uint32_t size, unsigned char lastChar, SzddSink sink,
                     void *context);

// Takes the next `size` bytes of the file. Returns false once the sink has
// failed or more bytes came than were declared.
bool SzddEncoderWrite(SzddEncoder *encoder, const void *bytes, size_t size);

// Compresses what is left and hands everything to the sink. Returns false
// when the sink failed or the file's bytes were fewer or more than declared.
bool SzddEncoderFinish(SzddEncoder *encoder);
