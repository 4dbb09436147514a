#include "askfolder.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr char kWindows[] = "C:\\Windows";

FolderFault Check(const char *typed, std::string *full = nullptr)
{
    char written[260] = "unchanged";
    FolderFault fault = CheckTypedFolder(typed, kWindows, written);
    if (full)
        *full = written;
    return fault;
}

TEST(TypedFolder, NothingTypedIsAskedFor)
{
    EXPECT_EQ(Check(""), kFolderEmpty);
    EXPECT_EQ(Check("   "), kFolderEmpty);
}

TEST(TypedFolder, OnlyOneCompleteFolderIsTaken)
{
    EXPECT_EQ(Check("Atlas"), kFolderNotFull);
    EXPECT_EQ(Check("C:Atlas"), kFolderNotFull);
    EXPECT_EQ(Check("C:\\At<las"), kFolderNotFull);
    EXPECT_EQ(Check("C:\\Programs\\CON"), kFolderNotFull);
    EXPECT_EQ(Check(("C:\\" + std::string(300, 'a')).c_str()), kFolderNotFull);
    // Written as the system resolves it, as /DIR= is.
    std::string full;
    EXPECT_EQ(Check("  C:/Programs//Harbour Atlas.\\", &full), kFolderUsable);
    EXPECT_EQ(full, "C:\\Programs\\Harbour Atlas");
}

TEST(TypedFolder, ARootAloneIsRefused)
{
    EXPECT_EQ(Check("C:\\"), kFolderRoot);
    EXPECT_EQ(Check("d:/"), kFolderRoot);
    EXPECT_EQ(Check("C:\\Programs\\.."), kFolderRoot);
    EXPECT_EQ(Check("\\\\server\\share"), kFolderRoot);
    EXPECT_EQ(Check("\\\\server\\share\\"), kFolderRoot);
    EXPECT_EQ(Check("\\\\server\\share\\Atlas"), kFolderUsable);
}

TEST(TypedFolder, TheWindowsFolderAndWhatIsInsideItAreRefused)
{
    EXPECT_EQ(Check("c:\\WINDOWS"), kFolderInWindows);
    EXPECT_EQ(Check("C:\\Windows\\System32\\Atlas"), kFolderInWindows);
    EXPECT_EQ(Check("C:\\Windows\\..\\Windows"), kFolderInWindows);
    EXPECT_EQ(Check("C:\\Windows Apps"), kFolderUsable);
    char full[260];
    EXPECT_EQ(CheckTypedFolder("C:\\Windows", "", full), kFolderUsable);
}

} // namespace
