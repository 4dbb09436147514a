#include "formats/engine.h"

#include "setupdist.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Wide(const std::string &text)
{
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return wide + std::string(2, '\0');
}

// A version resource's String as the resource compiler lays it out: its
// header, key, padding to 4 bytes, value.
std::string VersionString(const std::string &key, const std::string &value, size_t padding)
{
    return std::string("\x30\x00\x06\x00\x01\x00", 6) + Wide(key) + std::string(padding, '\0') +
           Wide(value) + "more resource";
}

TEST(EngineCopyEntries, TheVersionValueGivesTheLimitAndItsAbsenceTheFixedList)
{
    EXPECT_EQ(EngineCopyEntries("MZ" + VersionString("CopyEntriesLimit", "65536", 0)), 65536);
    EXPECT_EQ(EngineCopyEntries("MZ" + VersionString("CopyEntriesLimit", "4000", 2)), 4000);
    // An older engine, or a value that cannot be one.
    EXPECT_EQ(EngineCopyEntries("MZ" + VersionString("FileVersion", "65536", 0)), SETUP_COPY_SLOTS);
    EXPECT_EQ(EngineCopyEntries("MZ" + VersionString("CopyEntriesLimit", "12", 0)),
              SETUP_COPY_SLOTS);
    EXPECT_EQ(EngineCopyEntries("MZ" + VersionString("CopyEntriesLimit", "9x", 0)),
              SETUP_COPY_SLOTS);
    EXPECT_EQ(EngineCopyEntries(Wide("CopyEntriesLimit")), SETUP_COPY_SLOTS); // cut short
    EXPECT_EQ(EngineCopyEntries("MZ" + VersionString("CopyEntriesLimit", "999999", 0)),
              SETUP_MOST_COPY_ENTRIES);
}

} // namespace
