#include "stored.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setupmodule.h"

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

std::string TempFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "kvlstored" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::vector<int> g_requestSizes;

LRESULT CALLBACK CollectRequests(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != SM_ADDCOPYENTRY)
        return DefWindowProcA(window, message, wParam, lParam);
    g_requestSizes.push_back(reinterpret_cast<const CopyRequest *>(lParam)->size);
    return 0;
}

TEST(StoredFiles, CountAtTheSizeTheyInstallAs)
{
    std::string folder = TempFolder();
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

// A file past 4 GiB (sparse here) does not fit the request's size field:
// setup.exe is asked to measure it, instead of weighing it as nothing.
TEST(StoredFiles, AFileTooLargeForTheRequestIsLeftToSetupToMeasure)
{
    std::string folder = TempFolder();
    std::string data = folder + "\\kvlsetup.dat", huge = folder + "\\huge.da_";
    HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = (4ll << 30) + 1;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    Write(folder + "\\small.da_", std::string(5, 's'));
    Write(data, "[STORED]\r\ncbItem00=huge.da_|huge.dat|0\r\ncbItem01=small.da_|small.dat|0\r\n");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CollectRequests;
    windowClass.lpszClassName = "StoredTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("StoredTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
    g_requestSizes.clear();
    AddStoredFiles(window, data.c_str(), (folder + "\\").c_str());
    EXPECT_EQ(g_requestSizes, (std::vector<int>{COPY_SIZE_MEASURED, 5}));
    DestroyWindow(window);
    for (const char *name : {"\\huge.da_", "\\small.da_", "\\kvlsetup.dat"})
        DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace
