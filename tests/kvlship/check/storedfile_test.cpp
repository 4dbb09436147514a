// A stored file as the copy will read it: plain, compressed, or damaged.
#include "check/storedfile.h"

#include "formats/lzencode.h"

#include "../tempfolder.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace
{

class StoredFileTest : public TempFolderTest
{
  protected:
    std::string Write(const char *name, const std::string &bytes) { return Put(name, bytes); }

    // A compressed file of `size` declared bytes, from `name` ending in
    // `lastChar`, holding the literals `text` (one group of eight at most).
    static std::string Compressed(uint32_t size, char lastChar, const std::string &text)
    {
        unsigned char header[kSzddHeaderLength];
        SzddWriteHeader(header, size, static_cast<unsigned char>(lastChar));
        return std::string(reinterpret_cast<char *>(header), sizeof header) + '\xFF' + text;
    }
};

} // namespace

TEST_F(StoredFileTest, TellsSizeCompressionAndDamage)
{
    StoredFile plain = InspectStored(Write("A.TXT", "plain text"));
    EXPECT_FALSE(plain.compressed);
    EXPECT_EQ(plain.size, 10);
    EXPECT_EQ(plain.damage, "");

    StoredFile sound = InspectStored(Write("B.EX_", Compressed(5, 'E', "hello")));
    EXPECT_TRUE(sound.compressed);
    EXPECT_EQ(sound.size, 5);
    EXPECT_EQ(sound.lastChar, 'E');
    EXPECT_EQ(sound.damage, "");

    StoredFile cut = InspectStored(Write("C.EX_", Compressed(50, 'E', "hello")));
    EXPECT_EQ(cut.size, 50);
    EXPECT_EQ(cut.damage, "is a compressed file cut short; its copy will fail");

    StoredFile longer = InspectStored(Write("D.EX_", Compressed(2, 'E', "hello")));
    EXPECT_EQ(longer.damage, "is a damaged compressed file; its copy will fail");

    EXPECT_EQ(InspectStored(folder_ + "/MISSING").damage, "cannot be read");
}
