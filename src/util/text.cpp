#include "util/text.h"

#include <string.h>

int BoundedLength(const char *text, size_t size)
{
    const void *end = memchr(text, 0, size);
    return end ? static_cast<int>(static_cast<const char *>(end) - text) : -1;
}

int CopyText(char *dest, size_t size, const char *source)
{
    if (size == 0)
        return -1;
    size_t length = strlen(source);
    if (length >= size) {
        dest[0] = 0;
        return -1;
    }
    memcpy(dest, source, length + 1);
    return static_cast<int>(length);
}

int AppendText(char *dest, size_t size, const char *source)
{
    int used = BoundedLength(dest, size);
    if (used < 0)
        return -1;
    size_t length = strlen(source);
    if (used + length >= size)
        return -1;
    memcpy(dest + used, source, length + 1);
    return static_cast<int>(used + length);
}
