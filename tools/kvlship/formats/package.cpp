// Writing the single-file package: the stub, its version information, the payload.
#include "formats/package.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "codec/sha256.h"
#include "common/bytes.h"
#include "common/hostfs.h"
#include "formats/pe.h"
#include "package/payload.h"

#include <stdio.h>

#include <zstd.h>

namespace
{

// The PE checksum's sum of little-endian 16-bit words, taken piece by piece
// as the file is written: `at` is the file offset of the next byte, which
// says whether it is a word's low or high byte.
struct WordSum {
    uint64_t sum = 0;
    uint64_t at = 0;
    void Add(const void *bytes, size_t size)
    {
        auto *p = static_cast<const unsigned char *>(bytes);
        for (size_t i = 0; i < size; ++i, ++at)
            sum += (at & 1) ? static_cast<uint64_t>(p[i]) << 8 : p[i];
    }
};

// The checksum of a file of `length` bytes whose words add up to `sum`
// (the checksum field counted as zero): the sum folded to 16 bits, plus the length.
unsigned FoldChecksum(uint64_t sum, uint64_t length)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<unsigned>(sum + length);
}

// The locator's file offset in the stub's section ".kvlpak", or 0; `older`
// tells a locator of 32-bit fields (packages of payload version 2).
size_t FindLocator(const std::string &image, const PeLayout &pe, bool *older)
{
    for (const PeSection &s : pe.sections) {
        if (memcmp(s.name, kLocatorSection, 8) != 0)
            continue;
        for (bool old : {false, true}) {
            const char *magic = old ? kOldLocatorMagic : kLocatorMagic;
            size_t size = old ? kOldLocatorSize : sizeof(PackageLocator);
            if (s.rawSize >= size && image.compare(s.rawOffset, 8, std::string(magic, 8)) == 0) {
                *older = old;
                return s.rawOffset;
            }
        }
    }
    return 0;
}

// The file offset of the data entry (offset, size, code page) of the first
// RT_VERSION resource, or 0. Every step stays within the resource section.
size_t FindVersionEntry(const std::string &image, const PeLayout &pe)
{
    size_t root = PeFileOffset(pe, pe.resourceRva, 16);
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
    PeLayout pe;
    std::string why, zeroed = image;
    if (ReadPeLayout(image, &pe, &why))
        SetBytes(&zeroed, pe.checksumAt, 0, 4);
    WordSum sum;
    sum.Add(zeroed.data(), zeroed.size());
    return FoldChecksum(sum.sum, zeroed.size());
}

bool PrepareStub(const std::string &stub, const PackVersion &version, PreparedStub *prepared,
                 std::string *why)
{
    PeLayout pe;
    if (!ReadPeLayout(stub, &pe, why))
        return false;
    bool older = false;
    size_t locator = FindLocator(stub, pe, &older);
    size_t entry = FindVersionEntry(stub, pe);
    if (locator == 0 || older || entry == 0 || Get32(stub, pe.certificateAt + 4) != 0 ||
        Get64(stub, locator + 8) != 0 || pe.end != stub.size() || stub.size() % 2 != 0) {
        *why = "is not a bare package stub (kvlpack.exe of this engine)";
        return false;
    }
    std::string image = stub;
    // The version information goes where the stub's own is, which is made
    // long enough for any reasonable texts.
    std::string resource = VersionResource(version);
    uint32_t room = Get32(image, entry + 4);
    size_t at = PeFileOffset(pe, Get32(image, entry), room);
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
    SetBytes(&image, entry + 4, resource.size(), 4);
    SetBytes(&image, pe.checksumAt, 0, 4);
    prepared->image = image;
    prepared->locatorAt = locator;
    prepared->checksumAt = pe.checksumAt;
    return true;
}

