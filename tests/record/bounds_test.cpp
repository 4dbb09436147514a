#include "record/bounds.h"
#include "record/undo.h"

#include <gtest/gtest.h>
#include <string.h>

namespace
{

constexpr char kFolder[] = "C:\\Tools";

RecordPlaces Places()
{
    RecordPlaces places = {};
    strcpy(places.windows, "C:\\windows");
    strcpy(places.shortcuts[0], "C:\\ProgramData\\Microsoft\\Windows\\Start Menu");
    strcpy(places.shortcuts[3], "C:\\users\\me\\Desktop");
    return places;
}

bool Within(int kind, const char *path)
{
    RecordItem item = {};
    item.kind = kind;
    strcpy(item.path, path);
    return ItemWithinBounds(item, kFolder, Places());
}

} // namespace

TEST(RecordBounds, ItemsStayWhereAnInstallationPutsThem)
{
    const char *menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Atlas";
    const struct {
        int kind;
        const char *path;
        bool within;
    } cases[] = {
        {RECORD_FILE, "C:\\Tools\\bin\\atlas.exe", true},
        {RECORD_FILE, "c:/tools//./ATLAS.INI", true},
        {RECORD_FILE, "C:\\Tools", false}, // the folder is no file of its own
        {RECORD_FILE, "C:\\ToolsX\\a.txt", false},
        {RECORD_FILE, "C:\\users\\Public\\Documents\\report.doc", false},
        {RECORD_FILE, "C:\\Tools\\..\\Windows\\win.ini", false},
        {RECORD_FILE, "C:\\Tools. \\..\\x", false},
        {RECORD_DIR, "C:\\Tools", true},
        {RECORD_DIR, "C:\\Tools\\Demos", true},
        {RECORD_DIR, "C:\\", false},
        {RECORD_LINK, "C:\\users\\me\\Desktop\\Atlas.lnk", true},
        {RECORD_LINK, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Atlas\\A.LNK",
         true},
        {RECORD_LINK, "C:\\users\\Public\\Documents\\report.doc", false},
        {RECORD_LINK, "C:\\users\\me\\Desktop\\notes.txt", false},
        {RECORD_LINK, "C:\\users\\me\\Desktop", false},
        {RECORD_GROUP, menu, true},
        {RECORD_GROUP, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu", false},
        {RECORD_GROUP, "C:\\Tools\\Menu", false},
        {RECORD_INI, "C:\\Tools\\ATLAS.INI", true},
        {RECORD_INI, "C:\\windows\\atlas.ini", true},
        {RECORD_INI, "C:\\windows\\system32\\other.ini", false},
        {RECORD_INI, "C:\\users\\Public\\other.ini", false},
        {RECORD_RESTART, "C:\\Tools\\kvl1a2.tmp", true},
        {RECORD_RESTART, "C:\\windows\\kvl1a2.tmp", false},
        {0, "C:\\Tools\\x", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Within(c.kind, c.path), c.within) << c.kind << " " << c.path;
}

TEST(RecordBounds, UnknownPlacesMatchNothing)
{
    RecordItem item = {};
    item.kind = RECORD_LINK;
    strcpy(item.path, "C:\\Atlas.lnk");
    RecordPlaces none = {};
    EXPECT_FALSE(ItemWithinBounds(item, kFolder, none));
    item.kind = RECORD_INI;
    strcpy(item.path, "C:\\win.ini");
    EXPECT_FALSE(ItemWithinBounds(item, kFolder, none));
}

TEST(RecordBounds, OnlySettingsFilesBelowTheFolderGoWhenEmptied)
{
    EXPECT_TRUE(SettingsFileIsOwn("C:\\Tools\\ATLAS.INI", kFolder));
    EXPECT_FALSE(SettingsFileIsOwn("C:\\windows\\atlas.ini", kFolder));
}

TEST(RecordBounds, RegistryItemsStayInTheProductsKeys)
{
    EXPECT_TRUE(Within(RECORD_REG, "HKLM\\Software\\Karvelo Tides\\Tidewatch"));
    EXPECT_TRUE(Within(RECORD_REGKEY, "HKCU\\SOFTWARE\\Karvelo Tides"));
    EXPECT_TRUE(Within(RECORD_REG, "HKLM\\Software\\Classes\\.tdw"));
    EXPECT_TRUE(Within(RECORD_REG, "HKLM\\Software\\Classes\\Karvelo.Chart\\shell\\open\\command"));
    EXPECT_TRUE(Within(RECORD_REGKEY, "HKCU\\Software\\Classes\\Karvelo.Chart\\DefaultIcon"));
    // The system's own keys, and the types it owns.
    EXPECT_FALSE(Within(RECORD_REG, "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
    EXPECT_FALSE(Within(RECORD_REGKEY, "HKLM\\Software\\Policies\\Karvelo"));
    EXPECT_FALSE(Within(RECORD_REG, "HKLM\\Software\\Wow6432Node\\Karvelo"));
    EXPECT_FALSE(Within(RECORD_REG, "HKLM\\Software\\Classes\\exefile\\shell\\open\\command"));
    EXPECT_FALSE(Within(RECORD_REG, "HKLM\\Software\\Classes\\Karvelo.Chart\\shell\\runas"));
    EXPECT_FALSE(Within(RECORD_REGKEY, "HKLM\\Software\\Classes"));
    EXPECT_FALSE(Within(RECORD_REGKEY, "HKLM\\Software"));
    EXPECT_FALSE(Within(RECORD_REG, "HKLM\\System\\CurrentControlSet"));
    EXPECT_FALSE(Within(RECORD_REG, "HKCR\\.tdw"));
}

TEST(RecordBounds, AJournalFoundInTheFolderUndoesNothingOutsideIt)
{
    auto entry = [](int kind, const char *path, const char *other = "") {
        JournalEntry e = {};
        e.kind = kind;
        strcpy(e.path, path);
        strcpy(e.other, other);
        return e;
    };
    const RecordPlaces places = Places();
    const struct {
        JournalEntry entry;
        bool found; // read from a folder: anyone may have written it
        bool own;   // this run's own journal
    } cases[] = {
        {entry(JOURNAL_NEW, "C:\\Tools\\A.DLL"), true, true},
        {entry(JOURNAL_NEW, "C:\\windows\\system32\\A.DLL"), false, true},
        {entry(JOURNAL_NEW, "C:\\users\\me\\Desktop\\Atlas.lnk"), true, true},
        {entry(JOURNAL_ASIDE, "C:\\Tools\\A.DLL", "C:\\Tools\\~kv00001.old"), true, true},
        // Putting back would move a file of the system's over the product's;
        // setup's own journal may name the Windows folder, where copy entries go.
        {entry(JOURNAL_ASIDE, "C:\\Tools\\A.DLL", "C:\\windows\\win.ini"), false, true},
        {entry(JOURNAL_RESTART, "C:\\Tools\\kvl1.tmp", "C:\\windows\\win.ini"), false, true},
        {entry(JOURNAL_DIR, "C:\\Tools"), true, true},
        // Folders made above the destination: only this run knows it made them.
        {entry(JOURNAL_DIR, "C:\\"), false, true},
        {entry(JOURNAL_DIR, "C:\\users"), false, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(JournalEntryWithinBounds(c.entry, kFolder, places, nullptr), c.found)
            << c.entry.path << " " << c.entry.other;
        EXPECT_EQ(JournalEntryWithinBounds(c.entry, kFolder, places, "C:\\windows"), c.own)
            << c.entry.path << " " << c.entry.other;
    }
}
