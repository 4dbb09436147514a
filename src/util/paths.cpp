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
