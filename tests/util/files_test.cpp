#include "util/files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// A fresh folder under the temporary directory, removed with its files.
class TempFolder {
public:
    TempFolder()
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        path_ = std::string(base) + "kvlfiles" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder()
    {
        for (const std::string &file : files_)
            DeleteFileA(file.c_str());
        RemoveDirectoryA((path_ + "\\sub").c_str());
        RemoveDirectoryA(path_.c_str());
    }
    std::string Write(const char *name, const std::string &content)
    {
        std::string file = path_ + "\\" + name;
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(file);
        return file;
    }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> files_;
};

} // namespace

TEST(FileExists, FindsFilesFoldersAndWildcardMatches)
{
    TempFolder dir;
    dir.Write("A.TXT", "a");
    CreateDirectoryA((dir.Path() + "\\sub").c_str(), nullptr);
    EXPECT_EQ(FileExists((dir.Path() + "\\A.TXT").c_str()), 1);
    EXPECT_EQ(FileExists((dir.Path() + "\\sub").c_str()), 1);
    EXPECT_EQ(FileExists((dir.Path() + "\\*.TXT").c_str()), 1);
    EXPECT_EQ(FileExists((dir.Path() + "\\B.TXT").c_str()), 0);
    EXPECT_EQ(FileExists((dir.Path() + "\\*.DOC").c_str()), 0);
    EXPECT_EQ(FileExists("Q:\\no\\such\\drive"), 0);
}

TEST(FileSizeOf, SizeOrZero)
{
    TempFolder dir;
    std::string full = dir.Write("FULL.BIN", std::string(1234, 'x'));
    std::string empty = dir.Write("EMPTY.BIN", "");
    EXPECT_EQ(FileSizeOf(full.c_str()), 1234u);
    EXPECT_EQ(FileSizeOf(empty.c_str()), 0u);
    EXPECT_EQ(FileSizeOf((dir.Path() + "\\MISSING.BIN").c_str()), 0u);
}

TEST(FileSizeOf, FileLockedAgainstReadingCountsAsMissing)
{
    TempFolder dir;
    std::string file = dir.Write("LOCKED.BIN", "abc");
    HANDLE lock = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSizeOf(file.c_str()), 0u);
    CloseHandle(lock);
    EXPECT_EQ(FileSizeOf(file.c_str()), 3u);
}
