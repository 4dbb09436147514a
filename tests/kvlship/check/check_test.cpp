// A whole reading of a small distribution folder, without Wine: the copy
// list's room and its "list is full", and two lines installing one file.
#include "check/check.h"

#include "../tempfolder.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace
{

class CheckTest : public TempFolderTest
{
  protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        options_.distribution = folder_;
        Write("setup.exe", "MZ");
    }

    void Write(const std::string &name, const std::string &bytes) { Put(name, bytes); }

    // The problems of one place, each as its text.
    std::vector<std::string> At(const std::string &place)
    {
        CheckDistribution(options_, &result_);
        std::vector<std::string> texts;
        for (const Diagnostic &problem : result_.problems.All()) {
            if (problem.place == place)
                texts.push_back(problem.text);
        }
        return texts;
    }

    CheckOptions options_;
    CheckResult result_;
};

} // namespace

TEST_F(CheckTest, CountsTheFilesTheCopyListHasNoPlaceForInEachReading)
{
    for (int i = 0; i < 130; ++i) {
        char name[16];
        snprintf(name, sizeof name, "F%03d.BIN", i);
        Write(name, "x");
    }
    Write("kvlsetup.dat", "[FILELIST]\r\ncbItem00=F*.BIN, N, , 0, 0, 1, 0;\r\n");
    const std::vector<std::string> full = {
        "2 files find no place: setup lists at most 128 and shows \"No more copy-list place\" "
        "for each"};
    EXPECT_EQ(At("FILELIST"), full);
    EXPECT_EQ(result_.files.size(), 128u);
    // A second reading counts afresh.
    EXPECT_EQ(At("FILELIST"), full);
}

TEST_F(CheckTest, NamesTwoFilesWhoseNamesDifferOnlyInTheCaseOfALetterBeyondAscii)
{
    Write("\u00c9T\u00c9.TXT", "summer"); // ÉTÉ.TXT and été.TXT, one file on Windows
    Write("\u00e9t\u00e9.TXT", "summer");
    Write("kvlsetup.dat", "[FILELIST]\r\ncbItem00=\xC9T\xC9.TXT, T, Notes, 0, 0, 1, 0;\r\n");
    std::vector<std::string> found = At("cbItem00");
    ASSERT_EQ(result_.files.size(), 2u);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], result_.files[1].storedName + " and " + result_.files[0].storedName +
                            " (cbItem00) both install " + result_.files[1].installed);
}
