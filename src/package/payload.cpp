#include "package/payload.h"

#include <stdlib.h>
#include <string.h>

#include "codec/sha256.h"

extern "C" {
#include <LzmaDec.h>
}

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

void *Allocate(void *, size_t size)
{
    return malloc(size);
}

void Release(void *, void *address)
{
    free(address);
}

ISzAlloc g_allocator = {Allocate, Release};

// A name's letters before its extension, in upper case, against a device's.
bool IsDeviceName(const char *name, size_t length)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    char stem[8];
    size_t n = 0;
    while (n < length && name[n] != '.' && n < sizeof stem - 1) {
        char c = name[n];
        stem[n++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
    if (n < length && name[n] != '.')
        return false;
    stem[n] = 0;
    for (const char *device : kDevices) {
        if (strcmp(stem, device) == 0)
            return true;
    }
    return n == 4 && (memcmp(stem, "COM", 3) == 0 || memcmp(stem, "LPT", 3) == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

// One entry of the table at `*at`: its size and name, the position moved past it.
bool NextEntry(const PayloadIndex *index, uint32_t *at, uint32_t *size, const char **name,
               uint32_t *nameLength)
{
    if (index->tableSize - *at < 6)
        return false;
    const unsigned char *p = index->table + *at;
    *size = Le32(p);
    *nameLength = p[4] | static_cast<uint32_t>(p[5]) << 8;
    if (index->tableSize - *at - 6 < *nameLength)
        return false;
    *name = reinterpret_cast<const char *>(p + 6);
    *at += 6 + *nameLength;
    return true;
}

} // namespace

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
    memcpy(index->properties, header + 20, sizeof index->properties);
    index->plainSize = Le64(header + 32);
    index->packedSize = Le64(header + 40);
    memcpy(index->hash, header + kPayloadHashedHeader, sizeof index->hash);
    uint64_t room = source->size - sizeof header;
    if (index->fileCount > kPayloadMaxFiles || index->tableSize > kPayloadMaxTable ||
        index->tableSize > room || index->packedSize != room - index->tableSize)
        return PACKAGE_DAMAGED;
    CLzmaProps props;
    if (LzmaProps_Decode(&props, index->properties, LZMA_PROPS_SIZE) != SZ_OK ||
        props.dicSize > kPayloadMaxDictionary)
        return PACKAGE_DAMAGED;
    index->table = static_cast<unsigned char *>(malloc(index->tableSize ? index->tableSize : 1));
    if (!index->table)
        return PACKAGE_NO_MEMORY;
    if (!source->read(source->context, sizeof header, index->table, index->tableSize))
        return PACKAGE_DAMAGED;
    uint32_t at = 0, size, nameLength;
    const char *name;
    uint64_t total = 0;
    for (uint32_t i = 0; i < index->fileCount; ++i) {
        if (!NextEntry(index, &at, &size, &name, &nameLength) || !IsPayloadName(name, nameLength))
            return PACKAGE_DAMAGED;
        total += size;
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
    Sha256Update(&sha, header, kPayloadHashedHeader);
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
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    return whole && memcmp(digest, index->hash, sizeof digest) == 0 ? PACKAGE_OK : PACKAGE_DAMAGED;
}

namespace
{

// The unpacking's state: the decoder, its input chunk, the file being written.
struct Unpacker {
    const PayloadSource *source;
    const PayloadIndex *index;
    const PayloadSink *sink;
    CLzmaDec decoder;
    unsigned char *input;
    size_t inputUsed, inputHeld;
    uint64_t inputAt, inputLeft;
    uint32_t tableAt;
    uint32_t fileLeft;
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
        uint32_t size, nameLength;
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
        size_t take = size < u->fileLeft ? size : u->fileLeft;
        if (!u->sink->write(u->sink->context, bytes, take))
            return PACKAGE_SINK_FAILED;
        u->fileLeft -= static_cast<uint32_t>(take);
        bytes += take;
        size -= take;
    }
    return PACKAGE_OK;
}

PackageStatus Expand(Unpacker *u)
{
    uint32_t filesLeft = u->index->fileCount;
    uint64_t plainLeft = u->index->plainSize;
    // Files of no bytes come first or between others: begin and end them too.
    if (!NextFile(u, &filesLeft))
        return PACKAGE_SINK_FAILED;
    while (plainLeft > 0) {
        if (u->inputUsed == u->inputHeld) {
            if (u->inputLeft == 0)
                return PACKAGE_DAMAGED;
            size_t take = u->inputLeft < kChunk ? static_cast<size_t>(u->inputLeft) : kChunk;
            if (!u->source->read(u->source->context, u->inputAt, u->input, take))
                return PACKAGE_DAMAGED;
            u->inputAt += take;
            u->inputLeft -= take;
            u->inputUsed = 0;
            u->inputHeld = take;
        }
        CLzmaDec *d = &u->decoder;
        if (d->dicPos == d->dicBufSize)
            d->dicPos = 0;
        size_t start = d->dicPos;
        size_t room = d->dicBufSize - start;
        SizeT limit = start + (plainLeft < room ? static_cast<size_t>(plainLeft) : room);
        SizeT inSize = u->inputHeld - u->inputUsed;
        ELzmaStatus status;
        if (LzmaDec_DecodeToDic(d, limit, u->input + u->inputUsed, &inSize, LZMA_FINISH_ANY,
                                &status) != SZ_OK)
            return PACKAGE_DAMAGED;
        u->inputUsed += inSize;
        size_t made = d->dicPos - start;
        if (made == 0 && inSize == 0)
            return PACKAGE_DAMAGED;
        plainLeft -= made;
        PackageStatus delivered = Deliver(u, d->dic + start, made, &filesLeft);
        if (delivered != PACKAGE_OK)
            return delivered;
    }
    // The range coder's last bytes may be left unread; the hash has vouched
    // for them. Every file must have ended.
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
    LzmaDec_Construct(&u.decoder);
    CLzmaProps props;
    if (LzmaProps_Decode(&props, index->properties, LZMA_PROPS_SIZE) != SZ_OK ||
        props.dicSize > kPayloadMaxDictionary)
        return PACKAGE_DAMAGED;
    if (LzmaDec_AllocateProbs(&u.decoder, index->properties, LZMA_PROPS_SIZE, &g_allocator) !=
        SZ_OK)
        return PACKAGE_NO_MEMORY;
    // The dictionary need hold no more than all the files: no reference can
    // reach further back than the start.
    uint64_t want = props.dicSize < index->plainSize ? props.dicSize : index->plainSize;
    size_t dictionary = want < 4096 ? 4096 : static_cast<size_t>(want);
    u.decoder.dic = static_cast<Byte *>(malloc(dictionary));
    u.decoder.dicBufSize = dictionary;
    u.input = static_cast<unsigned char *>(malloc(kChunk));
    PackageStatus status = PACKAGE_NO_MEMORY;
    if (u.decoder.dic && u.input) {
        LzmaDec_Init(&u.decoder);
        status = Expand(&u);
    }
    free(u.input);
    free(u.decoder.dic);
    u.decoder.dic = nullptr;
    LzmaDec_FreeProbs(&u.decoder, &g_allocator);
    return status;
}
