// A module built the way first modules go wrong, for kvlship check to catch.
// Built twice: without --kill-at (decorated exports such as InitModule@16)
// and without -static (it needs the compiler's runtime DLLs). Either way its
// shortcut hook is misspelled.
#include "setupmodule.h"

#include <string>

extern "C" __declspec(dllexport) int WINAPI InitModule(HWND, char *, char *moduleTitle, HMODULE)
{
    // A std::string pulls in the C++ runtime, as real module code does.
    std::string title = "Faulty";
    lstrcpynA(moduleTitle, title.c_str(), SETUP_MODULE_TITLE_SIZE);
    return 1;
}

extern "C" __declspec(dllexport) int WINAPI CreateShortCuts(void)
{
    return 1;
}
