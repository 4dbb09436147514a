#include "copy/copylist.h"
#include "entries.h"

#include "boxwatch.h"
#include "guardpage.h"
#include "setupmodule.h"
#include "shell/mainwnd.h"
#include "util/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

class Lists : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ResetCopyList();
        ResetAddInList();
    }
    int Add(const std::string &source, const char *dest = "D", const char *sub = "S", int flag = 0)
    {
        return AddCopyEntry(source.c_str(), dest, sub, flag, flag, flag, flag, 7, 0);
    }
    int AddIn(const char *description, const char *file = "F.EXE", const char *params = "")
    {
        AddInRequest request = {};
        CopyText(request.description, description);
        CopyText(request.fileName, file);
        CopyText(request.parameters, params);
        return AddAddIn(&request);
    }
    BoxWatcher boxes;
};

// A message box that says `text` under `caption`, with no owner, one
// button and no icon.
void ExpectPlainBox(const SeenBox &box, const char *caption, const char *text)
{
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.buttons, 1);
    EXPECT_EQ(box.icons, 0);
}

} // namespace

TEST_F(Lists, AddStoresEveryFieldInTheLowestFreeSlot)
{
    EXPECT_EQ(AddCopyEntry("A.EX_", "A.EXE", "Bin\\Sub", 1, 2, 3, 4, 1234, 5), 0);
    EXPECT_EQ(AddCopyEntry("B.EX_", "", "", 0, 0, 0, 0, 0, 0), 1);
    const CopyEntry &a = g_copyList.slots[0];
    EXPECT_STREQ(a.sourceName, "A.EX_");
    EXPECT_STREQ(a.destName, "A.EXE");
    EXPECT_STREQ(a.subFolder, "Bin\\Sub");
    EXPECT_EQ(a.toWindowsFolder, 1);
    EXPECT_EQ(a.spareFlag1, 2);
    EXPECT_EQ(a.overwrite, 3);
    EXPECT_EQ(a.spareFlag2, 4);
    EXPECT_EQ(a.size, 1234);
    EXPECT_EQ(a.absolutePaths, 5);
    EXPECT_EQ(a.inUse, 1);
    EXPECT_EQ(CountCopyEntries(), 2);
    ResetCopyList();
    EXPECT_EQ(CountCopyEntries(), 0);
    EXPECT_STREQ(g_copyList.slots[0].sourceName, "");
    EXPECT_EQ(Add("A.EX_"), 0);
}

TEST_F(Lists, DuplicateSourceIsRefusedExactlyAndCaseSensitively)
{
    EXPECT_EQ(Add("A.EX_", "FIRST", "One", 0), 0);
    EXPECT_EQ(Add("A.EX_", "SECOND", "Two", 1), -1);
    EXPECT_STREQ(g_copyList.slots[0].destName, "FIRST");
    EXPECT_STREQ(g_copyList.slots[0].subFolder, "One");
    EXPECT_EQ(g_copyList.slots[0].overwrite, 0);
    EXPECT_EQ(Add("a.ex_"), 1);
    EXPECT_EQ(Add("A.EX"), 2);
    EXPECT_EQ(Add("A.EX_ "), 3);
    EXPECT_EQ(CountCopyEntries(), 4);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(Lists, FullCopyListTellsTheUserOncePerAddButNotForADuplicate)
{
    for (int i = 0; i < kCopySlots; ++i)
        ASSERT_EQ(Add("F" + std::to_string(i)), i);
    EXPECT_TRUE(boxes.Seen().empty());

    EXPECT_EQ(Add("NEW1"), -1);
    EXPECT_EQ(Add("NEW2"), -1);
    EXPECT_EQ(Add("F5"), -1); // duplicate: no message
    std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const SeenBox &box : seen)
        ExpectPlainBox(box, "KARVELO - Setup", "No more copy-list place");
    EXPECT_EQ(CountCopyEntries(), kCopySlots);
}

TEST_F(Lists, FreedSlotIsTakenByTheNextAdd)
{
    for (int i = 0; i < 10; ++i)
        Add("F" + std::to_string(i));
    ReleaseCopySlot(5); // what the conflict scan does to a refused entry
    EXPECT_EQ(CountCopyEntries(), 9);
    EXPECT_EQ(Add("NEW"), 5);
    EXPECT_STREQ(g_copyList.slots[5].sourceName, "NEW");
    EXPECT_STREQ(g_copyList.slots[6].sourceName, "F6");
}

