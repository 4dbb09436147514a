// What kvlship try makes of a run without running one: paths on the trial
// prefix's drive, the destination in setup's log, `reg query`'s listing,
// winlist's lines, and the judgement of files, shortcuts and settings
// against a drive that a map stands in for.
#include "trial/judge.h"
#include "trial/windowlist.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace
{

// A drive of Windows paths (as written) and their contents.
DriveLook LookAt(const std::map<std::string, std::string> &files)
{
    return [&files](const std::string &path, long long *size, std::string *bytes) {
        for (const auto &[name, content] : files) {
            if (!SameWindowsPath(name, path))
                continue;
            *size = static_cast<long long>(content.size());
            if (bytes)
                *bytes = content;
            return true;
        }
        return false;
    };
}

Profile Data(const std::string &text)
{
    Profile data;
    ParseProfile(text, &data);
    return data;
}

} // namespace

TEST(TrialPaths, MapsDriveCAndRefusesWhatLeavesIt)
{
    EXPECT_EQ(WindowsToDrive("C:\\Program Files\\Atlas\\A.TXT"), "Program Files/Atlas/A.TXT");
    EXPECT_EQ(WindowsToDrive("c:/x//y\\"), "x/y");
    EXPECT_EQ(WindowsToDrive("C:\\"), "");
    EXPECT_EQ(WindowsToDrive("D:\\x"), "");
    EXPECT_EQ(WindowsToDrive("C:x"), "");
    EXPECT_EQ(WindowsToDrive("C:\\a\\..\\..\\etc"), "");
    EXPECT_EQ(DriveToWindows("Program Files/Atlas"), "C:\\Program Files\\Atlas");
    EXPECT_TRUE(SameWindowsPath("C:\\Program Files\\ATLAS\\", "c:/program files/atlas"));
    EXPECT_FALSE(SameWindowsPath("C:\\Atlas", "C:\\Atlas2"));
    EXPECT_EQ(JoinWindows("C:\\", "A"), "C:\\A");
}

TEST(TrialPaths, SixtyFourBitWindowsMovesOnlyProgramFiles)
{
    EXPECT_EQ(Wow64Destination("C:\\Program Files\\Harbour Atlas"),
              "C:\\Program Files (x86)\\Harbour Atlas");
    EXPECT_EQ(Wow64Destination("C:\\Program Files"), "C:\\Program Files (x86)");
    EXPECT_EQ(Wow64Destination("C:\\Program Files Extra\\A"), "");
    EXPECT_EQ(Wow64Destination("C:\\Own"), "");
}

TEST(WindowsNames, DevicesAndNamesWindowsWouldChangeAreNamedWithTheirPart)
{
    for (const char *device : {"CON .TXT", "nul.txt.gz", "Com1", "LPT9 ", "AUX.", "CONOUT$.X"})
        EXPECT_NE(WhyNotWindowsName(device).find("device"), std::string::npos) << device;
    EXPECT_NE(WhyNotWindowsName("Readme.").find("dot or blank"), std::string::npos);
    for (const char *plain : {"CONSOLE.TXT", "COM10", "A.NUL",
                              "\xDC"
                              "bersicht.txt"})
        EXPECT_EQ(WhyNotWindowsName(plain), "") << plain;
    EXPECT_EQ(WhyNotWindowsPath("Docs\\Help\\GUIDE.TXT"), "");
    EXPECT_EQ(WhyNotWindowsPath("Docs\\prn\\GUIDE.TXT").substr(0, 5), "\"prn\"");
}

TEST(TrialLog, TheShellsDestinationLineOnlyTheLastOneCounts)
{
    std::vector<std::string> log = {
        "2026-12-07 19:00:00.000 setup started, interactive",
        "2026-12-07 19:00:01.000 destination: C:\\Program Files\\KarveloEngine",
        "2026-12-07 19:00:02.000 module says: destination: C:\\Elsewhere",
        "destination: C:\\No stamp",
    };
    EXPECT_EQ(LoggedDestination(log), "C:\\Program Files\\KarveloEngine");
    log.push_back("2026-12-07 19:05:00.000 destination: C:\\Second Run");
    EXPECT_EQ(LoggedDestination(log), "C:\\Second Run");
    EXPECT_EQ(LoggedDestination({}), "");
    EXPECT_EQ(LoggedStamp(log, "module says: "), "2026-12-07 19:00:02.000");
    EXPECT_EQ(LoggedStamp(log, "demonstration started: "), "");
}

TEST(TrialBoxes, OnlySetupsOwnBoxesAreExpected)
{
    EXPECT_EQ(UnexpectedBoxFault(BoxOwner::Setup, "Atlas", "Replace it?"), "");
    EXPECT_EQ(UnexpectedBoxFault(BoxOwner::Demonstration, "Notepad",
                                 "File 'C:\\A\\Demos\\' does not exist.\nCreate it?"),
              "the demonstration showed the box \"Notepad\": "
              "File 'C:\\A\\Demos\\' does not exist. Create it?");
    EXPECT_NE(UnexpectedBoxFault(BoxOwner::Other, "winedbg", "crashed"), "");
}

