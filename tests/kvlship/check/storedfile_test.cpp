// A stored file as the copy will read it: plain, compressed, or damaged.
#include "check/storedfile.h"

#include "formats/lzencode.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace
{

class StoredFileTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char folder[] = "/tmp/kvlship-storedfile-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    void TearDown() override
    {
        for (const std::string &path : written_)
            unlink(path.c_str());
        rmdir(folder_.c_str());
    }

    std::string Write(const char *name, const std::string &bytes)
    {
        std::string path = folder_ + "/" + name;
        FILE *file = fopen(path.c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
        written_.push_back(path);
        return path;
    }

    // A compressed file of `size` declared bytes, from `name` ending in
    // `lastChar`, holding the literals `text` (one group of eight at most).
    static std::string Compressed(uint32_t size, char lastChar, const std::string &text)
    {
        unsigned char header[kSzddHeaderLength];
        SzddWriteHeader(header, size, static_cast<unsigned char>(lastChar));
        return std::string(reinterpret_cast<char *>(header), sizeof header) + '\xFF' + text;
    }

    std::string folder_;
    std::vector<std::string> written_;
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
