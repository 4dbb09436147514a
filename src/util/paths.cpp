#include "util/paths.h"

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

char LowerLetter(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool NormaliseFullPath(char *dest, size_t size, const char *path)
{
    if (size == 0)
        return false;
    dest[0] = 0;
    if (!IsAbsolutePath(path))
        return false;
    size_t used = 0;
    const char *p = path;
    if (IsSeparator(path[0])) {
        // \\server\share: both names are the root, which ".." never climbs.
        if (path[2] == '?' || path[2] == '.' || IsSeparator(path[2]))
            return false;
        if (size < 3)
            return false;
        dest[used++] = '\\';
        dest[used++] = '\\';
        p = path + 2;
        for (int name = 0; name < 2; ++name) {
            const char *end = p;
            while (*end && !IsSeparator(*end))
                ++end;
            if (end == p || used + static_cast<size_t>(end - p) + 2 > size) {
                dest[0] = 0;
                return false;
            }
            if (name == 1)
                dest[used++] = '\\';
            memcpy(dest + used, p, static_cast<size_t>(end - p));
            used += static_cast<size_t>(end - p);
            p = end;
            while (IsSeparator(*p))
                ++p;
        }
    } else {
        if (size < 4)
            return false;
        dest[used++] = path[0] >= 'a' && path[0] <= 'z' ? static_cast<char>(path[0] - 32) : path[0];
        dest[used++] = ':';
        dest[used++] = '\\';
        p = path + 3;
    }
    size_t root = used; // without its trailing backslash for a share
    for (;;) {
        while (IsSeparator(*p))
            ++p;
        if (!*p)
            break;
        const char *begin = p;
        while (*p && !IsSeparator(*p))
            ++p;
        const char *end = p;
        bool dots = end - begin == 2 && begin[0] == '.' && begin[1] == '.';
        // Windows drops a component's trailing dots and blanks ("a. " is "a").
        while (end > begin && (end[-1] == '.' || end[-1] == ' '))
            --end;
        if (dots) {
            while (used > root && dest[used - 1] != '\\')
                --used;
            if (used > root)
                --used; // its separator
            continue;
        }
        if (end == begin)
            continue; // "." or nothing but dots and blanks
        size_t length = static_cast<size_t>(end - begin);
        bool separator = dest[used - 1] != '\\';
        if (used + (separator ? 1 : 0) + length + 1 > size) {
            dest[0] = 0;
            return false;
        }
        if (separator)
            dest[used++] = '\\';
        memcpy(dest + used, begin, length);
        used += length;
    }
    dest[used] = 0;
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
