#include "shell/sequence.h"

#include <ctype.h>

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
#include "screens/dialogs.h"
#include "setupcontrols.h"
#include "setupmodule.h"
#include "shell/mainwnd.h"
#include "shell/rollback.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/registry.h"
#include "util/text.h"
#include "util/window.h"

namespace
{

// True once the setup has ended, for instance because the module sent
// SM_EXIT from inside the hook that just returned.
bool Ended()
{
    return g_setup.ended != 0;
}

// A gating hook or dialog said no: end silently (the module has told the
// user), with the exit code that says who ended it.
bool Refused(int result, int exitCode = SETUP_EXIT_MODULE)
{
    if (Ended())
        return true;
    if (result == 0) {
        EndInstallation(exitCode);
        return true;
    }
    return false;
}

INT_PTR ShowDialog(const char *name, DLGPROC procedure)
{
    return DialogBoxParamA(g_setup.instance, name, g_setup.mainWindow, procedure, 0);
}

void ChooseDestination()
{
    // The caller's folder (/DIR=) stands as given.
    if (g_setup.chosenDir[0] && CopyText(g_setup.destDir, g_setup.chosenDir) >= 0)
        return;
    char base[kPathSize];
    char joined[kPathSize];
    // An empty or relative value would put the product below whatever folder
    // setup was started in, often the distribution medium itself.
    if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, kProgramFilesKey, kProgramFilesValue, base, REG_SZ,
                           sizeof base) ||
        !JoinPath(joined, base, kProductFolder) || !FullFolderPath(g_setup.destDir, joined))
        DefaultDestination(g_setup.destDir, sizeof g_setup.destDir, g_setup.windowsDir);
}

// The destination as the module left it, made one full path the way the
// system resolves it: the folder that is made, copied into, logged and
// reported is the one the files really land in. Returns false when it cannot
// be a folder at all; the setup has then ended.
bool SettleDestination()
{
    char full[kPathSize];
    if (FullFolderPath(full, g_setup.destDir)) {
        CopyText(g_setup.destDir, full);
        return true;
    }
    LogLine("destination refused: %.259s", g_setup.destDir);
    char text[kPathSize + 64];
    if (CopyText(text, "Error: This destination folder cannot be used: ") < 0 ||
        AppendText(text, g_setup.destDir) < 0)
        CopyText(text, "Error: The destination folder cannot be used.");
    TellOrLog(g_setup.mainWindow, text, SETUP_BOX_CAPTION);
    EndInstallation(SETUP_EXIT_MODULE);
    return false;
}

// What each volume needs and has, for the log of a setup that goes on.
void LogVolumes(const SpaceTable *table)
{
    for (int i = 0; i < table->count; ++i) {
        const VolumeSpace &volume = table->volumes[i];
        char needed[32];
        char free[32];
        FormatBytes(needed, sizeof needed, volume.needed);
        FormatBytes(free, sizeof free, volume.free);
        if (volume.freeKnown)
            LogLine("disk space: %.259s needs %s bytes, %s are free", volume.root, needed, free);
        else
            LogLine("disk space: %.259s needs %s bytes, its free space is unknown", volume.root,
                    needed);
    }
}

// The files to install against the free space of the volumes they go to.
// Interactively a volume too small is named in a box until the user makes
// room (Retry) or gives up (Cancel); silently the log names it. Returns
// false when the setup ended; nothing has been copied or made then.
bool SpaceSuffices()
{
    auto *table = static_cast<SpaceTable *>(HeapAlloc(GetProcessHeap(), 0, sizeof(SpaceTable)));
    if (!table)
        return true;
    bool suffices = true;
    // Closed from outside while the box was open: the setup has ended.
    while (!Ended()) {
        CountCopyNeeds(table);
        if (table->unplaced)
            LogLine("disk space: %d files on volumes not told apart, not checked", table->unplaced);
        const VolumeSpace *volume = FirstShortVolume(table);
        if (!volume) {
            LogVolumes(table);
            break;
        }
        char needed[32];
        char free[32];
        FormatBytes(needed, sizeof needed, volume->needed);
        FormatBytes(free, sizeof free, volume->free);
        LogLine("disk space: %.259s needs %s bytes, %s are free: not enough", volume->root, needed,
                free);
        char text[kPathSize + 256];
        if (!BuildNoSpaceText(text, sizeof text, volume))
            CopyText(text, "There is not enough free disk space to install the product.");
        if (RunsSilently() || MessageBoxA(g_setup.mainWindow, text, SETUP_BOX_CAPTION,
                                          MB_RETRYCANCEL | MB_ICONSTOP) != IDRETRY) {
            LogLine("disk space: the setup ends, nothing was copied");
            EndInstallation(SETUP_EXIT_NO_SPACE);
            suffices = false;
            break;
        }
    }
    HeapFree(GetProcessHeap(), 0, table);
    return suffices && !Ended();
}

