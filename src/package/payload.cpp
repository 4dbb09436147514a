#include "package/payload.h"

#include <stdlib.h>
#include <string.h>

#include "codec/sha256.h"
#include "util/devicename.h"

#include <zstd.h>
#include <zstd_errors.h>

namespace
{

constexpr size_t kChunk = 256 * 1024;

uint32_t Le32(const unsigned char *p)
{
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Le64(const unsigned char *p)
{
    return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

// One entry of the table at `*at`: its size and name, the position moved past it.
bool NextEntry(const PayloadIndex *index, uint32_t *at, uint64_t *size, const char **name,
               uint32_t *nameLength)
{
    if (index->tableSize - *at < kPayloadEntryFixed)
        return false;
    const unsigned char *p = index->table + *at;
    *size = Le64(p);
    *nameLength = p[8] | static_cast<uint32_t>(p[9]) << 8;
    if (index->tableSize - *at - kPayloadEntryFixed < *nameLength)
        return false;
    *name = reinterpret_cast<const char *>(p + kPayloadEntryFixed);
    *at += kPayloadEntryFixed + *nameLength;
    return true;
}

} // namespace

bool AddSize(uint64_t *total, uint64_t size)
{
    if (size > UINT64_MAX - *total)
        return false;
    *total += size;
    return true;
}

bool IsPayloadName(const char *name, size_t length)
{
    if (length == 0 || length > kPayloadMaxName)
        return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32 || strchr("\\/:*?\"<>|", c))
            return false;
    }
    // Windows drops a trailing dot or blank: the file would land under another name.
    char last = name[length - 1];
    return last != '.' && last != ' ' && !IsDeviceName(name, length);
}

PackageStatus ReadPayloadIndex(const PayloadSource *source, PayloadIndex *index)
{
    memset(index, 0, sizeof *index);
    unsigned char header[kPayloadHeaderSize];
    if (source->size < sizeof header || !source->read(source->context, 0, header, sizeof header))
        return PACKAGE_DAMAGED;
    if (memcmp(header, kPayloadMagic, sizeof kPayloadMagic) != 0 ||
        Le32(header + 8) != kPayloadVersion)
        return PACKAGE_DAMAGED;
    index->fileCount = Le32(header + 12);
    index->tableSize = Le32(header + 16);
    index->plainSize = Le64(header + 32);
    index->packedSize = Le64(header + 40);
    memcpy(index->hash, header + kPayloadHashedHeader, sizeof index->hash);
    uint64_t room = source->size - sizeof header;
    if (index->fileCount > kPayloadMaxFiles || index->tableSize > kPayloadMaxTable ||
        index->tableSize > room || index->packedSize != room - index->tableSize)
        return PACKAGE_DAMAGED;
    for (size_t i = 20; i < 32; ++i) {
        if (header[i] != 0)
            return PACKAGE_DAMAGED;
    }
    index->table = static_cast<unsigned char *>(malloc(index->tableSize ? index->tableSize : 1));
    if (!index->table)
        return PACKAGE_NO_MEMORY;
    if (!source->read(source->context, sizeof header, index->table, index->tableSize))
        return PACKAGE_DAMAGED;
    uint32_t at = 0, nameLength;
    uint64_t size, total = 0;
    const char *name;
    for (uint32_t i = 0; i < index->fileCount; ++i) {
        if (!NextEntry(index, &at, &size, &name, &nameLength) || !IsPayloadName(name, nameLength) ||
            !AddSize(&total, size))
            return PACKAGE_DAMAGED;
    }
    if (at != index->tableSize || total != index->plainSize)
        return PACKAGE_DAMAGED;
    return PACKAGE_OK;
}

void FreePayloadIndex(PayloadIndex *index)
{
    free(index->table);
    index->table = nullptr;
}

PackageStatus CheckPayload(const PayloadSource *source, const PayloadIndex *index)
{
    unsigned char header[kPayloadHeaderSize];
    if (!source->read(source->context, 0, header, sizeof header))
        return PACKAGE_DAMAGED;
    Sha256 sha;
    Sha256Init(&sha);
    Sha256Update(&sha, index->table, index->tableSize);
    unsigned char *chunk = static_cast<unsigned char *>(malloc(kChunk));
    if (!chunk)
        return PACKAGE_NO_MEMORY;
    uint64_t at = kPayloadHeaderSize + index->tableSize;
    bool whole = true;
    for (uint64_t left = index->packedSize; left > 0 && whole;) {
        size_t take = left < kChunk ? static_cast<size_t>(left) : kChunk;
        whole = source->read(source->context, at, chunk, take);
        Sha256Update(&sha, chunk, take);
        at += take;
        left -= take;
    }
    free(chunk);
    Sha256Update(&sha, header, kPayloadHashedHeader);
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    return whole && memcmp(digest, index->hash, sizeof digest) == 0 ? PACKAGE_OK : PACKAGE_DAMAGED;
}

