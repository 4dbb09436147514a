// setup.exe: installs one product from its distribution folder, led by the
// product's setup module.
#include <windows.h>

#include "copy/copylist.h"
#include "copy/disposable.h"
#include "copy/listroom.h"
#include "core/context.h"
#include "core/hooks.h"
#include "core/log.h"
#include "setupcontrols.h"
#include "setupdist.h"
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

// The program's own folder, ending in a backslash; empty when it cannot be had.
void ProgramFolder(char (&folder)[kPathSize])
{
    char program[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program || !FolderOfPath(folder, program))
        folder[0] = 0;
}

// What the data file asks of the copy: room for its entries, taken once
// now, and the pace. False after telling the user when it cannot be done.
bool PrepareCopy(const char *folder)
{
    char dataPath[kPathSize];
    CopyDeclarations declared;
    if (!folder[0] || !JoinPath(dataPath, folder, SETUP_DATA_FILE))
        return true; // the main window finds no folder either, and says so
    if (!ReadCopyDeclarations(dataPath, &declared)) {
        TellOrLog(nullptr, declared.problem, SETUP_BOX_CAPTION);
        return false;
    }
    if (!TakeCopyRoom(declared.slots)) {
        TellOrLog(nullptr, "There is not enough memory for the copy list.", SETUP_BOX_CAPTION);
        return false;
    }
    if (declared.slots > kCopySlots)
        LogLine("copy list: room for %d entries", declared.slots);
    g_setup.fastCopy = declared.fast;
    return true;
}

// /FROMPACKAGE=: the package's folder may give its files up, once proven.
void CheckPackageFolder(const char *folder, const char *handle)
{
    if (!handle[0])
        return;
    char why[128];
    if (folder[0] && SourceIsDisposable(folder, handle, why, sizeof why)) {
        g_setup.disposableSource = 1;
        LogLine("source: the package's own folder; its plain files are moved into place");
    } else {
        LogLine("source: /FROMPACKAGE= ignored, %s; files are copied",
                folder[0] ? why : "no folder");
    }
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
        TellOrLog(nullptr, switches.problem, SETUP_BOX_CAPTION);
        return EndLog(SETUP_EXIT_BAD_SWITCH);
    }
    if (FindWindowA("KARVELOENGINE", nullptr)) {
        TellOrLog(nullptr, "Please exit the KARVELO ENGINE before running setup",
                  SETUP_DIALOG_CAPTION);
        return EndLog(SETUP_EXIT_CANNOT_RUN);
    }
    char folder[kPathSize];
    ProgramFolder(folder);
    if (!PrepareCopy(folder))
        return EndLog(SETUP_EXIT_BAD_SWITCH);
    CheckPackageFolder(folder, switches.fromPackage);
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
        CreateWindowExA(0, kMainClass, SETUP_WINDOW_CAPTION, WS_CAPTION, 0, 0, kMainWidth,
                        kMainHeight, noWindow ? HWND_MESSAGE : nullptr, nullptr, instance, nullptr);
    // A window that never came to be posted no quit message to wait for.
    if (!window && !g_setup.ended)
        return EndLog(SETUP_EXIT_CANNOT_RUN);
    if (!noWindow) {
        CenterWindow(window, 0, 0, 0, 0);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }

    MSG message;
    DWORD longest = 0; // the longest message of the copy: how long the window did not answer
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DWORD before = GetTickCount();
        int copying = g_setup.copyInProgress;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        DWORD took = GetTickCount() - before;
        // The steps that start and end the copy hold the status dialogs'
        // own message loops: only what runs during the copy counts.
        if (copying && g_setup.copyInProgress && took > longest)
            longest = took;
    }
    if (g_setup.fastCopy)
        LogLine("copy: the longest message took %lu ms", longest);
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
