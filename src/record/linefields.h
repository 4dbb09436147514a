// The line format the install record and the journal share: fields apart by
// tabs, lines built up in a bounded buffer. Inline so that every program and
// kit that reads either text takes them without another source file.
#pragma once

#include <stddef.h>
#include <string.h>

// Splits one line (already copied and terminated) at its tabs into at most
// `most` fields. Returns the count, or most + 1 when there are more.
inline int SplitFields(char *line, char **fields, int most)
{
    int count = 0;
    char *p = line;
    while (count < most) {
        fields[count++] = p;
        p = strchr(p, '\t');
        if (!p)
            return count;
        *p++ = 0;
    }
    return most + 1;
}

// Appends `text` to out[*used..size); false when it does not fit.
inline bool PutText(char *out, size_t size, size_t *used, const char *text)
{
    size_t length = strlen(text);
    if (*used + length >= size)
        return false;
    memcpy(out + *used, text, length + 1);
    *used += length;
    return true;
}
