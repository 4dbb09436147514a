#include "shell/sequence.h"

#include "util/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Demo(const char *destDir, const char *program, const char *document)
{
    char command[kPathSize];
    return BuildDemoCommand(command, sizeof command, destDir, program, document)
               ? std::string(command)
               : std::string("<not started>");
}

} // namespace

TEST(DemoCommand, ProgramBelowDestAndDocumentBelowDemos)
{
    EXPECT_EQ(Demo("C:\\ATLAS", "DEMO.EXE", "HARBOUR.TXT"),
              "C:\\ATLAS\\DEMO.EXE C:\\ATLAS\\Demos\\HARBOUR.TXT");
}

TEST(DemoCommand, ProgramWithBlankIsQuotedDocumentNever)
{
    EXPECT_EQ(Demo("C:\\Program Files\\Atlas", "DEMO.EXE", "MY CHART.TXT"),
              "\"C:\\Program Files\\Atlas\\DEMO.EXE\" "
              "C:\\Program Files\\Atlas\\Demos\\MY CHART.TXT");
}

TEST(DemoCommand, WithoutADocumentTheProgramStartsAlone)
{
    EXPECT_EQ(Demo("C:\\Program Files\\Atlas", "DEMO.EXE", ""),
              "\"C:\\Program Files\\Atlas\\DEMO.EXE\"");
}

TEST(DemoCommand, CommandThatDoesNotFitIsNotStarted)
{
    std::string dest = "C:\\" + std::string(120, 'd');
    std::string document(120, 'c'); // program fits, document fits, together they do not
    EXPECT_EQ(Demo(dest.c_str(), "DEMO.EXE", document.c_str()), "<not started>");
    std::string program(260, 'p');
    EXPECT_EQ(Demo("C:\\ATLAS", program.c_str(), "X"), "<not started>");
    // A quote pair that no longer fits counts as not fitting too.
    std::string spaced = "C:\\" + std::string(247, 's') + " x"; // 258 with the program
    EXPECT_EQ(Demo(spaced.c_str(), "D.EXE", ""), "<not started>");
}

TEST(DefaultDestination, DriveOfTheWindowsFolder)
{
    char dest[kPathSize];
    ASSERT_TRUE(DefaultDestination(dest, sizeof dest, "D:\\WINNT"));
    EXPECT_STREQ(dest, "D:\\Program Files\\KarveloEngine");
    ASSERT_TRUE(DefaultDestination(dest, sizeof dest, ""));
    EXPECT_STREQ(dest, "C:\\Program Files\\KarveloEngine");
}
