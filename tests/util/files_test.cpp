#include "util/files.h"

#include "tempdir.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

TEST(FileExists, FindsFilesFoldersAndWildcardMatches)
{
    testfs::TempTree dir("kvlfiles");
    testfs::WriteWhole(dir / "A.TXT", "a");
    dir.Folder("sub");
    EXPECT_EQ(FileExists((dir / "A.TXT").c_str()), 1);
    EXPECT_EQ(FileExists((dir / "sub").c_str()), 1);
    EXPECT_EQ(FileExists((dir / "*.TXT").c_str()), 1);
    EXPECT_EQ(FileExists((dir / "B.TXT").c_str()), 0);
    EXPECT_EQ(FileExists((dir / "*.DOC").c_str()), 0);
    EXPECT_EQ(FileExists("Q:\\no\\such\\drive"), 0);
}

TEST(FileSizeOf, SizeOrZero)
{
    testfs::TempTree dir("kvlfiles");
    testfs::WriteWhole(dir / "FULL.BIN", std::string(1234, 'x'));
    testfs::WriteWhole(dir / "EMPTY.BIN", "");
    EXPECT_EQ(FileSizeOf((dir / "FULL.BIN").c_str()), 1234u);
    EXPECT_EQ(FileSizeOf((dir / "EMPTY.BIN").c_str()), 0u);
    EXPECT_EQ(FileSizeOf((dir / "MISSING.BIN").c_str()), 0u);
}

TEST(FileSizeOf, FileLockedAgainstReadingCountsAsMissing)
{
    testfs::TempTree dir("kvlfiles");
    std::string file = dir / "LOCKED.BIN";
    testfs::WriteWhole(file, "abc");
    HANDLE lock = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSizeOf(file.c_str()), 0u);
    CloseHandle(lock);
    EXPECT_EQ(FileSizeOf(file.c_str()), 3u);
}
