#include "shell/mainwnd.h"

#include "copy/copylist.h"
#include "copy/copywnd.h"
#include "copy/filelist.h"
#include "core/context.h"
#include "core/deferred.h"
#include "core/hooks.h"
#include "core/protocol.h"
#include "screens/paint.h"
#include "setupmodule.h"
#include "shell/sequence.h"
#include "shell/startup.h"
#include "shortcuts/shortcut.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/window.h"

namespace
{

// Loads the module named by the command line. Returns false after telling
// the user when there is none to load.
bool LoadSetupModule()
{
    char modulePath[kPathSize];
    // Without a folder of our own the name would be looked up along the search
    // path, where some other library of that name could be found.
    bool named = g_setup.sourceDir[0] && !g_setup.commandLineTooLong &&
                 ModulePath(modulePath, sizeof modulePath, g_setup.sourceDir, g_setup.commandLine);
    g_setup.moduleHandle = named ? LoadLibraryA(modulePath) : nullptr;
    if (g_setup.moduleHandle)
        return true;
    TellUser(nullptr, "Error: Missing module. Setup must exit.", "KARVELO Setup");
    return false;
}

void SetCaption(HWND window)
{
    char dataPath[kPathSize];
    char title[kPathSize] = "";
    if (JoinPath(dataPath, g_setup.sourceDir, kDataFile))
        GetPrivateProfileStringA("GENERAL", "cbTitle", "", title, sizeof title, dataPath);
    CopyText(g_setup.setupTitle, g_setup.moduleTitle[0] ? g_setup.moduleTitle : title);

    char caption[kPathSize + 32];
    BuildCaption(caption, sizeof caption, g_setup.setupTitle);
    SetWindowTextA(window, caption);
}

// Start-up of the main window. Every failure destroys the window, which ends
// the process through WM_DESTROY.
void OnCreate(HWND window)
{
    g_setup.mainWindow = window;
    RegisterCopyClass();
    GetWindowsDirectoryA(g_setup.windowsDir, sizeof g_setup.windowsDir);

    if (!SetTimer(window, kTickTimerId, kTickMilliseconds, nullptr)) {
        MessageBeep(MB_OK);
        DestroyWindow(window);
        return;
    }

    char programPath[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, programPath, sizeof programPath);
    // A path that filled the buffer was cut: no folder of ours can be trusted then.
    if (length == 0 || length >= sizeof programPath ||
        !FolderOfPath(g_setup.sourceDir, programPath))
        g_setup.sourceDir[0] = 0;

    if (!LoadSetupModule()) {
        DestroyWindow(window);
        return;
    }

    CallInitModule();
    SetCaption(window);
    ScheduleDeferredPost(window, kTicksToBegin, SM_BEGINSETUP, 0, 0);
}

void OnLeftButtonDown(LPARAM lParam)
{
    unsigned short x = LOWORD(lParam);
    unsigned short y = HIWORD(lParam);
    if (InCancelZone(x, y, g_setup.copyInProgress))
        PostMessageA(g_setup.copyWindow, CM_CANCELREQUEST, 0, 0);
}

} // namespace

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        g_setup.ended = 1;
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        // Released only now that the child windows are gone: a module's own
        // child window (its sender) must not outlive the code of its window
        // procedure.
        ReleaseModule();
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
        Tick();
        return 0;
    case WM_SYSCOMMAND:
        return RefuseSystemCommand(wParam);
    case WM_QUERYENDSESSION:
        return 1;
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(lParam);
        return 0;
    case WM_PAINT:
        return PaintMainWindow(window);
    case SM_ADDCOPYENTRY:
        return AddCopyRequest(reinterpret_cast<const CopyRequest *>(lParam));
    case SM_ADDADDIN:
        return AddAddIn(reinterpret_cast<const AddInRequest *>(lParam));
    case SM_ADDFILELIST:
        return AddModuleFileList(reinterpret_cast<const char *>(lParam));
    case SM_STARTSENDER:
        StartSender();
        return 0;
    case SM_BEGINSETUP:
        BeginSetup();
        return 0;
    case SM_FINISHSETUP:
        FinishSetup();
        return 0;
    case SM_CLOSE:
    case SM_EXIT:
        DestroyWindow(window);
        return 0;
    case SM_CREATESHORTCUT:
        return HandleShortcutRequest(reinterpret_cast<const ShortcutRequest *>(lParam));
    case SM_REPAINT:
        RepaintNow();
        return 0;
    case SM_SENDERREPLY:
        SenderReply(lParam);
        return 0;
    case SM_COPYDONE:
        CopyResult(lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