namespace
{

bool Seek(FILE *file, uint64_t at)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(at), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

// The file's size, by seeking to its end (64-bit on every host); the
// position is back at its start.
bool SizeOf(FILE *file, uint64_t *size)
{
#ifdef _WIN32
    bool ok = _fseeki64(file, 0, SEEK_END) == 0;
    long long end = ok ? _ftelli64(file) : -1;
#else
    bool ok = fseeko(file, 0, SEEK_END) == 0;
    long long end = ok ? static_cast<long long>(ftello(file)) : -1;
#endif
    *size = end < 0 ? 0 : static_cast<uint64_t>(end);
    return end >= 0 && Seek(file, 0);
}

// The payload's writing: the output file, the hash and the checksum's sum
// of what went into it so far.
struct PayloadWriter {
    FILE *out = nullptr;
    Sha256 sha;
    WordSum words;
    bool ok = true;
    void Put(const void *bytes, size_t size)
    {
        ok = ok && fwrite(bytes, 1, size, out) == size;
        Sha256Update(&sha, bytes, size);
        words.Add(bytes, size);
    }
};

// Runs the stream `in` (nothing left: `end` ends the frame) through the
// compressor into the payload; false when zstd fails.
bool Pump(ZSTD_CCtx *context, ZSTD_inBuffer *in, ZSTD_EndDirective end, std::vector<char> *room,
          PayloadWriter *writer, uint64_t *packed)
{
    for (;;) {
        ZSTD_outBuffer out = {room->data(), room->size(), 0};
        size_t left = ZSTD_compressStream2(context, &out, in, end);
        if (ZSTD_isError(left))
            return false;
        writer->Put(room->data(), out.pos);
        *packed += out.pos;
        bool drained = end == ZSTD_e_end ? left == 0 : in->pos == in->size;
        if (drained || !writer->ok)
            return writer->ok;
    }
}

// The compressor as the payload wants it: `level` with long-distance
// matching over a window of at most 2^kPayloadMaxWindowLog bytes, the
// frame's size in its header (a stub's window is then no larger than the
// files), no checksum (the payload's SHA-256 covers the frame), and the
// job cut that keeps the bytes the same for any number of workers.
ZSTD_CCtx *MakeCompressor(const PackOptions &options, uint64_t plainSize)
{
    ZSTD_CCtx *context = ZSTD_createCCtx();
    int workers = options.workers < 1 ? 1 : static_cast<int>(options.workers);
    if (context &&
        (ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, options.level)) ||
         ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1)) ||
         ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, kPayloadMaxWindowLog)) ||
         ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0)) ||
         ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, workers)) ||
         ZSTD_isError(
             ZSTD_CCtx_setParameter(context, ZSTD_c_jobSize, static_cast<int>(kPackJobSize))) ||
         ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_overlapLog, kPackOverlapLog)) ||
         ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context, plainSize)))) {
        ZSTD_freeCCtx(context);
        return nullptr;
    }
    return context;
}

// The table of `files` and their sizes added up; false with `why`.
bool MakeTable(const std::vector<PackFile> &files, std::string *table, uint64_t *plainSize,
               std::string *why)
{
    *plainSize = 0;
    for (const PackFile &file : files) {
        if (!IsPayloadName(file.name.data(), file.name.size())) {
            *why = file.name + " cannot be a file of the package";
            return false;
        }
        FILE *in = OpenRegularFile(file.source, true);
        uint64_t size = 0;
        bool sized = in && SizeOf(in, &size);
        if (in)
            fclose(in);
        if (!sized) {
            *why = file.source + " cannot be read";
            return false;
        }
        if (!AddSize(plainSize, size)) {
            *why = "the files add up to more bytes than a package holds";
            return false;
        }
        Put64(table, size);
        Put16(table, static_cast<uint32_t>(file.name.size()));
        *table += file.name;
    }
    if (files.size() > kPayloadMaxFiles || table->size() > kPayloadMaxTable) {
        *why = "the package would hold more files than its stub reads";
        return false;
    }
    return true;
}

// Compresses each file of `files` in pieces into the payload; false with `why`.
bool WriteStream(const std::vector<PackFile> &files, const std::string &table, ZSTD_CCtx *context,
                 PayloadWriter *writer, uint64_t *packed, std::string *why)
{
    std::vector<char> piece(kPackPiece), room(ZSTD_CStreamOutSize());
    size_t entry = 0;
    for (const PackFile &file : files) {
        uint64_t listed = Get64(table, entry), read = 0;
        entry += kPayloadEntryFixed + file.name.size();
        FILE *in = OpenRegularFile(file.source, true);
        if (!in) {
            *why = file.source + " cannot be read";
            return false;
        }
        size_t got;
        bool ok = true;
        while (ok && (got = fread(piece.data(), 1, piece.size(), in)) > 0) {
            read += got;
            ZSTD_inBuffer input = {piece.data(), got, 0};
            ok = read <= listed && Pump(context, &input, ZSTD_e_continue, &room, writer, packed);
        }
        bool failed = ferror(in) != 0;
        fclose(in);
        if (failed || read != listed) {
            *why = file.source + (failed ? " cannot be read" : " changed while it was packed");
            return false;
        }
        if (!ok) {
            *why = writer->ok ? "the compression failed (out of memory?)" : "it cannot be written";
            return false;
        }
    }
    ZSTD_inBuffer none = {nullptr, 0, 0};
    if (!Pump(context, &none, ZSTD_e_end, &room, writer, packed)) {
        *why = writer->ok ? "the compression failed (out of memory?)" : "it cannot be written";
        return false;
    }
    return true;
}

} // namespace

