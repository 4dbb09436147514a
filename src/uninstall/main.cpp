// uninst.exe: removes what a product's installations created, as the install
// record beside it lists (include/setupkit.h). The program in the product's
// folder cannot remove itself while it runs, so it copies itself to a fresh
// temporary file, starts that copy with the product's folder named, and waits:
// the copy does the work, moves the running program out of the folder (a
// running program can be renamed, not deleted), removes the folders, and only
// then hands its exit code back through a pipe, so that the code tells what
// is left; it then deletes the program once that has ended, and leaves its
// own removal to the next restart.
#include <windows.h>

#include "record/recordfile.h"
#include "record/registration.h"
#include "record/undo.h"
#include "setupexit.h"
#include "uninstall/removal.h"
#include "uninstall/screens.h"
#include "uninstall/switches.h"
#include "uninstall/ulog.h"
#include "util/lateload.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

constexpr char kCaption[] = "Uninstall";
constexpr DWORD kParentWait = 30000; // ms for the program in the product's folder to end
constexpr size_t kCommandSize = 2048;
constexpr size_t kSummarySize = 4096;

int EndLog(int code)
{
    Log("uninstall ended: exit code %d, %s", code, UninstallExitMeaning(code));
    CloseUninstallLog();
    return code;
}

// ---------------------------------------------------------------------------
// The program in the product's folder

bool MakeTemporaryCopy(const char *self, char (&copy)[kPathSize], char (&folder)[kPathSize])
{
    DWORD length = GetTempPathA(sizeof folder, folder);
    return length > 0 && length < sizeof folder && GetTempFileNameA(folder, "kvu", 0, copy) &&
           CopyFileA(self, copy, FALSE);
}

// The exit code the copy hands back; when it ends without one, its own.
int AwaitCopy(HANDLE pipe, HANDLE process)
{
    DWORD code = 0;
    DWORD read = 0;
    if (ReadFile(pipe, &code, sizeof code, &read, nullptr) && read == sizeof code)
        return static_cast<int>(code);
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = UNINSTALL_EXIT_CANNOT_RUN;
    GetExitCodeProcess(process, &exitCode);
    return static_cast<int>(exitCode);
}

int RunTemporaryCopy(const char *arguments, const UninstallSwitches &switches)
{
    char self[kPathSize];
    char folder[kPathSize];
    char copy[kPathSize];
    char temp[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self || !FolderOfPath(folder, self) ||
        !MakeTemporaryCopy(self, copy, temp)) {
        if (switches.log[0])
            OpenUninstallLog(switches.log);
        TellOrLog(switches.silent, nullptr, "The uninstaller cannot make its temporary copy.",
                  kCaption, MB_ICONERROR);
        return EndLog(UNINSTALL_EXIT_CANNOT_RUN);
    }
    size_t folderLength = strlen(folder);
    if (folderLength > 3 && folder[folderLength - 1] == '\\')
        folder[folderLength - 1] = 0;

    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    HANDLE me = nullptr;
    bool ready = CreatePipe(&readEnd, &writeEnd, &inherited, 0) &&
                 SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0) &&
                 DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me,
                                 SYNCHRONIZE, TRUE, 0);
    char command[kCommandSize];
    char handoff[64];
    wsprintfA(handoff, "\" /HANDOFF=%lx,%lx ", reinterpret_cast<unsigned long>(me),
              reinterpret_cast<unsigned long>(writeEnd));
    ready = ready && CopyText(command, "\"") >= 0 && AppendText(command, copy) >= 0 &&
            AppendText(command, "\" /FROM=\"") >= 0 && AppendText(command, folder) >= 0 &&
            AppendText(command, handoff) >= 0 && AppendText(command, arguments) >= 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    // The copy starts in the temporary folder: no process of ours keeps the
    // product's folder as its current one.
    ready = ready && CreateProcessA(copy, command, nullptr, nullptr, TRUE, 0, nullptr, temp,
                                    &startup, &started);
    if (writeEnd)
        CloseHandle(writeEnd);
    if (me)
        CloseHandle(me);
    if (!ready) {
        DeleteFileA(copy);
        if (readEnd)
            CloseHandle(readEnd);
        if (switches.log[0])
            OpenUninstallLog(switches.log);
        TellOrLog(switches.silent, nullptr, "The uninstaller cannot start its temporary copy.",
                  kCaption, MB_ICONERROR);
        return EndLog(UNINSTALL_EXIT_CANNOT_RUN);
    }
    CloseHandle(started.hThread);
    int code = AwaitCopy(readEnd, started.hProcess);
    CloseHandle(readEnd);
    CloseHandle(started.hProcess);
    return code;
}

