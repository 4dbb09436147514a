#include "util/paths.h"

#include "util/devicename.h"

#include <string.h>

char *JoinPath(char *dest, size_t size, const char *first, const char *second)
{
    size_t firstLength = strlen(first);
    size_t secondLength = strlen(second);
    bool addSlash = firstLength > 0 && first[firstLength - 1] != '\\';
    size_t total = firstLength + (addSlash ? 1 : 0) + secondLength;
    if (size == 0)
        return nullptr;
    if (total >= size) {
        dest[0] = 0;
        return nullptr;
    }
    char *out = dest;
    memcpy(out, first, firstLength);
    out += firstLength;
    if (addSlash)
        *out++ = '\\';
    memcpy(out, second, secondLength);
    out += secondLength;
    *out = 0;
    return out;
}

bool FolderOfPath(char *dest, size_t size, const char *path)
{
    if (size == 0)
        return false;
    const char *lastSlash = strrchr(path, '\\');
    size_t length = lastSlash ? static_cast<size_t>(lastSlash - path) + 1 : 0;
    if (length >= size) {
        dest[0] = 0;
        return false;
    }
    memcpy(dest, path, length);
    dest[length] = 0;
    return true;
}

int QuoteCommand(char *command, size_t size)
{
    if (!strchr(command, ' '))
        return 0;
    size_t length = strlen(command);
    if (length + 2 >= size)
        return -1;
    memmove(command + 1, command, length);
    command[0] = '"';
    command[length + 1] = '"';
    command[length + 2] = 0;
    return 1;
}

namespace
{

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// A component of two or more dots climbs out of its folder: Windows takes
// "..." the way it takes "..".
bool IsDotsOnly(const char *begin, const char *end)
{
    if (end - begin < 2)
        return false;
    for (const char *p = begin; p < end; ++p) {
        if (*p != '.')
            return false;
    }
    return true;
}

} // namespace

bool IsAbsolutePath(const char *path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && IsSeparator(path[2]);
    bool share = IsSeparator(path[0]) && IsSeparator(path[1]);
    return drive || share;
}

bool StaysBelow(const char *relative)
{
    // A leading separator starts at the root of the drive (or of a share).
    if (IsSeparator(relative[0]))
        return false;
    const char *component = relative;
    for (const char *p = relative;; ++p) {
        // A colon names a drive (C:x is relative to that drive's folder) or a stream.
        if (*p == ':')
            return false;
        if (*p == 0 || IsSeparator(*p)) {
            if (IsDotsOnly(component, p))
                return false;
            if (*p == 0)
                return true;
            component = p + 1;
        }
    }
}

bool IsPlainName(const char *name)
{
    return name[0] && StaysBelow(name) && !strchr(name, '\\') && !strchr(name, '/');
}

namespace
{

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLetters(const char *text, const char *word, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (Upper(text[i]) != word[i])
            return false;
    }
    return true;
}

// A name of the path, `length` characters at `name`, with its trailing dots
// and blanks already dropped: false when it cannot name a folder.
bool IsUsableName(const char *name, size_t length)
{
    if (length == 0 || IsDeviceName(name, length))
        return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < ' ' || strchr("<>:\"|?*", c))
            return false;
    }
    return true;
}

// The length of the name at `p`, up to the next separator or the end.
size_t NameLength(const char *p)
{
    size_t length = 0;
    while (p[length] && !IsSeparator(p[length]))
        ++length;
    return length;
}

// Appends `length` characters of `text` to `dest` (its text `*used` long).
bool AppendPart(char *dest, size_t size, size_t *used, const char *text, size_t length)
{
    if (*used + length >= size)
        return false;
    memcpy(dest + *used, text, length);
    *used += length;
    dest[*used] = 0;
    return true;
}

