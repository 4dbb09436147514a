#include "copy/conflicts.h"

#include "copy/copylist.h"
#include "copytest_module.h"
#include "core/context.h"
#include "core/hooks.h"
#include "entries.h"
#include "module.h"
#include "tempdir.h"
#include "util/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

// Stands in for the main window: answers the module's SM_ADDCOPYENTRY the
// way the shell's does.
LRESULT CALLBACK ListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SM_ADDCOPYENTRY)
        return AddCopyRequest(reinterpret_cast<const CopyRequest *>(lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

CopyRequest Request(const char *name)
{
    CopyRequest request = {};
    strcpy(request.sourceName, name);
    strcpy(request.destName, name);
    return request;
}

class ConflictScan : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        memset(&g_setup, 0, sizeof g_setup);
        ResetCopyList();
        src_ = tree_.Folder("src");
        dst_ = tree_.Folder("dst");
        win_ = tree_.Folder("win");
        CopyText(g_setup.sourceDir, (src_ + "\\").c_str());
        CopyText(g_setup.destDir, dst_.c_str());
        CopyText(g_setup.windowsDir, win_.c_str());
        g_setup.mainWindow = StandInWindow("ScanTestWindow", ListWindowProc);
    }
    void TearDown() override
    {
        ReleaseModule();
        DestroyWindow(g_setup.mainWindow);
    }

    void Script(const std::vector<int> &answers, int addOnCall = -1,
                const std::vector<CopyRequest> &adds = {})
    {
        ASSERT_TRUE(LoadSetupModule("copytest.dll"));
        ModuleExport<ScriptConflictsFn>("ScriptConflicts")(
            g_setup.mainWindow, answers.data(), static_cast<int>(answers.size()), addOnCall,
            adds.data(), static_cast<int>(adds.size()));
    }
    int Calls() { return ModuleExport<ConflictCallsFn>("ConflictCalls")(); }
    std::string SeenDest(int call) { return ModuleExport<SeenPathFn>("SeenDest")(call); }
    std::string SeenSource(int call) { return ModuleExport<SeenPathFn>("SeenSource")(call); }

    // An entry for the destination directory itself; returns its slot.
    int Add(const char *name, int overwrite = 0, const char *subFolder = "")
    {
        return AddCopyEntry(name, name, subFolder, 0, 0, overwrite, 0, 0, 0);
    }
    // Puts a file at the destination that `name` would go to.
    void Existing(const char *name) { ASSERT_TRUE(testfs::WriteWhole(Dest(name), "old")); }
    std::string Dest(const char *name) const { return dst_ + "\\" + name; }

    testfs::TempTree tree_{"kvlscan"};
    std::string src_, dst_, win_;
};

// ---------------------------------------------------------------------------
// The path rule.

class PathRule : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        memset(&g_setup, 0, sizeof g_setup);
        strcpy(g_setup.sourceDir, "C:\\SETUP\\");
        strcpy(g_setup.destDir, "C:\\DEST");
        strcpy(g_setup.windowsDir, "C:\\WINDOWS");
    }
    CopyEntry Entry(const char *source, const char *dest, const char *sub, int toWindows,
                    int absolute)
    {
        CopyEntry entry = {};
        strcpy(entry.sourceName, source);
        strcpy(entry.destName, dest);
        strcpy(entry.subFolder, sub);
        entry.toWindowsFolder = toWindows;
        entry.absolutePaths = absolute;
        entry.inUse = 1;
        return entry;
    }
    // Builds the paths of `entry`, which must succeed, and compares both.
    static void ExpectPaths(CopyEntry entry, const char *source, const char *dest)
    {
        CopyPaths paths;
        EXPECT_EQ(BuildCopyPaths(&entry, &paths), 1);
        EXPECT_STREQ(paths.source, source);
        EXPECT_STREQ(paths.dest, dest);
    }
};

TEST_F(PathRule, SourceFolderAndNestedSubFolder)
{
    ExpectPaths(Entry("A.DL_", "A.DLL", "Docs\\Help", 0, 0), "C:\\SETUP\\A.DL_",
                "C:\\DEST\\Docs\\Help\\A.DLL");
}

TEST_F(PathRule, EmptySubFolderGivesExactlyOneBackslash)
{
    CopyEntry entry = Entry("A.DL_", "A.DLL", "", 0, 0);
    ExpectPaths(entry, "C:\\SETUP\\A.DL_", "C:\\DEST\\A.DLL");
    strcpy(g_setup.destDir, "C:\\DEST\\");
    ExpectPaths(entry, "C:\\SETUP\\A.DL_", "C:\\DEST\\A.DLL");
}

TEST_F(PathRule, WindowsFolderLeavesTheSubFolderOut)
{
    ExpectPaths(Entry("README.TX_", "README.TXT", "Docs", 1, 0), "C:\\SETUP\\README.TX_",
                "C:\\WINDOWS\\README.TXT");
}