// Steps 5 to 11 of the begin step: lists, conflicts, folders, StartCopy and
// the preparing dialog. Returns false when the setup ended on the way.
bool PrepareCopy()
{
    ResetCopyList();
    ResetAddInList();
    ResetInstalled();
    g_setup.listsBuilt = 1;
    ReadSetupFileList(kDataFile);
    // The module's own files join the data file's here, so that the scan
    // puts them to FileConflict and their folders are made like the others'.
    if (Refused(CallHook(SETUP_HOOK_ID_AddFiles, 1)) || Refused(ScanConflicts()))
        return false;
    if (Refused(CallHook(SETUP_HOOK_ID_GetAddInList, 1)) || !SpaceSuffices())
        return false;
    // The destination folder may not exist yet on this machine; without it
    // nothing could be copied into it.
    CreateFolderPath(g_setup.destDir, NoteFolderMade);
    // From here on every change is journaled before it is made.
    StartInstallationJournal();
    CreateDestFolders();
    if (Refused(CallHook(SETUP_HOOK_ID_StartCopy, 1)))
        return false;
    // The preparing dialog is there for a person to read; nobody reads it now.
    if (!RunsSilently())
        ShowDialog("DLG_PREPARING", PreparingDlgProc);
    return !Ended();
}

// A file could not be installed: the installation is partial whatever comes
// next. The module decides with CriticError; without one the user is told
// which file and why, and the setup goes on. Returns false when it ended.
bool FileFailed()
{
    RecordExitCode(SETUP_EXIT_FILE_FAILED);
    if (FindHook(SETUP_HOOK_ID_CriticError)) {
        // The module learns the reason the way it would from a failed call.
        SetLastError(g_setup.failedError);
        int consent = CallHookWithText(SETUP_HOOK_ID_CriticError, g_setup.failedPath, 1);
        g_setup.failedPath[kPathSize - 1] = 0;
        return !Refused(consent);
    }
    char reason[kPathSize];
    SystemReason(g_setup.failedError, reason, sizeof reason);
    char text[2 * kPathSize + 96];
    if (!BuildFailureText(text, sizeof text, g_setup.failedPath, reason))
        CopyText(text, "Error: A file could not be installed.");
    TellOrLog(g_setup.mainWindow, text, SETUP_BOX_CAPTION);
    return !Ended();
}

// The shortcut step: the status dialog calls CreateShortcuts as it opens.
// Silently there is no dialog to show, and the hook is called at once.
int MakeShortcuts()
{
    if (RunsSilently())
        return CallHook(SETUP_HOOK_ID_CreateShortcuts, 1);
    return static_cast<int>(ShowDialog("DLG_CREATINGSHTCUTS", CreatingShtCutsDlgProc));
}

void LaunchDemo(char *program, char *document)
{
    // The module may have filled the buffers to their last byte.
    program[kPathSize - 1] = 0;
    document[kPathSize - 1] = 0;
    char command[kPathSize];
    if (!BuildDemoCommand(command, sizeof command, g_setup.destDir, program, document))
        return;
    // Nobody would see it, and a deployment must not leave programs running.
    if (RunsSilently()) {
        LogLine("demonstration not started (silent): %.600s", command);
        return;
    }
    LogLine("demonstration started: %.900s", command);
    // The demonstration starts on the destination's drive and in its folder;
    // a destination without a drive letter (a share) has no drive to change to.
    if (isalpha(static_cast<unsigned char>(g_setup.destDir[0])) && g_setup.destDir[1] == ':') {
        const char drive[3] = {g_setup.destDir[0], ':', 0};
        SetCurrentDirectoryA(drive);
    }
    SetCurrentDirectoryA(g_setup.destDir);
    // 31 and below are WinExec's failures (a file that is no program, one missing).
    UINT started = WinExec(command, SW_SHOW);
    if (started <= 31)
        LogLine("demonstration could not be started: error %u", started);
}

} // namespace

