// A library planted in a distribution folder under a system DLL's name
// (lz32.dll, version.dll, ...). Should anything load it, its DllMain leaves
// "<its own file name>.loaded" beside it for the scenario to find.
#include <windows.h>

#include <string.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    constexpr char kMark[] = ".loaded";
    char path[MAX_PATH + sizeof kMark];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    memcpy(path + length, kMark, sizeof kMark);
    HANDLE mark =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    return TRUE;
}