TEST_F(PathRule, AbsolutePathsStandAsTheyAreAndWinOverWindowsFolder)
{
    ExpectPaths(Entry("D:\\cd\\.\\X.EX_", "E:\\apps\\x.exe", "Docs", 1, 1), "D:\\cd\\.\\X.EX_",
                "E:\\apps\\x.exe");
}

TEST_F(PathRule, PathThatDoesNotFitIsAFailureWithEmptyBuffers)
{
    std::string longFolder = "C:\\" + std::string(250, 'd');
    strcpy(g_setup.destDir, longFolder.c_str());
    CopyEntry entry = Entry("A.DL_", "A-LONGER-NAME.DLL", "", 0, 0);
    CopyPaths paths;
    EXPECT_EQ(BuildCopyPaths(&entry, &paths), 0);
    EXPECT_STREQ(paths.source, "");
    EXPECT_STREQ(paths.dest, "");

    // An absolute name may be 263 characters in its field: one too many for a path.
    std::string longName = "C:\\" + std::string(260, 'n');
    CopyEntry absolute = Entry(longName.c_str(), "C:\\ok", "", 0, 1);
    EXPECT_EQ(BuildCopyPaths(&absolute, &paths), 0);
    EXPECT_STREQ(paths.dest, "");
}

// ---------------------------------------------------------------------------
// The scan.

TEST_F(ConflictScan, EveryAnswerActsOnItsEntry)
{
    struct Case {
        int answer;
        int inUse;
        int overwrite;
    };
    const Case cases[] = {{FC_SKIP, 0, 0}, {FC_REPLACE, 1, 1}, {FC_REPLACE_ALL, 1, 1},
                          {3, 1, 0},       {-1, 1, 0},         {5, 1, 0}};
    Existing("A.TXT");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        ResetCopyList();
        ReleaseModule();
        Script({c.answer});
        int slot = Add("A.TXT");
        EXPECT_EQ(ScanConflicts(), 1);
        EXPECT_EQ(Calls(), 1);
        EXPECT_EQ(g_copyList.slots[slot].inUse, c.inUse);
        EXPECT_EQ(g_copyList.slots[slot].overwrite, c.overwrite);
        EXPECT_EQ(CountCopyEntries(), c.inUse);
    }
}

TEST_F(ConflictScan, HookGetsDestinationFirstThenSource)
{
    Script({FC_REPLACE});
    Existing("A.TXT");
    Add("A.TXT");
    ScanConflicts();
    ASSERT_EQ(Calls(), 1);
    EXPECT_EQ(SeenDest(0), Dest("A.TXT"));
    EXPECT_EQ(SeenSource(0), src_ + "\\A.TXT");
}

TEST_F(ConflictScan, ReplaceAllOnTheFirstOfFiveAsksOnce)
{
    Script({FC_REPLACE_ALL, FC_SKIP, FC_SKIP, FC_SKIP, FC_SKIP});
    const char *names[] = {"1.TXT", "2.TXT", "3.TXT", "4.TXT", "5.TXT"};
    for (const char *name : names) {
        Existing(name);
        Add(name);
    }
    int fresh = Add("NEW.TXT");
    EXPECT_EQ(ScanConflicts(), 1);
    EXPECT_EQ(Calls(), 1);
    for (int slot = 0; slot < 5; ++slot) {
        EXPECT_EQ(g_copyList.slots[slot].inUse, 1) << slot;
        EXPECT_EQ(g_copyList.slots[slot].overwrite, 1) << slot;
    }
    EXPECT_EQ(g_copyList.slots[fresh].overwrite, 0); // no file there, nothing to decide
}

TEST_F(ConflictScan, AbortAtTheSecondOfThreeStopsAndKeepsTheFirstMark)
{
    Script({FC_REPLACE, FC_ABORT, FC_SKIP});
    for (const char *name : {"1.TXT", "2.TXT", "3.TXT"}) {
        Existing(name);
        Add(name);
    }
    EXPECT_EQ(ScanConflicts(), 0);
    EXPECT_EQ(Calls(), 2);
    EXPECT_EQ(g_copyList.slots[0].overwrite, 1);
    EXPECT_EQ(g_copyList.slots[1].overwrite, 0);
    EXPECT_EQ(g_copyList.slots[1].inUse, 1);
    EXPECT_EQ(g_copyList.slots[2].overwrite, 0);
    EXPECT_EQ(g_copyList.slots[2].inUse, 1);
}

TEST_F(ConflictScan, FolderAtTheDestinationCountsAsExisting)
{
    Script({FC_SKIP});
    CreateDirectoryA(Dest("DATA").c_str(), nullptr);
    int slot = Add("DATA");
    EXPECT_EQ(ScanConflicts(), 1);
    EXPECT_EQ(Calls(), 1);
    EXPECT_EQ(SeenDest(0), Dest("DATA"));
    EXPECT_EQ(g_copyList.slots[slot].inUse, 0);
}

