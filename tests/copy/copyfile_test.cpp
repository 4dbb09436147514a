#include "copy/copyfile.h"

#include "tempdir.h"
#include "util/files.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

class CopyOneFileTest : public ::testing::Test
{
  protected:
    std::string Dest(const char *name) const { return tree_ / name; }
    // Temporary files the copy may have left in the destination folder.
    size_t Leftovers() const { return testfs::List(tree_.Path(), "kvl*.tmp").size(); }

    testfs::TempTree tree_{"kvlcopyfile"};
};

TEST_F(CopyOneFileTest, CompressedSourceArrivesExpandedByteExact)
{
    std::string dest = Dest("SAMPLE.BIN");
    EXPECT_EQ(CopyOneFile(testfs::Fixture("sample.bin_").c_str(), dest.c_str()), 1);
    std::string expanded = testfs::ReadWhole(dest);
    std::string original = testfs::ReadWhole(testfs::Fixture("sample.bin"));
    EXPECT_EQ(expanded.size(), original.size());
    EXPECT_TRUE(expanded == original);
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(CopyOneFileTest, PlainSourceIsCopiedUnchanged)
{
    std::string source = tree_ / "plain.txt";
    std::string content = "plain text, not compressed\r\n";
    for (int i = 0; i < 200; ++i)
        content += static_cast<char>(i);
    ASSERT_TRUE(testfs::WriteWhole(source, content));
    std::string empty = tree_ / "empty.txt";
    ASSERT_TRUE(testfs::WriteWhole(empty, ""));

    EXPECT_EQ(CopyOneFile(source.c_str(), Dest("COPY.TXT").c_str()), 1);
    EXPECT_EQ(testfs::ReadWhole(Dest("COPY.TXT")), content);
    EXPECT_EQ(CopyOneFile(empty.c_str(), Dest("EMPTY2.TXT").c_str()), 1);
    EXPECT_EQ(testfs::ReadWhole(Dest("EMPTY2.TXT")), "");
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(CopyOneFileTest, ExistingDestinationIsReplacedWhole)
{
    std::string dest = Dest("SAMPLE.BIN");
    std::string longer(300000, 'x'); // longer than the new content: no tail may stay
    ASSERT_TRUE(testfs::WriteWhole(dest, longer));
    EXPECT_EQ(CopyOneFile(testfs::Fixture("sample.bin_").c_str(), dest.c_str()), 1);
    EXPECT_TRUE(testfs::ReadWhole(dest) == testfs::ReadWhole(testfs::Fixture("sample.bin")));
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(CopyOneFileTest, ShortCompressedFileFailsAndLeavesTheOldFile)
{
    std::string dest = Dest("SAMPLE.BIN");
    ASSERT_TRUE(testfs::WriteWhole(dest, "the old content"));
    EXPECT_EQ(CopyOneFile(testfs::Fixture("short.bin_").c_str(), dest.c_str()), 0);
    EXPECT_EQ(testfs::ReadWhole(dest), "the old content");
    EXPECT_EQ(Leftovers(), 0u);

    // Nor does a cut file leave a partial one where there was none.
    EXPECT_EQ(CopyOneFile(testfs::Fixture("short.bin_").c_str(), Dest("NEW.BIN").c_str()), 0);
    EXPECT_EQ(testfs::ReadWhole(Dest("NEW.BIN")), "<missing>");
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(CopyOneFileTest, MissingSourceOrFolderFailsWithoutTouchingAnything)
{
    std::string dest = Dest("KEEP.TXT");
    ASSERT_TRUE(testfs::WriteWhole(dest, "kept"));
    EXPECT_EQ(CopyOneFile((tree_ / "no-such-file.txt").c_str(), dest.c_str()), 0);
    EXPECT_EQ(testfs::ReadWhole(dest), "kept");

    std::string intoMissingFolder = tree_ / "missing\\A.BIN";
    EXPECT_EQ(CopyOneFile(testfs::Fixture("sample.bin").c_str(), intoMissingFolder.c_str()), 0);
    EXPECT_EQ(testfs::List(tree_.Path()), (std::vector<std::string>{"KEEP.TXT"}));
}

TEST_F(CopyOneFileTest, DeviceAtEitherEndFailsAndNothingLands)
{
    std::string plain = tree_ / "plain.txt";
    ASSERT_TRUE(testfs::WriteWhole(plain, "text"));
    for (const char *device : {"CON .TXT", "nul.txt"}) {
        // A device answers the search: it must not pass for a file to keep.
        EXPECT_EQ(FileExists(Dest(device).c_str()), 0) << device;
        SetLastError(0);
        EXPECT_EQ(CopyOneFile(plain.c_str(), Dest(device).c_str()), 0) << device;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << device;
        EXPECT_EQ(CopyOneFile(Dest(device).c_str(), Dest("OUT.TXT").c_str()), 0) << device;
    }
    EXPECT_EQ(testfs::List(tree_.Path()), (std::vector<std::string>{"plain.txt"}));
}

TEST_F(CopyOneFileTest, FolderInTheWayFailsAndLeavesNoTemporaryFile)
{
    std::string dest = Dest("DATA");
    CreateDirectoryA(dest.c_str(), nullptr);
    EXPECT_EQ(CopyOneFile(testfs::Fixture("sample.bin").c_str(), dest.c_str()), 0);
    EXPECT_TRUE(testfs::IsFolder(dest));
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(CopyOneFileTest, LongPathsWithinTheLimitCopy)
{
    // Folders deep enough that source and destination paths exceed the 128
    // characters of the old file-open record, yet stay within the path limit.
    std::string deep = tree_.Path();
    while (deep.size() < 150) {
        deep += "\\level-of-a-deep-tree";
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    std::string source = deep + "\\sample.bin_";
    ASSERT_TRUE(CopyFileA(testfs::Fixture("sample.bin_").c_str(), source.c_str(), FALSE));
    std::string dest = deep + "\\sample.bin";
    ASSERT_LT(dest.size(), 240u);
    EXPECT_EQ(CopyOneFile(source.c_str(), dest.c_str()), 1);
    EXPECT_TRUE(testfs::ReadWhole(dest) == testfs::ReadWhole(testfs::Fixture("sample.bin")));
}

} // namespace

TEST_F(CopyOneFileTest, MissingSourceFallsBackToItsCompressedTwin)
{
    std::string twin = tree_ / "README.TX_";
    ASSERT_TRUE(CopyFileA(testfs::Fixture("sample.bin_").c_str(), twin.c_str(), FALSE));
    std::string named = tree_ / "README.TXT"; // not there: only README.TX_ ships
    EXPECT_EQ(CopyOneFile(named.c_str(), Dest("README.TXT").c_str()), 1);
    EXPECT_TRUE(testfs::ReadWhole(Dest("README.TXT")) ==
                testfs::ReadWhole(testfs::Fixture("sample.bin")));
    // A name that ends in '_' has no twin other than itself.
    EXPECT_EQ(CopyOneFile((tree_ / "GONE.TX_").c_str(), Dest("GONE.TXT").c_str()), 0);
}

TEST_F(CopyOneFileTest, SourceOpenForWritingElsewhereStillCopies)
{
    std::string source = tree_ / "busy.txt";
    ASSERT_TRUE(testfs::WriteWhole(source, "being written"));
    HANDLE writer = CreateFileA(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CopyOneFile(source.c_str(), Dest("COPIED.TXT").c_str()), 1);
    CloseHandle(writer);
    EXPECT_EQ(testfs::ReadWhole(Dest("COPIED.TXT")), "being written");
}

// The copy in pieces, as the fast pace runs a large file across steps.
class FileCopyInPieces : public CopyOneFileTest
{
  protected:
    // A plain source of `size` bytes that no two pieces share the content of.
    std::string Source(size_t size)
    {
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>((i * 7) ^ (i >> 20));
        std::string path = tree_ / "source.dat";
        EXPECT_TRUE(testfs::WriteWhole(path, content));
        return content;
    }
};

TEST_F(FileCopyInPieces, EachContinueCopiesAPieceUntilTheWholeIsInPlace)
{
    std::string content = Source(3 * 1024 * 1024 + 5);
    std::string dest = Dest("BIG.DAT");
    FileCopy copy;
    ASSERT_EQ(BeginFileCopy(&copy, (tree_ / "source.dat").c_str(), dest.c_str(), 0), 1);
    EXPECT_EQ(copy.total, content.size());
    int steps = 0;
    int result;
    while ((result = ContinueFileCopy(&copy, 0)) == 0) {
        ++steps;
        EXPECT_TRUE(testfs::ReadWhole(dest) == "<missing>"); // nothing partial is ever seen
    }
    EXPECT_EQ(result, 1);
    EXPECT_GE(steps, 3);
    EXPECT_EQ(copy.done, copy.total);
    EXPECT_EQ(FinishFileCopy(&copy), 1);
    EXPECT_TRUE(testfs::ReadWhole(dest) == content);
    EXPECT_EQ(Leftovers(), 0u);

    // A compressed source expands across pieces as in one call.
    std::string lz = Dest("SAMPLE.BIN");
    ASSERT_EQ(BeginFileCopy(&copy, testfs::Fixture("sample.bin_").c_str(), lz.c_str(), 0), 1);
    while ((result = ContinueFileCopy(&copy, 0)) == 0) {
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(FinishFileCopy(&copy), 1);
    EXPECT_TRUE(testfs::ReadWhole(lz) == testfs::ReadWhole(testfs::Fixture("sample.bin")));
}

TEST_F(FileCopyInPieces, AbandonedHalfWayLeavesTheOldFileAndNoTemporary)
{
    Source(3 * 1024 * 1024);
    std::string dest = Dest("BIG.DAT");
    ASSERT_TRUE(testfs::WriteWhole(dest, "the old content"));
    FileCopy copy;
    ASSERT_EQ(BeginFileCopy(&copy, (tree_ / "source.dat").c_str(), dest.c_str(), 0), 1);
    ASSERT_EQ(ContinueFileCopy(&copy, 0), 0);
    EXPECT_EQ(Leftovers(), 1u);
    AbandonFileCopy(&copy);
    EXPECT_EQ(testfs::ReadWhole(dest), "the old content");
    EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(FileCopyInPieces, AMayMoveSourceIsMovedWhenPlainAndCopiedWhenCompressed)
{
    std::string content = Source(4096);
    std::string source = tree_ / "source.dat";
    FileCopy copy;
    ASSERT_EQ(BeginFileCopy(&copy, source.c_str(), Dest("MOVED.DAT").c_str(), 1), 1);
    EXPECT_EQ(copy.moved, 1);
    EXPECT_EQ(ContinueFileCopy(&copy, INFINITE), 1);
    EXPECT_EQ(FinishFileCopy(&copy), 1);
    EXPECT_TRUE(testfs::ReadWhole(source) == "<missing>");
    EXPECT_TRUE(testfs::ReadWhole(Dest("MOVED.DAT")) == content);

    std::string lz = tree_ / "copy.bin_";
    ASSERT_TRUE(testfs::WriteWhole(lz, testfs::ReadWhole(testfs::Fixture("sample.bin_"))));
    ASSERT_EQ(BeginFileCopy(&copy, lz.c_str(), Dest("SAMPLE.BIN").c_str(), 1), 1);
    EXPECT_EQ(copy.moved, 0);
    EXPECT_EQ(ContinueFileCopy(&copy, INFINITE), 1);
    EXPECT_EQ(FinishFileCopy(&copy), 1);
    EXPECT_TRUE(testfs::ReadWhole(lz) != "<missing>");
    EXPECT_EQ(Leftovers(), 0u);
}
