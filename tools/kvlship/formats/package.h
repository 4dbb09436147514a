// The single-file package: the stub kvlpack.exe with a whole distribution
// appended as one zstd-compressed payload (src/package/payload.h), and the
// stub's version information rewritten with the product's.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// One file of the payload: its name in the distribution folder and where
// its bytes are read from.
struct PackFile {
    std::string name;
    std::string source;
};

// What the package's version information says.
struct PackVersion {
    std::string product;     // ProductName: the product's title
    std::string version;     // FileVersion, ProductVersion and the numbers
    std::string publisher;   // CompanyName
    std::string description; // FileDescription
    std::string fileName;    // OriginalFilename: the package's name
    std::string copyright;   // LegalCopyright: [package] copyright; left out when empty
};

// The payload's zstd level (with long-distance matching).
constexpr int kPackLevel = 19;

// How the payload is compressed: zstd's own workers cut the stream into jobs
// of kPackJobSize bytes, each matched against a prefix of the data before it
// (kPackOverlapLog 7: 4 MiB at the payload's level; each step up doubles
// it, and the time each job spends indexing it). Cut the same way for any
// number of workers (one or more), the stream is the same bytes whatever the
// number; the long-distance matcher still sees the whole window.
constexpr size_t kPackJobSize = 32u << 20;
constexpr int kPackOverlapLog = 7;
// The pieces a product file is read in.
constexpr size_t kPackPiece = 4u << 20;

// Each worker holds its own match tables (about 100 MiB at the payload's
// level and window) beside the jobs' input: beyond this many, memory would
// grow past about 1 GiB.
constexpr unsigned kPackMaxWorkers = 4;

struct PackOptions {
    int level = kPackLevel;
    unsigned workers = 1; // zstd's worker threads, at least one
};

// The stub, its version information rewritten, ready for a payload.
struct PreparedStub {
    std::string image;
    size_t locatorAt = 0;  // the locator's file offset
    size_t checksumAt = 0; // the PE header's checksum field
};

// `stub` (kvlpack.exe's bytes) with its version information from `version`.
// False with `why` (to be told of the stub) when it is no bare stub of this
// engine or the texts do not fit.
bool PrepareStub(const std::string &stub, const PackVersion &version, PreparedStub *prepared,
                 std::string *why);

struct PackResult {
    uint64_t plainSize = 0;   // the files' bytes
    uint64_t payloadSize = 0; // header, table and stream
    uint64_t packageSize = 0; // the stub and the payload
};

// Writes the package to `path`: the stub, then the payload of `files` in
// that order, compressed as each file is read in pieces (memory bounded
// whatever the files' sizes), hashed on the way; the header, the locator and
// the image's checksum are filled in last. The package appears under `path`
// only whole. False with `why` when a file cannot be read or changes, the
// payload would pass what the stub reads, or the package cannot be written.
bool WritePackageFile(const PreparedStub &stub, const std::vector<PackFile> &files,
                      const PackOptions &options, const std::string &path, PackResult *result,
                      std::string *why);

// The first bytes of the file at `path` (up to its PE headers and
// sections; a package's payload is not read) and its whole size. False when
// it is no plain file (with `followLinks`, a link to one counts).
bool ReadPackageHead(const std::string &path, bool followLinks, std::string *head,
                     uint64_t *fileSize);

// True when `head` begins a package kvlship made (or the bare stub), of this
// engine or an older one: a later build may replace such a file.
bool IsPackage(const std::string &head);

// Where the payload of the package whose file begins with `head` and is
// `fileSize` bytes lies, by its locator; false for the bare stub or anything
// that is no package, or a payload past the end. `older` is set for a
// package of 32-bit sizes (payload version 2), which this kvlship no longer reads.
bool FindPayload(const std::string &head, uint64_t fileSize, uint64_t *offset, uint64_t *size,
                 bool *older);

// The checksum of a PE image as the loader's CheckSumMappedFile computes it.
unsigned PeChecksum(const std::string &image);

// The version information resource (VS_VERSIONINFO) for `version`.
std::string VersionResource(const PackVersion &version);
