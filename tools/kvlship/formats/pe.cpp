// The one reader of PE files: headers, sections, exports, imports, the hook match.
#include "formats/pe.h"

#include "common/bytes.h"
#include "common/hostfs.h"
#include "common/textout.h"

#include <ctype.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>

const char *const kHookNames[SETUP_HOOK_COUNT] = {SETUP_HOOKS(SETUP_HOOK_NAME_ENTRY)};

namespace
{

constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kImageDll = 0x2000;
constexpr uint16_t kMagicPe32 = 0x10b;
// The Windows loader takes no more sections than this (the PE format's own limit).
constexpr uint32_t kMostSections = 96;
constexpr uint32_t kSectionHeaderSize = 40;
// The PE32 optional header up to its data directories.
constexpr uint32_t kOptionalFixedSize = 96;

// A bounds-checked view of the file: every read says whether it fitted.
struct PeView {
    const std::string &bytes;
    uint32_t sectionTable = 0;
    uint32_t sections = 0;

    bool U16(uint32_t at, uint16_t *value) const
    {
        if (at > bytes.size() || bytes.size() - at < 2)
            return false;
        *value = static_cast<uint16_t>(Get16(bytes, at));
        return true;
    }
    bool U32(uint32_t at, uint32_t *value) const
    {
        if (at > bytes.size() || bytes.size() - at < 4)
            return false;
        *value = Get32(bytes, at);
        return true;
    }
    // File offset of a relative virtual address, through the section table.
    bool Offset(uint32_t rva, uint32_t *offset) const
    {
        for (uint32_t i = 0; i < sections; ++i) {
            uint32_t header = sectionTable + i * 40, size, address, raw, rawSize;
            if (!U32(header + 8, &size) || !U32(header + 12, &address) ||
                !U32(header + 16, &rawSize) || !U32(header + 20, &raw))
                return false;
            uint32_t span = size > rawSize ? size : rawSize;
            if (rva >= address && rva - address < span) {
                *offset = raw + (rva - address);
                return *offset < bytes.size();
            }
        }
        return false;
    }
    // A zero-terminated name at `rva`, at most 512 characters; no more is
    // looked at, however long the run of bytes without a zero.
    bool Name(uint32_t rva, std::string *name) const
    {
        uint32_t at;
        if (!Offset(rva, &at))
            return false;
        size_t span = std::min<size_t>(bytes.size() - at, 513);
        const void *end = memchr(bytes.data() + at, 0, span);
        if (!end)
            return false;
        *name = bytes.substr(at, static_cast<const char *>(end) - (bytes.data() + at));
        return true;
    }
};

void ReadExports(const PeView &view, uint32_t directory, PeModule *module)
{
    uint32_t at, count, names;
    if (!directory || !view.Offset(directory, &at) || !view.U32(at + 24, &count) ||
        !view.U32(at + 32, &names) || !view.Offset(names, &names))
        return;
    for (uint32_t i = 0; i < count && i < 65536; ++i) {
        uint32_t rva;
        std::string name;
        if (!view.U32(names + 4 * i, &rva) || !view.Name(rva, &name))
            return;
        module->exports.push_back(name);
    }
}

// Import descriptors are 20 bytes with the DLL's name at +12; delay-load
// ones are 32 bytes with it at +4 (a virtual address unless bit 0 of the
// attributes says relative).
void ReadImports(const PeView &view, uint32_t directory, uint32_t size, uint32_t nameAt,
                 uint32_t imageBase, PeModule *module)
{
    uint32_t at;
    if (!directory || !view.Offset(directory, &at))
        return;
    for (uint32_t i = 0; i < 4096; ++i, at += size) {
        uint32_t attributes, rva;
        std::string name;
        if (!view.U32(at, &attributes) || !view.U32(at + nameAt, &rva) || rva == 0)
            return;
        if (size == 32 && !(attributes & 1))
            rva -= imageBase;
        if (!view.Name(rva, &name))
            return;
        module->imports.push_back(name);
    }
}

// Edit distance, case ignored, that gives up above `limit`.
size_t Distance(const std::string &a, const std::string &b, size_t limit)
{
    std::string x = Lowered(a), y = Lowered(b);
    if ((x.size() > y.size() ? x.size() - y.size() : y.size() - x.size()) > limit)
        return limit + 1;
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t above = row[j];
            size_t best = diagonal + (x[i - 1] == y[j - 1] ? 0 : 1);
            if (above + 1 < best)
                best = above + 1;
            if (row[j - 1] + 1 < best)
                best = row[j - 1] + 1;
            row[j] = best;
            diagonal = above;
        }
    }
    return row[y.size()];
}

