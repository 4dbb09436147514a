// The single-file package: the stub kvlpack.exe with a whole distribution
// appended as one zstd-compressed payload (src/package/payload.h), and the
// stub's version information rewritten with the product's.
#pragma once

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

// The payload of `files`, in that order. False with `why` when a file
// cannot be read or the payload would pass what the stub reads.
bool MakePayload(const std::vector<PackFile> &files, int level, std::string *payload,
                 std::string *why);

// The package: `stub` (kvlpack.exe's bytes) with its version information
// from `version`, the payload after its last section, the locator filled in
// and the image's checksum made right.
bool MakePackage(const std::string &stub, const PackVersion &version, const std::string &payload,
                 std::string *package, std::string *why);

// True when `bytes` are a package kvlship made (or the bare stub): a later
// build may replace such a file.
bool IsPackage(const std::string &bytes);

// Where the payload of the package `bytes` lies, by its locator; false for
// the bare stub or anything that is no package, or a payload past the end.
bool FindPayload(const std::string &bytes, size_t *offset, size_t *size);

// The checksum of a PE image as the loader's CheckSumMappedFile computes it.
unsigned PeChecksum(const std::string &image);

// The version information resource (VS_VERSIONINFO) for `version`.
std::string VersionResource(const PackVersion &version);
