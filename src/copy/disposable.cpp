#include "copy/disposable.h"

#include <windows.h>

#include <string.h>

#include "util/paths.h"
#include "util/text.h"

namespace
{

constexpr char kPrefix[] = "kvl";
constexpr size_t kNameLength = sizeof kPrefix - 1 + 16;
constexpr char kMarkEnd[] = ".run";

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// `length` characters of `a` and `b` the same, letters without regard to case.
bool SameStart(const char *a, const char *b, size_t length)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, static_cast<int>(length), b,
                          static_cast<int>(length)) == CSTR_EQUAL;
}

// The long form of a folder's path (a temporary folder may be given in 8.3
// names), ending in a backslash; false when it cannot be had.
bool LongFolder(const char *folder, char (&out)[kPathSize])
{
    DWORD length = GetLongPathNameA(folder, out, sizeof out);
    if (length == 0 || length >= sizeof out - 1)
        return false;
    if (out[length - 1] != '\\')
        AppendText(out, "\\");
    return true;
}

using FinalPathFn = DWORD(WINAPI *)(HANDLE, LPSTR, DWORD, DWORD);

// The handle's path as the system has it, with its drive; false when the
// system cannot say.
bool PathOfHandle(HANDLE handle, char (&path)[kPathSize])
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void (*)()>(
        kernel ? GetProcAddress(kernel, "GetFinalPathNameByHandleA") : nullptr));
    if (!finalPath)
        return false;
    DWORD length = finalPath(handle, path, sizeof path, 0 /* FILE_NAME_NORMALIZED, a drive */);
    return length > 0 && length < sizeof path;
}

} // namespace

bool IsPackageFolderName(const char *sourceDir, const char *tempDir)
{
    size_t base = strlen(tempDir);
    size_t length = strlen(sourceDir);
    if (base == 0 || tempDir[base - 1] != '\\' || length != base + kNameLength + 1 ||
        sourceDir[length - 1] != '\\' || !SameStart(sourceDir, tempDir, base))
        return false;
    const char *name = sourceDir + base;
    if (!SameStart(name, kPrefix, sizeof kPrefix - 1))
        return false;
    for (size_t i = sizeof kPrefix - 1; i < kNameLength; ++i) {
        if (!IsHexDigit(name[i]))
            return false;
    }
    return true;
}

bool IsMarkOf(const char *path, const char *sourceDir)
{
    if (strncmp(path, "\\\\?\\", 4) == 0)
        path += 4;
    size_t folder = strlen(sourceDir);
    if (folder < kNameLength + 1)
        return false;
    char mark[kPathSize];
    if (CopyText(mark, sourceDir) < 0 ||
        AppendText(mark, sizeof mark, sourceDir + folder - 1 - kNameLength) < 0)
        return false;
    // The folder's name without its backslash, then ".run".
    mark[strlen(mark) - 1] = 0;
    if (AppendText(mark, kMarkEnd) < 0)
        return false;
    size_t length = strlen(mark);
    return strlen(path) == length && SameStart(path, mark, length);
}

bool SourceIsDisposable(const char *sourceDir, const char *handleText, char *why, size_t whySize)
{
    unsigned long long value = 0;
    const char *p = handleText;
    for (; *p >= '0' && *p <= '9' && value < 0xFFFFFFFFull; ++p)
        value = value * 10 + static_cast<unsigned>(*p - '0');
    char temp[kPathSize];
    char longTemp[kPathSize];
    char longSource[kPathSize];
    DWORD tempLength = GetTempPathA(sizeof temp, temp);
    if (p == handleText || *p || value > 0xFFFFFFFFull) {
        CopyText(why, whySize, "the handle is not a number");
        return false;
    }
    if (tempLength == 0 || tempLength >= sizeof temp || !LongFolder(temp, longTemp) ||
        !LongFolder(sourceDir, longSource) || !IsPackageFolderName(longSource, longTemp)) {
        CopyText(why, whySize,
                 "the source folder is not a package's folder in the temporary folder");
        return false;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value));
    BY_HANDLE_FILE_INFORMATION facts;
    char path[kPathSize];
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &facts) ||
        (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CopyText(why, whySize, "the handle is not an open file");
        return false;
    }
    if (!PathOfHandle(handle, path) || !IsMarkOf(path, longSource)) {
        CopyText(why, whySize, "the handle is not the mark of the source folder");
        return false;
    }
    return true;
}
