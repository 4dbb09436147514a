// Reading shell link (.lnk) files back, portably.
#include "formats/shelllink.h"

#include "common/bytes.h"
#include "common/textout.h"

#include <stdio.h>

namespace
{

// Header and flags of the shell link format.
constexpr size_t kHeaderSize = 0x4C;
constexpr unsigned char kLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr size_t kFlagsAt = 0x14;
constexpr size_t kIconIndexAt = 0x38;
constexpr size_t kShowCommandAt = 0x3C;

constexpr unsigned kHasIdList = 0x01;
constexpr unsigned kHasLinkInfo = 0x02;
constexpr unsigned kHasName = 0x04;
constexpr unsigned kHasRelativePath = 0x08;
constexpr unsigned kHasWorkingDir = 0x10;
constexpr unsigned kHasArguments = 0x20;
constexpr unsigned kHasIconLocation = 0x40;
constexpr unsigned kIsUnicode = 0x80;

constexpr unsigned kInfoLocal = 0x01;
constexpr unsigned kInfoNetwork = 0x02;

// Every read checks its range first: a link is untrusted input.
class Bytes
{
  public:
    explicit Bytes(const std::vector<unsigned char> &data) : data_(data) {}

    bool Has(size_t at, size_t count) const
    {
        return at <= data_.size() && count <= data_.size() - at;
    }
    unsigned U16(size_t at) const { return Le16(&data_[at]); }
    unsigned U32(size_t at) const { return Le32(&data_[at]); }
    unsigned char At(size_t at) const { return data_[at]; }