// ---------------------------------------------------------------------------
// The temporary copy (or a run with /FROM= of one's own)

// The folder without a trailing backslash, in its long form when it has one.
void CanonicalFolder(char (&folder)[kPathSize])
{
    char longer[kPathSize];
    DWORD length = GetLongPathNameA(folder, longer, sizeof longer);
    if (length > 0 && length < sizeof longer)
        CopyText(folder, longer);
    size_t end = strlen(folder);
    while (end > 3 && folder[end - 1] == '\\')
        folder[--end] = 0;
}

// Why the record of the installation in `from` cannot be trusted; nullptr
// when it can: it is whole, written for this folder and for the product the
// command names, the one setup wrote (its digest the one kept for it where
// only administrators write) and every item lies where an installation into
// the folder may have put it. The folder may be writable by every user.
const char *Untrusted(const UninstallSwitches &switches, RecordRead read, bool missing,
                      const char *digest, const InstallRecord *record)
{
    if (missing)
        return "it is missing";
    if (read != RECORD_OK)
        return RecordReadMeaning(read);
    char here[kPathSize];
    char recorded[kPathSize];
    CopyText(here, switches.from);
    CopyText(recorded, record->folder);
    CanonicalFolder(here);
    CanonicalFolder(recorded);
    char normalHere[kPathSize];
    char normalRecorded[kPathSize];
    if (!NormaliseFullPath(normalHere, here) || !NormaliseFullPath(normalRecorded, recorded) ||
        lstrcmpiA(normalHere, normalRecorded) != 0)
        return "it belongs to another folder";
    if (switches.id[0] && lstrcmpiA(switches.id, record->product) != 0)
        return "it is another product's";
    if (!RecordIsRemembered(record->product, record->folder, digest))
        return "it is not the record setup wrote for this installation";
    RecordPlaces places;
    FindRecordPlaces(&places);
    const char *outside = nullptr;
    for (int i = 0; i < record->count; ++i) {
        if (!ItemWithinBounds(record->items[i], record->folder, places)) {
            Log("outside the product's places: %.259s", record->items[i].path);
            outside = "it names what an installation into this folder cannot have made";
        }
    }
    return outside;
}

// The record of the installation in `from`; false, having told why, when
// there is none that can be trusted.
bool ReadRecord(const UninstallSwitches &switches, InstallRecord *record)
{
    char path[kPathSize];
    char text[800];
    char digest[kRecordDigestText] = "";
    bool missing = false;
    RecordRead read = JoinPath(path, switches.from, kRecordFileName)
                          ? ReadRecordFile(path, record, &missing, digest)
                          : RECORD_NO_END;
    const char *why = Untrusted(switches, read, missing, digest, record);
    if (!why) {
        Log("record %.259s: %d items of %.259s", path, record->count, record->name);
        return true;
    }
    wsprintfA(text,
              "The record of this installation cannot be used: %s.\n%.259s\n\nNothing was "
              "removed: without its record the uninstaller cannot tell the product's files "
              "from yours.",
              why, path);
    TellOrLog(switches.silent, nullptr, text, kCaption, MB_ICONERROR);
    return false;
}