// "_Name@16" or "Name@16" without its decoration, else "".
std::string Undecorated(const std::string &name)
{
    size_t at = name.rfind('@');
    if (at == std::string::npos || at + 1 == name.size() ||
        name.find_first_not_of("0123456789", at + 1) != std::string::npos)
        return "";
    size_t begin = name[0] == '_' ? 1 : 0;
    return name.substr(begin, at - begin);
}

// Says why the file is not a whole 32-bit DLL: every header, the section
// table and each section's data must lie within it. Empty when it is one.
std::string WhyNotWhole(const PeView &view, uint32_t header, uint16_t optionalSize)
{
    uint32_t fileSize = static_cast<uint32_t>(view.bytes.size()), headersSize;
    uint64_t tableEnd = uint64_t(view.sectionTable) + uint64_t(view.sections) * kSectionHeaderSize;
    if (optionalSize < kOptionalFixedSize || uint64_t(header) + 24 + optionalSize > fileSize ||
        tableEnd > fileSize || !view.U32(header + 24 + 60, &headersSize) || headersSize > fileSize)
        return "cut short: its headers end beyond its " + std::to_string(fileSize) + " bytes";
    if (view.sections > kMostSections)
        return "not loadable: it has " + std::to_string(view.sections) +
               " sections, and Windows loads no more than " + std::to_string(kMostSections);
    for (uint32_t i = 0; i < view.sections; ++i) {
        uint32_t at = view.sectionTable + i * kSectionHeaderSize, rawSize = 0, raw = 0;
        view.U32(at + 16, &rawSize);
        view.U32(at + 20, &raw);
        if (rawSize > 0 && uint64_t(raw) + rawSize > fileSize) {
            std::string name = view.bytes.substr(at, 8);
            name = name.substr(0, name.find('\0'));
            return "cut short: its section " + name + " ends at byte " +
                   std::to_string(uint64_t(raw) + rawSize) + ", beyond its " +
                   std::to_string(fileSize) + " bytes";
        }
    }
    return "";
}

} // namespace

bool FindPeHeader(const std::string &bytes, uint32_t *header)
{
    if (bytes.size() < 64 || bytes.compare(0, 2, "MZ") != 0)
        return false;
    *header = Get32(bytes, 0x3c);
    return *header <= bytes.size() && bytes.compare(*header, 4, std::string("PE\0\0", 4)) == 0;
}

