#include "util/files.h"

#include <windows.h>

#include "util/devicename.h"
#include "util/paths.h"
#include "util/text.h"

int FileExists(const char *path)
{
    // A device answers the search, but no file of that name can be there.
    if (EndsInDeviceName(path))
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return 1;
}

unsigned long FileSizeOf(const char *path)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    // GetFileSize reports failure as INVALID_FILE_SIZE; a 4 GiB - 1 file is not a setup file.
    return size == INVALID_FILE_SIZE ? 0 : size;
}

long long FileSize64Of(const char *path)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER size;
    bool known = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    return known ? size.QuadPart : 0;
}

namespace
{

int IsFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

// Length of the part of a path that names a root and cannot be created:
// "C:\", "\\server\share\", or a leading backslash.
size_t RootLength(const char *path)
{
    if (path[0] && path[1] == ':')
        return path[2] == '\\' ? 3 : 2;
    if (path[0] == '\\' && path[1] == '\\') {
        // Skip the server and the share: neither is a folder we could make.
        size_t at = 2;
        for (int part = 0; part < 2; ++part) {
            while (path[at] && path[at] != '\\')
                ++at;
            if (path[at])
                ++at;
        }
        return at;
    }
    return path[0] == '\\' ? 1 : 0;
}

} // namespace

int CreateFolderPath(const char *path, void (*made)(const char *folder))
{
    char folder[kPathSize];
    int length = CopyText(folder, path);
    if (length <= 0)
        return 0;
    // A trailing backslash goes, but not the one of a root such as C:\.
    size_t root = RootLength(folder);
    while (static_cast<size_t>(length) > root && folder[length - 1] == '\\')
        folder[--length] = 0;
    if (IsFolder(folder))
        return 1;

    // Make each level from the top down; a level that exists already makes
    // CreateDirectoryA fail harmlessly.
    for (size_t at = root; folder[at]; ++at) {
        if (folder[at] != '\\')
            continue;
        folder[at] = 0;
        if (CreateDirectoryA(folder, nullptr) && made)
            made(folder);
        folder[at] = '\\';
    }
    if (CreateDirectoryA(folder, nullptr) && made)
        made(folder);
    return IsFolder(folder);
}

void SystemReason(unsigned long error, char *text, size_t size)
{
    if (size == 0)
        return;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, static_cast<DWORD>(size), nullptr);
    if (length == 0 || length >= size) {
        // Ten digits and the words around them fit any buffer worth giving.
        char number[32];
        wsprintfA(number, "System error %lu.", error);
        if (CopyText(text, size, number) < 0)
            text[0] = 0;
        return;
    }
    while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= ' ')
        text[--length] = 0;
}
