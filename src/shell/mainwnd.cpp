#include "shell/mainwnd.h"

#include "copy/conflicts.h"
#include "copy/copylist.h"
#include "copy/copywnd.h"
#include "copy/filelist.h"
#include "copy/installed.h"
#include "copy/replace.h"
#include "copy/space.h"
#include "core/context.h"
#include "core/deferred.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/protocol.h"
#include "screens/paint.h"
#include "setupcontrols.h"
#include "setupmodule.h"
#include "shell/keep.h"
#include "shell/sequence.h"
#include "shell/startup.h"
#include "shortcuts/shortcut.h"
#include "util/files.h"
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
    if (g_setup.moduleHandle) {
        LogLine("module: %.259s", modulePath);
        return true;
    }
    RecordExitCode(SETUP_EXIT_CANNOT_RUN);
    TellOrLog(nullptr, "Error: Missing module. Setup must exit.", SETUP_BOX_CAPTION);
    return false;
}

// Messages of the main window that carry a pointer, or that only the shell
// itself sends: posted, they come from nobody the setup knows. A pointer
// posted from another process points into nothing of ours.
bool NeverPosted(const MSG &message)
{
    switch (message.message) {
    case SM_ADDCOPYENTRY:
    case SM_ADDADDIN:
    case SM_ADDFILELIST:
    case SM_CREATESHORTCUT:
    case SM_WRITELOG:
    case SM_GETINSTALLED:
    case SM_GETSPACE:
    case SM_KEEPFORUNDO:
        return true;
    case SM_COPYDONE:
        // The copy window sends its cancel; only its end is posted.
        return message.lParam != 0;
    default:
        return false;
    }
}

HHOOK g_postFilter;

// A module's copy entry. One too large for the record's size field is
// weighed at its source's own 64-bit size, so that the bar counts it.
int AddModuleCopyEntry(const CopyRequest *request)
{
    int slot = AddCopyRequest(request);
    if (slot < 0 || request->size != COPY_SIZE_MEASURED)
        return slot;
    CopyEntry *entry = &g_copyList.slots[slot];
    CopyPaths paths;
    entry->size = BuildCopyPaths(entry, &paths) ? FileSize64Of(paths.source) : 0;
    return slot;
}

// Sees every message this thread takes from its queue, in our loop, a
// dialog's or a module's, before it is dispatched: what must never be posted
// to the main window is turned into WM_NULL there.
LRESULT CALLBACK FilterPosts(int code, WPARAM wParam, LPARAM lParam)
{
    auto *message = reinterpret_cast<MSG *>(lParam);
    if (code == HC_ACTION && message && message->hwnd == g_setup.mainWindow && g_setup.mainWindow &&
        NeverPosted(*message))
        message->message = WM_NULL;
    return CallNextHookEx(g_postFilter, code, wParam, lParam);
}

// The private messages another thread may send: only the repaint, which
// changes nothing.
bool RefusedFromElsewhere(UINT message)
{
    return message >= SM_STARTSENDER && message <= SM_COPYDONE && message != SM_REPAINT &&
           SentFromElsewhere();
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
    g_postFilter = SetWindowsHookExA(WH_GETMESSAGE, FilterPosts, nullptr, GetCurrentThreadId());
    RegisterCopyClass();
    GetWindowsDirectoryA(g_setup.windowsDir, sizeof g_setup.windowsDir);

    // Without the filter, anybody could post a pointer for us to follow.
    if (!g_postFilter || !SetTimer(window, kTickTimerId, kTickMilliseconds, nullptr)) {
        MessageBeep(MB_OK);
        EndInstallation(SETUP_EXIT_CANNOT_RUN);
        return;
    }

    char programPath[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, programPath, sizeof programPath);
    // A path that filled the buffer was cut: no folder of ours can be trusted then.
    if (length == 0 || length >= sizeof programPath ||
        !FolderOfPath(g_setup.sourceDir, programPath))
        g_setup.sourceDir[0] = 0;

    if (!LoadSetupModule()) {
        EndInstallation(SETUP_EXIT_CANNOT_RUN);
        return;
    }

    CallInitModule();
    SetCaption(window);
    // The first pause shows the window before anything happens; silently
    // there is nothing to show.
    ScheduleDeferredPost(window, RunsSilently() ? 1 : kTicksToBegin, SM_BEGINSETUP, 0, 0);
}

// SM_WRITELOG: a line of the module's own, read within its 1024 bytes.
int WriteModuleLine(const char *text)
{
    if (!text || BoundedLength(text, 1024) < 0 || !(g_setup.mode & SETUP_MODE_LOGGING))
        return 0;
    LogLine("module says: %s", text);
    return 1;
}

void OnLeftButtonDown(LPARAM lParam)
{
    unsigned short x = LOWORD(lParam);
    unsigned short y = HIWORD(lParam);
    if (InCancelZone(x, y, g_setup.copyInProgress))
        PostMessageA(g_setup.copyWindow, CM_CANCELREQUEST, 0, 0);
}

} // namespace

void StopFilteringPosts()
{
    if (g_postFilter)
        UnhookWindowsHookEx(g_postFilter);
    g_postFilter = nullptr;
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (RefusedFromElsewhere(message))
        return message == SM_ADDCOPYENTRY || message == SM_ADDADDIN ? -1 : 0;
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        // An end that named no code of its own came from outside: a WM_CLOSE
        // or the end of the session.
        RecordExitCode(SETUP_EXIT_CLOSED);
        g_setup.ended = 1;
        // The module stays loaded: its code may be on the stack below us (a
        // window procedure of its own that sent SM_EXIT). WinMain releases
        // it once the message loop has ended.
        PostQuitMessage(g_setup.exitCode);
        return 0;
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
        return AddModuleCopyEntry(reinterpret_cast<const CopyRequest *>(lParam));
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
        // Only the finish step closes; anyone else's close would end an
        // installation half done.
        if (g_setup.finishStarted)
            EndInstallation(RestartCount() > 0 ? SETUP_EXIT_RESTART : SETUP_EXIT_COMPLETE);
        return 0;
    case SM_EXIT:
        // The user's own no, given in a dialog of the module's, is a declined setup.
        EndInstallation(wParam == SETUP_EXIT_DECLINED ? SETUP_EXIT_DECLINED : SETUP_EXIT_MODULE);
        return 0;
    case SM_CREATESHORTCUT:
        return HandleShortcutRequest(reinterpret_cast<const ShortcutRequest *>(lParam));
    case SM_REPAINT:
        RepaintNow();
        return 0;
    case SM_GETSETUPMODE:
        return static_cast<LRESULT>(g_setup.mode);
    case SM_WRITELOG:
        return WriteModuleLine(reinterpret_cast<const char *>(lParam));
    case SM_GETINSTALLED:
        return FillInstalledItem(static_cast<int>(wParam),
                                 reinterpret_cast<InstalledItem *>(lParam));
    case SM_GETSPACE:
        return AnswerSpaceQuery(reinterpret_cast<SpaceQuery *>(lParam));
    case SM_KEEPFORUNDO:
        return KeepForUndo(reinterpret_cast<const UndoItem *>(lParam));
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