TEST_F(ConflictScan, OnlyEntriesThatMeetAnExistingFileAreAsked)
{
    Script({FC_SKIP, FC_SKIP});
    Existing("KEEP.TXT");
    int replacing = Add("KEEP.TXT", 1); // replaces anyway: never offered
    int absent = Add("ABSENT.TXT");
    EXPECT_EQ(ScanConflicts(), 1);
    EXPECT_EQ(Calls(), 0);
    EXPECT_EQ(g_copyList.slots[replacing].inUse, 1);
    EXPECT_EQ(g_copyList.slots[absent].overwrite, 0);
}

TEST_F(ConflictScan, WindowsFolderEntryIsLookedForInTheWindowsFolder)
{
    Script({FC_REPLACE});
    ASSERT_TRUE(testfs::WriteWhole(win_ + "\\README.TXT", "old"));
    int slot = AddCopyEntry("README.TX_", "README.TXT", "Docs", 1, 0, 0, 0, 0, 0);
    EXPECT_EQ(ScanConflicts(), 1);
    ASSERT_EQ(Calls(), 1);
    EXPECT_EQ(SeenDest(0), win_ + "\\README.TXT");
    EXPECT_EQ(g_copyList.slots[slot].overwrite, 1);
}

TEST_F(ConflictScan, AbsolutePathsReachTheHookExactlyAsStored)
{
    Script({FC_REPLACE});
    Existing("A.TXT");
    std::string dest = dst_ + "\\.\\A.TXT"; // found by the search, never tidied up
    std::string source = "Q:\\elsewhere\\..\\A.TXT";
    AddCopyEntry(source.c_str(), dest.c_str(), "Sub", 1, 0, 0, 0, 0, 1);
    EXPECT_EQ(ScanConflicts(), 1);
    ASSERT_EQ(Calls(), 1);
    EXPECT_EQ(SeenDest(0), dest);
    EXPECT_EQ(SeenSource(0), source);
}

TEST_F(ConflictScan, ModuleWithoutTheHookReplaces)
{
    ASSERT_TRUE(LoadSetupModule("empty.dll"));
    Existing("A.TXT");
    int slot = Add("A.TXT");
    EXPECT_EQ(ScanConflicts(), 1);
    EXPECT_EQ(g_copyList.slots[slot].inUse, 1);
    EXPECT_EQ(g_copyList.slots[slot].overwrite, 1);
}

TEST_F(ConflictScan, EntriesAddedDuringTheHookAreExaminedOnlyAboveTheCurrentSlot)
{
    // Slot 0 is free (as if skipped earlier); the hook, asked about slot 1,
    // adds two entries: the first lands in slot 0, the second in slot 3.
    Add("FREED.TXT");
    int first = Add("A.TXT");
    int second = Add("B.TXT");
    ReleaseCopySlot(0);
    for (const char *name : {"A.TXT", "B.TXT", "LOW.TXT", "HIGH.TXT"})
        Existing(name);
    Script({FC_REPLACE, FC_REPLACE, FC_REPLACE}, 0, {Request("LOW.TXT"), Request("HIGH.TXT")});

    EXPECT_EQ(ScanConflicts(), 1);
    ASSERT_EQ(Calls(), 3);
    EXPECT_EQ(SeenDest(0), Dest("A.TXT"));
    EXPECT_EQ(SeenDest(1), Dest("B.TXT"));
    EXPECT_EQ(SeenDest(2), Dest("HIGH.TXT"));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_STREQ(g_copyList.slots[0].sourceName, "LOW.TXT");
    EXPECT_EQ(g_copyList.slots[0].overwrite, 0); // never asked: the copy will leave it
    EXPECT_STREQ(g_copyList.slots[3].sourceName, "HIGH.TXT");
    EXPECT_EQ(g_copyList.slots[3].overwrite, 1);
}

// ---------------------------------------------------------------------------
// Destination sub-folders.

TEST_F(ConflictScan, NestedSubFolderIsMadeWhateverTheSlotOrder)
{
    Add("0.TXT", 0, "");
    Add("1.TXT", 0, "");
    Add("2.TXT", 0, "");
    Add("HELP.TXT", 0, "Docs\\Help"); // slot 3
    Add("DEEP.TXT", 0, "A\\B\\C");
    Add("DOCS.TXT", 0, "Docs");
    CreateDestFolders();
    EXPECT_TRUE(testfs::IsFolder(dst_ + "\\Docs\\Help"));
    EXPECT_TRUE(testfs::IsFolder(dst_ + "\\A\\B\\C"));
}

TEST_F(ConflictScan, EveryEntryInUseGetsItsSubFolderBelowTheDestination)
{
    AddCopyEntry("W.TX_", "W.TXT", "ForWindows", 1, 0, 0, 0, 0, 0);
    AddCopyEntry("C:\\a", "C:\\b", "ForAbsolute", 0, 0, 0, 0, 0, 1);
    int freed = Add("F.TXT", 0, "Freed");
    Add("ROOT.TXT", 0, "");
    ReleaseCopySlot(freed);
    CreateDestFolders();
    std::vector<std::string> made = testfs::List(dst_);
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"ForAbsolute", "ForWindows"}));
    EXPECT_TRUE(testfs::List(win_).empty());
}

} // namespace
