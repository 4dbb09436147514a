#include "copy/space.h"

#include "copy/copylist.h"
#include "core/context.h"
#include "setupmodule.h"
#include "tempdir.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace
{

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

std::string Root(const char *path)
{
    char root[kPathSize];
    return VolumeRoot(root, sizeof root, path) ? root : "<none>";
}

TEST(SpaceArithmetic, VolumeRootIsTheDriveOrTheShare)
{
    EXPECT_EQ(Root("c:\\Program Files\\Atlas"), "C:\\");
    EXPECT_EQ(Root("D:/Atlas"), "D:\\");
    EXPECT_EQ(Root("\\\\server\\share\\Atlas\\x"), "\\\\server\\share\\");
    EXPECT_EQ(Root("\\\\server\\share"), "\\\\server\\share\\");
    EXPECT_EQ(Root("\\\\server"), "<none>");
    EXPECT_EQ(Root("\\\\\\share"), "<none>");
    EXPECT_EQ(Root("Atlas\\x"), "<none>");
    EXPECT_EQ(Root("C:Atlas"), "<none>");
}

TEST(SpaceArithmetic, FilesAreGroupedByVolumeWithoutRegardToCase)
{
    SpaceTable table = {};
    VolumeSpace *c = VolumeOf(&table, "C:\\Program Files\\Atlas\\a.dat");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(VolumeOf(&table, "c:\\Windows\\atlas.ini"), c);
    VolumeSpace *d = VolumeOf(&table, "D:\\Atlas\\b.dat");
    VolumeSpace *share = VolumeOf(&table, "\\\\Server\\Share\\Atlas");
    EXPECT_EQ(VolumeOf(&table, "\\\\server\\share\\other"), share);
    EXPECT_NE(VolumeOf(&table, "\\\\server\\other\\x"), share);
    EXPECT_NE(d, c);
    EXPECT_EQ(table.count, 4);
    EXPECT_EQ(VolumeOf(&table, "relative\\x"), nullptr);
    // A full table places nothing more, and keeps what it has.
    char path[] = "A:\\x";
    for (char letter = 'E'; table.count < kSpaceVolumes; ++letter) {
        path[0] = letter;
        ASSERT_NE(VolumeOf(&table, path), nullptr);
    }
    EXPECT_EQ(VolumeOf(&table, "\\\\more\\shares"), nullptr);
    EXPECT_EQ(VolumeOf(&table, "d:\\again"), d);
}

TEST(SpaceArithmetic, SumsAreSixtyFourBitsAndNeverWrap)
{
    SpaceTable table = {};
    VolumeSpace *volume = VolumeOf(&table, "C:\\Atlas");
    for (int i = 0; i < 3; ++i)
        volume->needed = AddSaturating(volume->needed, RoundToCluster(2 * kGiB + 1, 4096));
    EXPECT_EQ(volume->needed, 3 * (2 * kGiB + 4096));
    EXPECT_EQ(AddSaturating(~0ull - 5, 10), ~0ull);
    EXPECT_EQ(RoundToCluster(~0ull - 5, 4096), ~0ull);
}

TEST(SpaceArithmetic, EachFileTakesWholeAllocationUnits)
{
    EXPECT_EQ(RoundToCluster(0, 4096), 0u);
    EXPECT_EQ(RoundToCluster(1, 4096), 4096u);
    EXPECT_EQ(RoundToCluster(4096, 4096), 4096u);
    EXPECT_EQ(RoundToCluster(4097, 512), 4608u);
    // Unknown, or not to be believed: the bytes themselves.
    EXPECT_EQ(RoundToCluster(4097, 0), 4097u);
    EXPECT_EQ(RoundToCluster(4097, 1024 * 1024), 4097u);
}

TEST(SpaceArithmetic, OnlyAVolumeKnownToBeTooSmallIsShort)
{
    SpaceTable table = {};
    VolumeSpace *c = VolumeOf(&table, "C:\\");
    VolumeSpace *d = VolumeOf(&table, "D:\\");
    VolumeSpace *e = VolumeOf(&table, "E:\\");
    c->needed = c->free = 5 * kGiB;
    c->freeKnown = 1;
    d->needed = 10; // its free space could not be read: the copy will tell
    e->needed = 4 * kGiB + 1;
    e->free = 4 * kGiB;
    e->freeKnown = 1;
    EXPECT_EQ(FirstShortVolume(&table), e);
    e->free = e->needed;
    EXPECT_EQ(FirstShortVolume(&table), nullptr);
}

std::string Size(uint64_t bytes, bool roundUp)
{
    char text[40];
    FormatSize(text, sizeof text, bytes, roundUp);
    return text;
}

TEST(SpaceArithmetic, SizesReadAsAPersonReadsThem)
{
    char text[40];
    FormatBytes(text, sizeof text, 5 * kGiB + 7);
    EXPECT_STREQ(text, "5,368,709,127");
    FormatBytes(text, sizeof text, 0);
    EXPECT_STREQ(text, "0");
    EXPECT_EQ(Size(512, true), "512 bytes");
    EXPECT_EQ(Size(1024 * 1024, true), "1.0 MB");
    // A need is never shown smaller than it is, nor free space larger.
    EXPECT_EQ(Size(1024 * 1024 + 1, true), "1.1 MB");
    EXPECT_EQ(Size(1024 * 1024 + 1, false), "1.0 MB");
    EXPECT_EQ(Size(1536, false), "1.5 KB");
    EXPECT_EQ(Size(5 * kGiB, false), "5.0 GB");
    EXPECT_EQ(Size(2048 * kGiB, false), "2.0 TB");
    EXPECT_EQ(Size(~0ull, false), "16,777,215.9 TB");
}

TEST(SpaceArithmetic, TheBoxNamesTheVolumeTheNeedAndTheFreeSpace)
{
    VolumeSpace volume = {};
    CopyText(volume.root, "T:\\");
    volume.needed = 3 * 1024 * 1024;
    volume.free = 1024 * 1024;
    char text[kPathSize + 256];
    ASSERT_TRUE(BuildNoSpaceText(text, sizeof text, &volume));
    EXPECT_STREQ(text, "There is not enough free space on T:\\ to install the product.\n\n"
                       "Needed: 3.0 MB\nFree: 1.0 MB\n\nNothing has been copied yet. Make room "
                       "on the drive and choose Retry, or choose Cancel to end the setup.");
    char small[40];
    EXPECT_FALSE(BuildNoSpaceText(small, sizeof small, &volume));
}

// The copy list against real files: what each entry needs, where.
class CopyNeedsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        memset(&g_setup, 0, sizeof g_setup);
        ResetCopyList();
        source_ = tree_.Folder("src");
        dest_ = tree_.Folder("dest");
        windows_ = tree_.Folder("win");
        CopyText(g_setup.sourceDir, (source_ + "\\").c_str());
        CopyText(g_setup.destDir, dest_.c_str());
        CopyText(g_setup.windowsDir, windows_.c_str());
    }
    void TearDown() override { ResetCopyList(); }

    void Source(const char *name, size_t size)
    {
        ASSERT_TRUE(testfs::WriteWhole(source_ + "\\" + name, std::string(size, 'x')));
    }

    testfs::TempTree tree_{"kvlspace"};
    std::string source_, dest_, windows_;
};

