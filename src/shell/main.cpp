// setup.exe: installs one product from its distribution folder, led by the
// product's setup module.
#include <windows.h>

#include "core/context.h"
#include "core/hooks.h"
#include "core/log.h"
#include "setupmodule.h"
#include "shell/mainwnd.h"
#include "shell/rollback.h"
#include "shell/sequence.h"
#include "shell/startup.h"
#include "util/lateload.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/window.h"

namespace
{

void StartLog()
{
    const char *mode = (g_setup.mode & SETUP_MODE_VERYSILENT) ? "very silent"
                       : (g_setup.mode & SETUP_MODE_SILENT)   ? "silent"
                                                              : "interactive";
    LogLine("setup started, %s", mode);
    LogLine("command line: %.1000s", GetCommandLineA());
}

// The last line of the log, and the process's exit code.
int EndLog(int code)
{
    LogLine("setup ended: exit code %d, %s", code, SetupExitMeaning(code));
    CloseSetupLog();
    return code;
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
    BindDialogLibraries();
    g_setup.instance = instance;
    // The CRT's own argument split differs in which blanks it skips; take the
    // arguments from the raw command line instead.
    SetupSwitches switches;
    bool switchesRead = ReadSwitches(ArgumentsOf(GetCommandLineA()), &switches);
    g_setup.mode = switches.mode;
    if (switches.log[0] && !OpenSetupLog(switches.log) && switchesRead) {
        switchesRead = false;
        CopyText(switches.problem, "The log file cannot be written.");
    }
    StartLog();
    if (!switchesRead) {
        TellOrLog(nullptr, switches.problem, "KARVELO Setup");
        return EndLog(SETUP_EXIT_BAD_SWITCH);
    }
    if (FindWindowA("KARVELOENGINE", nullptr)) {
        TellOrLog(nullptr, "Please exit the KARVELO ENGINE before running setup", "KARVELO SETUP");
        return EndLog(SETUP_EXIT_CANNOT_RUN);
    }
    if (switches.moduleTooLong || CopyText(g_setup.commandLine, switches.module) < 0)
        g_setup.commandLineTooLong = 1;
    CopyText(g_setup.chosenDir, switches.dir);
    g_setup.tileBitmap = LoadBitmapA(instance, "IDB_BACKGRND");

    if (!RegisterMainClass())
        return EndLog(SETUP_EXIT_CANNOT_RUN);

    // With no window at all the main window still carries the module's
    // messages: a message-only window, which nothing on the desktop lists.
    bool noWindow = (g_setup.mode & SETUP_MODE_VERYSILENT) != 0;
    HWND window =
        CreateWindowExA(0, kMainClass, "KARVELO - Setup", WS_CAPTION, 0, 0, kMainWidth, kMainHeight,
                        noWindow ? HWND_MESSAGE : nullptr, nullptr, instance, nullptr);
    // A window that never came to be posted no quit message to wait for.
    if (!window && !g_setup.ended)
        return EndLog(SETUP_EXIT_CANNOT_RUN);
    if (!noWindow) {
        CenterWindow(window, 0, 0, 0, 0);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // Only now can no code of the module be on the stack.
    StopFilteringPosts();
    ReleaseModule();
    // With the module gone nothing of it holds a file the undo must take back.
    UndoUnfinishedInstallation();
    return EndLog(g_setup.exitCodeSet ? g_setup.exitCode : SETUP_EXIT_CLOSED);
}

void LateBindingFailed()
{
    ExitProcess(SETUP_EXIT_CANNOT_RUN);
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
