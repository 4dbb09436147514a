// The distribution's items as setup's directory search finds them.
#include "check/folder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

std::vector<std::string> Found(const std::vector<FolderItem> &items, const char *pattern,
                               int codePage = 1252)
{
    std::vector<std::string> names;
    for (const FolderItem *item : Matches(items, pattern, codePage))
        names.push_back(item->name);
    return names;
}

} // namespace

TEST(Matches, FindsByNameOrPatternWithCaseIgnoredBeyondAscii)
{
    std::vector<FolderItem> items = {{"A.TXT", PathKind::File},
                                     {"b.txt", PathKind::File},
                                     {"Docs", PathKind::Folder},
                                     {"\xC9T\xC9.DAT", PathKind::File}};
    // Sorted as the folder's listing is.
    std::sort(items.begin(), items.end(), [](const FolderItem &a, const FolderItem &b) {
        return CompareNames(a.name, b.name) < 0;
    });
    EXPECT_EQ(Found(items, "a.txt"), std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(Found(items, "B.TXT"), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(Found(items, "*.txt"), (std::vector<std::string>{"A.TXT", "b.txt"}));
    EXPECT_EQ(Found(items, "\xE9t\xE9.dat"), std::vector<std::string>{"\xC9T\xC9.DAT"});
    EXPECT_TRUE(Found(items, "C.TXT").empty());
    ASSERT_NE(FindItem(items, "b.txt"), nullptr);
    EXPECT_EQ(FindItem(items, "B.TXT"), nullptr); // exactly that name
}

TEST(WhyNotInstallable, NamesWhatTheCopyCannotTake)
{
    EXPECT_EQ(WhyNotInstallable({"A.TXT", PathKind::File}), "");
    EXPECT_EQ(WhyNotInstallable({"Docs", PathKind::Folder}),
              "matches the folder \"Docs\"; its copy will fail");
    EXPECT_NE(WhyNotInstallable({"A.LNK", PathKind::Link}).find("a symbolic link"),
              std::string::npos);
    EXPECT_NE(WhyNotInstallable({"A.FIFO", PathKind::Special}).find("a device, FIFO or socket"),
              std::string::npos);
    EXPECT_NE(WhyNotInstallable({"A\tB", PathKind::File}).find("a control character"),
              std::string::npos);
    EXPECT_NE(WhyNotInstallable({"CON.TXT", PathKind::File}).find("; its copy will fail"),
              std::string::npos);
}
