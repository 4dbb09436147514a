#include "util/registry.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace
{

constexpr char kBase[] = "Software\\KarveloRegistryTest";

class RegistryRead : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kBase) + "\\Deep\\Key").c_str(),
                                  0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        SetString(key, "Ten", "0123456789");
        DWORD number = 0x11223344;
        RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<BYTE *>(&number), 4);
        BYTE blob[5] = {1, 2, 3, 4, 5};
        RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob);
        std::string longest(259, 'L'); // 259 characters + terminator = 260 bytes
        SetString(key, "Longest", longest.c_str());
        std::string tooLong(260, 'T'); // 261 bytes stored
        SetString(key, "TooLong", tooLong.c_str());
        RegCloseKey(key);
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kBase); }

    static void SetString(HKEY key, const char *name, const char *text)
    {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                       static_cast<DWORD>(strlen(text) + 1));
    }
    // Reads `name` below kBase\Deep\Key (or kBase + `rest`) of the current user.
    static int Read(const char *name, void *dest, DWORD type, DWORD limit,
                    const char *rest = "\\Deep\\Key")
    {
        std::string key = std::string(kBase) + rest;
        return ReadRegistryValue(HKEY_CURRENT_USER, key.c_str(), name, dest, type, limit);
    }
    // Creates `path` under the current user with a string value in it.
    static void MakeKey(const std::string &path, const char *name, const char *text)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        SetString(key, name, text);
        RegCloseKey(key);
    }
};

} // namespace

TEST_F(RegistryRead, StringFillsLimitWithZeros)
{
    char dest[260];
    memset(dest, 'x', sizeof dest);
    ASSERT_EQ(Read("Ten", dest, REG_SZ, 260), 1);
    EXPECT_STREQ(dest, "0123456789");
    for (int i = 10; i < 260; ++i)
        ASSERT_EQ(dest[i], 0) << "byte " << i;
}

TEST_F(RegistryRead, StringReachingLimitEndsWithTerminator)
{
    char dest[261];
    memset(dest, 'x', sizeof dest);
    ASSERT_EQ(Read("Ten", dest, REG_SZ, 4), 1);
    EXPECT_STREQ(dest, "012");
    EXPECT_EQ(dest[4], 'x'); // nothing past the limit

    ASSERT_EQ(Read("Longest", dest, REG_SZ, 260), 1);
    EXPECT_EQ(strlen(dest), 259u);
}

TEST_F(RegistryRead, WrongTypeMissingValueOrTooLongWritesNothing)
{
    char dest[16] = "untouched";
    EXPECT_EQ(Read("Ten", dest, REG_DWORD, 4), 0);
    EXPECT_EQ(Read("Nothing", dest, REG_SZ, 16), 0);
    EXPECT_EQ(Read("TooLong", dest, REG_SZ, 16), 0);
    EXPECT_EQ(Read("Ten", nullptr, REG_SZ, 16), 0);
    EXPECT_STREQ(dest, "untouched");
}

TEST_F(RegistryRead, NumbersAndBlobsCopyOnlyWhatFits)
{
    BYTE dest[8];
    memset(dest, 0xEE, sizeof dest);
    ASSERT_EQ(Read("Number", dest, REG_DWORD, 2), 1);
    EXPECT_EQ(dest[0], 0x44);
    EXPECT_EQ(dest[1], 0x33);
    EXPECT_EQ(dest[2], 0xEE);

    memset(dest, 0xEE, sizeof dest);
    ASSERT_EQ(Read("Blob", dest, REG_BINARY, 8), 1);
    EXPECT_EQ(dest[4], 5);
    EXPECT_EQ(dest[5], 0xEE);
}

TEST_F(RegistryRead, MissingSubKeyInTheMiddleLeavesNoKeyOpen)
{
    char dest[16] = "untouched";
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(Read("Ten", dest, REG_SZ, 16, "\\Missing\\Key"), 0);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(Read("Ten", dest, REG_SZ, 16), 1);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(before, after);
}

TEST(RegistryPath, OpensEachComponentIntoItsSlot)
{
    RegistryHandleTable table = {};
    HKEY last = OpenRegistryPath(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows", &table);
    ASSERT_NE(last, nullptr);
    EXPECT_NE(table.keys[0], nullptr);
    EXPECT_NE(table.keys[1], nullptr);
    EXPECT_EQ(table.keys[2], last);
    EXPECT_EQ(table.keys[3], nullptr);
    for (HKEY key : table.keys)
        if (key)
            RegCloseKey(key);
}

TEST_F(RegistryRead, ThirtyTwoComponentsAtMost)
{
    // kBase is two components; 30 more make 32, 31 more make 33.
    std::string path = kBase;
    for (int i = 0; i < 31; ++i)
        path += "\\K";
    ASSERT_NO_FATAL_FAILURE(MakeKey(path, "Deepest", "33"));
    std::string thirtyTwo = path.substr(0, path.size() - 2);
    ASSERT_NO_FATAL_FAILURE(MakeKey(thirtyTwo, "Deep", "32"));

    char dest[8] = "";
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, thirtyTwo.c_str(), "Deep", dest, REG_SZ, 8), 1);
    EXPECT_STREQ(dest, "32");
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, path.c_str(), "Deepest", dest, REG_SZ, 8), 0);
    EXPECT_STREQ(dest, "32");
}

TEST(RegistryPath, RefusesPathLongerThanItsBuffer)
{
    RegistryHandleTable table = {};
    std::string longPath(300, 'k');
    EXPECT_EQ(OpenRegistryPath(HKEY_CURRENT_USER, longPath.c_str(), &table), nullptr);
    EXPECT_EQ(table.keys[0], nullptr);
}

TEST(RegistryPath, ReadsTheDefaultDestinationBase)
{
    char dest[260];
    ASSERT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                                "ProgramFilesDir", dest, REG_SZ, 260),
              1);
    EXPECT_STRCASEEQ(dest, "C:\\Program Files");
}