bool ReadPeLayout(const std::string &image, PeLayout *pe, std::string *why)
{
    *why = "is not a 32-bit Windows program";
    uint32_t header;
    if (!FindPeHeader(image, &header) || image.size() - header < 24 + 96 + 128)
        return false;
    size_t sectionCount = Get16(image, header + 6);
    size_t optionalSize = Get16(image, header + 20);
    size_t optional = header + 24;
    if (Get16(image, optional) != kMagicPe32 || optionalSize < kOptionalFixedSize + 16 * 8)
        return false;
    pe->checksumAt = optional + 64;
    pe->certificateAt = optional + kOptionalFixedSize + 4 * 8;
    pe->resourceRva = Get32(image, optional + kOptionalFixedSize + 2 * 8);
    size_t table = optional + optionalSize;
    if (table + sectionCount * kSectionHeaderSize > image.size())
        return false;
    pe->end = 0;
    for (size_t i = 0; i < sectionCount; ++i) {
        size_t at = table + kSectionHeaderSize * i;
        PeSection s = {};
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

size_t PeFileOffset(const PeLayout &pe, uint32_t rva, uint32_t size)
{
    for (const PeSection &s : pe.sections) {
        uint32_t room = s.rawSize < s.virtualSize ? s.rawSize : s.virtualSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress <= room &&
            room - (rva - s.virtualAddress) >= size)
            return s.rawOffset + (rva - s.virtualAddress);
    }
    return 0;
}

void ReadPeModule(const std::string &bytes, PeModule *module)
{
    *module = PeModule();
    PeView view{bytes};
    uint32_t header;
    uint16_t machine, sectionCount, optionalSize, characteristics, magic;
    if (bytes.size() > 0xffffffffu || !FindPeHeader(bytes, &header)) {
        module->problem = "not a Windows program library (no PE header)";
        return;
    }
    if (!view.U16(header + 4, &machine) || !view.U16(header + 6, &sectionCount) ||
        !view.U16(header + 20, &optionalSize) || !view.U16(header + 22, &characteristics) ||
        !view.U16(header + 24, &magic)) {
        module->problem =
            "cut short: its PE header ends beyond its " + std::to_string(bytes.size()) + " bytes";
        return;
    }
    if (machine != kMachineI386 || magic != kMagicPe32) {
        module->problem = "not a 32-bit (i386) library: setup.exe cannot load it";
        return;
    }
    if (!(characteristics & kImageDll)) {
        module->problem = "a program, not a DLL";
        return;
    }
    uint32_t optional = header + 24, imageBase = 0, directories = 0, exportRva, importRva, delayRva;
    view.sectionTable = optional + optionalSize;
    view.sections = sectionCount;
    module->problem = WhyNotWhole(view, header, optionalSize);
    if (!module->problem.empty())
        return;
    view.U32(optional + 28, &imageBase);
    view.U32(optional + 92, &directories);
    // Only the directories the optional header really holds.
    directories = std::min<uint32_t>(directories, (optionalSize - kOptionalFixedSize) / 8);
    exportRva = importRva = delayRva = 0;
    if (directories > 0)
        view.U32(optional + 96, &exportRva);
    if (directories > 1)
        view.U32(optional + 104, &importRva);
    if (directories > 13)
        view.U32(optional + 96 + 13 * 8, &delayRva);
    ReadExports(view, exportRva, module);
    ReadImports(view, importRva, 20, 12, imageBase, module);
    ReadImports(view, delayRva, 32, 4, imageBase, module);
}

HookMatch MatchHook(const std::string &exportName, const char **hook)
{
    *hook = nullptr;
    std::string plain = Undecorated(exportName);
    for (const char *name : kHookNames) {
        *hook = name;
        if (exportName == name)
            return HookMatch::Exact;
        if (!plain.empty() && (plain == name || Distance(plain, name, 2) <= 2))
            return HookMatch::Decorated;
    }
    for (const char *name : kHookNames) {
        *hook = name;
        if (Distance(exportName, name, 2) <= 2)
            return HookMatch::Misspelled;
    }
    *hook = nullptr;
    return HookMatch::None;
}

bool IsSystemDll(const std::string &name)
{
    // The libraries of every Windows this engine runs on; a compiler's runtime
    // (libgcc_s_dw2-1.dll, libstdc++-6.dll, libwinpthread-1.dll, the versioned
    // C runtimes) is not among them.
    static const char *const kSystem[] = {
        "kernel32.dll", "user32.dll",   "gdi32.dll",    "advapi32.dll", "shell32.dll", "ole32.dll",
        "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "msvcrt.dll",   "version.dll", "winmm.dll",
        "ws2_32.dll",   "wsock32.dll",  "shlwapi.dll",  "winspool.drv", "mpr.dll",     "rpcrt4.dll",
        "imm32.dll",    "setupapi.dll", "wininet.dll",  "crypt32.dll",  "msimg32.dll", "lz32.dll",
        "ntdll.dll",    "uxtheme.dll",  "userenv.dll",  "netapi32.dll", "secur32.dll", "psapi.dll",
    };
    std::string lowered = Lowered(name);
    for (const char *system : kSystem) {
        if (lowered == system)
            return true;
    }
    return false;
}
