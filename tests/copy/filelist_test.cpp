#include "copy/filelist.h"

#include "boxwatch.h"
#include "copy/copylist.h"
#include "core/context.h"
#include "entries.h"
#include "guardpage.h"
#include "setupmodule.h"
#include "shell/mainwnd.h"
#include "tempdir.h"
#include "util/text.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

// A fresh source folder under the temporary directory; g_setup.sourceDir
// points at it (with its trailing backslash) for the test's length.
class FileLists : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(testfs::IsFolder(tree_.Path())) << tree_.Path();
        memset(&g_setup, 0, sizeof g_setup);
        ASSERT_GE(CopyText(g_setup.sourceDir, (tree_.Path() + "\\").c_str()), 0);
        ResetCopyList();
        ResetAddInList();
    }
    void Write(const std::string &name, const std::string &content)
    {
        ASSERT_TRUE(testfs::WriteWhole(tree_ / name, content)) << name;
    }
    // An INI file whose [FILELIST] holds `items` as "key=value" lines.
    void WriteList(const std::string &name, const std::vector<std::string> &items)
    {
        std::string text = "[GENERAL]\r\ncbTitle=Test\r\n[FILELIST]\r\n";
        for (const std::string &item : items)
            text += item + "\r\n";
        Write(name, text);
    }
    // The used entries as "source>dest@sub" with the four flags, sorted,
    // since the directory search returns matches in the platform's order.
    std::vector<std::string> Entries()
    {
        std::vector<std::string> result;
        for (int n = 0; n < CountCopyEntries(); ++n) {
            const CopyEntry *e = GetCopyEntry(n);
            result.push_back(std::string(e->sourceName) + ">" + e->destName + "@" + e->subFolder +
                             " " + std::to_string(e->toWindowsFolder) +
                             std::to_string(e->spareFlag1) + std::to_string(e->overwrite) +
                             std::to_string(e->spareFlag2));
        }
        std::sort(result.begin(), result.end());
        return result;
    }
    const CopyEntry *Find(const char *source)
    {
        for (int n = 0; n < CountCopyEntries(); ++n) {
            if (strcmp(GetCopyEntry(n)->sourceName, source) == 0)
                return GetCopyEntry(n);
        }
        return nullptr;
    }

    testfs::TempTree tree_{"kvllists"};
    BoxWatcher boxes;
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(FileLists, WorkedExampleExpandsEveryMatch)
{
    Write("A.DL_", std::string(100, 'a'));
    Write("B.DL_", std::string(2000, 'b'));
    Write("C.EX_", "c");
    WriteList("kvlsetup.dat", {"cbItem00=*.DL_, L, System, 0, 0, 1, 0;"});
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(Entries(), (Strings{"A.DL_>A.DLL@System 0010", "B.DL_>B.DLL@System 0010"}));
    EXPECT_EQ(Find("A.DL_")->size, 100);
    EXPECT_EQ(Find("B.DL_")->size, 2000);
    EXPECT_EQ(Find("B.DL_")->absolutePaths, 0);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(FileLists, EachLineParsedOnItsOwnAndReadingGoesOn)
{
    for (const char *name :
         {"SETUP.EX_", "README.TX_", "REJECT.TX_", "A.EX_", "B.EX_", "C.EX_", "D.EX_"})
        Write(name, "x");
    WriteList("kvlsetup.dat", {
                                  "cbItem00=SETUP.EX_ , E , , 0 , 0 , 1 , 0 ;",
                                  "cbItem01=REJECT.TX_,T,,1,0,0,0",     // no ';': rejected
                                  "cbItem02=A.EX_,E,,0,0,1,0,9;",       // field 7 is "0,9"
                                  "cbItem03=B.EX_,E,,,0,1,0;",          // empty field 4
                                  "cbItem04=C.EX_,XE,,0,0,0,0;",        // two characters in field 2
                                  "cbItem05=D.EX_,,Sub\\Deep,0,0,0,0;", // empty field 2
                                  "cbItem06=NOTHING.*,E,,0,0,0,0;",     // matches nothing
                                  "cbItem07=README.TX_,T,,1,0,0,0;",
                              });
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(Entries(), (Strings{
                             "A.EX_>A.EXE@ 0011",
                             "B.EX_>B.EXE@ 1010",
                             "C.EX_>C.EXE@ 0000",
                             "D.EX_>D.EX@Sub\\Deep 0000",
                             "README.TX_>README.TXT@ 1000",
                             "SETUP.EX_>SETUP.EXE@ 0010",
                         }));
    // Lines are read in key order: README.TX_ comes from the last key.
    EXPECT_STREQ(GetCopyEntry(5)->sourceName, "README.TX_");
}

TEST_F(FileLists, StarMatchesFilesAndFoldersButNotTheFolderAliases)
{
    Write("A.EX_", "a");
    ASSERT_TRUE(CreateDirectoryA((tree_ / "SUB").c_str(), nullptr));
    WriteList("kvlsetup.dat", {"cbItem00=*, _, , 0, 0, 1, 0;"});
    ReadSetupFileList("kvlsetup.dat");
    // A sub-folder is a match like any other; "." and ".." are not files.
    EXPECT_EQ(Entries(),
              (Strings{"A.EX_>A.EX_@ 0010", "SUB>SU_@ 0010", "kvlsetup.dat>kvlsetup.da_@ 0010"}));
}

TEST_F(FileLists, NamedFileMissingOrADeviceGoesInToFailItsCopy)
{
    Write("HERE.TX_", "x");
    WriteList("kvlsetup.dat", {"cbItem00=HERE.TX_,T,,0,0,0,0;", "cbItem01=GONE.TX_,T,Sub,0,0,0,0;",
                               "cbItem02=NUL .TX_,T,,0,0,0,0;", "cbItem03=GONE*.TX_,T,,0,0,0,0;"});
    ReadSetupFileList("kvlsetup.dat");
    // The pattern with a wildcard may match nothing; the named files go in,
    // set to replace, so that no existing file hides that they are missing.
    EXPECT_EQ(Entries(), (Strings{"GONE.TX_>GONE.TXT@Sub 0010", "HERE.TX_>HERE.TXT@ 0000",
                                  "NUL.TX_>NUL.TXT@ 0010"}));
}

TEST_F(FileLists, KeysRunFromZeroUpToTheFirstThatYieldsNothing)
{
    Write("F1.EX_", "x");
    Write("F2.EX_", "x");
    Write("F3.EX_", "x");
    WriteList("kvlsetup.dat", {"cbItem00=F1.EX_,E,,0,0,0,0;", "cbItem01=F2.EX_,E,,0,0,0,0;",
                               "cbItem03=F3.EX_,E,,0,0,0,0;"});
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(CountCopyEntries(), 2);
    EXPECT_EQ(Find("F3.EX_"), nullptr);

    ResetCopyList();
    WriteList("kvlsetup.dat",
              {"cbItem00=F1.EX_,E,,0,0,0,0;", "cbItem01=", "cbItem02=F3.EX_,E,,0,0,0,0;"});
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(Entries(), (Strings{"F1.EX_>F1.EXE@ 0000"}));

    ResetCopyList();
    ReadSetupFileList("missing.dat");
    WriteList("nolist.dat", {});
    ReadSetupFileList("nolist.dat");
    EXPECT_EQ(CountCopyEntries(), 0);
}

TEST_F(FileLists, KeyHundredFollowsNinetyNine)
{
    Write("F99.EX_", "x");
    Write("F100.EX_", "x");
    Strings items;
    for (int n = 0; n < 99; ++n) {
        char key[16];
        wsprintfA(key, "cbItem%02d", n);
        items.push_back(std::string(key) + "=NONE*.X,E,,0,0,0,0;");
    }
    items.push_back("cbItem99=F99.EX_,E,,0,0,0,0;");
    items.push_back("cbItem100=F100.EX_,E,,0,0,0,0;");
    items.push_back("cbItem101=");
    items.push_back("cbItem102=NONE*.X,E,,0,0,0,0;");
    WriteList("kvlsetup.dat", items);
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(Entries(), (Strings{"F100.EX_>F100.EXE@ 0000", "F99.EX_>F99.EXE@ 0000"}));
}

TEST_F(FileLists, FirstLineToMatchAFileKeepsIt)
{
    Write("A.EX_", "x");
    Write("B.EX_", "x");
    Write("MY FILE.EX_", "x");
    WriteList("kvlsetup.dat", {"cbItem00=A.EX_,E,One,0,0,0,0;", "cbItem01=?.EX_,X,Two,1,1,1,1;",
                               "cbItem02=MY?FILE.EX_,Y,Three,0,0,0,0;"});
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(Entries(), (Strings{"A.EX_>A.EXE@One 0000", "B.EX_>B.EXX@Two 1111",
                                  "MY FILE.EX_>MY FILE.EXY@Three 0000"}));
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(FileLists, FullListTellsTheUserForEachMatchLeftOut)
{
    for (int i = 0; i < kCopySlots - 1; ++i)
        ASSERT_GE(AddCopyEntry(("PRE" + std::to_string(i)).c_str(), "", "", 0, 0, 0, 0, 0, 0), 0);
    Write("A.EX_", "x");
    Write("B.EX_", "x");
    Write("C.EX_", "x");
    Write("PRE1", "x");
    WriteList("kvlsetup.dat", {"cbItem00=*.EX_,E,,0,0,0,0;", "cbItem01=PRE1,E,,0,0,0,0;"});
    ReadSetupFileList("kvlsetup.dat");
    EXPECT_EQ(CountCopyEntries(), kCopySlots);
    std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 2u); // two of the three matches found no slot
    EXPECT_EQ(seen[1].caption, "KARVELO - Setup");
    EXPECT_EQ(seen[1].text, "No more copy-list place");
}

TEST_F(FileLists, ModuleListPlacesFilesByExtension)
{
    Write("DATA.kvt", "table");
    Write("LOGO.BMP", std::string(300, 'b'));
    Write("README", "r");
    WriteList("mod.lst", {"cbItem00=DATA.kvt", "cbItem01=DATA.KVT", "cbItem02=LOGO.BMP",
                          "cbItem03=README", "cbItem05=LOST.BMP"});
    EXPECT_EQ(AddModuleFileList("mod.lst"), 1);
    // The file system finds DATA.KVT as DATA.kvt, but the list compares names
    // exactly, so both stand.
    EXPECT_EQ(Entries(),
              (Strings{"DATA.KVT>DATA.KVT@Resources 0010", "DATA.kvt>DATA.kvt@Tables 0010",
                       "LOGO.BMP>LOGO.BMP@Resources 0010", "README>README@Resources 0010"}));
    EXPECT_EQ(Find("LOGO.BMP")->size, 300);
    EXPECT_EQ(AddModuleFileList("mod.lst"), 1); // duplicates do not change the result
    EXPECT_EQ(CountCopyEntries(), 4);
}

TEST_F(FileLists, ModuleListWithAMissingOrEmptyFileAnswersZero)
{
    Write("ONE.kvt", "1");
    Write("EMPTY.BMP", "");
    Write("TWO.BMP", "22");
    WriteList("empty.lst", {"cbItem00=ONE.kvt", "cbItem01=EMPTY.BMP", "cbItem02=TWO.BMP"});
    WriteList("missing.lst", {"cbItem00=GONE.kvt", "cbItem01=THREE.BMP"});
    Write("THREE.BMP", "333");
    EXPECT_EQ(AddModuleFileList("empty.lst"), 0);
    EXPECT_EQ(AddModuleFileList("missing.lst"), 0);
    EXPECT_EQ(Entries(),
              (Strings{"ONE.kvt>ONE.kvt@Tables 0010", "THREE.BMP>THREE.BMP@Resources 0010",
                       "TWO.BMP>TWO.BMP@Resources 0010"}));
    // A list that is not there names nothing that could be missing.
    EXPECT_EQ(AddModuleFileList("nolist.lst"), 1);
    EXPECT_EQ(CountCopyEntries(), 3);
}

TEST_F(FileLists, MainWindowAnswersFileListRequests)
{
    Write("ONE.kvt", "1");
    WriteList("good.lst", {"cbItem00=ONE.kvt"});
    WriteList("bad.lst", {"cbItem00=NONE.kvt"});
    EXPECT_EQ(WndProc(nullptr, SM_ADDFILELIST, 0, reinterpret_cast<LPARAM>("good.lst")), 1);
    EXPECT_EQ(WndProc(nullptr, SM_ADDFILELIST, 0, reinterpret_cast<LPARAM>("bad.lst")), 0);
    EXPECT_EQ(CountCopyEntries(), 1);

    // A name is read no further than 260 characters.
    GuardedPage memory;
    ASSERT_TRUE(memory.Ready());
    char *endless = memory.EndingAt(260);
    memset(endless, 'n', 260);
    EXPECT_EQ(AddModuleFileList(endless), 0);
    // With no folder in front, 259 characters make a path that fits; the
    // list is not there, so nothing is missing from it.
    endless[259] = 0;
    g_setup.sourceDir[0] = 0;
    EXPECT_EQ(AddModuleFileList(endless), 1);
    EXPECT_EQ(AddModuleFileList(nullptr), 0);
}
