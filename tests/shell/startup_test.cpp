#include "shell/startup.h"

#include "util/paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(CommandLine, ArgumentsFollowProgramNameAndBlanks)
{
    EXPECT_STREQ(ArgumentsOf("setup.exe probe"), "probe");
    EXPECT_STREQ(ArgumentsOf("\"C:\\My Setup\\setup.exe\"   probe"), "probe");
    EXPECT_STREQ(ArgumentsOf("\"C:\\My Setup\\setup.exe\"probe"), "probe");
    EXPECT_STREQ(ArgumentsOf("setup.exe \t\r\n probe"), "probe");
}

TEST(CommandLine, TrailingBlanksAndQuotesAreKept)
{
    EXPECT_STREQ(ArgumentsOf("setup.exe probe  "), "probe  ");
    EXPECT_STREQ(ArgumentsOf("setup.exe \"probe\""), "\"probe\"");
}

TEST(CommandLine, NoArgumentsOrOnlyBlanks)
{
    EXPECT_STREQ(ArgumentsOf("setup.exe"), "");
    EXPECT_STREQ(ArgumentsOf("setup.exe    "), "");
    EXPECT_STREQ(ArgumentsOf("\"C:\\setup.exe\""), "");
    EXPECT_STREQ(ArgumentsOf("\"C:\\unterminated"), "");
}

TEST(ModulePath, NameFromCommandLineOrDefault)
{
    char path[kPathSize];
    ASSERT_TRUE(ModulePath(path, sizeof path, "C:\\SRC\\", "probe"));
    EXPECT_STREQ(path, "C:\\SRC\\probe.dll");
    ASSERT_TRUE(ModulePath(path, sizeof path, "C:\\SRC\\", ""));
    EXPECT_STREQ(path, "C:\\SRC\\defsetup.dll");
    ASSERT_TRUE(ModulePath(path, sizeof path, "C:\\SRC\\", "probe  "));
    EXPECT_STREQ(path, "C:\\SRC\\probe  .dll");
    ASSERT_TRUE(ModulePath(path, sizeof path, "C:\\SRC\\", "probe.dll"));
    EXPECT_STREQ(path, "C:\\SRC\\probe.dll.dll");
}

TEST(ModulePath, NameThatDoesNotFitIsRefusedNotCut)
{
    char path[kPathSize];
    std::string name(245, 'm'); // 8 + 245 + 4 = 257 fits
    EXPECT_TRUE(ModulePath(path, sizeof path, "C:\\SRC\\", name.c_str()));
    std::string longer(252, 'm'); // 8 + 252 + 4 = 264 does not
    EXPECT_FALSE(ModulePath(path, sizeof path, "C:\\SRC\\", longer.c_str()));
    EXPECT_STREQ(path, "");
    std::string huge(300, 'm');
    EXPECT_FALSE(ModulePath(path, sizeof path, "C:\\SRC\\", huge.c_str()));
}

TEST(Caption, TitleInBracketsWithTrailingBlank)
{
    char caption[300];
    ASSERT_TRUE(BuildCaption(caption, sizeof caption, "Atlas"));
    EXPECT_STREQ(caption, "KARVELO Setup [Atlas] ");
    ASSERT_TRUE(BuildCaption(caption, sizeof caption, ""));
    EXPECT_STREQ(caption, "KARVELO Setup [] ");
    EXPECT_FALSE(BuildCaption(caption, 20, "Atlas"));
}

TEST(CancelZone, StrictlyBeyond540And410WhileCopying)
{
    EXPECT_TRUE(InCancelZone(541, 411, 1));
    EXPECT_FALSE(InCancelZone(540, 411, 1));
    EXPECT_FALSE(InCancelZone(541, 410, 1));
    EXPECT_FALSE(InCancelZone(541, 411, 0));
    EXPECT_FALSE(InCancelZone(541, 411, 2)); // only the flag value 1 arms it
    EXPECT_TRUE(InCancelZone(599, 419, 1));
}

TEST(CancelZone, CoordinatesAreUnsigned16Bit)
{
    // A press left of or above the client area arrives as a negative 16-bit
    // value, which read unsigned lies far to the right or bottom.
    EXPECT_TRUE(InCancelZone(static_cast<unsigned short>(-1), static_cast<unsigned short>(-1), 1));
}