TEST(TrialRegistry, ReadsKeysAndTextValuesWithBlanksInNames)
{
    std::vector<RegistryKey> keys = ParseRegQuery(
        "\r\nHKEY_LOCAL_MACHINE\\Software\\Uninstall\r\n\r\n"
        "HKEY_LOCAL_MACHINE\\Software\\Uninstall\\Harbour Atlas\r\n"
        "    DisplayName    REG_SZ    Harbour Atlas 2.1\r\n"
        "    EstimatedSize    REG_DWORD    0x10\r\n"
        "    Install Location    REG_EXPAND_SZ    C:\\Program Files\\Harbour Atlas\r\n"
        "    Empty    REG_SZ    \r\n");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[0].values.empty());
    EXPECT_EQ(keys[1].name, "HKEY_LOCAL_MACHINE\\Software\\Uninstall\\Harbour Atlas");
    EXPECT_EQ(keys[1].values.at("DisplayName"), "Harbour Atlas 2.1");
    EXPECT_EQ(keys[1].values.at("Install Location"), "C:\\Program Files\\Harbour Atlas");
    EXPECT_EQ(keys[1].values.at("Empty"), "");
    EXPECT_EQ(keys[1].values.count("EstimatedSize"), 0u);
}

TEST(TrialJudge, EveryPlannedFileAtItsSize)
{
    CheckResult plan;
    plan.files = {{"cbItem00", "A.TX_", "C:\\Dest\\A.TXT", 3, true, true},
                  {"cbItem01", "B.TX_", "C:\\Dest\\Sub\\B.TXT", 5, true, true},
                  {"cbItem02", "C.TX_", "C:\\Dest\\C.TXT", 1, true, true}};
    std::map<std::string, std::string> drive = {{"C:\\DEST\\a.txt", "abc"},
                                                {"C:\\Dest\\Sub\\B.TXT", "abcd"}};
    Judgement judgement;
    JudgeFiles(plan, LookAt(drive), &judgement);
    ASSERT_EQ(judgement.faults.size(), 2u);
    EXPECT_EQ(judgement.faults[0], "C:\\Dest\\Sub\\B.TXT (cbItem01) has 4 bytes, not 5");
    EXPECT_EQ(judgement.faults[1], "C:\\Dest\\C.TXT (cbItem02) was not installed");
}

TEST(TrialJudge, StockShortcutsAreWhereTheGroupSaysAndMissesAreNamed)
{
    Profile data = Data("[GROUP]\ncbName = Atlas\n"
                        "cbItem00=Demo | DEMO.EXE | HARBOUR.TXT | Demos | The demo\n"
                        "cbItem01=Read Me|README.TXT||.|About | with a bar\n"
                        "cbItem02=Broken|X.EXE\n"
                        "cbItem03=\n"
                        "cbItem05=After a gap|A.EXE||.|never read\n");
    std::vector<ExpectedShortcut> links =
        StockShortcuts(data, "C:\\Own", "C:\\users\\me\\Start Menu\\Programs");
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].link, "C:\\users\\me\\Start Menu\\Programs\\Atlas\\Demo.lnk");
    EXPECT_EQ(links[0].target, "C:\\Own\\DEMO.EXE");
    EXPECT_EQ(links[0].arguments, "HARBOUR.TXT");
    EXPECT_EQ(links[0].workingFolder, "C:\\Own\\Demos");
    EXPECT_EQ(links[1].workingFolder, "C:\\Own");
    EXPECT_EQ(links[1].description, "About | with a bar");
    EXPECT_FALSE(links[2].problem.empty());
    EXPECT_TRUE(StockShortcuts(Data("[GROUP]\ncbItem00=A|A.EXE||.|a\n"), "C:\\Own", "P").empty());

    std::map<std::string, std::string> drive = {
        {"C:\\users\\me\\Start Menu\\Programs\\Atlas\\Demo.lnk", "not a link"}};
    Judgement judgement;
    JudgeShortcuts(links, LookAt(drive), &judgement);
    ASSERT_EQ(judgement.faults.size(), 3u);
    EXPECT_NE(judgement.faults[0].find("Demo.lnk, cannot be read"), std::string::npos);
    EXPECT_NE(judgement.faults[1].find("[GROUP] cbItem01, C:\\users\\me\\Start Menu\\Programs\\"
                                       "Atlas\\Read Me.lnk, was not written"),
              std::string::npos);
    EXPECT_NE(judgement.faults[2].find("[GROUP] cbItem02 has fewer than 5 fields"),
              std::string::npos);
}

