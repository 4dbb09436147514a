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
