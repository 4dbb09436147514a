// setup.exe: installs one product from its distribution folder, led by the
// product's setup module.
#include <windows.h>

#include "core/context.h"
#include "shell/mainwnd.h"
#include "shell/startup.h"
#include "util/text.h"
#include "util/window.h"

namespace
{

// Load no library from our own folder or the current one: a distribution
// folder is anybody's to fill (a download folder, a share), and a DLL left
// there under a system name would run inside the installer. Where the
// system lacks SetDefaultDllDirectories, at least the current folder goes.
void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    auto setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    SetDllDirectoryA("");
}

bool RegisterMainClass()
{
    WNDCLASSA mainClass = {};
    mainClass.style = CS_HREDRAW | CS_VREDRAW;
    mainClass.lpfnWndProc = WndProc;
    mainClass.hInstance = g_setup.instance;
    mainClass.hIcon = LoadIconA(g_setup.instance, "SETUPICO");
    mainClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // Nothing is ever erased: the paint covers the whole client area.
    mainClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    mainClass.lpszClassName = kMainClass;
    return RegisterClassA(&mainClass) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    if (FindWindowA("KARVELOENGINE", nullptr)) {
        TellUser(nullptr, "Please exit the KARVELO ENGINE before running setup", "KARVELO SETUP");
        return 0;
    }

    g_setup.instance = instance;
    // The CRT's own argument split differs in which blanks it skips; take the
    // arguments from the raw command line instead.
    if (CopyText(g_setup.commandLine, ArgumentsOf(GetCommandLineA())) < 0)
        g_setup.commandLineTooLong = 1;
    g_setup.tileBitmap = LoadBitmapA(instance, "IDB_BACKGRND");

    if (!RegisterMainClass())
        return 0;

    HWND window = CreateWindowExA(0, kMainClass, "KARVELO - Setup", WS_CAPTION, 0, 0, kMainWidth,
                                  kMainHeight, nullptr, nullptr, instance, nullptr);
    CenterWindow(window, 0, 0, 0, 0);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

// setup.exe starts here, not in the C runtime's start-up: the shell has no
// static constructors, takes its arguments from the raw command line and
// leaves through ExitProcess, so that start-up would be some 5 KB of code
// doing nothing for it.
extern "C" void SetupStart()
{
    ExitProcess(static_cast<UINT>(
        WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT)));
}