TEST(TrialJudge, StockSettingsWithTheDestinationExpanded)
{
    Profile data = Data("[INI]\ncbItem00=ATLAS.INI|Atlas|Home|%DEST%\\data;%DEST%\n"
                        "cbItem01=ATLAS.INI|Atlas|Version|2.1\n"
                        "cbItem02=ATLAS.INI|Atlas|Missing|x\n"
                        "cbItem03=Conf\\NONE.INI|A|B|C\n");
    std::vector<ExpectedSetting> settings = StockSettings(data, "C:\\Own");
    ASSERT_EQ(settings.size(), 4u);
    EXPECT_EQ(settings[0].value, "C:\\Own\\data;C:\\Own");
    std::map<std::string, std::string> drive = {
        {"C:\\Own\\ATLAS.INI", "[Atlas]\r\nHome=C:\\Own\\data;C:\\Own\r\nVersion=2.0\r\n"}};
    Judgement judgement;
    JudgeSettings(settings, LookAt(drive), &judgement);
    ASSERT_EQ(judgement.faults.size(), 3u);
    EXPECT_EQ(judgement.faults[0], "the setting of [INI] cbItem01: C:\\Own\\ATLAS.INI [Atlas] "
                                   "Version is \"2.0\", not \"2.1\"");
    EXPECT_EQ(judgement.faults[1],
              "the setting of [INI] cbItem02: C:\\Own\\ATLAS.INI [Atlas] Missing is missing");
    EXPECT_EQ(judgement.faults[2],
              "the setting of [INI] cbItem03: its file C:\\Own\\Conf\\NONE.INI was not written");
}

TEST(TrialJudge, AnUpgradeNotesWhatTheOlderVersionShippedAndThisOneDoesNot)
{
    CheckResult older, plan;
    older.files = {{"cbItem00", "A.TX_", "C:\\Dest\\A.TXT", 1, true, true},
                   {"cbItem01", "OLD.TX_", "C:\\Dest\\OLD.TXT", 1, true, true},
                   {"cbItem02", "GONE.TX_", "C:\\Dest\\GONE.TXT", 1, true, true}};
    plan.files = {{"cbItem00", "A.TX_", "C:\\DEST\\a.txt", 1, true, true}};
    std::map<std::string, std::string> drive = {{"C:\\Dest\\OLD.TXT", "x"}};
    Judgement judgement;
    NoteNoLongerShipped(older, plan, LookAt(drive), &judgement);
    EXPECT_TRUE(judgement.faults.empty());
    ASSERT_EQ(judgement.notes.size(), 2u);
    EXPECT_NE(judgement.notes[0].find("OLD.TXT, installed by the older version, is not shipped "
                                      "by this one: the upgrade left it"),
              std::string::npos);
    EXPECT_NE(judgement.notes[1].find("GONE.TXT"), std::string::npos);
    EXPECT_NE(judgement.notes[1].find("the upgrade removed it"), std::string::npos);
}

TEST(TrialWinlist, WindowsAndTheDemonstrationsLaunch)
{
    std::vector<TopWindow> tops = ParseWindows(
        "{\"hwnd\": \"0x10\", \"top\": \"0x10\", \"depth\": 0, \"class\": \"#32770\", "
        "\"text\": \"Caption \\u00e9\", \"visible\": 1, \"pid\": 7}\n"
        "{\"hwnd\": \"0x11\", \"top\": \"0x10\", \"depth\": 1, \"class\": \"Button\", "
        "\"text\": \"&I Agree\", \"id\": 1172, \"style\": 1}\n"
        "not json\n"
        "{\"hwnd\": \"0x12\", \"top\": \"0x99\", \"depth\": 1, \"class\": \"Static\"}\n");
    ASSERT_EQ(tops.size(), 1u);
    EXPECT_EQ(tops[0].frame.text, "Caption \xc3\xa9");
    EXPECT_TRUE(tops[0].IsPresentation());
    EXPECT_EQ(WithoutAmpersands(tops[0].inner[0].text), "I Agree");
    JsonFields fields;
    EXPECT_FALSE(ParseJsonLine("{\"a\": \"unterminated}", &fields));

    EXPECT_TRUE(IsShellDemo("\"C:\\Program Files\\A\\DEMO.EXE\" C:\\Program Files\\A\\Demos\\D.TXT",
                            "C:\\Program Files\\A\\"));
    EXPECT_TRUE(IsShellDemo("C:\\A\\DEMO.EXE C:\\A\\Demos\\D.TXT", "C:\\A"));
    EXPECT_FALSE(IsShellDemo("C:\\windows\\notepad.exe C:\\A\\Demos\\D.TXT", "C:\\A"));
    EXPECT_FALSE(IsShellDemo("C:\\A\\DEMO.EXE", "C:\\A"));
}
