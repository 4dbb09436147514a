// Reading a stored file as the copy will.
#include "check/storedfile.h"

#include "common/hostfs.h"

#include "codec/szdd.h"

#include <stdio.h>

namespace
{

// Expands the rest of `file` after its first `got` bytes in `chunk`;
// returns how the expansion ended.
SzddStatus ExpandToEnd(FILE *file, unsigned char *chunk, size_t size, size_t got)
{
    static unsigned char room[1 << 16];
    static SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    SzddStatus status = kSzddNeedInput;
    while (status == kSzddNeedInput) {
        // A short read is the end of the file (or an error, told by the caller).
        bool ends = got < size;
        size_t at = 0;
        do {
            size_t used = 0, made = 0;
            status =
                SzddDecode(&decoder, chunk + at, got - at, &used, room, sizeof room, &made, ends);
            at += used;
        } while (status == kSzddNeedOutput);
        if (!ends)
            got = fread(chunk, 1, size, file);
    }
    return status;
}

} // namespace

StoredFile InspectStored(const std::string &path)
{
    StoredFile seen;
    FILE *file = OpenRegularFile(path, false);
    if (!file) {
        seen.damage = "cannot be read";
        return seen;
    }
    static unsigned char chunk[1 << 16];
    size_t got = fread(chunk, 1, sizeof chunk, file);
    seen.size = FileSize(path);
    seen.compressed = SzddStartsLike(chunk, got);
    SzddHeader header;
    if (seen.compressed && SzddParseHeader(chunk, got, &header)) {
        seen.lastChar = header.lastChar;
        seen.size = header.size;
    }
    SzddStatus status =
        seen.compressed ? ExpandToEnd(file, chunk, sizeof chunk, got) : kSzddNeedInput;
    if (ferror(file))
        seen.damage = "cannot be read";
    else if (status == kSzddCut)
        seen.damage = "is a compressed file cut short; its copy will fail";
    else if (seen.compressed && status != kSzddComplete)
        seen.damage = "is a damaged compressed file; its copy will fail";
    fclose(file);
    return seen;
}
