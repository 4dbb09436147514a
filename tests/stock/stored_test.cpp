#include "stored.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace
{

void Write(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

TEST(StoredFiles, CountAtTheSizeTheyInstallAs)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "kvlstored" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string data = folder + "\\kvlsetup.dat";
    Write(folder + "\\plain.da_", std::string(3000, 'p'));
    // An LZ file counts at the size its header declares, here the largest there is.
    std::string header("SZDD\x88\xF0\x27\x33"
                       "A\0\xFF\xFF\xFF\xFF",
                       14);
    Write(folder + "\\packed.da_", header + "body");
    Write(data, "[STORED]\r\n"
                "cbItem00=plain.da_|One\\index.dat|0\r\n"
                "cbItem01=packed.da_|Two\\index.dat|1\r\n"
                "cbItem02=..\\outside|x.dat|0\r\n" // skipped: no plain stored name
                "cbItem03=missing.da_|Three\\index.dat|0\r\n");
    EXPECT_EQ(StoredBytes(data.c_str(), (folder + "\\").c_str()), 3000ull + 0xFFFFFFFFull);
    EXPECT_EQ(StoredBytes("", folder.c_str()), 0ull);
    for (const char *name : {"\\plain.da_", "\\packed.da_", "\\kvlsetup.dat"})
        DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace
