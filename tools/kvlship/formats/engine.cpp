// What an engine's setup.exe takes, read from its version resource.
#include "formats/engine.h"

#include "common/hostfs.h"
#include "setupdist.h"

namespace
{

// `text` as the version resource stores it: UTF-16LE with its terminator.
std::string Wide(const char *text)
{
    std::string wide;
    for (; *text; ++text) {
        wide += *text;
        wide += '\0';
    }
    wide += std::string(2, '\0');
    return wide;
}

} // namespace

int EngineCopyEntries(const std::string &bytes)
{
    // A String of the version resource: its key, zero padding to a 4-byte
    // boundary, then its value, a decimal number in UTF-16LE.
    std::string key = Wide(SETUP_ENGINE_ENTRIES_VALUE);
    size_t at = bytes.find(key);
    if (at == std::string::npos)
        return SETUP_COPY_SLOTS;
    size_t p = at + key.size();
    while (p + 1 < bytes.size() && bytes[p] == 0 && bytes[p + 1] == 0 && p - at < key.size() + 4)
        p += 2;
    long value = 0;
    int digits = 0;
    for (; p + 1 < bytes.size() && bytes[p + 1] == 0 && bytes[p] >= '0' && bytes[p] <= '9' &&
           digits < 7;
         p += 2, ++digits)
        value = value * 10 + (bytes[p] - '0');
    bool ends = p + 1 < bytes.size() && bytes[p] == 0 && bytes[p + 1] == 0;
    if (digits == 0 || !ends || value < SETUP_COPY_SLOTS)
        return SETUP_COPY_SLOTS;
    return value > SETUP_MOST_COPY_ENTRIES ? SETUP_MOST_COPY_ENTRIES : static_cast<int>(value);
}

int EngineCopyEntriesIn(const std::string &folder)
{
    std::string bytes;
    if (!ReadWholeFile(JoinHost(folder, "setup.exe"), &bytes))
        return SETUP_COPY_SLOTS;
    return EngineCopyEntries(bytes);
}
