#include "pack.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "codec/sha256.h"
#include "hostfs.h"
#include "package/payload.h"

#include <zstd.h>

namespace
{

void Put16(std::string *out, uint32_t value)
{
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string *out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put64(std::string *out, uint64_t value)
{
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Get16(const std::string &bytes, size_t at)
{
    return static_cast<unsigned char>(bytes[at]) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

uint32_t Get32(const std::string &bytes, size_t at)
{
    return Get16(bytes, at) | Get16(bytes, at + 2) << 16;
}

void Set32(std::string *bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One frame of `plain` at `level` with long-distance matching over a window
// of at most 2^kPayloadMaxWindowLog bytes, one thread: the same bytes on
// every run. The size is in the frame's header, so a stub's window is no
// larger than the files; no checksum, the payload's SHA-256 covers the frame.
bool Compress(const std::string &plain, int level, std::string *packed)
{
    ZSTD_CCtx *context = ZSTD_createCCtx();
    if (!context)
        return false;
    packed->resize(ZSTD_compressBound(plain.size()));
    size_t made = 0;
    bool ok =
        !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level)) &&
        !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1)) &&
        !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, kPayloadMaxWindowLog)) &&
        !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0)) &&
        !ZSTD_isError(made = ZSTD_compress2(context, &(*packed)[0], packed->size(), plain.data(),
                                            plain.size()));
    ZSTD_freeCCtx(context);
    packed->resize(ok ? made : 0);
    return ok;
}

// The PE image's facts that the package needs.
struct Section {
    char name[9];
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

struct PeImage {
    size_t checksumAt;
    size_t certificateAt; // the data directory entry of the certificate table
    uint32_t resourceRva;
    std::vector<Section> sections;
    size_t end; // where the last section's data ends
};

bool ReadPe(const std::string &image, PeImage *pe, std::string *why)
{
    *why = "is not a 32-bit Windows program";
    if (image.size() < 64 || image.compare(0, 2, "MZ") != 0)
        return false;
    size_t header = Get32(image, 60);
    if (header > image.size() || image.size() - header < 24 + 96 + 128 ||
        image.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    size_t sectionCount = Get16(image, header + 6);
    size_t optionalSize = Get16(image, header + 20);
    size_t optional = header + 24;
    if (Get16(image, optional) != 0x10b || optionalSize < 96 + 16 * 8)
        return false;
    pe->checksumAt = optional + 64;
    pe->certificateAt = optional + 96 + 4 * 8;
    pe->resourceRva = Get32(image, optional + 96 + 2 * 8);
    size_t table = optional + optionalSize;
    if (table + sectionCount * 40 > image.size())
        return false;
    pe->end = 0;
    for (size_t i = 0; i < sectionCount; ++i) {
        size_t at = table + 40 * i;
        Section s = {};
        memcpy(s.name, image.data() + at, 8);
        s.virtualSize = Get32(image, at + 8);
        s.virtualAddress = Get32(image, at + 12);
        s.rawSize = Get32(image, at + 16);
        s.rawOffset = Get32(image, at + 20);
        if (s.rawOffset > image.size() || image.size() - s.rawOffset < s.rawSize)
            return false;
        if (s.rawOffset + s.rawSize > pe->end)
            pe->end = s.rawOffset + s.rawSize;
        pe->sections.push_back(s);
    }
    why->clear();
    return true;
}

// The file offset of `size` bytes at `rva`, or 0 when no section holds them.
size_t FileOffset(const PeImage &pe, uint32_t rva, uint32_t size)
{
    for (const Section &s : pe.sections) {
        uint32_t room = s.rawSize < s.virtualSize ? s.rawSize : s.virtualSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress <= room &&
            room - (rva - s.virtualAddress) >= size)
            return s.rawOffset + (rva - s.virtualAddress);
    }
    return 0;
}

// The locator's file offset in the stub's section ".kvlpak", or 0.
size_t FindLocator(const std::string &image, const PeImage &pe)
{
    for (const Section &s : pe.sections) {
        if (memcmp(s.name, kLocatorSection, 8) == 0 && s.rawSize >= sizeof(PackageLocator) &&
            image.compare(s.rawOffset, sizeof kLocatorMagic,
                          std::string(kLocatorMagic, sizeof kLocatorMagic)) == 0)
            return s.rawOffset;
    }
    return 0;
}

// The file offset of the data entry (offset, size, code page) of the first
// RT_VERSION resource, or 0. Every step stays within the resource section.
size_t FindVersionEntry(const std::string &image, const PeImage &pe)
{
    size_t root = FileOffset(pe, pe.resourceRva, 16);
    if (root == 0)
        return 0;
    size_t limit = image.size();
    size_t directory = root;
    uint32_t wanted = 16; // RT_VERSION, then the first name and the first language
    for (int level = 0; level < 3; ++level) {
        if (directory + 16 > limit)
            return 0;
        size_t count = Get16(image, directory + 12) + Get16(image, directory + 14);
        size_t found = 0;
        for (size_t i = 0; i < count && directory + 16 + 8 * (i + 1) <= limit; ++i) {
            size_t entry = directory + 16 + 8 * i;
            if (level > 0 || Get32(image, entry) == wanted) {
                found = entry;
                break;
            }
        }
        if (found == 0)
            return 0;
        uint32_t next = Get32(image, found + 4);
        bool isDirectory = (next & 0x80000000u) != 0;
        if (isDirectory != (level < 2))
            return 0;
        directory = root + (next & 0x7FFFFFFFu);
    }
    return directory + 16 <= limit ? directory : 0;
}

// Text in the ANSI code page (Windows-1252) as UTF-16LE with its terminator.
std::string Wide(const std::string &text)
{
    static const uint16_t k1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string wide;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        Put16(&wide, byte >= 0x80 && byte < 0xA0 ? k1252[byte - 0x80] : byte);
    }
    Put16(&wide, 0);
    return wide;
}