// Writes the root of `path` to `dest`: "C:" for a drive (its backslash comes
// with the first name, or at the end), "\\server\share" for a share. Returns
// the text after the root, or nullptr when the path has neither.
const char *TakeRoot(const char *path, char *dest, size_t size, size_t *used)
{
    const char *p = path;
    bool share = IsSeparator(p[0]) && IsSeparator(p[1]);
    // A path the system takes as it stands: only its drive and share forms
    // are plain folders, and they are written the ordinary way here.
    if (share && (p[2] == '?' || p[2] == '.') && IsSeparator(p[3])) {
        if (p[2] == '.')
            return nullptr;
        p += 4;
        share = SameLetters(p, "UNC", 3) && IsSeparator(p[3]);
        if (share)
            p += 2; // "C\" of "UNC\" stands where the share's "\\" would be
        else if (!(IsDriveLetter(p[0]) && p[1] == ':' && IsSeparator(p[2])))
            return nullptr;
    }
    if (!share) {
        if (!(IsDriveLetter(p[0]) && p[1] == ':' && IsSeparator(p[2])))
            return nullptr;
        return AppendPart(dest, size, used, p, 2) ? p + 2 : nullptr;
    }
    if (!AppendPart(dest, size, used, "\\", 1))
        return nullptr;
    p += 2;
    // The server and the share: each one name, neither empty nor dots.
    for (int part = 0; part < 2; ++part) {
        size_t length = NameLength(p);
        if (!IsUsableName(p, length) || IsDotsOnly(p, p + length) || (length == 1 && *p == '.') ||
            !AppendPart(dest, size, used, "\\", 1) || !AppendPart(dest, size, used, p, length))
            return nullptr;
        p += length;
        if (part == 0 && !IsSeparator(*p))
            return nullptr;
        if (part == 0)
            ++p;
    }
    return p;
}

char LowerLetter(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool FullFolderPath(char *dest, size_t size, const char *path)
{
    if (size == 0)
        return false;
    dest[0] = 0;
    size_t used = 0;
    const char *p = TakeRoot(path, dest, size, &used);
    bool fine = p != nullptr;
    size_t rootLength = used;
    while (fine && *p) {
        if (IsSeparator(*p)) {
            ++p;
            continue;
        }
        size_t length = NameLength(p);
        const char *name = p;
        p += length;
        if (length == 1 && name[0] == '.')
            continue;
        if (length == 2 && name[0] == '.' && name[1] == '.') {
            // Up one folder, never above the root.
            while (used > rootLength && dest[used - 1] != '\\')
                --used;
            if (used > rootLength)
                --used;
            dest[used] = 0;
            continue;
        }
        // Windows drops them when it makes the folder: "Atlas. " is "Atlas".
        while (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' '))
            --length;
        fine = IsUsableName(name, length) && AppendPart(dest, size, &used, "\\", 1) &&
               AppendPart(dest, size, &used, name, length);
    }
    // A drive's root keeps its backslash: "C:" alone is the drive's current folder.
    if (fine && used == 2 && dest[1] == ':')
        fine = AppendPart(dest, size, &used, "\\", 1);
    if (!fine)
        dest[0] = 0;
    return fine;
}

bool NormaliseFullPath(char *dest, size_t size, const char *path)
{
    if (size == 0)
        return false;
    dest[0] = 0;
    // What an installation wrote is compared in the one spelling setup made
    // it: the long-path and device prefixes are nobody's record.
    if (!IsAbsolutePath(path) ||
        (IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == '?' || path[2] == '.')))
        return false;
    if (!FullFolderPath(dest, size, path))
        return false;
    if (dest[1] == ':')
        dest[0] = Upper(dest[0]);
    return true;
}

bool PathWithin(const char *path, const char *folder, bool orSame)
{
    size_t length = strlen(folder);
    if (length == 0)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (LowerLetter(path[i]) != LowerLetter(folder[i]))
            return false;
    }
    if (path[length] == 0)
        return orSame;
    return path[length] == '\\' || folder[length - 1] == '\\';
}
