// The package's private folder: a name that is taken, by a folder or a
// file planted in advance, is never used; removal takes what it expanded.
#include "package/folder.h"

#include <gtest/gtest.h>

#include <string.h>

#include "tempdir.h"

namespace
{

// Random bytes of a fixed sequence: each call gives the next `value`.
struct Scripted {
    unsigned char values[4];
    int next;
};

bool ScriptedRandom(void *context, unsigned char *bytes, size_t size)
{
    auto *script = static_cast<Scripted *>(context);
    if (script->next == 4)
        return false;
    memset(bytes, script->values[script->next++], size);
    return true;
}

TEST(PrivateFolder, NameTakenByAPlantedFolderOrFileIsPassedOver)
{
    testfs::TempTree tree("kvlpack");
    std::string planted = tree.Folder("kvl0101010101010101");
    ASSERT_TRUE(testfs::WriteWhole(planted + "\\setup.exe", "planted"));
    ASSERT_TRUE(testfs::WriteWhole(tree / "kvl0202020202020202", "a file"));
    Scripted script = {{1, 2, 3, 4}, 0};
    char folder[kPathSize];
    ASSERT_TRUE(MakePrivateFolder(tree.Path().c_str(), ScriptedRandom, &script, folder));
    EXPECT_EQ(std::string(folder), tree / "kvl0303030303030303");
    EXPECT_EQ(script.next, 3);
    EXPECT_TRUE(testfs::List(folder).empty());
    EXPECT_EQ(testfs::ReadWhole(planted + "\\setup.exe"), "planted");

    ASSERT_TRUE(testfs::WriteWhole(std::string(folder) + "\\setup.exe", "ours"));
    EXPECT_TRUE(RemovePrivateFolder(folder));
    EXPECT_FALSE(testfs::IsFolder(folder));
    EXPECT_TRUE(testfs::IsFolder(planted));
}

TEST(PrivateFolder, NoFolderWhenTheRandomSourceFailsOrTheBaseIsMissing)
{
    testfs::TempTree tree("kvlpack");
    Scripted script = {{1, 2, 3, 4}, 4};
    char folder[kPathSize];
    EXPECT_FALSE(MakePrivateFolder(tree.Path().c_str(), ScriptedRandom, &script, folder));
    script.next = 0;
    EXPECT_FALSE(MakePrivateFolder((tree / "missing").c_str(), ScriptedRandom, &script, folder));
    EXPECT_EQ(script.next, 1); // a missing base is no taken name: no second try
    EXPECT_EQ(folder[0], 0);
}

TEST(PrivateFolder, OnlyAFolderOfTheStubsNamingWithItsMarkHeldByNobodyIsStale)
{
    testfs::TempTree tree("kvlstale");
    std::string folder = tree.Path();
    const char *base = folder.c_str();
    Scripted script = {{1, 2, 3, 4}, 0};
    char held[kPathSize], left[kPathSize];
    ASSERT_TRUE(MakePrivateFolder(base, ScriptedRandom, &script, held));
    void *heldMark = MarkPrivateFolder(held);
    ASSERT_NE(heldMark, nullptr);
    ASSERT_TRUE(MakePrivateFolder(base, ScriptedRandom, &script, left));
    ReleaseFolderMark(MarkPrivateFolder(left));
    ASSERT_TRUE(testfs::WriteWhole(std::string(left) + "\\setup.exe", "expanded"));
    // Folders no package can be proven to have left: no mark, a mark that
    // names another folder, a name of another form.
    std::string unmarked = tree.Folder("kvl0303030303030303");
    ASSERT_TRUE(testfs::WriteWhole(unmarked + "\\setup.exe", "someone's"));
    std::string borrowed = tree.Folder("kvl0505050505050505");
    ASSERT_TRUE(testfs::WriteWhole(borrowed + "\\kvl0606060606060606.run", ""));
    std::string misnamed = tree.Folder("kvl07070707070707");
    ASSERT_TRUE(testfs::WriteWhole(misnamed + "\\kvl07070707070707.run", ""));

    EXPECT_EQ(RemoveStaleFolders(base), 1);
    EXPECT_FALSE(testfs::IsFolder(left));
    for (const std::string &stays : {std::string(held), unmarked, borrowed, misnamed})
        EXPECT_TRUE(testfs::IsFolder(stays)) << stays;
    // Once its package has ended, the folder in use is stale too.
    ReleaseFolderMark(heldMark);
    EXPECT_EQ(RemoveStaleFolders(base), 1);
    EXPECT_FALSE(testfs::IsFolder(held));
}

} // namespace
