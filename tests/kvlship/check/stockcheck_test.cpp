// The stock module's settings against the plan: a setting names an installed
// file as setup's code page names it.
#include "check/stockcheck.h"

#include <gtest/gtest.h>

TEST(CheckStockSettings, FindsAnInstalledFileByTheCodePagesSameNameRule)
{
    Profile data;
    ParseProfile("[PRODUCT]\r\ncbDemoProgram=D\xE9MO.EXE\r\n"
                 "[GROUP]\r\ncbName=Atlas\r\ncbItem00=Demo|Caf\xE9\\D\xE9MO.EXE||.|x\r\n",
                 &data);
    CheckResult result;
    result.destination = "C:\\Program Files\\Atlas";
    result.codePage = 1252;
    result.files.push_back(
        {"cbItem00", "D\xC9MO.EX_", "C:\\Program Files\\Atlas\\D\xC9MO.EXE", 1, true, true});
    result.files.push_back({"cbItem01", "D\xC9MO.EX_",
                            "C:\\Program Files\\Atlas\\CAF\xC9\\D\xC9MO.EXE", 1, true, true});
    CheckStockSettings(data, &result);
    for (const Diagnostic &problem : result.problems.All())
        ADD_FAILURE() << problem.place << " " << problem.text;
    // Another letter is another name.
    result.files[0].installed = "C:\\Program Files\\Atlas\\DEMO.EXE";
    result.problems = Diagnostics();
    CheckStockSettings(data, &result);
    ASSERT_EQ(result.problems.All().size(), 1u);
    EXPECT_EQ(result.problems.All()[0].text, "names D\xE9MO.EXE, which no file-list line installs");
}
