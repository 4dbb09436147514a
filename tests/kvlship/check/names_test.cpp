// Where the plan installs an entry, and two lines that install one file.
#include "check/names.h"

#include <gtest/gtest.h>

#include <string.h>

namespace
{

PlannedFile Planned(const char *key, const char *stored, const std::string &installed)
{
    return PlannedFile{key, stored, installed, 1, false, false};
}

CopyEntry Entry(const char *dest, const char *subFolder, int toWindowsFolder = 0)
{
    CopyEntry entry = {};
    snprintf(entry.sourceName, sizeof entry.sourceName, "%s", dest);
    snprintf(entry.destName, sizeof entry.destName, "%s", dest);
    snprintf(entry.subFolder, sizeof entry.subFolder, "%s", subFolder);
    entry.toWindowsFolder = toWindowsFolder;
    return entry;
}

} // namespace

// Setup under code page 1252 writes É.TXT and é.txt to one file, as it does
// A.TXT and a.txt; E.TXT is another.
TEST(InstalledFiles, NamesTwoLinesThatInstallOneFileAsTheCodePageComparesNames)
{
    const std::string folder = "C:\\Program Files\\Atlas\\";
    InstalledFiles installed(1252);
    Diagnostics problems;
    installed.Add(Planned("cbItem00", "\xC9.TX_", folder + "\xC9.TXT"), &problems);
    installed.Add(Planned("cbItem01", "E.TXT", folder + "E.TXT"), &problems);
    installed.Add(Planned("cbItem02", "A.TXT", folder + "A.TXT"), &problems);
    EXPECT_TRUE(problems.Empty());
    installed.Add(Planned("cbItem03", "\xE9.txt", folder + "\xE9.txt"), &problems);
    installed.Add(Planned("cbItem04", "a.txt", folder + "a.txt"), &problems);
    installed.Add(Planned("cbItem05", "A2.TXT", folder + "A.TXT"), &problems);
    ASSERT_EQ(problems.All().size(), 4u);
    EXPECT_EQ(problems.All()[0].place, "cbItem03");
    EXPECT_EQ(problems.All()[0].text,
              "\xE9.txt and \xC9.TX_ (cbItem00) both install " + folder + "\xE9.txt");
    EXPECT_EQ(problems.All()[1].text,
              "a.txt and A.TXT (cbItem02) both install " + folder + "a.txt");
    // A third line is named against each line before it.
    EXPECT_EQ(problems.All()[2].text,
              "A2.TXT and A.TXT (cbItem02) both install " + folder + "A.TXT");
    EXPECT_EQ(problems.All()[3].text,
              "A2.TXT and a.txt (cbItem04) both install " + folder + "A.TXT");
}

TEST(InstalledFiles, ReadsNamesInTheDistributionsCodePage)
{
    // 0xC4 and 0xE4 are one letter's two cases in both code pages (a Cyrillic
    // one in 1251, a Latin one in 1252); 0xD4 is another letter in both.
    for (int codePage : {1251, 1252}) {
        InstalledFiles installed(codePage);
        Diagnostics problems;
        installed.Add(Planned("cbItem00", "x", "C:\\A\\\xC4"), &problems);
        installed.Add(Planned("cbItem01", "y", "C:\\A\\\xD4"), &problems);
        installed.Add(Planned("cbItem02", "z", "C:\\a\\\xE4"), &problems);
        ASSERT_EQ(problems.All().size(), 1u) << codePage;
        EXPECT_EQ(problems.All()[0].place, "cbItem02");
    }
}

TEST(InstalledPath, TakesTheLongerProgramFilesOnlyWhereSetupChoosesIt)
{
    const std::string programs = "C:\\Program Files\\Atlas";
    EXPECT_EQ(InstalledPath(Entry("A.EXE", "Bin"), programs), programs + "\\Bin\\A.EXE");
    EXPECT_EQ(InstalledPath(Entry("A.INI", "", 1), programs), "C:\\windows\\A.INI");
    EXPECT_EQ(LongestInstalledPath(Entry("A.EXE", "Bin"), programs, false),
              "C:\\Program Files (x86)\\Atlas\\Bin\\A.EXE");
    EXPECT_EQ(LongestInstalledPath(Entry("A.EXE", ""), programs, true), programs + "\\A.EXE");
    EXPECT_EQ(LongestInstalledPath(Entry("A.INI", "", 1), programs, false), "C:\\windows\\A.INI");
    EXPECT_EQ(LongestInstalledPath(Entry("A.EXE", ""), "D:\\Atlas", false), "D:\\Atlas\\A.EXE");
}