bool DefaultDestination(char *dest, size_t size, const char *windowsDir)
{
    char root[4] = {windowsDir[0] ? windowsDir[0] : 'C', ':', '\\', 0};
    char programs[kPathSize];
    return JoinPath(programs, root, SETUP_PROGRAM_FILES) &&
           JoinPath(dest, size, programs, kProductFolder);
}

bool BuildFailureText(char *text, size_t size, const char *path, const char *reason)
{
    return CopyText(text, size, "Error: ") >= 0 && AppendText(text, size, path) >= 0 &&
           AppendText(text, size, " could not be installed.\n\n") >= 0 &&
           AppendText(text, size, reason) >= 0 &&
           AppendText(text, size, "\n\nSetup will go on, but the product is not complete.") >= 0;
}

bool BuildDemoCommand(char *command, size_t size, const char *destDir, const char *program,
                      const char *document)
{
    char demos[kPathSize];
    char documentPath[kPathSize];
    if (!JoinPath(command, size, destDir, program) || QuoteCommand(command, size) < 0)
        return false;
    // Without a document the program starts on its own: the bare Demos folder
    // would reach it as a document that does not exist.
    if (!document[0])
        return true;
    if (!JoinPath(demos, destDir, kDemoFolder) || !JoinPath(documentPath, demos, document))
        return false;
    return AppendText(command, size, " ") >= 0 && AppendText(command, size, documentPath) >= 0;
}

void RecordExitCode(int code)
{
    if (g_setup.exitCodeSet)
        return;
    g_setup.exitCode = code;
    g_setup.exitCodeSet = 1;
}

void EndInstallation(int code)
{
    RecordExitCode(code);
    if (!g_setup.ended)
        DestroyWindow(g_setup.mainWindow);
}

void BeginSetup()
{
    // A sender's late success reply must not walk the sequence a second time,
    // and after a failed reply the setup is on its way out.
    if (g_setup.beginStarted || g_setup.finishArmed)
        return;
    // While our own start still waits in the slot, this one is somebody else's.
    if (IsDeferredPostPending(g_setup.mainWindow, SM_BEGINSETUP))
        return;
    g_setup.beginStarted = 1;
    // Whichever of the start post and the sender's post came first, the other
    // is stale now; left pending it would hold the slot that the status
    // dialogs and the copy need for their own posts.
    CancelDeferredPost(g_setup.mainWindow, SM_BEGINSETUP);

    // Zero-filled, so that a module writing nothing leaves an empty text.
    char scratch[kPathSize] = {};
    if (Refused(CallHookWithText(SETUP_HOOK_ID_Present, scratch, 1)))
        return;
    // Silently, the caller has accepted the agreement on the user's behalf.
    if (RunsSilently())
        LogLine("agreement: accepted by the caller");
    else if (Refused(static_cast<int>(ShowDialog("DLG_PRESENT", PresDlgProc)), SETUP_EXIT_DECLINED))
        return;

    ChooseDestination();
    int consent = CallHookWithText(SETUP_HOOK_ID_SetDestDir, g_setup.destDir, 1);
    g_setup.destDir[kPathSize - 1] = 0;
    if (Refused(consent) || !SettleDestination())
        return;
    LogLine("destination: %.259s", g_setup.destDir);
    SettleEarlierInstallation();
    if (Ended())
        return;

    if (!PrepareCopy())
        return;
    g_setup.copyWindow = CreateCopyWindow();
    // Without its window the copy would never start nor report: the setup
    // would wait forever behind an empty screen.
    if (!g_setup.copyWindow) {
        EndInstallation(SETUP_EXIT_CANNOT_RUN);
        return;
    }
    g_setup.copyInProgress = 1;
}

