// A module for the hook tests: records how it was called, and can end the
// setup from inside a hook the way a module sending SM_EXIT would.
#include <windows.h>
#include <string.h>

#include "setupmodule.h"

namespace
{
HWND g_window;
int g_calls;
} // namespace

extern "C" {

int WINAPI InitModule(HWND mainWindow, char *, char *moduleTitle, HMODULE)
{
    g_window = mainWindow;
    // An over-long title: 300 characters where 175 are allowed.
    memset(moduleTitle, 'T', 300);
    moduleTitle[300] = 0;
    return 1;
}

int WINAPI StartCopy(void)
{
    return ++g_calls;
}

int WINAPI SetDestDir(char *destDir)
{
    strcpy(destDir, "D:\\Moved");
    return 0;
}

int WINAPI FileConflict(char *destPath, char *sourcePath)
{
    return destPath[0] == sourcePath[0] ? 2 : 4;
}

// Asks the test window to end the setup, then keeps running: the module must
// still be there when the call returns.
int WINAPI EndCopy(void)
{
    SendMessageA(g_window, WM_USER + 1, 0, 0);
    char buffer[64];
    return GetModuleFileNameA(nullptr, buffer, sizeof buffer) ? 42 : 0;
}
}