// The product's key, only when it is this installation's: another
// installation of the product may have registered itself since.
// False when the key is this installation's and stays.
bool RemoveKey(const InstallRecord *record)
{
    char keyPath[sizeof kUninstallKey + kRecordFieldSize];
    if (CopyText(keyPath, kUninstallKey) < 0 || AppendText(keyPath, record->product) < 0 ||
        strchr(record->product, '\\'))
        return true;
    if (!UninstallKeyIsFolders(record->product, record->folder)) {
        Log("key HKLM\\%.259s: kept, it is not this installation's", keyPath);
        return true;
    }
    LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
    Log("key HKLM\\%.259s: %s", keyPath,
        result == ERROR_SUCCESS          ? "removed"
        : result == ERROR_FILE_NOT_FOUND ? "not there"
                                         : "cannot be removed");
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// Hands the exit code to the program that waits for it, and waits for that
// program to end, so that its file can go.
void HandBack(const UninstallSwitches &switches, int code)
{
    HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(switches.result));
    HANDLE parent = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(switches.parent));
    DWORD value = static_cast<DWORD>(code);
    DWORD written = 0;
    WriteFile(pipe, &value, sizeof value, &written, nullptr);
    CloseHandle(pipe);
    WaitForSingleObject(parent, kParentWait);
    CloseHandle(parent);
}

void ForgetTemporaryCopy()
{
    char self[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length > 0 && length < sizeof self)
        MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The folder the running program moves to: the temporary one, on the same
// volume as the product's folder in most systems.
void SpareFolder(char (&spare)[kPathSize])
{
    DWORD length = GetTempPathA(sizeof spare, spare);
    if (length == 0 || length >= sizeof spare)
        spare[0] = 0;
}

int ExitCodeOf(const Removal *removal, bool registrationStays)
{
    // What the user changed is kept by design: the removal is whole.
    if (registrationStays || CountOutcome(removal, OUTCOME_KEPT) > 0)
        return UNINSTALL_EXIT_PARTLY;
    if (CountOutcome(removal, OUTCOME_SCHEDULED) > 0)
        return UNINSTALL_EXIT_RESTART;
    return UNINSTALL_EXIT_REMOVED;
}

// One removal at a time on this system: a second one started meanwhile
// waits, then finds what the first one left.
HANDLE TakeRemovalTurn()
{
    HANDLE turn = CreateMutexA(nullptr, FALSE, "KarveloUninstallTurn");
    if (turn && WaitForSingleObject(turn, INFINITE) == WAIT_FAILED) {
        CloseHandle(turn);
        return nullptr;
    }
    return turn;
}

void EndRemovalTurn(HANDLE turn)
{
    if (turn) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
}

int Remove(HINSTANCE instance, const UninstallSwitches &switches, Removal *removal,
           InstallRecord *record, const char *caption)
{
    removal->record = record;
    if (switches.parent)
        JoinPath(removal->deferred, switches.from, kUninstallerName);
    HWND progress = switches.silent ? nullptr : OpenProgress(instance, caption);
    RemoveItems(removal, ShowProgress, progress);
    char recordPath[kPathSize];
    bool stays =
        !JoinPath(recordPath, switches.from, kRecordFileName) ||
        (!DeleteFileA(recordPath) && GetFileAttributesA(recordPath) != INVALID_FILE_ATTRIBUTES);
    stays = !RemoveKey(record) || stays;
    ForgetRecord(record->product, record->folder);
    char spare[kPathSize];
    SpareFolder(spare);
    RemoveDeferred(removal, spare);
    RemoveRegistryKeys(removal);
    RemoveFolders(removal);
    CloseProgress(progress);

    bool whole = CountOutcome(removal, OUTCOME_CHANGED) == 0 &&
                 CountOutcome(removal, OUTCOME_SCHEDULED) == 0 &&
                 CountOutcome(removal, OUTCOME_KEPT) == 0;
    char *summary = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, kSummarySize));
    if (summary) {
        WriteSummary(removal, record->name, summary, kSummarySize);
        TellOrLog(switches.silent, nullptr, summary, caption,
                  whole ? MB_ICONINFORMATION : MB_ICONWARNING);
        HeapFree(GetProcessHeap(), 0, summary);
    }
    return ExitCodeOf(removal, stays);
}