TEST_F(CopyNeedsTest, TheInstalledSizeOfACompressedSourceIsTheExpandedOne)
{
    uint64_t size = 0;
    ASSERT_TRUE(InstalledSize(testfs::Fixture("sample.bin_").c_str(), &size));
    EXPECT_EQ(size, testfs::ReadWhole(testfs::Fixture("sample.bin")).size());
    EXPECT_LT(testfs::ReadWhole(testfs::Fixture("sample.bin_")).size(), size);
    // Named by its installed name, the compressed twin is found as the copy finds it.
    ASSERT_TRUE(testfs::WriteWhole(source_ + "\\LZ.BI_",
                                   testfs::ReadWhole(testfs::Fixture("sample.bin_"))));
    uint64_t twin = 0;
    ASSERT_TRUE(InstalledSize((source_ + "\\LZ.BIN").c_str(), &twin));
    EXPECT_EQ(twin, size);
    Source("PLAIN.TXT", 1000);
    ASSERT_TRUE(InstalledSize((source_ + "\\PLAIN.TXT").c_str(), &size));
    EXPECT_EQ(size, 1000u);
    EXPECT_FALSE(InstalledSize((source_ + "\\NONE.TXT").c_str(), &size));
}

TEST_F(CopyNeedsTest, EveryFileTheCopyWritesCountsOnItsOwnVolume)
{
    Source("NEW.TXT", 5000);
    Source("OLD.TXT", 7000);
    Source("KEPT.TXT", 100000);
    Source("WIN.INI", 3000);
    Source("OWN.DAT", 9000);
    AddCopyEntry("NEW.TXT", "NEW.TXT", "", 0, 0, 0, 0, 0, 0);
    AddCopyEntry("OLD.TXT", "OLD.TXT", "", 0, 0, 1, 0, 0, 0);
    AddCopyEntry("KEPT.TXT", "KEPT.TXT", "", 0, 0, 0, 0, 0, 0);
    AddCopyEntry("WIN.INI", "WIN.INI", "", 1, 0, 0, 0, 0, 0);
    // A module's own entry with complete paths, on another volume.
    std::string own = source_ + "\\OWN.DAT";
    AddCopyEntry(own.c_str(), "Z:\\kvl-space-nowhere\\OWN.DAT", "", 0, 0, 0, 0, 0, 1);
    // A replaced file's old bytes stay until the end: the need is its whole new size.
    ASSERT_TRUE(testfs::WriteWhole(dest_ + "\\OLD.TXT", std::string(6000, 'o')));
    // An existing file the entry does not replace needs nothing.
    ASSERT_TRUE(testfs::WriteWhole(dest_ + "\\KEPT.TXT", "mine"));

    SpaceTable table;
    CountCopyNeeds(&table);
    VolumeSpace *here = VolumeOf(&table, dest_.c_str());
    ASSERT_NE(here, nullptr);
    EXPECT_TRUE(here->freeKnown);
    EXPECT_GT(here->free, 0u);
    uint32_t unit = here->cluster && here->cluster <= kLargestCluster ? here->cluster : 1;
    auto whole = [unit](uint64_t bytes) { return (bytes + unit - 1) / unit * unit; };
    EXPECT_EQ(here->needed, whole(5000) + whole(7000) + whole(3000));
    if (Root(dest_.c_str()) == "Z:\\") {
        EXPECT_EQ(table.count, 1);
        EXPECT_EQ(here->needed, whole(5000) + whole(7000) + whole(3000) + whole(9000));
    } else {
        ASSERT_EQ(table.count, 2);
        EXPECT_EQ(VolumeOf(&table, "Z:\\")->needed, RoundToCluster(9000, table.volumes[1].cluster));
    }
    EXPECT_EQ(FirstShortVolume(&table), nullptr);
}