    // `count` ANSI characters, or UTF-16 units when `wide`.
    std::string Text(size_t at, size_t count, bool wide) const
    {
        std::string text;
        for (size_t i = 0; i < count; ++i) {
            if (!wide) {
                AppendUtf8(text, AnsiCode(data_[at + i]));
                continue;
            }
            unsigned unit = U16(at + 2 * i);
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count) {
                unsigned low = U16(at + 2 * i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
            AppendUtf8(text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
        return text;
    }

    // A string that ends with a zero character before `end`; false without one.
    bool Terminated(size_t at, size_t end, bool wide, std::string *text) const
    {
        size_t unit = wide ? 2 : 1;
        for (size_t i = at; Has(i, unit) && i + unit <= end; i += unit) {
            if ((wide ? U16(i) : At(i)) == 0) {
                *text = Text(at, (i - at) / unit, wide);
                return true;
            }
        }
        return false;
    }

  private:
    const std::vector<unsigned char> &data_;
};

// The path the item id list names, as far as its items are drives and file
// system names: used only for links without link information.
std::string IdListPath(const Bytes &bytes, size_t at, size_t end)
{
    std::string path;
    while (bytes.Has(at, 2) && at + 2 <= end) {
        size_t size = bytes.U16(at);
        if (size < 3 || !bytes.Has(at, size) || at + size > end)
            break;
        unsigned char type = bytes.At(at + 2);
        std::string name;
        if ((type & 0x70) == 0x20 && bytes.Terminated(at + 3, at + size, false, &name)) {
            path = name;
        } else if ((type & 0x70) == 0x30 && bytes.Terminated(at + 14, at + size, false, &name)) {
            if (!path.empty() && path.back() != '\\')
                path += '\\';
            path += name;
        }
        at += size;
    }
    return path;
}

// A string of the link information at `info + offset`; the Unicode copy
// when the header holds one.
bool InfoString(const Bytes &bytes, size_t info, size_t end, size_t offset, size_t wideOffset,
                std::string *text)
{
    if (wideOffset && bytes.Terminated(info + wideOffset, end, true, text))
        return true;
    return offset && bytes.Terminated(info + offset, end, false, text);
}

bool ReadLinkInfo(const Bytes &bytes, size_t info, ShellLink *link, size_t *size,
                  std::string *problem)
{
    if (!bytes.Has(info, 28)) {
        *problem = "the link information is cut short";
        return false;
    }
    *size = bytes.U32(info);
    size_t headerSize = bytes.U32(info + 4);
    unsigned flags = bytes.U32(info + 8);
    if (*size < 28 || !bytes.Has(info, *size) || headerSize > *size) {
        *problem = "the link information's size is wrong";
        return false;
    }
    size_t end = info + *size;
    bool wide = headerSize >= 0x24;
    std::string base, suffix;
    InfoString(bytes, info, end, bytes.U32(info + 24), wide ? bytes.U32(info + 32) : 0, &suffix);
    if (flags & kInfoLocal) {
        InfoString(bytes, info, end, bytes.U32(info + 16), wide ? bytes.U32(info + 28) : 0, &base);
        link->target = base + suffix;
    } else if (flags & kInfoNetwork) {
        // A share: its name, then the path below it.
        size_t network = info + bytes.U32(info + 20);
        if (bytes.Has(network, 20) && network + 20 <= end) {
            size_t nameOffset = bytes.U32(network + 8);
            size_t wideName =
                nameOffset > 0x14 && network + 24 <= end ? bytes.U32(network + 20) : 0;
            InfoString(bytes, network, end, nameOffset, wideName, &base);
        }
        link->target = suffix.empty() ? base : base + "\\" + suffix;
    }
    return true;
}

// One counted string of the string data; advances `at` past it.
bool ReadCounted(const Bytes &bytes, size_t *at, bool wide, std::string *text, std::string *problem)
{
    if (!bytes.Has(*at, 2)) {
        *problem = "a string of the link is cut short";
        return false;
    }
    size_t count = bytes.U16(*at);
    size_t length = count * (wide ? 2 : 1);
    if (!bytes.Has(*at + 2, length)) {
        *problem = "a string of the link is cut short";
        return false;
    }
    *text = bytes.Text(*at + 2, count, wide);
    // Some writers count the terminator too (Wine's, for the working folder).
    text->resize(text->find('\0') == std::string::npos ? text->size() : text->find('\0'));
    *at += 2 + length;
    return true;
}

} // namespace

bool ReadShellLink(const std::vector<unsigned char> &data, ShellLink *link, std::string *problem)
{
    *link = ShellLink();
    Bytes bytes(data);
    if (!bytes.Has(0, kHeaderSize) || bytes.U32(0) != kHeaderSize) {
        *problem = "not a shell link (no link header)";
        return false;
    }
    for (size_t i = 0; i < sizeof kLinkClass; ++i) {
        if (bytes.At(4 + i) != kLinkClass[i]) {
            *problem = "not a shell link (wrong class)";
            return false;
        }
    }
    unsigned flags = bytes.U32(kFlagsAt);
    link->iconIndex = static_cast<int>(bytes.U32(kIconIndexAt));
    link->showCommand = static_cast<int>(bytes.U32(kShowCommandAt));
    size_t at = kHeaderSize;
    std::string idListTarget;
    if (flags & kHasIdList) {
        if (!bytes.Has(at, 2) || !bytes.Has(at + 2, bytes.U16(at))) {
            *problem = "the item id list is cut short";
            return false;
        }
        size_t size = bytes.U16(at);
        idListTarget = IdListPath(bytes, at + 2, at + 2 + size);
        at += 2 + size;
    }
    if (flags & kHasLinkInfo) {
        size_t size = 0;
        if (!ReadLinkInfo(bytes, at, link, &size, problem))
            return false;
        at += size;
    }
    if (link->target.empty())
        link->target = idListTarget;

    bool wide = (flags & kIsUnicode) != 0;
    struct {
        unsigned flag;
        std::string *field;
    } strings[] = {{kHasName, &link->description},
                   {kHasRelativePath, &link->relativePath},
                   {kHasWorkingDir, &link->workingFolder},
                   {kHasArguments, &link->arguments},
                   {kHasIconLocation, &link->iconLocation}};
    for (auto &string : strings) {
        if ((flags & string.flag) && !ReadCounted(bytes, &at, wide, string.field, problem))
            return false;
    }
    return true;
}

bool ReadShellLinkFile(const std::string &path, ShellLink *link, std::string *problem)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) {
        *problem = "cannot open " + path;
        return false;
    }
    // Links are small; a file past this size is not one worth reading.
    constexpr size_t kMostBytes = 1 << 20;
    std::vector<unsigned char> data;
    unsigned char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0 && data.size() < kMostBytes)
        data.insert(data.end(), chunk, chunk + got);
    fclose(file);
    return ReadShellLink(data, link, problem);
}
