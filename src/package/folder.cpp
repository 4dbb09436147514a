#include "package/folder.h"

#include <windows.h>

#include "util/text.h"

#include <string.h>

namespace
{

constexpr int kNameTries = 64;
constexpr char kNamePrefix[] = "kvl";
constexpr size_t kNameLength = sizeof kNamePrefix - 1 + 16; // and 16 hexadecimal digits
constexpr char kMarkEnd[] = ".run";

// The mark's path in `folder` (a name MakePrivateFolder made): that name and ".run".
bool MarkPath(char (&path)[kPathSize], const char *folder)
{
    size_t length = strlen(folder);
    return length > kNameLength && JoinPath(path, folder, folder + length - kNameLength) &&
           AppendText(path, kMarkEnd) >= 0;
}

// True when `folder`'s mark is there and nobody holds it: opening it shared
// with nobody succeeds only then.
bool IsAbandoned(const char *folder)
{
    char path[kPathSize];
    if (!MarkPath(path, folder))
        return false;
    HANDLE mark = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (mark == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(mark);
    return true;
}

// Removes `path` now, or at the next restart when it is in use.
bool RemoveOrLater(const char *path, bool folder)
{
    if (folder ? RemoveDirectoryA(path) : DeleteFileA(path))
        return true;
    MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return false;
}

} // namespace

bool SystemRandom(void *, unsigned char *bytes, size_t size)
{
    using GenRandomFn = BOOLEAN(WINAPI *)(PVOID, ULONG);
    static GenRandomFn generate;
    if (!generate) {
        char path[kPathSize];
        UINT length = GetSystemDirectoryA(path, sizeof path);
        if (length == 0 || length >= sizeof path || !JoinPath(path, path, "advapi32.dll"))
            return false;
        HMODULE library = LoadLibraryA(path);
        FARPROC found = library ? GetProcAddress(library, "SystemFunction036") : nullptr;
        generate = reinterpret_cast<GenRandomFn>(reinterpret_cast<void (*)()>(found));
    }
    return generate && generate(bytes, static_cast<ULONG>(size));
}

bool MakePrivateFolder(const char *base, RandomSource random, void *context,
                       char (&folder)[kPathSize])
{
    static const char kDigits[] = "0123456789abcdef";
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        unsigned char bytes[8];
        if (!random(context, bytes, sizeof bytes))
            return false;
        char name[sizeof kNamePrefix + 2 * sizeof bytes];
        CopyText(name, kNamePrefix);
        char *p = name + sizeof kNamePrefix - 1;
        for (unsigned char byte : bytes) {
            *p++ = kDigits[byte >> 4];
            *p++ = kDigits[byte & 15];
        }
        *p = 0;
        if (!JoinPath(folder, base, name))
            return false;
        if (CreateDirectoryA(folder, nullptr))
            return true;
        // Only a name that is taken earns another try.
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    folder[0] = 0;
    return false;
}

bool RemovePrivateFolder(const char *folder)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "*"))
        return false;
    bool all = true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            // The package writes files only: a folder in it came from elsewhere.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            char path[kPathSize];
            if (!JoinPath(path, folder, found.cFileName))
                all = false;
            else if (!RemoveOrLater(path, false))
                all = false;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return RemoveOrLater(folder, true) && all;
}

void *MarkPrivateFolder(const char *folder)
{
    char path[kPathSize];
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE mark = MarkPath(path, folder) ? CreateFileA(path, GENERIC_WRITE, 0, &inherited,
                                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)
                                         : INVALID_HANDLE_VALUE;
    return mark == INVALID_HANDLE_VALUE ? nullptr : mark;
}

void ReleaseFolderMark(void *mark)
{
    if (mark)
        CloseHandle(static_cast<HANDLE>(mark));
}

int RemoveStaleFolders(const char *base)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, base, "kvl*"))
        return 0;
    int removed = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        // A link could lead anywhere: only a real folder of the right name.
        char folder[kPathSize];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            strlen(found.cFileName) == kNameLength && JoinPath(folder, base, found.cFileName) &&
            IsAbandoned(folder) && RemovePrivateFolder(folder))
            ++removed;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return removed;
}
