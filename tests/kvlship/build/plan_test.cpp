// The planner: names and stored names, compressed or plain, what [STORED]
// installs, two lines for one file by the code page's rule, the engine's
// limit, and the names it refuses.
#include "build/plan.h"

#include "../tempfolder.h"

#include <string>
#include <vector>

namespace
{

class Plan : public TempFolderTest
{
  protected:
    // The manifest of `files` ("installed = source" lines), each source put
    // in the test's folder, planned for an engine of `entries` files.
    Manifest Planned(const std::string &files, int entries = 128, const std::string &more = "")
    {
        Manifest manifest;
        manifest.path = "m.manifest";
        manifest.folder = folder_;
        ParseManifest(more + "[files]\n" + files, {}, &manifest, &told_);
        for (const ProductFile &file : manifest.files)
            WriteWholeFile(file.source, "x");
        PlanFiles(&manifest, entries, &told_);
        return manifest;
    }
    // The texts told, each as "PLACE TEXT".
    std::vector<std::string> Told() const
    {
        std::vector<std::string> said;
        for (const Diagnostic &record : told_.All())
            said.push_back(record.place + " " + record.text);
        return said;
    }
    Diagnostics told_;
};

TEST_F(Plan, NamesCompressedAndPlain)
{
    Manifest manifest = Planned("Sub\\Deep/ORBIT.EXE = orbit\nDATA.KVT = data, plain\n");
    EXPECT_TRUE(told_.Empty());
    const ProductFile &orbit = manifest.files[0];
    EXPECT_EQ(orbit.name, "ORBIT.EXE");
    EXPECT_EQ(orbit.subFolderCp, "Sub\\Deep");
    EXPECT_EQ(orbit.stored, "ORBIT.EX_");
    EXPECT_EQ(orbit.lastChar, 'E');
    EXPECT_FALSE(orbit.storedItem);
    EXPECT_EQ(manifest.files[1].stored, "DATA.KVT");
    EXPECT_FALSE(manifest.files[1].storedItem);
}

// A stored name taken by the engine's files or an earlier file gets one of
// its own, and the stock module installs it; so does a file whose folder a
// data-file line cannot spell.
TEST_F(Plan, TakenNamesAndBlankFoldersGoToStored)
{
    Manifest manifest = Planned("setup.exe = s, plain\nA.TXT = a\nDocs\\A.TXT = b\n"
                                "My Docs\\B.TXT = c\n");
    EXPECT_TRUE(told_.Empty());
    EXPECT_EQ(manifest.files[0].stored, "setup_2.exe");
    EXPECT_EQ(manifest.files[1].stored, "A.TX_");
    EXPECT_EQ(manifest.files[2].stored, "A_2.TX_");
    EXPECT_EQ(manifest.files[3].stored, "B.TX_");
    bool expected[] = {true, false, true, true};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(manifest.files[i].storedItem, expected[i]) << i;
}

TEST_F(Plan, OnlyTheStockModuleInstallsFromStored)
{
    Planned("SETUP.EXE = s, plain\n", 128, "[package]\nmodule = own.dll\n");
    EXPECT_EQ(Told(), std::vector<std::string>{
                          "m.manifest:4 needs a stored name of its own (SETUP_2.EXE: its name is "
                          "taken or a data-file line cannot spell its folder), which only the "
                          "stock module installs"});
}

// É and é are one name to setup under code page 1252, as two ASCII letters
// of different case are.
TEST_F(Plan, TwoLinesForOneFileByTheCodePagesRule)
{
    Planned("\xC3\x89T\xC3\x89.TXT = a\nDocs\\X.TXT = b\n\xC3\xA9t\xC3\xA9.txt = c\n"
            "docs\\x.txt = d\n");
    EXPECT_EQ(Told(), (std::vector<std::string>{"m.manifest:4 installs the same file as line 2",
                                                "m.manifest:5 installs the same file as line 3"}));
}

TEST_F(Plan, TheEnginesLimit)
{
    Planned("A.TXT = a\nB.TXT = b\nC.TXT = c\n", 2);
    EXPECT_EQ(Told(), std::vector<std::string>{"m.manifest setup installs at most 2 files; this "
                                               "lists 3"});
    told_ = Diagnostics();
    Planned("", 2);
    EXPECT_EQ(Told(), std::vector<std::string>{"m.manifest [files] lists no file"});
}

TEST_F(Plan, RefusedNames)
{
    const struct {
        const char *line;
        const char *said;
    } cases[] = {
        {"A;B.TXT = a", "\"A;B.TXT\" holds ',' or ';', which end the fields of its kvlsetup.dat "
                        "line"},
        {"A*.TXT = a", "\"A*.TXT\" is not a file name"},
        {"..\\A.TXT = a", "sub-folder \"..\" must stay below the destination and hold no "
                          "wildcard, '<', '>', '\"', '|' or control character"},
        {"\xCE\xA9.TXT = a", "\"\xCE\xA9.TXT\" "},
        {"Docs\\CON = a", ""},
    };
    for (const auto &test : cases) {
        told_ = Diagnostics();
        Manifest manifest = Planned(std::string(test.line) + "\n");
        ASSERT_EQ(told_.All().size(), 1u) << test.line;
        EXPECT_TRUE(manifest.files[0].bad) << test.line;
        EXPECT_EQ(told_.All()[0].place, "m.manifest:2");
        EXPECT_EQ(told_.All()[0].text.rfind(test.said, 0), 0u) << told_.All()[0].text;
    }
}

TEST_F(Plan, SourceMissingAndWindowsFolder)
{
    Manifest manifest;
    manifest.path = "m.manifest";
    manifest.folder = folder_;
    ParseManifest("[files]\nSys\\A.DLL = gone, windows\n", {}, &manifest, &told_);
    PlanFiles(&manifest, 128, &told_);
    EXPECT_EQ(Told(), (std::vector<std::string>{
                          "m.manifest:2 a file for the Windows folder has no sub-folder",
                          "m.manifest:2 source file " + folder_ + "/gone is missing"}));
}

TEST_F(Plan, PathsTooLongForTheDestination)
{
    Manifest manifest = Planned(std::string(250, 'D') + "\\A.TXT = a\nB.TXT = b\n");
    CheckPathLengths(manifest, &told_);
    ASSERT_EQ(told_.All().size(), 1u);
    EXPECT_EQ(told_.All()[0].place, "m.manifest:2");
}

} // namespace
