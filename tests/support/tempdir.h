// Real files for the tests: a fresh folder tree per test, whole-file reads
// and writes, and the folder the test program runs from.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testfs
{

inline std::string ExeFolder()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path(exe);
    return path.substr(0, path.rfind('\\') + 1);
}

// The files the build made with mscompress for these tests.
inline std::string Fixture(const char *name)
{
    return ExeFolder() + "copydata\\" + name;
}

inline bool WriteWhole(const std::string &path, const std::string &content)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    return written == content.size();
}

// The file's bytes, or "<missing>" when it cannot be opened. A writer may
// keep the file open meanwhile (a module's log).
inline std::string ReadWhole(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!content.empty())
        ReadFile(h, &content[0], static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(h);
    content.resize(got);
    return content;
}

inline bool IsFolder(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Names in `folder` that match `pattern`.
inline std::vector<std::string> List(const std::string &folder, const char *pattern = "*")
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

inline void RemoveTree(const std::string &path)
{
    for (const std::string &name : List(path)) {
        std::string child = path + "\\" + name;
        if (IsFolder(child))
            RemoveTree(child);
        else {
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(child.c_str());
        }
    }
    RemoveDirectoryA(path.c_str());
}

// A fresh, empty folder under the temporary directory, removed with
// everything in it at the end of the test.
class TempTree
{
  public:
    explicit TempTree(const std::string &tag)
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        path_ = std::string(base) + tag + std::to_string(GetCurrentProcessId());
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempTree() { RemoveTree(path_); }
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    const std::string &Path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }
    std::string Folder(const std::string &name) const
    {
        std::string folder = *this / name;
        CreateDirectoryA(folder.c_str(), nullptr);
        return folder;
    }

  private:
    std::string path_;
};

} // namespace testfs