TEST_F(Lists, NamesThatDoNotFitTheirFieldsAreRefusedSilently)
{
    std::string longest(263, 'n');
    EXPECT_EQ(Add(longest), 0);
    EXPECT_STREQ(g_copyList.slots[0].sourceName, longest.c_str());
    EXPECT_EQ(Add(std::string(264, 'x')), -1);
    EXPECT_EQ(AddCopyEntry("OK", std::string(264, 'd').c_str(), "", 0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(AddCopyEntry("OK", "", std::string(259, 's').c_str(), 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(AddCopyEntry("OK2", "", std::string(260, 's').c_str(), 0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(CountCopyEntries(), 2);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(Lists, CopyRequestIsReadWithinItsFields)
{
    GuardedPage memory;
    ASSERT_TRUE(memory.Ready());
    // sourceName fills its 264 bytes and ends at the unreadable page: the
    // rest of the record is never touched.
    auto *cut = reinterpret_cast<CopyRequest *>(memory.EndingAt(sizeof(CopyRequest::sourceName)));
    memset(cut->sourceName, 'A', sizeof cut->sourceName);
    EXPECT_EQ(AddCopyRequest(cut), -1);

    // A whole record of non-zero bytes at the end of the page.
    auto *full = reinterpret_cast<CopyRequest *>(memory.EndingAt(sizeof(CopyRequest)));
    memset(full, 'B', sizeof *full);
    EXPECT_EQ(AddCopyRequest(full), -1);
    full->sourceName[10] = 0;
    full->destName[10] = 0;
    EXPECT_EQ(AddCopyRequest(full), -1); // subFolder still unterminated
    full->subFolder[259] = 0;
    EXPECT_EQ(AddCopyRequest(full), 0);
    EXPECT_EQ(g_copyList.slots[0].absolutePaths, 0x42424242);
    EXPECT_EQ(AddCopyRequest(nullptr), -1);
    EXPECT_EQ(CountCopyEntries(), 1);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(Lists, AddInsKeepTheSameSlotDiscipline)
{
    for (int i = 0; i < kAddInSlots; ++i)
        ASSERT_EQ(AddIn(("Tool " + std::to_string(i)).c_str(), "T.EXE", "/q"), i);
    EXPECT_STREQ(g_addInList.slots[3].description, "Tool 3");
    EXPECT_STREQ(g_addInList.slots[3].fileName, "T.EXE");
    EXPECT_STREQ(g_addInList.slots[3].parameters, "/q");
    EXPECT_EQ(AddIn("Tool 3"), -1); // duplicate: no message
    EXPECT_TRUE(boxes.Seen().empty());

    EXPECT_EQ(AddIn("Ninth"), -1);
    std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    ExpectPlainBox(seen[0], "KARVELO Setup", "No more AddIn-list place");

    g_addInList.slots[2].inUse = 0;
    EXPECT_EQ(AddIn("tool 3"), 2); // case counts
    ResetAddInList();
    EXPECT_EQ(AddIn("Ninth"), 0);
}

TEST_F(Lists, AddInRequestIsReadWithinItsFields)
{
    GuardedPage memory;
    ASSERT_TRUE(memory.Ready());
    auto *cut =
        reinterpret_cast<AddInRequest *>(memory.EndingAt(sizeof(AddInRequest::description)));
    memset(cut->description, 'A', sizeof cut->description);
    EXPECT_EQ(AddAddIn(cut), -1);

    auto *full = reinterpret_cast<AddInRequest *>(memory.EndingAt(sizeof(AddInRequest)));
    memset(full, 'B', sizeof *full);
    full->description[0] = 0;
    full->fileName[0] = 0;
    EXPECT_EQ(AddAddIn(full), -1); // parameters run up to the unreadable page
    full->parameters[259] = 0;
    EXPECT_EQ(AddAddIn(full), 0);
    EXPECT_EQ(strlen(g_addInList.slots[0].parameters), 259u);
    EXPECT_EQ(AddAddIn(nullptr), -1);
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(Lists, MainWindowAnswersTheModulesRequests)
{
    CopyRequest copy = {};
    CopyText(copy.sourceName, "C:\\SRC\\A.BIN");
    CopyText(copy.destName, "C:\\DST\\A.BIN");
    copy.absolutePaths = 1;
    copy.size = 99;
    EXPECT_EQ(WndProc(nullptr, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&copy)), 0);
    EXPECT_EQ(WndProc(nullptr, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&copy)), -1);
    EXPECT_STREQ(g_copyList.slots[0].destName, "C:\\DST\\A.BIN");
    EXPECT_EQ(g_copyList.slots[0].size, 99);
    EXPECT_EQ(g_copyList.slots[0].absolutePaths, 1);

    AddInRequest addIn = {};
    CopyText(addIn.description, "Viewer");
    EXPECT_EQ(WndProc(nullptr, SM_ADDADDIN, 0, reinterpret_cast<LPARAM>(&addIn)), 0);
    EXPECT_EQ(WndProc(nullptr, SM_ADDADDIN, 0, reinterpret_cast<LPARAM>(&addIn)), -1);
}

// A request too large for its size field is weighed at its source's own size.
TEST_F(Lists, ARequestLeftToMeasureTakesItsSourcesSize)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string source = std::string(temp) + "kvlmeasure.bin";
    HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "0123456789", 10, &written, nullptr);
    CloseHandle(file);
    CopyRequest copy = {};
    CopyText(copy.sourceName, source.c_str());
    CopyText(copy.destName, "C:\\DST\\B.BIN");
    copy.absolutePaths = 1;
    copy.size = COPY_SIZE_MEASURED;
    EXPECT_EQ(WndProc(nullptr, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&copy)), 0);
    EXPECT_EQ(g_copyList.slots[0].size, 10);
    DeleteFileA(source.c_str());
}

TEST(DeclaredCopySlots, TheKeyGivesTheRoomWithinTheEnginesLimit)
{
    EXPECT_EQ(DeclaredCopySlots(nullptr), kCopySlots);
    EXPECT_EQ(DeclaredCopySlots("0"), kCopySlots);
    EXPECT_EQ(DeclaredCopySlots("100"), kCopySlots);
    EXPECT_EQ(DeclaredCopySlots("1109"), 1109);
    EXPECT_EQ(DeclaredCopySlots("65536"), 65536);
    for (const char *bad : {"", "65537", "-5", "12x", " 5", "99999999999999999999", "1e3"})
        EXPECT_EQ(DeclaredCopySlots(bad), -1) << bad;
}

class DeclaredList : public Lists
{
  protected:
    void SetUp() override
    {
        room_.assign(kRoom, CopyEntry());
        index_.assign(static_cast<size_t>(CopyIndexSize(kRoom)), 0);
        UseCopyRoom(room_.data(), kRoom, index_.data(), static_cast<int>(index_.size()));
    }
    void TearDown() override
    {
        // The next test finds the default room again.
        static CopyEntry slots[kCopySlots];
        static int index[2 * kCopySlots];
        UseCopyRoom(slots, kCopySlots, index, 2 * kCopySlots);
    }
    static constexpr int kRoom = 1109;
    std::vector<CopyEntry> room_;
    std::vector<int> index_;
};

TEST_F(DeclaredList, HoldsTheDeclaredEntriesWithTheSameRules)
{
    for (int i = 0; i < kRoom; ++i)
        ASSERT_EQ(Add("F" + std::to_string(i)), i);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(Add("F700"), -1); // a duplicate far above the default's slots: no message
    EXPECT_EQ(Add("f700"), -1); // case counts as before: this one has no place left
    std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    ExpectPlainBox(seen[0], "KARVELO - Setup", "No more copy-list place");

    // A freed slot is the next add's; the name it held may come back.
    ReleaseCopySlot(900);
    ReleaseCopySlot(300);
    EXPECT_EQ(Add("F900"), 300);
    EXPECT_EQ(Add("NEW"), 900);
    EXPECT_EQ(CopySlotEnd(), kRoom);
    EXPECT_EQ(Add("F900"), -1);
    EXPECT_EQ(CountCopyEntries(), kRoom);
}

TEST_F(DeclaredList, ManyFreedAndRetakenNamesKeepTheDuplicateTestRight)
{
    // Freed names leave stale cells in the index until it is made again.
    for (int round = 0; round < 40; ++round) {
        for (int i = 0; i < 100; ++i)
            ASSERT_GE(Add("R" + std::to_string(round) + "_" + std::to_string(i)), 0);
        for (int slot = 0; slot < 100; ++slot)
            ReleaseCopySlot(slot);
    }
    EXPECT_EQ(CountCopyEntries(), 0);
    EXPECT_EQ(Add("R39_5"), 0);
    EXPECT_EQ(Add("R39_5"), -1);
    EXPECT_TRUE(boxes.Seen().empty());
}
