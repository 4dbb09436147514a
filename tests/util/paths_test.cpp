#include "util/paths.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

std::string Join(const char *first, const char *second)
{
    char out[kPathSize];
    return JoinPath(out, first, second) ? std::string(out) : std::string("<refused>");
}

} // namespace

TEST(JoinPath, AddsExactlyOneBackslash)
{
    EXPECT_EQ(Join("C:\\DEST", "FILE.TXT"), "C:\\DEST\\FILE.TXT");
    EXPECT_EQ(Join("C:\\DEST\\", "FILE.TXT"), "C:\\DEST\\FILE.TXT");
    EXPECT_EQ(Join("C:\\", "X"), "C:\\X");
}

TEST(JoinPath, EmptySecondPartGivesFolderWithBackslash)
{
    EXPECT_EQ(Join("C:\\DEST", ""), "C:\\DEST\\");
    EXPECT_EQ(Join("C:\\DEST\\", ""), "C:\\DEST\\");
}

TEST(JoinPath, LeadingBackslashOfSecondPartStays)
{
    EXPECT_EQ(Join("C:\\DEST\\", "\\X"), "C:\\DEST\\\\X");
}

TEST(JoinPath, EmptyFirstPartKeepsNameRelative)
{
    EXPECT_EQ(Join("", "FILE.TXT"), "FILE.TXT");
    EXPECT_EQ(Join("", ""), "");
}

TEST(JoinPath, ReturnsTerminatorPosition)
{
    char out[kPathSize];
    char *end = JoinPath(out, "C:\\A", "B");
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - out, 6);
    EXPECT_EQ(*end, 0);
}

TEST(JoinPath, RefusesResultThatDoesNotFit)
{
    std::string folder = "C:\\" + std::string(250, 'd');
    // 253 + 1 + 5 = 259 characters fit a 260-byte buffer exactly.
    EXPECT_EQ(Join(folder.c_str(), "12345").size(), 259u);
    char out[kPathSize] = "old";
    EXPECT_EQ(JoinPath(out, folder.c_str(), "123456"), nullptr);
    EXPECT_STREQ(out, "");
    // The backslash that would be added counts too.
    char small[5];
    EXPECT_EQ(JoinPath(small, "AB", "C"), small + 4);
    EXPECT_EQ(JoinPath(small, "AB", "CD"), nullptr);
}

TEST(FolderOfPath, KeepsTrailingBackslash)
{
    char out[kPathSize];
    ASSERT_TRUE(FolderOfPath(out, "C:\\SETUP\\SETUP.EXE"));
    EXPECT_STREQ(out, "C:\\SETUP\\");
    ASSERT_TRUE(FolderOfPath(out, "C:\\SETUP.EXE"));
    EXPECT_STREQ(out, "C:\\");
}

TEST(FolderOfPath, PathWithoutBackslashGivesEmptyFolder)
{
    char out[kPathSize] = "old";
    ASSERT_TRUE(FolderOfPath(out, "SETUP.EXE"));
    EXPECT_STREQ(out, "");
}

TEST(FolderOfPath, RefusesFolderThatDoesNotFit)
{
    char out[10] = "old";
    EXPECT_FALSE(FolderOfPath(out, "C:\\LONGFOLDER\\A"));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(FolderOfPath(out, "C:\\ABCD\\LONGNAME.TXT")); // the name need not fit
    EXPECT_STREQ(out, "C:\\ABCD\\");
}

TEST(QuoteCommand, OnlyCommandsWithBlanksAreQuoted)
{
    char plain[kPathSize] = "C:\\APP\\DEMO.EXE";
    EXPECT_EQ(QuoteCommand(plain), 0);
    EXPECT_STREQ(plain, "C:\\APP\\DEMO.EXE");

    char tabbed[kPathSize] = "C:\\MY\tAPP\\DEMO.EXE";
    EXPECT_EQ(QuoteCommand(tabbed), 0);

    char blank[kPathSize] = "C:\\MY APP\\DEMO.EXE";
    EXPECT_EQ(QuoteCommand(blank), 1);
    EXPECT_STREQ(blank, "\"C:\\MY APP\\DEMO.EXE\"");
}

TEST(QuoteCommand, AlreadyQuotedCommandGetsSecondPair)
{
    char quoted[kPathSize] = "\"C:\\MY APP\\DEMO.EXE\"";
    EXPECT_EQ(QuoteCommand(quoted), 1);
    EXPECT_STREQ(quoted, "\"\"C:\\MY APP\\DEMO.EXE\"\"");
}

TEST(QuoteCommand, RefusesCommandThatWouldNotFit)
{
    char command[8] = "A B CD"; // 6 characters + 2 quotes + terminator = 9
    EXPECT_EQ(QuoteCommand(command), -1);
    EXPECT_STREQ(command, "A B CD");
    char fits[9] = "A B CD";
    EXPECT_EQ(QuoteCommand(fits), 1);
    EXPECT_STREQ(fits, "\"A B CD\"");
}

TEST(PathKinds, AbsolutePathsAndPlainNames)
{
    EXPECT_TRUE(IsAbsolutePath("C:\\Program Files"));
    EXPECT_TRUE(IsAbsolutePath("\\\\server\\share"));
    EXPECT_FALSE(IsAbsolutePath(""));
    EXPECT_FALSE(IsAbsolutePath("Program Files"));
    EXPECT_FALSE(IsAbsolutePath("C:Program Files")); // relative to C:'s current folder

    EXPECT_TRUE(IsPlainName("DATA.kvt"));
    EXPECT_TRUE(IsPlainName("A..B"));
    EXPECT_FALSE(IsPlainName(""));
    EXPECT_FALSE(IsPlainName(".."));
    EXPECT_FALSE(IsPlainName("..\\..\\x.kvt"));
    EXPECT_FALSE(IsPlainName("Sub/x.kvt"));
    EXPECT_FALSE(IsPlainName("C:x.kvt"));
}

