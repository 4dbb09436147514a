#include "util/devicename.h"

#include <string.h>

namespace
{

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// '0'-'9', or a superscript one, two or three as code page 1252 has them.
bool IsPortDigit(char c)
{
    unsigned char byte = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

} // namespace

bool IsDeviceName(const char *name, size_t length)
{
    static const char kDevices[][8] = {"CON",    "PRN",     "AUX", "NUL",
                                       "CONIN$", "CONOUT$", "COM", "LPT"};
    size_t stem = 0;
    while (stem < length && name[stem] != '.')
        ++stem;
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    char upper[8] = {};
    if (stem >= sizeof upper)
        return false;
    for (size_t i = 0; i < stem; ++i)
        upper[i] = Upper(name[i]);
    // COM and LPT take one digit; the others none.
    bool port = stem == 4 && IsPortDigit(upper[3]);
    if (port)
        upper[3] = 0;
    for (int i = 0; i < 8; ++i) {
        if (memcmp(upper, kDevices[i], sizeof upper) == 0)
            return port == (i >= 6);
    }
    return false;
}

bool EndsInDeviceName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    return IsDeviceName(name, strlen(name));
}
