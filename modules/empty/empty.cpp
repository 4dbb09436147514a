// A setup module without a single hook: setup.exe then runs the whole
// installation with its defaults.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