bool WritePackageFile(const PreparedStub &stub, const std::vector<PackFile> &files,
                      const PackOptions &options, const std::string &path, PackResult *result,
                      std::string *why)
{
    std::string table;
    uint64_t plainSize = 0, packed = 0;
    if (!MakeTable(files, &table, &plainSize, why))
        return false;
    ZSTD_CCtx *context = MakeCompressor(options, plainSize);
    if (!context) {
        *why = "zstd's compressor cannot be set up (out of memory, or built without its workers)";
        return false;
    }
    // Written beside its place first: a build cut short leaves no package
    // that a later build would not know for its own.
    std::string partial = path + ".partial";
    PayloadWriter writer;
    writer.out = fopen(partial.c_str(), "wb");
    if (!writer.out) {
        ZSTD_freeCCtx(context);
        *why = partial + " cannot be written";
        return false;
    }
    Sha256Init(&writer.sha);
    std::string image = stub.image;
    std::string placeholder(kPayloadHeaderSize, '\0');
    writer.ok = fwrite(image.data(), 1, image.size(), writer.out) == image.size() &&
                fwrite(placeholder.data(), 1, placeholder.size(), writer.out) == placeholder.size();
    // The hash and the checksum's sum start with the table; the image and
    // the header are summed once they are filled in.
    writer.words.at = image.size() + kPayloadHeaderSize;
    writer.Put(table.data(), table.size());
    bool ok = writer.ok && WriteStream(files, table, context, &writer, &packed, why);
    if (!writer.ok && why->empty())
        *why = partial + " cannot be written";
    ZSTD_freeCCtx(context);
    if (ok) {
        std::string header(kPayloadMagic, sizeof kPayloadMagic);
        Put32(&header, kPayloadVersion);
        Put32(&header, static_cast<uint32_t>(files.size()));
        Put32(&header, static_cast<uint32_t>(table.size()));
        header.append(12, '\0');
        Put64(&header, plainSize);
        Put64(&header, packed);
        Sha256Update(&writer.sha, header.data(), header.size());
        unsigned char digest[32];
        Sha256Final(&writer.sha, digest);
        header.append(reinterpret_cast<const char *>(digest), sizeof digest);
        result->plainSize = plainSize;
        result->payloadSize = kPayloadHeaderSize + table.size() + packed;
        result->packageSize = image.size() + result->payloadSize;
        SetBytes(&image, stub.locatorAt + 8, image.size(), 8);
        SetBytes(&image, stub.locatorAt + 16, result->payloadSize, 8);
        WordSum words = writer.words;
        words.at = 0;
        words.Add(image.data(), image.size());
        words.Add(header.data(), header.size());
        SetBytes(&image, stub.checksumAt, FoldChecksum(words.sum, result->packageSize), 4);
        ok = Seek(writer.out, 0) &&
             fwrite(image.data(), 1, image.size(), writer.out) == image.size() &&
             fwrite(header.data(), 1, header.size(), writer.out) == header.size();
        if (!ok)
            *why = partial + " cannot be written";
    }
    ok = fclose(writer.out) == 0 && ok;
#ifdef _WIN32
    // Windows' rename does not replace: the old package goes first.
    if (ok)
        remove(path.c_str());
#endif
    if (ok && rename(partial.c_str(), path.c_str()) != 0) {
        *why = path + " cannot be written";
        ok = false;
    }
    if (!ok) {
        if (why->empty())
            *why = partial + " cannot be written";
        remove(partial.c_str());
    }
    return ok;
}

bool ReadPackageHead(const std::string &path, bool followLinks, std::string *head,
                     uint64_t *fileSize)
{
    // The stub's headers and sections are far smaller; a package's payload is not read.
    constexpr size_t kHeadLimit = 4u << 20;
    FILE *file = OpenRegularFile(path, followLinks);
    if (!file)
        return false;
    bool ok = SizeOf(file, fileSize);
    head->assign(ok ? static_cast<size_t>(*fileSize < kHeadLimit ? *fileSize : kHeadLimit) : 0,
                 '\0');
    ok = ok && fread(&(*head)[0], 1, head->size(), file) == head->size();
    fclose(file);
    return ok;
}

bool IsPackage(const std::string &head)
{
    PeLayout pe;
    std::string why;
    bool older = false;
    return ReadPeLayout(head, &pe, &why) && FindLocator(head, pe, &older) != 0;
}

bool FindPayload(const std::string &head, uint64_t fileSize, uint64_t *offset, uint64_t *size,
                 bool *older)
{
    PeLayout pe;
    std::string why;
    *older = false;
    size_t locator = ReadPeLayout(head, &pe, &why) ? FindLocator(head, pe, older) : 0;
    if (locator == 0)
        return false;
    *offset = *older ? Get32(head, locator + 8) : Get64(head, locator + 8);
    *size = *older ? Get32(head, locator + 12) : Get64(head, locator + 16);
    return *offset != 0 && *offset <= fileSize && fileSize - *offset >= *size;
}
