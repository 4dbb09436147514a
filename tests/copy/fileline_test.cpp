#include "copy/filelist.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace
{

struct Parsed {
    int accepted;
    FileListLine line;
};

Parsed Parse(const std::string &text)
{
    Parsed result = {};
    result.accepted = ParseFileListLine(text.c_str(), &result.line);
    return result;
}

std::string Flags(const FileListLine &line)
{
    return std::to_string(line.toWindowsFolder) + std::to_string(line.spareFlag1) +
           std::to_string(line.overwrite) + std::to_string(line.spareFlag2);
}

} // namespace

TEST(ParseFileListLine, WorkedExample)
{
    Parsed p = Parse("*.DL_, L, System, 0, 0, 1, 0;");
    ASSERT_EQ(p.accepted, 1);
    EXPECT_STREQ(p.line.pattern, "*.DL_");
    EXPECT_EQ(p.line.lastChar, 'L');
    EXPECT_STREQ(p.line.subFolder, "System");
    EXPECT_EQ(Flags(p.line), "0010");

    p = Parse("README.TX_,T,,1,0,0,0;");
    ASSERT_EQ(p.accepted, 1);
    EXPECT_STREQ(p.line.subFolder, "");
    EXPECT_EQ(Flags(p.line), "1000");
}

TEST(ParseFileListLine, BlanksVanishEverywhereTabsStay)
{
    Parsed spaced = Parse(" SETUP.EX_ , E , , 0 , 0 , 1 , 0 ; ");
    Parsed tight = Parse("SETUP.EX_,E,,0,0,1,0;");
    ASSERT_EQ(spaced.accepted, 1);
    ASSERT_EQ(tight.accepted, 1);
    EXPECT_STREQ(spaced.line.pattern, tight.line.pattern);
    EXPECT_EQ(spaced.line.lastChar, 'E');
    EXPECT_STREQ(spaced.line.subFolder, "");
    EXPECT_EQ(Flags(spaced.line), "0010");

    Parsed inside = Parse("MY FILE.EX_,E,Sub Dir\\A B,0,0,0,0;");
    EXPECT_STREQ(inside.line.pattern, "MYFILE.EX_");
    EXPECT_STREQ(inside.line.subFolder, "SubDir\\AB");

    Parsed tab = Parse("A\t.EX_,\tE,\tT,0\t,0,0,0;");
    ASSERT_EQ(tab.accepted, 1);
    EXPECT_STREQ(tab.line.pattern, "A\t.EX_");
    EXPECT_EQ(tab.line.lastChar, 'E');
    EXPECT_STREQ(tab.line.subFolder, "\tT");
    EXPECT_EQ(tab.line.toWindowsFolder, 1); // the field ends in a tab, not in 0

    char text[] = "  a b\t c  ";
    RemoveBlanks(text);
    EXPECT_STREQ(text, "ab\tc");
}

TEST(ParseFileListLine, MissingSeparatorRejectsAndLeavesTheLineAlone)
{
    const char *rejected[] = {
        "SETUP.EX_,E,,0,0,1,0",  // no ';'
        "SETUP.EX_;E,,0,0,1,0;", // ';' is not a ','
        "",
        ";",
        "A.EX_",
        "A.EX_,E",
        "A.EX_,E,Sub",
        "A.EX_,E,Sub,0",
        "A.EX_,E,Sub,0,0",
        "A.EX_,E,Sub,0,0,1;", // the ';' ends field 6, not field 7
    };
    for (const char *text : rejected) {
        FileListLine line;
        memset(&line, 0x5A, sizeof line);
        EXPECT_EQ(ParseFileListLine(text, &line), 0) << text;
        EXPECT_EQ(line.pattern[0], 0x5A) << text;
        EXPECT_EQ(line.toWindowsFolder, 0x5A5A5A5A) << text;
    }
}