namespace
{

// The unpacking's state: the decoder, its input and output chunks, the file
// being written.
struct Unpacker {
    const PayloadSource *source;
    const PayloadIndex *index;
    const PayloadSink *sink;
    ZSTD_DStream *decoder;
    unsigned char *input, *output;
    ZSTD_inBuffer in;
    uint64_t inputAt, inputLeft;
    uint32_t tableAt;
    uint64_t fileLeft;
    bool inFile;
};

// Starts the next file of the table (and ends the one before).
bool NextFile(Unpacker *u, uint32_t *filesLeft)
{
    while (u->fileLeft == 0) {
        if (u->inFile && !u->sink->end(u->sink->context))
            return false;
        u->inFile = false;
        if (*filesLeft == 0)
            return true;
        --*filesLeft;
        uint64_t size;
        uint32_t nameLength;
        const char *name;
        if (!NextEntry(u->index, &u->tableAt, &size, &name, &nameLength))
            return false;
        char copy[kPayloadMaxName + 1];
        memcpy(copy, name, nameLength);
        copy[nameLength] = 0;
        if (!u->sink->begin(u->sink->context, copy, size))
            return false;
        u->inFile = true;
        u->fileLeft = size;
    }
    return true;
}

// Hands `size` expanded bytes to the files in turn.
PackageStatus Deliver(Unpacker *u, const unsigned char *bytes, size_t size, uint32_t *filesLeft)
{
    while (size > 0) {
        if (!NextFile(u, filesLeft))
            return PACKAGE_SINK_FAILED;
        if (!u->inFile)
            return PACKAGE_DAMAGED;
        size_t take = size < u->fileLeft ? size : static_cast<size_t>(u->fileLeft);
        if (!u->sink->write(u->sink->context, bytes, take))
            return PACKAGE_SINK_FAILED;
        u->fileLeft -= take;
        bytes += take;
        size -= take;
    }
    return PACKAGE_OK;
}

PackageStatus Failed(size_t result)
{
    return ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation ? PACKAGE_NO_MEMORY
                                                                     : PACKAGE_DAMAGED;
}

PackageStatus Expand(Unpacker *u)
{
    uint32_t filesLeft = u->index->fileCount;
    uint64_t plainLeft = u->index->plainSize;
    // Files of no bytes come first or between others: begin and end them too.
    if (!NextFile(u, &filesLeft))
        return PACKAGE_SINK_FAILED;
    for (;;) {
        if (u->in.pos == u->in.size) {
            if (u->inputLeft == 0)
                return PACKAGE_DAMAGED; // the frame is cut short
            size_t take = u->inputLeft < kChunk ? static_cast<size_t>(u->inputLeft) : kChunk;
            if (!u->source->read(u->source->context, u->inputAt, u->input, take))
                return PACKAGE_DAMAGED;
            u->inputAt += take;
            u->inputLeft -= take;
            u->in.src = u->input;
            u->in.pos = 0;
            u->in.size = take;
        }
        // Never more room than the files have left: a frame that holds more
        // than the table says stalls and is refused below.
        ZSTD_outBuffer out = {u->output,
                              plainLeft < kChunk ? static_cast<size_t>(plainLeft) : kChunk, 0};
        size_t before = u->in.pos;
        size_t result = ZSTD_decompressStream(u->decoder, &out, &u->in);
        if (ZSTD_isError(result))
            return Failed(result);
        plainLeft -= out.pos;
        PackageStatus delivered = Deliver(u, u->output, out.pos, &filesLeft);
        if (delivered != PACKAGE_OK)
            return delivered;
        if (result == 0)
            break; // the frame has ended
        if (out.pos == 0 && u->in.pos == before && u->in.pos < u->in.size)
            return PACKAGE_DAMAGED;
    }
    // The frame must end with the files' last byte and the payload's.
    if (plainLeft != 0 || u->in.pos != u->in.size || u->inputLeft != 0)
        return PACKAGE_DAMAGED;
    if (!NextFile(u, &filesLeft))
        return PACKAGE_SINK_FAILED;
    return filesLeft == 0 && !u->inFile ? PACKAGE_OK : PACKAGE_DAMAGED;
}

} // namespace

PackageStatus UnpackPayload(const PayloadSource *source, const PayloadIndex *index,
                            const PayloadSink *sink)
{
    Unpacker u = {};
    u.source = source;
    u.index = index;
    u.sink = sink;
    u.inputAt = kPayloadHeaderSize + index->tableSize;
    u.inputLeft = index->packedSize;
    // The window the frame asks for is allocated as the frame begins, never
    // more than the files add up to; beyond the limit the frame is refused.
    u.decoder = ZSTD_createDStream();
    u.input = static_cast<unsigned char *>(malloc(kChunk));
    u.output = static_cast<unsigned char *>(malloc(kChunk));
    PackageStatus status = PACKAGE_NO_MEMORY;
    if (u.decoder && u.input && u.output &&
        !ZSTD_isError(ZSTD_DCtx_setParameter(u.decoder, ZSTD_d_windowLogMax, kPayloadMaxWindowLog)))
        status = Expand(&u);
    free(u.output);
    free(u.input);
    ZSTD_freeDStream(u.decoder);
    return status;
}
