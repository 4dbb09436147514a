#include "shell/startup.h"

#include "setupmodule.h"
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

TEST(Switches, WithoutASlashTheArgumentsAreTheModuleAsBefore)
{
    SetupSwitches switches;
    ASSERT_TRUE(ReadSwitches("probe  ", &switches));
    EXPECT_EQ(switches.mode, 0u);
    EXPECT_STREQ(switches.module, "probe  ");
}

TEST(Switches, EveryFormAndCaseOfTheSwitchesIsRead)
{
    SetupSwitches switches;
    ASSERT_TRUE(ReadSwitches("/silent /VerySilent /DIR=\"C:\\My Atlas\" \"/log=C:\\a b.log\" atlas",
                             &switches));
    EXPECT_EQ(switches.mode, static_cast<unsigned>(SETUP_MODE_SILENT | SETUP_MODE_VERYSILENT |
                                                   SETUP_MODE_DIR_CHOSEN | SETUP_MODE_LOGGING));
    EXPECT_STREQ(switches.dir, "C:\\My Atlas");
    EXPECT_STREQ(switches.log, "C:\\a b.log");
    EXPECT_STREQ(switches.module, "atlas");
}

TEST(Switches, TheDesktopAnswerIsPassedOnAndTheLastOneWins)
{
    SetupSwitches switches;
    ASSERT_TRUE(ReadSwitches("/DESKTOP /nodesktop /VERYSILENT", &switches));
    EXPECT_EQ(switches.mode, static_cast<unsigned>(SETUP_MODE_NO_DESKTOP | SETUP_MODE_VERYSILENT));
    ASSERT_TRUE(ReadSwitches("/NODESKTOP /Desktop", &switches));
    EXPECT_EQ(switches.mode & (SETUP_MODE_NO_DESKTOP | SETUP_MODE_DESKTOP),
              static_cast<unsigned>(SETUP_MODE_DESKTOP));
    EXPECT_FALSE(ReadSwitches("/NODESKTOP=1", &switches));
}

TEST(Switches, BadSwitchesAreNamedAndTheRestStillRead)
{
    const char *const bad[] = {
        "/S", "/DIR=relative\\folder", "/DIR=", "/DIR=\"C:\\open", "/LOG", "/SILENT=1"};
    for (const char *text : bad) {
        SetupSwitches switches;
        std::string line = std::string(text) + " /VERYSILENT";
        EXPECT_FALSE(ReadSwitches(line.c_str(), &switches)) << text;
        EXPECT_NE(switches.problem[0], 0) << text;
        EXPECT_EQ(switches.dir[0], 0) << text;
    }
    // A refusal must not wait for a person when the caller asked for silence.
    SetupSwitches switches;
    EXPECT_FALSE(ReadSwitches("/NOSUCH /VERYSILENT", &switches));
    EXPECT_STREQ(switches.problem, "Unknown switch: /NOSUCH");
    EXPECT_EQ(switches.mode, static_cast<unsigned>(SETUP_MODE_VERYSILENT));
}

TEST(Switches, SwitchesAfterTheModuleAreReadAndOtherWordsRefused)
{
    SetupSwitches switches;
    ASSERT_TRUE(ReadSwitches("/LOG=C:\\t.log my setup  /VERYSILENT /DIR=C:/Atlas.", &switches));
    EXPECT_STREQ(switches.module, "my setup");
    EXPECT_EQ(switches.mode, static_cast<unsigned>(SETUP_MODE_VERYSILENT | SETUP_MODE_LOGGING |
                                                   SETUP_MODE_DIR_CHOSEN));
    EXPECT_STREQ(switches.dir, "C:\\Atlas");
    // A word after them is no switch: refused, with the silence still heard.
    EXPECT_FALSE(ReadSwitches("defsetup /SILENT extra", &switches));
    EXPECT_STREQ(switches.problem, "Only switches may follow the module's name: extra");
    EXPECT_EQ(switches.mode, static_cast<unsigned>(SETUP_MODE_SILENT));
}