// The only test that lists the data file through SM_GETSPACE: the list is
// read once per process.
TEST_F(CopyNeedsTest, AModuleLearnsWhatAFolderWouldNeedAndItsRecordIsReadWithinItsFields)
{
    Source("NEW.TXT", 5000);
    Source("TWO.TXT", 7000);
    ASSERT_TRUE(testfs::WriteWhole(source_ + "\\kvlsetup.dat",
                                   "[FILELIST]\r\ncbItem00=NEW.TXT, T, , 0, 0, 0, 0;\r\n"
                                   "cbItem01=TWO.TXT, T, Sub, 0, 0, 0, 0;\r\n"));
    SpaceQuery query = {};
    query.size = sizeof query;
    std::string folder = tree_ / "not yet\\Atlas";
    CopyText(query.folder, folder.c_str());
    ASSERT_EQ(AnswerSpaceQuery(&query), 1);
    EXPECT_EQ(std::string(query.volume), Root(folder.c_str()));
    DWORD sectors = 0, bytes = 0, free = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA(query.volume, &sectors, &bytes, &free, &total));
    uint64_t needed = static_cast<uint64_t>(query.neededHigh) << 32 | query.neededLow;
    EXPECT_EQ(needed,
              RoundToCluster(5000, sectors * bytes) + RoundToCluster(7000, sectors * bytes));
    EXPECT_GT(static_cast<uint64_t>(query.freeHigh) << 32 | query.freeLow, 0u);
    // The destination is as it was, and asking again lists nothing twice.
    EXPECT_EQ(std::string(g_setup.destDir), dest_);
    ASSERT_EQ(AnswerSpaceQuery(&query), 1);
    EXPECT_EQ(static_cast<uint64_t>(query.neededHigh) << 32 | query.neededLow, needed);

    query.size = sizeof query - 1;
    EXPECT_EQ(AnswerSpaceQuery(&query), 0);
    query.size = sizeof query;
    memset(query.folder, 'a', sizeof query.folder);
    EXPECT_EQ(AnswerSpaceQuery(&query), 0);
    CopyText(query.folder, "relative\\Atlas");
    EXPECT_EQ(AnswerSpaceQuery(&query), 0);
    EXPECT_EQ(AnswerSpaceQuery(nullptr), 0);
}

} // namespace
