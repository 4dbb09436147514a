// The undo of an installation on a real disk and registry: what was kept
// aside comes back byte for byte, what was made goes, keys come back as they
// were; a complete installation leaves nothing of the journal behind.
#include "shell/rollback.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "copy/replace.h"
#include "core/log.h"
#include "record/journalfile.h"
#include "record/undo.h"
#include "shell/keep.h"
#include "tempdir.h"

namespace
{

constexpr char kKey[] = "Software\\Karvelo tests\\Keep";
constexpr char kNewKey[] = "Software\\Karvelo tests\\Keep new";

UndoItem Item(int kind, const std::string &path)
{
    UndoItem item = {};
    item.size = sizeof item;
    item.kind = kind;
    item.root = UNDO_USER;
    lstrcpynA(item.path, path.c_str(), sizeof item.path);
    return item;
}

std::string Value(const char *key, const char *name)
{
    char data[64] = "<none>";
    DWORD size = sizeof data;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return "<no key>";
    RegQueryValueExA(opened, name, nullptr, nullptr, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(opened);
    return data;
}

void SetValue(const char *key, const char *name, const char *text)
{
    HKEY opened = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                    nullptr);
    RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                   lstrlenA(text) + 1);
    RegCloseKey(opened);
}

// A journal started in `tree`, and in it: a file replaced through the copy's
// last step, a file made new, one replaced by other means (kept first), a
// key changed and a key made.
std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

void Install(const testfs::TempTree &tree)
{
    ASSERT_TRUE(StartJournal(tree.Path().c_str()));
    testfs::WriteWhole(tree / "kvl1.tmp", "new program");
    ASSERT_EQ(PutInPlace((tree / "kvl1.tmp").c_str(), (tree / "PROGRAM.EXE").c_str()), PLACE_DONE);
    testfs::WriteWhole(tree / "kvl2.tmp", "new help");
    ASSERT_EQ(PutInPlace((tree / "kvl2.tmp").c_str(), (tree / "HELP.TXT").c_str()), PLACE_DONE);
    UndoItem record = Item(UNDO_FILE, tree / "uninst.dat");
    ASSERT_EQ(KeepForUndo(&record), 1);
    testfs::WriteWhole(tree / "uninst.dat", "new record");
    UndoItem key = Item(UNDO_KEY, kKey);
    ASSERT_EQ(KeepForUndo(&key), 1);
    SetValue(kKey, "DisplayVersion", "2.1");
    SetValue(kKey, "Added", "later");
    UndoItem fresh = Item(UNDO_KEY, kNewKey);
    ASSERT_EQ(KeepForUndo(&fresh), 1);
    SetValue(kNewKey, "DisplayName", "Atlas");
}

class Rollback : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, kNewKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        SetValue(kKey, "DisplayVersion", "1.0");
        testfs::WriteWhole(tree_ / "PROGRAM.EXE", "old program");
        testfs::WriteWhole(tree_ / "uninst.dat", "old record");
        SetFileAttributesA((tree_ / "PROGRAM.EXE").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    void TearDown() override
    {
        SetFileAttributesA((tree_ / "PROGRAM.EXE").c_str(), FILE_ATTRIBUTE_NORMAL);
        RegDeleteKeyA(HKEY_CURRENT_USER, kNewKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }
    testfs::TempTree tree_{"kvlrollback"};
};

} // namespace