// An installation into the folder that did not finish (setup killed, a
// power loss) is undone first: what the record lists is then what is there.
void SettleUnfinishedSetup(const UninstallSwitches &switches)
{
    RecordPlaces places;
    FindRecordPlaces(&places);
    if (SettleEarlierJournal(switches.from, places, Log) == EARLIER_ROLLED_BACK)
        TellOrLog(switches.silent, nullptr,
                  "An installation into this folder did not finish. Its changes have been "
                  "undone first.",
                  kCaption, MB_ICONINFORMATION);
}

int Uninstall(HINSTANCE instance, const UninstallSwitches &switches, Removal *removal,
              InstallRecord *record)
{
    // An interactive removal waits for its turn only once answered (a
    // question left open holds no other removal up), and then reads its
    // record again: another removal may have run meanwhile.
    HANDLE turn = switches.silent ? TakeRemovalTurn() : nullptr;
    SettleUnfinishedSetup(switches);
    bool read = ReadRecord(switches, record);
    char caption[kRecordFieldSize + 16];
    wsprintfA(caption, "%.259s Uninstall", record->name);
    if (read && !switches.silent) {
        if (!AskToRemove(record->name, caption)) {
            Log("the user chose to keep %.259s", record->name);
            return UNINSTALL_EXIT_DECLINED;
        }
        turn = TakeRemovalTurn();
        read = ReadRecord(switches, record);
    }
    int code =
        read ? Remove(instance, switches, removal, record, caption) : UNINSTALL_EXIT_NO_RECORD;
    EndRemovalTurn(turn);
    return code;
}

int Main(HINSTANCE instance)
{
    RestrictDllSearch();
    BindDialogLibraries();
    const char *arguments = ArgumentsOf(GetCommandLineA());
    UninstallSwitches switches;
    bool read = ReadUninstallSwitches(arguments, &switches);
    if (!switches.from[0] && read)
        return RunTemporaryCopy(arguments, switches);

    if (switches.log[0] && !OpenUninstallLog(switches.log) && read) {
        read = false;
        CopyText(switches.problem, "The log file cannot be written.");
    }
    Log("uninstall started, %s", switches.silent ? "silent" : "interactive");
    Log("command line: %.1000s", GetCommandLineA());
    int code = UNINSTALL_EXIT_BAD_SWITCH;
    Removal *removal =
        static_cast<Removal *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Removal)));
    InstallRecord *record = NewRecord();
    if (!read)
        TellOrLog(switches.silent, nullptr, switches.problem, kCaption, MB_ICONERROR);
    else if (!removal || !record)
        code = UNINSTALL_EXIT_CANNOT_RUN;
    else
        code = Uninstall(instance, switches, removal, record);
    if (switches.parent && switches.result)
        HandBack(switches, code);
    // The program, moved out of the folder while it ran, goes now it has ended.
    if (removal)
        RemoveMoved(removal);
    if (switches.parent)
        ForgetTemporaryCopy();
    if (record)
        FreeRecord(record);
    if (removal)
        HeapFree(GetProcessHeap(), 0, removal);
    return EndLog(code);
}

} // namespace

void LateBindingFailed()
{
    ExitProcess(UNINSTALL_EXIT_CANNOT_RUN);
}

// uninst.exe starts here, without the C runtime's start-up, as setup.exe does.
extern "C" void UninstallStart()
{
    ExitProcess(static_cast<UINT>(Main(GetModuleHandleA(nullptr))));
}
