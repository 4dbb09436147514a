// The check's report: text and JSON from the same records.
#include "check/report.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace
{

std::string Printed(const CheckResult &result, bool json)
{
    FILE *out = tmpfile();
    PrintCheck(result, json, out);
    std::string text(static_cast<size_t>(ftell(out)), '\0');
    rewind(out);
    text.resize(fread(&text[0], 1, text.size(), out));
    fclose(out);
    return text;
}

CheckResult Sample()
{
    CheckResult result;
    result.title = "Caf\xE9";
    result.destination = "C:\\Program Files\\Caf\xE9";
    result.files.push_back(
        {"cbItem00", "\xC9.EX_", "C:\\Program Files\\Caf\xE9\\\xC9.EXE", 7, true, false});
    result.hooks = {"InitModule"};
    result.problems.Error("cbItem01", "pattern \"\xC9*\" matches no file in the distribution");
    result.problems.Warning("\xE9\x01.TXT", "ships, but no file-list line installs it");
    return result;
}

} // namespace

TEST(PrintCheck, WritesTheSameRecordsAsTextAndAsJson)
{
    CheckResult result = Sample();
    EXPECT_EQ(Printed(result, false),
              "Caf\u00e9 installs into C:\\Program Files\\Caf\u00e9:\n"
              "  cbItem00  \u00c9.EX_ -> C:\\Program Files\\Caf\u00e9\\\u00c9.EXE          7  "
              "compressed ask\n"
              "1 files. Module hooks: InitModule\n"
              "error: cbItem01 pattern \"\u00c9*\" matches no file in the distribution\n"
              "warning: \u00e9\\x01.TXT ships, but no file-list line installs it\n"
              "Errors: this distribution will not install as meant.\n");
    EXPECT_EQ(Printed(result, true),
              "{\"title\": \"Caf\u00e9\", \"destination\": \"C:\\\\Program Files\\\\Caf\u00e9\", "
              "\"destination64\": \"\", \"destinationKnown\": true, \"files\": [{\"key\": "
              "\"cbItem00\", \"stored\": \"\u00c9.EX_\", \"installed\": \"C:\\\\Program "
              "Files\\\\Caf\u00e9\\\\\u00c9.EXE\", \"size\": 7, \"compressed\": true, \"replace\": "
              "false}], \"hooks\": [\"InitModule\"], \"problems\": [{\"severity\": \"error\", "
              "\"key\": \"cbItem01\", \"text\": \"pattern \\\"\u00c9*\\\" matches no file in the "
              "distribution\"}, {\"severity\": \"warning\", \"key\": \"\u00e9\\u0001.TXT\", "
              "\"text\": \"ships, but no file-list line installs it\"}], \"notes\": [], "
              "\"status\": 2}\n");
}

TEST(PrintCheck, SaysWhenTheModuleChoosesTheDestination)
{
    CheckResult result;
    result.destination = "C:\\Program Files\\Atlas";
    result.destination64 = "C:\\Program Files (x86)\\Atlas";
    result.destinationKnown = false;
    EXPECT_EQ(Printed(result, false),
              "The product installs into a folder chosen by the module at run time; the paths "
              "below stand for it with C:\\Program Files\\Atlas (on 64-bit Windows C:\\Program "
              "Files (x86)\\Atlas):\n"
              "0 files. Module hooks: none\n"
              "No problems found.\n");
}