void Align4(std::string *bytes)
{
    while (bytes->size() % 4)
        bytes->push_back(0);
}

// One node of the version information: length, value length, type, key,
// value, children, each part on a 4-byte boundary.
std::string Node(const std::string &key, const std::string &value, uint32_t valueLength,
                 uint32_t type, const std::string &children)
{
    std::string node(6, '\0');
    node += Wide(key);
    Align4(&node);
    node += value;
    if (!children.empty()) {
        Align4(&node);
        node += children;
    }
    node[0] = static_cast<char>(node.size() & 0xFF);
    node[1] = static_cast<char>(node.size() >> 8);
    node[2] = static_cast<char>(valueLength & 0xFF);
    node[3] = static_cast<char>(valueLength >> 8);
    node[4] = static_cast<char>(type);
    return node;
}

// "1.2.3.4" as the two numbers of a fixed version; parts that are no number count 0.
void VersionNumbers(const std::string &text, uint32_t *high, uint32_t *low)
{
    uint32_t parts[4] = {};
    size_t part = 0;
    for (size_t i = 0; i < text.size() && part < 4; ++i) {
        char c = text[i];
        if (c == '.')
            ++part;
        else if (c >= '0' && c <= '9')
            parts[part] = parts[part] * 10 + static_cast<uint32_t>(c - '0') > 0xFFFF
                              ? 0xFFFF
                              : parts[part] * 10 + static_cast<uint32_t>(c - '0');
        else
            break;
    }
    *high = parts[0] << 16 | parts[1];
    *low = parts[2] << 16 | parts[3];
}

} // namespace

std::string VersionResource(const PackVersion &version)
{
    std::string fixed;
    uint32_t high, low;
    VersionNumbers(version.version, &high, &low);
    const uint32_t words[13] = {0xFEEF04BD, 0x00010000,      high, low, high, low, 0x3F, 0,
                                0x00040004, 1 /* VFT_APP */, 0,    0,   0};
    for (uint32_t word : words)
        Put32(&fixed, word);
    std::string internal = version.fileName;
    size_t dot = internal.rfind('.');
    if (dot != std::string::npos)
        internal.resize(dot);
    const std::pair<const char *, const std::string *> texts[] = {
        {"CompanyName", &version.publisher},     {"FileDescription", &version.description},
        {"FileVersion", &version.version},       {"InternalName", &internal},
        {"OriginalFilename", &version.fileName}, {"ProductName", &version.product},
        {"ProductVersion", &version.version},    {"LegalCopyright", &version.copyright}};
    std::string strings;
    for (const auto &text : texts) {
        if (text.second->empty())
            continue;
        Align4(&strings);
        strings += Node(text.first, Wide(*text.second),
                        static_cast<uint32_t>(text.second->size() + 1), 1, "");
    }
    std::string table = Node("040904B0", "", 0, 1, strings);
    std::string stringInfo = Node("StringFileInfo", "", 0, 1, table);
    std::string translation;
    Put32(&translation, 0x04B00409);
    std::string var = Node("Translation", translation, 4, 0, "");
    std::string varInfo = Node("VarFileInfo", "", 0, 1, var);
    std::string children = stringInfo;
    Align4(&children);
    children += varInfo;
    return Node("VS_VERSION_INFO", fixed, static_cast<uint32_t>(fixed.size()), 0, children);
}