TEST(ParseFileListLine, LinesThatWouldLeaveTheDestinationAreRejected)
{
    const char *rejected[] = {
        "A.TXT,T,..\\..\\escaped,0,0,1,0;",
        "A.TXT,T,Data\\..\\..\\x,0,0,1,0;",
        "A.TXT,T,Data/../../x,0,0,1,0;",
        "A.TXT,T,...\\x,0,0,1,0;",
        "A.TXT,T,..,0,0,1,0;",
        "A.TXT,T,C:\\Windows,0,0,1,0;",
        "A.TXT,T,C:x,0,0,1,0;",
        "A.TXT,T,\\Windows,0,0,1,0;",
        "A.TXT,T,\\\\server\\share,0,0,1,0;",
        "A.TXT,*,,0,0,1,0;",
        "A.TXT,?,,0,0,1,0;",
        "A.TXT,<,,0,0,1,0;",
        "A.TXT,\\,,0,0,1,0;",
        "A.TXT,/,,0,0,1,0;",
        "A.TXT,:,,0,0,1,0;",
        "A.TXT,\t,,0,0,1,0;",
    };
    for (const char *text : rejected)
        EXPECT_EQ(Parse(text).accepted, 0) << text;
    // Dots inside a name, and a single dot, stay below.
    EXPECT_EQ(Parse("A.TXT,T,Data\\v1..2\\.\\x,0,0,1,0;").accepted, 1);
}

TEST(ParseFileListLine, FieldsAndFlagsByTheirLastCharacter)
{
    EXPECT_EQ(Parse("A.EX_,E,,0,0,1,0,9;").line.spareFlag2, 1); // field 7 is "0,9"
    EXPECT_EQ(Parse("A.EX_,E,,0,0,1,9,0;").line.spareFlag2, 0); // field 7 is "9,0"
    EXPECT_EQ(Flags(Parse("A.EX_,E,,,0,1,0;").line), "1010");   // empty field 4
    EXPECT_EQ(Flags(Parse("A.EX_,E,,0,,,;").line), "0111");     // empty fields 5 to 7
    EXPECT_EQ(Flags(Parse("A.EX_,E,,10,01,x,0;").line), "0110");
    EXPECT_EQ(Flags(Parse("A.EX_,E,,O,00,-0,;").line), "1001"); // letter O is no digit
    EXPECT_EQ(Parse("A.EX_,XE,,0,0,0,0;").line.lastChar, 'E');
    EXPECT_EQ(Parse("A.EX_,,,0,0,0,0;").line.lastChar, '\0');
    EXPECT_STREQ(Parse(",E,,0,0,0,0;").line.pattern, "");

    Parsed tail = Parse("A.EX_,E,Sub,0,0,1,0;anything,at;all");
    ASSERT_EQ(tail.accepted, 1);
    EXPECT_STREQ(tail.line.subFolder, "Sub");
    EXPECT_EQ(Flags(tail.line), "0010");
}

TEST(ParseFileListLine, LineLongerThanAProfileValueIsRejected)
{
    std::string pattern(240, 'p');
    std::string fits = pattern + ",E,Sub,0,0,1,0;"; // 255 characters
    EXPECT_EQ(Parse(fits).accepted, 1);
    std::string blanks(4, ' ');
    EXPECT_EQ(Parse(fits + blanks).accepted, 1); // 259 characters
    EXPECT_EQ(Parse(fits + blanks + " ").accepted, 0);
}

TEST(FileListNames, DestinationNameAndModuleSubFolder)
{
    char dest[260];
    EXPECT_TRUE(ReplaceLastChar(dest, sizeof dest, "KRNL.DL_", 'L'));
    EXPECT_STREQ(dest, "KRNL.DLL");
    EXPECT_TRUE(ReplaceLastChar(dest, sizeof dest, "A.EX_", '\0'));
    EXPECT_STREQ(dest, "A.EX");
    EXPECT_FALSE(ReplaceLastChar(dest, 5, "A.EX_", 'E'));
    EXPECT_STREQ(dest, "");

    EXPECT_STREQ(ModuleListSubFolder("DATA.kvt"), "Tables");
    EXPECT_STREQ(ModuleListSubFolder("A.B.kvt"), "Tables");
    EXPECT_STREQ(ModuleListSubFolder("DATA.KVT"), "Resources");
    EXPECT_STREQ(ModuleListSubFolder("LOGO.BMP"), "Resources");
    EXPECT_STREQ(ModuleListSubFolder("DATA.kvt.bak"), "Resources");
    EXPECT_STREQ(ModuleListSubFolder("DATA.kvtx"), "Resources");
    EXPECT_STREQ(ModuleListSubFolder("README"), "Resources");
}
