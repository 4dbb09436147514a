// kvlship judges a distribution without Windows: it reads kvlsetup.dat with
// a model of the profile reads and matches patterns with a model of the
// directory search. Here each model meets the real call on the same inputs,
// under Wine: the same INI texts through GetPrivateProfileStringA, the same
// patterns through FindFirstFileA. The matches are compared as sets: the
// order a search returns them in is the file system's (sorted by name on
// NTFS, which the model follows; as the host lists them under Wine).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/hostfs.h"
#include "common/profile.h"
#include "tempdir.h"

namespace
{

std::string TempFolder(const char *name)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string folder = std::string(base) + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

struct ProfileCase {
    const char *text;
    const char *section;
    const char *key;
    size_t size;
};

// A value no INI text below holds: what a read returns for a missing key.
constexpr char kMissing[] = "<missing>";

const ProfileCase kProfileCases[] = {
    {"[S]\r\n  key  =  value  \r\n", "S", "key", 260},
    {"[S]\r\n\tkey\t=\tvalue\t\r\n", "S", "key", 260},
    {"[ S ]\r\nkey=value\r\n", "S", "key", 260},
    {"[General]\r\ncbTitle=Harbour\r\n", "GENERAL", "CBTITLE", 260},
    {"[S]\r\nkey=\"quoted value\"\r\n", "S", "key", 260},
    {"[S]\r\nkey='single'\r\n", "S", "key", 260},
    {"[S]\r\nkey=\"unbalanced\r\n", "S", "key", 260},
    {"[S]\r\nkey=\"in\"side\r\n", "S", "key", 260},
    {"[S]\r\nkey=\" spaced \"\r\n", "S", "key", 260},
    {"[S]\r\nkey=\"mixed'\r\n", "S", "key", 260},
    {"[S]\r\nkey=a=b=c\r\n", "S", "key", 260},
    {"[S]\r\nkey=1\r\n[S]\r\nkey=2\r\n", "S", "key", 260},
    {"[S]\r\nkey=1\r\n[S]\r\nother=2\r\n", "S", "other", 260},
    {"[S]\r\nkey=1\r\nKEY=2\r\n", "S", "key", 260},
    {"[S]\r\n;key=comment\r\n", "S", "key", 260},
    {"[S]\r\n;key=comment\r\n", "S", ";key", 260},
    {"[S]\r\njusttext\r\n", "S", "justtext", 260},
    {"[S]\r\nkey=\r\n", "S", "key", 260},
    {"key=before\r\n[S]\r\n", "S", "key", 260},
    {"[S\r\nkey=open\r\n", "S", "key", 260},
    {"[S]\nkey=unix line ends\n", "S", "key", 260},
    {"[S]\r\nkey=0123456789abcdef\r\n", "S", "key", 8},
    {"[S]\r\nkey=\"0123456789\"\r\n", "S", "key", 8},
    {"[S]\r\nkey = caf\xc9 \xe9t\xe9\r\n", "S", "key", 260},
    {"[FILELIST]\r\ncbItem00 = README.TX_, T, , 0, 0, 1, 0;\r\n", "FILELIST", "cbItem00", 260},
};

TEST(ProfileModel, ReadsEveryTextAsThePlatformDoes)
{
    std::string path = TempFolder("kvlmodels") + "\\case.ini";
    for (const ProfileCase &test : kProfileCases) {
        SCOPED_TRACE(test.text);
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, test.text, static_cast<DWORD>(strlen(test.text)), &written, nullptr);
        CloseHandle(file);
        // Profiles may be cached: flushing makes the next read see the new text.
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());

        char real[300] = {};
        GetPrivateProfileStringA(test.section, test.key, kMissing, real,
                                 static_cast<DWORD>(test.size), path.c_str());
        Profile profile;
        ParseProfile(test.text, &profile);
        std::string model = FindKey(profile, test.section, test.key)
                                ? ReadProfileValue(profile, test.section, test.key, test.size)
                                : std::string(kMissing).substr(0, test.size - 1);
        EXPECT_EQ(model, real);
    }
    DeleteFileA(path.c_str());
}

// Names made in a folder of their own, and patterns looked up among them.
const char *const kNames[] = {"README.TXT",   "readme.tx_",        "a.b.c",      "noext",
                              "Star Map.txt", "INDEX.DA_",         "index2.da_", "x1",
                              "caf\xc9.txt",  "LONGFILENAME.TEXT", "q",          "ab.c"};
const char *const kPatterns[] = {
    "*",          "*.*",       "*.",    "?",        "??",          "x?",           "*.TX_",
    "READ*",      "r?adme.*",  "*.c",   "a.*",      "*a*",         "Star?Map.txt", "*.txt",
    "index*.da_", "INDEX.DA_", "*E.T*", "caf?.txt", "CAF\xc9.TXT", "caf\xe9.txt",  "*.TEXT",
    "*.TEX",      "*~*",
};

TEST(WildcardModel, MatchesEveryPatternAsTheDirectorySearchDoes)
{
    std::string folder = TempFolder("kvlmatch");
    for (const char *name : kNames) {
        HANDLE file = CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        CloseHandle(file);
    }
    std::vector<FolderItem> items;
    ASSERT_TRUE(ListFolder(folder, &items));
    ASSERT_EQ(items.size(), sizeof kNames / sizeof kNames[0]);
    for (const char *pattern : kPatterns) {
        SCOPED_TRACE(pattern);
        std::vector<std::string> real = testfs::List(folder, pattern), model;
        for (const FolderItem &item : items) {
            if (WildcardMatch(pattern, item.name.c_str()))
                model.push_back(item.name);
        }
        std::sort(real.begin(), real.end());
        std::sort(model.begin(), model.end());
        EXPECT_EQ(model, real);
    }
    for (const char *name : kNames)
        DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace
