// The single-file package's payload: a whole distribution folder, its files
// one after another in one zstd frame, behind a header and a file table.
// Plain code with no Windows header: the package's stub reads it, kvlship
// writes it (by the constants here), and the fuzzer tries it natively.
//
//   header    kPayloadHeaderSize bytes, little-endian:
//               0  magic "KVLPAK01"
//               8  u32 version (3)
//              12  u32 file count
//              16  u32 table size in bytes
//              20  12 zero bytes
//              32  u64 plain size: the files' sizes added up
//              40  u64 packed size: the zstd frame's bytes
//              48  SHA-256 of the table, the stream and bytes 0-47, in
//                  that order: kvlship hashes as it writes and fills in
//                  the header last
//   table     per file: u64 size, u16 name length, the name (a plain file
//             name in the ANSI code page, no folder)
//   stream    one zstd frame of the files in table order, its window at
//             most 2^kPayloadMaxWindowLog bytes
//
// The payload lies after the stub's last section; a locator in the stub's
// own section ".kvlpak" gives its offset and size (64-bit, so that a package
// may pass 4 GiB), so a signature appended to the file later changes nothing.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr char kPayloadMagic[8] = {'K', 'V', 'L', 'P', 'A', 'K', '0', '1'};
constexpr uint32_t kPayloadVersion = 3;
constexpr size_t kPayloadHeaderSize = 80;
constexpr size_t kPayloadHashedHeader = 48; // the header's bytes the hash covers
constexpr uint32_t kPayloadMaxFiles = 100000;
constexpr uint32_t kPayloadMaxTable = 16u << 20;
constexpr size_t kPayloadMaxName = 259;
// The largest window a stub allocates (the decoder refuses a frame that asks
// for more); kvlship never writes more.
constexpr int kPayloadMaxWindowLog = 27;

// The stub's locator, in its section ".kvlpak": kvlship finds it by its
// magic and fills in where the payload lies in the file.
constexpr char kLocatorMagic[8] = {'K', 'V', 'L', 'L', 'O', 'C', '0', '2'};
constexpr char kLocatorSection[8] = {'.', 'k', 'v', 'l', 'p', 'a', 'k', 0};
struct PackageLocator {
    char magic[8];
    uint64_t payloadOffset; // from the start of the file; 0: no payload
    uint64_t payloadSize;
};
static_assert(sizeof(PackageLocator) == 24, "the locator's layout is fixed");
// The locator of packages made before sizes were 64-bit (payload version 2):
// kvlship still knows such a package for one of its own.
constexpr char kOldLocatorMagic[8] = {'K', 'V', 'L', 'L', 'O', 'C', '0', '1'};
constexpr size_t kOldLocatorSize = 16;

// The table's bytes for one file of `nameLength` bytes.
constexpr size_t kPayloadEntryFixed = 10; // u64 size, u16 name length

enum PackageStatus {
    PACKAGE_OK = 0,
    PACKAGE_DAMAGED,   // cut short, changed, or not a payload
    PACKAGE_NO_MEMORY, // the window or the table could not be had
    PACKAGE_SINK_FAILED
};

// Where the payload's bytes come from: `read` fills `into` with `size` bytes
// from offset `at` of the payload, false when they are not all there.
struct PayloadSource {
    void *context;
    uint64_t size;
    bool (*read)(void *context, uint64_t at, void *into, size_t size);
};

// Where the files go, one after another: `begin` with the file's name and
// size, its bytes in `write` calls, then `end`. False from any stops the unpacking.
struct PayloadSink {
    void *context;
    bool (*begin)(void *context, const char *name, uint64_t size);
    bool (*write)(void *context, const void *bytes, size_t size);
    bool (*end)(void *context);
};

// The header and file table, read and checked for sense.
struct PayloadIndex {
    uint32_t fileCount;
    uint32_t tableSize;
    uint64_t plainSize;
    uint64_t packedSize;
    unsigned char hash[32];
    unsigned char *table; // tableSize bytes, from malloc; FreePayloadIndex frees it
};

// Reads and checks the header and the table: sizes that add up (without
// overflowing 64 bits), names that are plain file names. Nothing is trusted until CheckPayload has
// passed.
PackageStatus ReadPayloadIndex(const PayloadSource *source, PayloadIndex *index);
void FreePayloadIndex(PayloadIndex *index);

// The SHA-256 over the header, the table and the whole stream, against the
// header's: PACKAGE_OK only when every byte is as kvlship wrote it.
PackageStatus CheckPayload(const PayloadSource *source, const PayloadIndex *index);

// Expands the stream into the sink's files, in table order. The stream must
// give exactly the files' bytes.
PackageStatus UnpackPayload(const PayloadSource *source, const PayloadIndex *index,
                            const PayloadSink *sink);

// `*total` + `size` into `*total`; false (and `*total` unchanged) when the
// sum passes 64 bits.
bool AddSize(uint64_t *total, uint64_t size);

// True when `name` (`length` bytes) may be a file of the package's folder:
// no folder, no device name, nothing Windows would change.
bool IsPayloadName(const char *name, size_t length);
