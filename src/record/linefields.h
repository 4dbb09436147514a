// The line format the install record and the journal share: fields apart by
// tabs, lines built up in a bounded buffer. Inline so that every program and
// kit that reads either text takes them without another source file.
#pragma once

#include <stddef.h>
#include <stdint.h>
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

// A hex number of 1 to 16 digits, the whole field, as the writer writes it:
// small letters, no leading zero (`digits` of them exactly when given).
inline bool ReadHex(const char *text, uint64_t *value, size_t digits = 0)
{
    size_t length = strlen(text);
    if (length == 0 || length > 16 || (digits ? length != digits : length > 1 && text[0] == '0'))
        return false;
    *value = 0;
    for (const char *p = text; *p; ++p) {
        char c = *p;
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        *value = (*value << 4) | static_cast<uint64_t>(digit);
    }
    return true;
}
