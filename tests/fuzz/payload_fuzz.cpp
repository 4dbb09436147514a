// The package's payload reader on any bytes: the header and table checks,
// the hash, and the expansion (tried even where the hash fails, so that the
// zstd frame and the splitting into files meet any input). Whatever it
// expands must give each file exactly its size.
// fuzz-sources: src/package/payload.cpp src/codec/sha256.cpp src/util/devicename.cpp
// fuzz-sources: src/package/zstd_decoder.c src/package/zstd_decoder_fast.c
// fuzz-include: $ZSTD_LIB_DIR
#include "package/payload.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace
{

struct Memory {
    const uint8_t *data;
    size_t size;
};

bool ReadMemory(void *context, uint64_t at, void *into, size_t size)
{
    auto *memory = static_cast<Memory *>(context);
    if (at > memory->size || memory->size - at < size)
        return false;
    memcpy(into, memory->data + at, size);
    return true;
}

struct Count {
    bool open;
    uint64_t expected;
    uint64_t got, total;
    uint32_t files;
};

bool Begin(void *context, const char *name, uint64_t size)
{
    auto *count = static_cast<Count *>(context);
    if (count->open || !IsPayloadName(name, strlen(name)))
        abort();
    count->open = true;
    count->expected = size;
    count->got = 0;
    return true;
}

bool Write(void *context, const void *, size_t size)
{
    auto *count = static_cast<Count *>(context);
    count->got += size;
    count->total += size;
    if (!count->open || count->got > count->expected)
        abort();
    return true;
}

bool End(void *context)
{
    auto *count = static_cast<Count *>(context);
    if (!count->open || count->got != count->expected)
        abort();
    count->open = false;
    ++count->files;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t *copy = static_cast<uint8_t *>(malloc(size ? size : 1));
    memcpy(copy, data, size);
    Memory memory = {copy, size};
    PayloadSource source = {&memory, size, ReadMemory};
    PayloadIndex index;
    if (ReadPayloadIndex(&source, &index) == PACKAGE_OK) {
        CheckPayload(&source, &index);
        Count count = {};
        PayloadSink sink = {&count, Begin, Write, End};
        if (UnpackPayload(&source, &index, &sink) == PACKAGE_OK &&
            (count.total != index.plainSize || count.files != index.fileCount || count.open))
            abort();
    }
    FreePayloadIndex(&index);
    free(copy);
    return 0;
}