void CopyResult(LPARAM lParam)
{
    // Only the copy window reports, once, while the copy runs; it posts its
    // end and destroys itself at once. Anyone else's SM_COPYDONE would walk
    // the sequence on beside a running copy.
    if (!g_setup.copyInProgress)
        return;
    if (lParam != 0) {
        EndInstallation(SETUP_EXIT_CANCELLED);
        return;
    }
    if (IsWindow(g_setup.copyWindow))
        return;
    g_setup.copyInProgress = 0;
    if (g_setup.criticalCopyError && !FileFailed())
        return;
    if (Refused(CallHook(SETUP_HOOK_ID_EndCopy, 1)))
        return;
    RepaintNow();
    if (Refused(MakeShortcuts()))
        return;
    RepaintNow();
    CallHook(SETUP_HOOK_ID_GenIniFiles, 1);
    CallHook(SETUP_HOOK_ID_GetAddInOff, 1);
    if (Ended())
        return;
    g_setup.finishArmed = 1;
    // The pause lets a person see the end; silently the finish comes at once.
    ScheduleDeferredPost(g_setup.mainWindow, RunsSilently() ? 1 : kTicksToFinish, SM_FINISHSETUP, 0,
                         0);
}

void FinishSetup()
{
    // Only once the copy result or a failed sender reply has armed it, and
    // once: an SM_FINISHSETUP from anywhere else would end an installation
    // half done and report it complete.
    if (!g_setup.finishArmed || g_setup.finishStarted || Ended() ||
        IsDeferredPostPending(g_setup.mainWindow, SM_FINISHSETUP))
        return;
    g_setup.finishStarted = 1;
    RecordExitCode(RestartCount() > 0 ? SETUP_EXIT_RESTART : SETUP_EXIT_COMPLETE);
    CallHook(SETUP_HOOK_ID_EndSetup, 1);
    if (Ended())
        return;
    char program[kPathSize] = {};
    char document[kPathSize] = {};
    if (CallHookWithTexts(SETUP_HOOK_ID_DemoQuery, program, document, 0) && !Ended())
        LaunchDemo(program, document);
    if (Ended())
        return;
    // Complete once the module's last hook has run (the registration kit has
    // written the record and the product's key in EndSetup); after a failed
    // sender reply the finish runs too, but the installation is undone.
    if (g_setup.exitCode != SETUP_EXIT_SENDER)
        CompleteInstallation();
    if (!Ended())
        PostMessageA(g_setup.mainWindow, SM_CLOSE, 0, 0);
}

void StartSender()
{
    // One sender per setup: its one reply is all the sequence expects.
    if (g_setup.senderWindow)
        return;
    HWND sender = CreateWindowExA(0, "sender", "", WS_CHILD, 0, 0, 0, 0, g_setup.mainWindow,
                                  nullptr, g_setup.instance, nullptr);
    g_setup.senderWindow = sender;
    if (sender)
        PostMessageA(sender, SENDER_START, 0, 0);
}

void SenderReply(LPARAM lParam)
{
    // Only the sender we made replies, once; anything else posting this
    // number (another program) must not start or end the setup.
    if (!g_setup.senderWindow || g_setup.senderReplied || Ended())
        return;
    g_setup.senderReplied = 1;
    if (lParam & 0x8000) {
        // Once the begin step has started a late reply has nothing left to
        // start, and its post would take the slot from the status dialogs.
        if (g_setup.beginStarted)
            return;
        ScheduleDeferredPost(g_setup.mainWindow, kTicksAfterSender, SM_BEGINSETUP, 0, 0);
        return;
    }
    // No begin step may start under the message box, nor after it.
    CancelDeferredPost(g_setup.mainWindow, SM_BEGINSETUP);
    g_setup.finishArmed = 1;
    RecordExitCode(SETUP_EXIT_SENDER);
    TellOrLog(g_setup.mainWindow, "Error: Program Manager not found. Setup must exit.",
              SETUP_BOX_CAPTION);
    if (!Ended())
        PostMessageA(g_setup.mainWindow, SM_FINISHSETUP, 0, 0);
}

void RepaintNow()
{
    InvalidateRect(g_setup.mainWindow, nullptr, FALSE);
    UpdateWindow(g_setup.mainWindow);
}
