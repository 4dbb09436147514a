#include "util/files.h"

#include <windows.h>

int FileExists(const char *path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return 1;
}

unsigned long FileSizeOf(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    // GetFileSize reports failure as INVALID_FILE_SIZE; a 4 GiB - 1 file is not a setup file.
    return size == INVALID_FILE_SIZE ? 0 : size;
}
