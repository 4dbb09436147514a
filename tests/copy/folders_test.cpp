#include "util/files.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <string>

TEST(CreateFolderPath, MakesEveryMissingLevel)
{
    testfs::TempTree tree("kvlfolders");
    std::string deep = tree / "a\\b\\c";
    EXPECT_EQ(CreateFolderPath(deep.c_str()), 1);
    EXPECT_TRUE(testfs::IsFolder(deep));
    std::string trailing = tree / "x\\y\\";
    EXPECT_EQ(CreateFolderPath(trailing.c_str()), 1);
    EXPECT_TRUE(testfs::IsFolder(tree / "x\\y"));
}

TEST(CreateFolderPath, ExistingFolderAndDriveRootAreThereAlready)
{
    testfs::TempTree tree("kvlfolders");
    EXPECT_EQ(CreateFolderPath(tree.Path().c_str()), 1);
    EXPECT_EQ(CreateFolderPath("C:\\"), 1);
    EXPECT_EQ(testfs::List(tree.Path()).size(), 0u);
}

TEST(CreateFolderPath, FileInTheWayOrOverlongPathFails)
{
    testfs::TempTree tree("kvlfolders");
    ASSERT_TRUE(testfs::WriteWhole(tree / "f", "x"));
    EXPECT_EQ(CreateFolderPath((tree / "f\\sub").c_str()), 0);
    EXPECT_EQ(CreateFolderPath((tree / "f").c_str()), 0);
    std::string overlong = tree / std::string(300, 'n');
    EXPECT_EQ(CreateFolderPath(overlong.c_str()), 0);
    EXPECT_EQ(CreateFolderPath(""), 0);
}