unsigned PeChecksum(const std::string &image)
{
    PeImage pe;
    std::string why;
    size_t skip = ReadPe(image, &pe, &why) ? pe.checksumAt : image.size();
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i == skip || i == skip + 2)
            continue;
        uint32_t word = static_cast<unsigned char>(image[i]);
        if (i + 1 < image.size())
            word |= static_cast<uint32_t>(static_cast<unsigned char>(image[i + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<unsigned>(sum + image.size());
}

bool MakePayload(const std::vector<PackFile> &files, int level, std::string *payload,
                 std::string *why)
{
    std::string table, plain, bytes;
    for (const PackFile &file : files) {
        if (!IsPayloadName(file.name.data(), file.name.size())) {
            *why = file.name + " cannot be a file of the package";
            return false;
        }
        if (!ReadWholeFile(file.source, &bytes)) {
            *why = file.source + " cannot be read";
            return false;
        }
        if (bytes.size() > 0xFFFFFFFFu) {
            *why = file.source + " is 4 GiB or more";
            return false;
        }
        Put32(&table, static_cast<uint32_t>(bytes.size()));
        Put16(&table, static_cast<uint32_t>(file.name.size()));
        table += file.name;
        plain += bytes;
    }
    if (files.size() > kPayloadMaxFiles || table.size() > kPayloadMaxTable) {
        *why = "the package would hold more files than its stub reads";
        return false;
    }
    std::string packed;
    if (!Compress(plain, level, &packed)) {
        *why = "the compression ran out of memory";
        return false;
    }
    std::string header(kPayloadMagic, sizeof kPayloadMagic);
    Put32(&header, kPayloadVersion);
    Put32(&header, static_cast<uint32_t>(files.size()));
    Put32(&header, static_cast<uint32_t>(table.size()));
    header.append(12, '\0');
    Put64(&header, plain.size());
    Put64(&header, packed.size());
    Sha256 sha;
    Sha256Init(&sha);
    Sha256Update(&sha, header.data(), header.size());
    Sha256Update(&sha, table.data(), table.size());
    Sha256Update(&sha, packed.data(), packed.size());
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    header.append(reinterpret_cast<const char *>(digest), sizeof digest);
    *payload = header + table + packed;
    return true;
}

bool MakePackage(const std::string &stub, const PackVersion &version, const std::string &payload,
                 std::string *package, std::string *why)
{
    PeImage pe;
    if (!ReadPe(stub, &pe, why))
        return false;
    size_t locator = FindLocator(stub, pe);
    size_t entry = FindVersionEntry(stub, pe);
    if (locator == 0 || entry == 0 || Get32(stub, pe.certificateAt + 4) != 0 ||
        Get32(stub, locator + 8) != 0 || pe.end != stub.size()) {
        *why = "is not a bare package stub (kvlpack.exe of this engine)";
        return false;
    }
    std::string image = stub;
    // The version information goes where the stub's own is, which is made
    // long enough for any reasonable texts.
    std::string resource = VersionResource(version);
    uint32_t room = Get32(image, entry + 4);
    size_t at = FileOffset(pe, Get32(image, entry), room);
    if (at == 0) {
        *why = "has no version information to replace";
        return false;
    }
    if (resource.size() > room) {
        *why = "has room for " + std::to_string(room) + " bytes of version information, and the " +
               "product's texts take " + std::to_string(resource.size()) + ": shorten them";
        return false;
    }
    image.replace(at, resource.size(), resource);
    std::fill(image.begin() + static_cast<long>(at + resource.size()),
              image.begin() + static_cast<long>(at + room), '\0');
    Set32(&image, entry + 4, static_cast<uint32_t>(resource.size()));
    if (image.size() + payload.size() > 0xFFFFFFFFu) {
        *why = "would be 4 GiB or more with its payload";
        return false;
    }
    Set32(&image, locator + 8, static_cast<uint32_t>(image.size()));
    Set32(&image, locator + 12, static_cast<uint32_t>(payload.size()));
    image += payload;
    Set32(&image, pe.checksumAt, PeChecksum(image));
    *package = image;
    return true;
}

bool IsPackage(const std::string &bytes)
{
    PeImage pe;
    std::string why;
    return ReadPe(bytes, &pe, &why) && FindLocator(bytes, pe) != 0;
}

bool FindPayload(const std::string &bytes, size_t *offset, size_t *size)
{
    PeImage pe;
    std::string why;
    size_t locator = ReadPe(bytes, &pe, &why) ? FindLocator(bytes, pe) : 0;
    if (locator == 0)
        return false;
    *offset = Get32(bytes, locator + 8);
    *size = Get32(bytes, locator + 12);
    return *offset != 0 && *offset <= bytes.size() && bytes.size() - *offset >= *size;
}