namespace
{

std::string Full(const char *path)
{
    char out[kPathSize];
    bool fine = FullFolderPath(out, path);
    EXPECT_EQ(fine, out[0] != 0) << path;
    return fine ? std::string(out) : std::string("<refused>");
}

} // namespace

TEST(FullFolderPath, WritesTheFolderFilesLandIn)
{
    EXPECT_EQ(Full("C:\\Dotty."), "C:\\Dotty");
    EXPECT_EQ(Full("C:\\Spacey "), "C:\\Spacey");
    EXPECT_EQ(Full("C:\\Base\\.\\Seg"), "C:\\Base\\Seg");
    EXPECT_EQ(Full("C:\\\\Dbl\\"), "C:\\Dbl");
    EXPECT_EQ(Full("C:/Fwd/Sub/"), "C:\\Fwd\\Sub");
    EXPECT_EQ(Full("C:\\Base\\..\\Up"), "C:\\Up");
    EXPECT_EQ(Full("C:\\..\\..\\Up"), "C:\\Up");
    EXPECT_EQ(Full("C:\\A. .\\B"), "C:\\A\\B");
    EXPECT_EQ(Full("C:\\My Atlas\\v1.2"), "C:\\My Atlas\\v1.2");
    EXPECT_EQ(Full("C:\\Base\\.."), "C:\\");
    EXPECT_EQ(Full("d:\\"), "d:\\");
}

TEST(FullFolderPath, TakesSharesAndTheLongPrefix)
{
    EXPECT_EQ(Full("\\\\?\\C:\\Qmark"), "C:\\Qmark");
    EXPECT_EQ(Full("\\\\server\\share\\..\\x"), "\\\\server\\share\\x");
    EXPECT_EQ(Full("//server/share/"), "\\\\server\\share");
    EXPECT_EQ(Full("\\\\?\\UNC\\server\\share\\A"), "\\\\server\\share\\A");
}

TEST(FullFolderPath, RefusesWhatCannotBeAFolder)
{
    const char *const bad[] = {"",          "Atlas",         "\\Atlas",        "C:",
                               "C:Atlas",   "C:\\...",       "C:\\a\\ .\\b",   "C:\\a<b",
                               "C:\\a:b",   "C:\\a|b",       "C:\\NUL",        "C:\\com1.txt\\x",
                               "\\\\.\\C:", "\\\\?\\Volume", "\\\\server",     "\\\\server\\",
                               "\\\\..\\s", "C:\\a\tb",      "\\\\?\\UNC\\srv"};
    for (const char *path : bad)
        EXPECT_EQ(Full(path), "<refused>") << path;
    // The result must fit: a name that would cross the limit is refused whole.
    std::string longPath = "C:\\" + std::string(kPathSize - 4, 'a');
    EXPECT_EQ(Full(longPath.c_str()), longPath);
    EXPECT_EQ(Full((longPath + "\\b").c_str()), "<refused>");
}

TEST(NormaliseFullPath, SpellingsOfOnePlaceMeet)
{
    const struct {
        const char *path;
        const char *normal;
    } cases[] = {
        {"c:\\Tools\\", "C:\\Tools"},
        {"C:/Tools//Atlas/./bin", "C:\\Tools\\Atlas\\bin"},
        {"C:\\Tools\\Atlas\\..\\..\\Windows", "C:\\Windows"},
        {"C:\\..\\..\\Windows", "C:\\Windows"}, // never above the root
        {"C:\\Tools\\Atlas. \\x.ini.", "C:\\Tools\\Atlas\\x.ini"},
        {"C:\\", "C:\\"},
        {"\\\\srv\\share\\..\\..\\a", "\\\\srv\\share\\a"},
    };
    for (const auto &c : cases) {
        char out[kPathSize];
        ASSERT_TRUE(NormaliseFullPath(out, c.path)) << c.path;
        EXPECT_STREQ(out, c.normal) << c.path;
    }
    char out[kPathSize] = "x";
    for (const char *refused :
         {"Tools\\Atlas", "C:Tools", "\\\\?\\C:\\Tools", "\\\\.\\COM1", "\\\\srv", "\\\\\\x\\y"}) {
        EXPECT_FALSE(NormaliseFullPath(out, refused)) << refused;
        EXPECT_STREQ(out, "") << refused;
    }
    char small[8];
    EXPECT_FALSE(NormaliseFullPath(small, "C:\\Program Files"));
}

TEST(NormaliseFullPath, WithinComparesWholeComponents)
{
    EXPECT_TRUE(PathWithin("C:\\Tools\\Atlas\\a.txt", "c:\\tools\\atlas", false));
    EXPECT_TRUE(PathWithin("C:\\Tools", "C:\\Tools", true));
    EXPECT_FALSE(PathWithin("C:\\Tools", "C:\\Tools", false));
    EXPECT_FALSE(PathWithin("C:\\ToolsX\\a.txt", "C:\\Tools", true));
    EXPECT_TRUE(PathWithin("C:\\a.txt", "C:\\", false));
    EXPECT_FALSE(PathWithin("C:\\a.txt", "", true));
}
