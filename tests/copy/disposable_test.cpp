#include "copy/disposable.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace
{

const char kTemp[] = "C:\\users\\me\\Temp\\";

TEST(PackageFolder, OnlyAKvlFolderOfSixteenHexDigitsDirectlyBelowTemp)
{
    EXPECT_TRUE(IsPackageFolderName("C:\\users\\me\\Temp\\kvl0123456789abcdef\\", kTemp));
    EXPECT_TRUE(IsPackageFolderName("c:\\USERS\\ME\\TEMP\\KVL0123456789ABCDEF\\", kTemp));
    for (const char *other : {
             "C:\\users\\me\\Temp\\kvl0123456789abcdef",      // no final backslash
             "C:\\users\\me\\Temp\\kvl0123456789abcde\\",     // 15 digits
             "C:\\users\\me\\Temp\\kvl0123456789abcdefa\\",   // 17
             "C:\\users\\me\\Temp\\kvl0123456789abcdeg\\",    // not hexadecimal
             "C:\\users\\me\\Temp\\abc0123456789abcdef\\",    // another prefix
             "C:\\users\\me\\Temp\\x\\kvl0123456789abcdef\\", // deeper
             "C:\\users\\me\\Tempx\\kvl0123456789abcdef\\",   // beside it
             "D:\\Product\\kvl0123456789abcdef\\",            // a real distribution
         })
        EXPECT_FALSE(IsPackageFolderName(other, kTemp)) << other;
}

TEST(PackageFolder, TheMarkIsTheFoldersNameAndRunInsideIt)
{
    const char folder[] = "C:\\users\\me\\Temp\\kvl0123456789abcdef\\";
    EXPECT_TRUE(
        IsMarkOf("C:\\users\\me\\Temp\\kvl0123456789abcdef\\kvl0123456789abcdef.run", folder));
    EXPECT_TRUE(IsMarkOf("\\\\?\\C:\\users\\me\\Temp\\kvl0123456789ABCDEF\\KVL0123456789abcdef.RUN",
                         folder));
    EXPECT_FALSE(IsMarkOf("C:\\users\\me\\Temp\\kvl0123456789abcdef\\other.run", folder));
    EXPECT_FALSE(IsMarkOf("C:\\users\\me\\Temp\\kvl0123456789abcdef.run", folder));
    EXPECT_FALSE(
        IsMarkOf("C:\\users\\me\\Temp\\kvl0123456789abcdef\\kvl0123456789abcdef.run.x", folder));
}

// A package's folder made as the stub makes it, with its mark held open.
class MarkedFolder : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        GetLongPathNameA(temp, temp, sizeof temp);
        folder_ = std::string(temp) + "kvl00c0ffee00c0ffee\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        mark_ = CreateFileA((folder_ + "kvl00c0ffee00c0ffee.run").c_str(), GENERIC_WRITE, 0,
                            &inherited, CREATE_ALWAYS, 0, nullptr);
        other_ = CreateFileA((folder_ + "setup.exe").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(mark_, INVALID_HANDLE_VALUE);
        ASSERT_NE(other_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override
    {
        CloseHandle(mark_);
        CloseHandle(other_);
        DeleteFileA((folder_ + "kvl00c0ffee00c0ffee.run").c_str());
        DeleteFileA((folder_ + "setup.exe").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    static std::string Text(HANDLE handle)
    {
        return std::to_string(reinterpret_cast<UINT_PTR>(handle));
    }
    bool Disposable(const std::string &folder, const std::string &handle)
    {
        char why[128] = "";
        bool yes = SourceIsDisposable(folder.c_str(), handle.c_str(), why, sizeof why);
        EXPECT_EQ(yes, why[0] == 0) << why;
        return yes;
    }

    std::string folder_;
    HANDLE mark_ = INVALID_HANDLE_VALUE;
    HANDLE other_ = INVALID_HANDLE_VALUE;
};

TEST_F(MarkedFolder, OnlyTheFoldersOwnMarkProvesIt)
{
    EXPECT_TRUE(Disposable(folder_, Text(mark_)));
    EXPECT_FALSE(Disposable(folder_, Text(other_)));      // another file of the folder
    EXPECT_FALSE(Disposable(folder_, "123456"));          // no handle at all
    EXPECT_FALSE(Disposable(folder_, Text(mark_) + "x")); // not a number
    EXPECT_FALSE(Disposable(folder_, ""));
    EXPECT_FALSE(Disposable("C:\\windows\\", Text(mark_))); // the mark of another folder
}

} // namespace
