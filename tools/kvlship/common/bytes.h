// Little-endian numbers in a byte string, as the Windows file formats store
// them. Reads are not checked: the caller has made sure the bytes are there.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

inline uint32_t Le16(const unsigned char *p)
{
    return p[0] | static_cast<uint32_t>(p[1]) << 8;
}

inline uint32_t Le32(const unsigned char *p)
{
    return Le16(p) | Le16(p + 2) << 16;
}

inline uint32_t Get16(const std::string &bytes, size_t at)
{
    return Le16(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
}

inline uint32_t Get32(const std::string &bytes, size_t at)
{
    return Le32(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
}

inline uint64_t Get64(const std::string &bytes, size_t at)
{
    return Get32(bytes, at) | static_cast<uint64_t>(Get32(bytes, at + 4)) << 32;
}

inline void Put16(std::string *out, uint32_t value)
{
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

inline void Put32(std::string *out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

inline void Put64(std::string *out, uint64_t value)
{
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

// Writes the `count` low bytes of `value` over the bytes at `at`.
inline void SetBytes(std::string *bytes, size_t at, uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