TEST_F(Rollback, AnUnfinishedInstallationLeavesEverythingAsItWas)
{
    WIN32_FILE_ATTRIBUTE_DATA before;
    GetFileAttributesExA((tree_ / "PROGRAM.EXE").c_str(), GetFileExInfoStandard, &before);
    Install(tree_);
    UndoUnfinishedInstallation();

    EXPECT_EQ(testfs::ReadWhole(tree_ / "PROGRAM.EXE"), "old program");
    WIN32_FILE_ATTRIBUTE_DATA after;
    GetFileAttributesExA((tree_ / "PROGRAM.EXE").c_str(), GetFileExInfoStandard, &after);
    EXPECT_EQ(after.dwFileAttributes, before.dwFileAttributes);
    EXPECT_EQ(CompareFileTime(&after.ftLastWriteTime, &before.ftLastWriteTime), 0);
    EXPECT_EQ(testfs::ReadWhole(tree_ / "uninst.dat"), "old record");
    EXPECT_EQ(Sorted(testfs::List(tree_.Path())),
              (std::vector<std::string>{"PROGRAM.EXE", "uninst.dat"}))
        << "the new file, the files kept aside and the journal are gone";
    EXPECT_EQ(Value(kKey, "DisplayVersion"), "1.0");
    EXPECT_EQ(Value(kKey, "Added"), "<none>");
    EXPECT_EQ(Value(kNewKey, "DisplayName"), "<no key>");
}

TEST_F(Rollback, ACompleteInstallationKeepsItsChangesAndClearsUp)
{
    Install(tree_);
    CompleteInstallation();

    EXPECT_EQ(testfs::ReadWhole(tree_ / "PROGRAM.EXE"), "new program");
    EXPECT_EQ(Sorted(testfs::List(tree_.Path())),
              (std::vector<std::string>{"HELP.TXT", "PROGRAM.EXE", "uninst.dat"}));
    EXPECT_EQ(Value(kKey, "DisplayVersion"), "2.1");
    EXPECT_FALSE(JournalStarted());
    // Nothing is left to undo.
    UndoUnfinishedInstallation();
    EXPECT_EQ(Value(kNewKey, "DisplayName"), "Atlas");
}

TEST_F(Rollback, NothingIsKeptWithoutAJournalNorFromAPathNotWhole)
{
    UndoItem early = Item(UNDO_KEY, kKey);
    EXPECT_EQ(KeepForUndo(&early), 0) << "no installation under way";
    ASSERT_TRUE(StartJournal(tree_.Path().c_str()));
    UndoItem relative = Item(UNDO_FILE, "uninst.dat");
    EXPECT_EQ(KeepForUndo(&relative), 0);
    UndoItem unterminated = Item(UNDO_FILE, tree_ / "uninst.dat");
    memset(unterminated.path, 'a', sizeof unterminated.path);
    EXPECT_EQ(KeepForUndo(&unterminated), 0);
    UndoItem older = Item(UNDO_KEY, kKey);
    older.size = 8;
    EXPECT_EQ(KeepForUndo(&older), 0);
    UndoUnfinishedInstallation();
    EXPECT_EQ(testfs::ReadWhole(tree_ / "uninst.dat"), "old record");
}

TEST_F(Rollback, AJournalASetupStillWritesIsNotAnotherRunsToUndo)
{
    Install(tree_);
    RecordPlaces places = {};
    EXPECT_EQ(SettleEarlierJournal(tree_.Path().c_str(), places, LogLine), EARLIER_UNUSABLE);
    EXPECT_EQ(testfs::ReadWhole(tree_ / "PROGRAM.EXE"), "new program");
    // Closed, it is an unfinished installation's like any other.
    CloseJournal();
    EXPECT_EQ(SettleEarlierJournal(tree_.Path().c_str(), places, LogLine), EARLIER_ROLLED_BACK);
    EXPECT_EQ(testfs::ReadWhole(tree_ / "PROGRAM.EXE"), "old program");
}

TEST_F(Rollback, KeysKeptByAKilledSetupComeBackWithTheNextUndo)
{
    Install(tree_);
    CloseJournal(); // killed: what it held in memory is gone
    RecordPlaces places = {};
    EXPECT_EQ(SettleEarlierJournal(tree_.Path().c_str(), places, LogLine), EARLIER_ROLLED_BACK);
    EXPECT_EQ(Value(kKey, "DisplayVersion"), "1.0");
    EXPECT_EQ(Value(kKey, "Added"), "<none>");
    EXPECT_EQ(Value(kNewKey, "DisplayName"), "<no key>");
}
