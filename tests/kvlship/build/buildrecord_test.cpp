// The build record and its rule: a rebuild replaces what an earlier build
// recorded and nothing else; a build never deletes what it did not write.
#include "build/buildrecord.h"

#include "common/distribution.h"

#include "../tempfolder.h"

#include <string>
#include <vector>

namespace
{

using Names = std::vector<std::string>;

TEST(BuildRecord, TextReadsBackAsTheWritesAfterItself)
{
    Names writes = {kBuildRecordName, "setup.exe", "ORBIT.EX_", "My File.TX_"};
    EXPECT_EQ(RecordedNames(RecordText(writes)), Names(writes.begin() + 1, writes.end()));
    // Comments, blanks and anything with a folder are no names of its folder.
    EXPECT_EQ(RecordedNames("; note\r\n  A.TX_  \r\n\r\n..\\up.txt\r\nsub/x\r\n/etc/passwd\n"
                            "C:evil\nB"),
              (Names{"A.TX_", "B"}));
}

std::vector<FolderItem> Items(const Names &names)
{
    std::vector<FolderItem> items;
    for (const std::string &name : names)
        items.push_back({name, PathKind::File});
    return items;
}

TEST(BuildRecord, WhatARebuildMayReplace)
{
    Names writes = {kBuildRecordName, "setup.exe", "A.TX_"};
    const std::string unrecorded = "holds files that no build recorded in kvlbuild.lst; left as it "
                                   "is (give a new or empty folder)";
    EXPECT_EQ(WhyNotReplaceable({}, false, {}, writes), "");
    EXPECT_EQ(WhyNotReplaceable(Items({"notes.txt"}), false, {}, writes), unrecorded);
    // The record's own names, in any case; files it leaves alone may stay.
    EXPECT_EQ(WhyNotReplaceable(Items({"KVLBUILD.LST", "SETUP.EXE", "notes.txt"}), true,
                                {"setup.exe"}, writes),
              "");
    EXPECT_EQ(WhyNotReplaceable(Items({kBuildRecordName, "a.tx_"}), true, {"setup.exe"}, writes),
              "holds a.tx_, which no build wrote; left as it is");
}

class PrepareOutTest : public TempFolderTest
{
};

TEST_F(PrepareOutTest, RemovesWhatWasRecordedAndNothingElse)
{
    Put(kBuildRecordName, RecordText({kBuildRecordName, "OLD.TX_", "setup.exe"}));
    Put("OLD.TX_");
    Put("setup.exe");
    Put("notes.txt");
    Diagnostics told;
    EXPECT_TRUE(PrepareOut(folder_, {kBuildRecordName, "setup.exe"}, {"/elsewhere/m"}, &told));
    EXPECT_TRUE(told.Empty());
    EXPECT_FALSE(IsFile(JoinHost(folder_, "OLD.TX_")));
    EXPECT_FALSE(IsFile(JoinHost(folder_, "setup.exe")));
    EXPECT_TRUE(IsFile(JoinHost(folder_, "notes.txt")));
}

TEST_F(PrepareOutTest, RefusesAFolderItReadsOrDidNotRecord)
{
    std::string manifest = Put("m.manifest");
    Diagnostics told;
    EXPECT_FALSE(PrepareOut(folder_, {kBuildRecordName}, {manifest}, &told));
    EXPECT_FALSE(PrepareOut(folder_, {kBuildRecordName}, {}, &told));
    ASSERT_EQ(told.All().size(), 2u);
    EXPECT_EQ(told.All()[0].text,
              "holds " + manifest + ", which the build reads; give the build a folder of its own");
    EXPECT_EQ(told.All()[1].place, folder_);
    EXPECT_TRUE(IsFile(manifest));
}

} // namespace
