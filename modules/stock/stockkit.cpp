// The stock kit (include/stockkit.h): the stock module's behaviour, read
// from kvlsetup.dat by the rules of settings.cpp.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <string.h>

#include "askfolder.h"
#include "desktopbox.h"
#include "replacebox.h"
#include "settings.h"
#include "setupcontrols.h"
#include "setupkit.h"
#include "setupmodule.h"
#include "stockkit.h"
#include "stockregistry.h"
#include "stored.h"

using namespace stock;

namespace
{

constexpr char kDataFile[] = "kvlsetup.dat";
// A default no value can hold tells a missing key from an empty one.
constexpr char kMissingMark[] = "\x01";

static_assert(kStockTextSize == SETUP_PATH_SIZE, "item texts fill setup's path buffers");
static_assert(kStockTitleSize == SETUP_MODULE_TITLE_SIZE, "the title fills InitModule's buffer");

HWND g_mainWindow;
unsigned g_mode;           // SM_GETSETUPMODE: silent, very silent, folder chosen by the caller
char g_dataPath[MAX_PATH]; // kvlsetup.dat in the source folder; empty: no settings
char g_sourceDir[MAX_PATH];
char g_title[SETUP_MODULE_TITLE_SIZE];
char g_destDir[SETUP_PATH_SIZE]; // as SetDestDir left it
int g_groupFolderId;             // the Start menu CreateShortcuts used; 0 before
bool g_keepAll;                  // "No to All" was answered: no more replace questions
bool g_desktopWanted;            // [DESKTOP]: the shortcut is to be made
char g_desktopLink[MAX_PATH];    // the desktop shortcut written; "" when none

int ReadProfile(void *, const char *section, const char *key, char *buffer, size_t size)
{
    DWORD length = GetPrivateProfileStringA(section, key, kMissingMark, buffer,
                                            static_cast<DWORD>(size), g_dataPath);
    if (strcmp(buffer, kMissingMark) == 0)
        return kStockMissing;
    return static_cast<int>(length);
}

StockReader Settings()
{
    return StockReader{g_dataPath[0] ? ReadProfile : nullptr, nullptr};
}

int ReadSetting(const char *section, const char *key, char (&line)[kStockLineSize])
{
    return StockRead(Settings(), section, key, line);
}

// ---------------------------------------------------------------------------
// Messages

// The product's title, or the setup's own caption before it is known.
const char *BoxCaption()
{
    return g_title[0] ? g_title : SETUP_BOX_CAPTION;
}

// A message for the user; silently it goes to setup's log instead, for
// nobody is there to press OK.
void Tell(const char *text, UINT icon)
{
    if (StockSilent())
        SendMessageA(g_mainWindow, SM_WRITELOG, 0, reinterpret_cast<LPARAM>(text));
    else
        MessageBoxA(g_mainWindow, text, BoxCaption(), MB_OK | icon);
}

int AskAboutConflict(const char *destPath, const char *why = "This file exists already.")
{
    // Nobody to ask: the file the user has stays.
    if (StockSilent())
        return FC_SKIP;
    if (g_keepAll) {
        KitLog(g_mainWindow, "file %.259s: kept (No to All)", destPath);
        return FC_SKIP;
    }
    char question[SETUP_PATH_SIZE + 128];
    wsprintfA(question, "%.259s\n\n%.80s Replace it?", destPath, why);
    switch (AskReplace(g_mainWindow, BoxCaption(), question)) {
    case ReplaceAnswer::Yes:
        return FC_REPLACE;
    case ReplaceAnswer::YesToAll:
        // setup.exe replaces every later file without asking again.
        return FC_REPLACE_ALL;
    case ReplaceAnswer::No:
        return FC_SKIP;
    case ReplaceAnswer::NoToAll:
        g_keepAll = true;
        return FC_SKIP;
    case ReplaceAnswer::Cancel:
        break;
    }
    return FC_ABORT;
}

void TellFileFailed(const char *failedPath, DWORD error, bool goOn)
{
    char reason[SETUP_PATH_SIZE];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reason, sizeof reason, nullptr);
    if (length == 0 || length >= sizeof reason)
        wsprintfA(reason, "System error %lu.", error);
    char text[3 * SETUP_PATH_SIZE];
    wsprintfA(text, "%.259s could not be installed.\n\n%.259s\n%s", failedPath, reason,
              goOn ? "Setup will go on, but the product is not complete."
                   : "Setup will end now; the product is not complete.");
    Tell(text, MB_ICONERROR);
}

// ---------------------------------------------------------------------------
// Shortcuts

HRESULT SaveLink(IShellLinkA *link, const char *linkPath)
{
    IPersistFile *file = nullptr;
    HRESULT result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file));
    if (FAILED(result))
        return result;
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH))
        result = file->Save(widePath, TRUE);
    else
        result = E_FAIL;
    file->Release();
    return result;
}

HRESULT WriteLink(const char *linkPath, const char *target, const char *arguments,
                  const char *workFolder, const char *description)
{
    // A link made new goes again if the installation does not complete. One
    // it replaces is not kept: its copy aside would lie in a menu or on a
    // desktop, where an undo and a finish take back only links.
    if (GetFileAttributesA(linkPath) == INVALID_FILE_ATTRIBUTES)
        KitKeepForUndo(g_mainWindow, UNDO_FILE, UNDO_MACHINE, linkPath);
    IShellLinkA *link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void **>(&link));
    if (FAILED(result) || !link)
        return FAILED(result) ? result : E_FAIL;
    result = link->SetPath(target);
    if (SUCCEEDED(result))
        result = link->SetArguments(arguments);
    if (SUCCEEDED(result))
        result = link->SetWorkingDirectory(workFolder);
    if (SUCCEEDED(result))
        result = link->SetDescription(description);
    if (SUCCEEDED(result))
        result = SaveLink(link, linkPath);
    link->Release();
    return result;
}

// The paths of one [GROUP] item, each checked; false when the item is skipped.
bool LinkPaths(const char *group, const StockLinkItem &item, char (&linkPath)[MAX_PATH],
               char (&targetPath)[MAX_PATH], char (&workPath)[MAX_PATH])
{
    return JoinWhole(linkPath, sizeof linkPath, group, item.name) &&
           AppendWhole(linkPath, sizeof linkPath, ".lnk") &&
           JoinWhole(targetPath, sizeof targetPath, g_destDir, item.target) &&
           (!item.workFolder[0] ? CopyWhole(workPath, sizeof workPath, g_destDir)
                                : JoinWhole(workPath, sizeof workPath, g_destDir, item.workFolder));
}

// cbItemNN of [GROUP] taken apart; false when the item is skipped.
bool ReadLinkItem(int length, char *line, StockLinkItem *item)
{
    return length != kStockTooLong && ParseLinkItem(line, item) == kStockItemUsable;
}

// One [GROUP] item: every path is checked and built before anything is written.
void AddLink(const char *group, const StockLinkItem &item)
{
    char linkPath[MAX_PATH];
    char targetPath[MAX_PATH];
    char workPath[MAX_PATH];
    if (!LinkPaths(group, item, linkPath, targetPath, workPath))
        return;
    HRESULT result = WriteLink(linkPath, targetPath, item.arguments, workPath, item.description);
    KitLog(g_mainWindow, "shortcut %.259s: %s", linkPath, SUCCEEDED(result) ? "written" : "failed");
}

// Whether this setup runs with an administrator's rights: an elevated token,
// or on a system without elevation, membership of the Administrators.
bool RunsElevated()
{
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        BOOL known =
            GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
        CloseHandle(token);
        if (known)
            return elevation.TokenIsElevated != 0;
    }
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != 0;
}

// Whose Start menu the group goes in: all users' when the setup runs with an
// administrator's rights (or cbFor=all), else the user's (or cbFor=user).
int GroupFolderId()
{
    char line[kStockLineSize];
    bool known = false;
    ReadSetting("GROUP", "cbFor", line);
    switch (ParseGroupFor(line, &known)) {
    case StockGroupFor::All:
        return CSIDL_COMMON_PROGRAMS;
    case StockGroupFor::User:
        return CSIDL_PROGRAMS;
    case StockGroupFor::Auto:
        break;
    }
    return RunsElevated() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
}

// The group folder's path in the Start menu's Programs of `folderId`.
bool GroupPath(char (&group)[MAX_PATH], int folderId)
{
    char line[kStockLineSize];
    char programs[MAX_PATH];
    return ReadSetting("GROUP", "cbName", line) > 0 && IsSafeName(line, strlen(line)) &&
           SHGetSpecialFolderPathA(g_mainWindow, programs, folderId, TRUE) &&
           JoinWhole(group, sizeof group, programs, line);
}

// Makes the group's folder; one this run makes goes again with the undo.
bool MakeFolder(const char *folder)
{
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
        KitKeepForUndo(g_mainWindow, UNDO_FOLDER, UNDO_MACHINE, folder);
    return CreateDirectoryA(folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The group folder, made if need be, and remembered for the registration.
// All users' menu without the rights to write it (cbFor=all, run by a user):
// the user's own, so that no shortcut is lost.
bool MakeGroup(char (&group)[MAX_PATH])
{
    int folderId = GroupFolderId();
    if (!GroupPath(group, folderId))
        return false;
    if (!MakeFolder(group) && folderId == CSIDL_COMMON_PROGRAMS) {
        KitLog(g_mainWindow, "program group %.259s: cannot be made (error %lu); the user's instead",
               group, GetLastError());
        folderId = CSIDL_PROGRAMS;
        if (!GroupPath(group, folderId))
            return false;
    }
    if (!MakeFolder(group)) {
        KitLog(g_mainWindow, "program group %.259s: cannot be made (error %lu); no shortcuts",
               group, GetLastError());
        return false;
    }
    g_groupFolderId = folderId;
    return true;
}

// ---------------------------------------------------------------------------
// The desktop shortcut

// [DESKTOP] cbLink taken apart; false when there is none to offer.
bool ReadDesktopItem(char (&line)[kStockLineSize], StockLinkItem *item)
{
    int length = ReadSetting("DESKTOP", "cbLink", line);
    return length > 0 && ReadLinkItem(length, line, item);
}

// Whether to make it: the caller's switch (/DESKTOP, /NODESKTOP), else in a
// silent setup cbChecked, else the user's answer in the offer's box.
void OfferDesktop()
{
    char line[kStockLineSize];
    StockLinkItem item;
    g_desktopWanted = false;
    if (!ReadDesktopItem(line, &item))
        return;
    char checked[kStockLineSize];
    bool known = false;
    ReadSetting("DESKTOP", "cbChecked", checked);
    bool wanted = ParseChecked(checked, &known);
    if (g_mode & SETUP_MODE_NO_DESKTOP)
        wanted = false;
    else if (g_mode & SETUP_MODE_DESKTOP)
        wanted = true;
    if (!StockSilent())
        wanted = AskDesktop(g_mainWindow, BoxCaption(), item.name, wanted);
    g_desktopWanted = wanted;
    KitLog(g_mainWindow, "desktop shortcut %.259s: %s", item.name, wanted ? "wanted" : "declined");
}

void MakeDesktopLink()
{
    char line[kStockLineSize];
    StockLinkItem item;
    if (!g_desktopWanted || !ReadDesktopItem(line, &item))
        return;
    char linkPath[MAX_PATH];
    char targetPath[MAX_PATH];
    char workPath[MAX_PATH];
    const int everyone = CSIDL_COMMON_DESKTOPDIRECTORY;
    int folderId = GroupFolderId() == CSIDL_COMMON_PROGRAMS ? everyone : CSIDL_DESKTOPDIRECTORY;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The desktop the group's Start menu goes with: everyone's beside
        // all users' menu, else the user's.
        char desktop[MAX_PATH];
        if (!SHGetSpecialFolderPathA(g_mainWindow, desktop, folderId, TRUE) ||
            !LinkPaths(desktop, item, linkPath, targetPath, workPath))
            return;
        HRESULT result =
            WriteLink(linkPath, targetPath, item.arguments, workPath, item.description);
        KitLog(g_mainWindow, "desktop shortcut %.259s: %s", linkPath,
               SUCCEEDED(result) ? "written" : "failed");
        if (SUCCEEDED(result)) {
            CopyWhole(g_desktopLink, sizeof g_desktopLink, linkPath);
            return;
        }
        // Everyone's desktop without the rights to write it: the user's.
        if (folderId != everyone)
            return;
        folderId = CSIDL_DESKTOPDIRECTORY;
    }
}

// ---------------------------------------------------------------------------
// Settings files

// The settings file of one [INI] item; false when the item is skipped.
bool ReadIniItem(int length, char *line, StockIniItem *item, char (&path)[MAX_PATH])
{
    return length != kStockTooLong && ParseIniItem(line, item) == kStockItemUsable &&
           JoinWhole(path, sizeof path, g_destDir, item->file);
}

void WriteIniItem(const StockIniItem &item, const char *path)
{
    char value[SETUP_PATH_SIZE];
    if (!StockExpandValue(value, sizeof value, item.value, g_destDir))
        return;
    // Put back as it was if the installation does not complete.
    KitKeepForUndo(g_mainWindow, UNDO_FILE, UNDO_MACHINE, path);
    BOOL written = WritePrivateProfileStringA(item.section, item.key, value, path);
    // Systems that cache profiles write the file only when asked to.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    KitLog(g_mainWindow, "setting %.259s [%.200s] %.200s: %s", path, item.section, item.key,
           written ? "written" : "failed");
}

// ---------------------------------------------------------------------------
// Registration: what this module made, gathered again from the settings once
// everything is written, and handed to the kit with setup's own items.

struct Made {
    char group[MAX_PATH];
    const char *groups[1];
    char linkPaths[kStockMostItems][MAX_PATH];
    const char *links[kStockMostItems + 1]; // the group's, and the desktop's
    char iniFiles[kStockMostItems][MAX_PATH];
    char sections[kStockMostItems][SETUP_PATH_SIZE];
    char keys[kStockMostItems][SETUP_PATH_SIZE];
    KitIniEntry ini[kStockMostItems];
};

// The shortcuts that are there (written now or by an earlier installation)
// and their folder.
void GatherLinks(Made *made, ProductInfo *info)
{
    info->shortcuts = made->links;
    if (g_desktopLink[0] && GetFileAttributesA(g_desktopLink) != INVALID_FILE_ATTRIBUTES)
        made->links[info->shortcutCount++] = g_desktopLink;
    int folderId = g_groupFolderId ? g_groupFolderId : GroupFolderId();
    if (!GroupPath(made->group, folderId) ||
        GetFileAttributesA(made->group) == INVALID_FILE_ATTRIBUTES)
        return;
    made->groups[0] = made->group;
    info->groupFolders = made->groups;
    info->groupFolderCount = 1;
    info->shortcuts = made->links;
    char line[kStockLineSize];
    int length = 0;
    for (int i = 0; i < kStockMostItems && StockReadItem(Settings(), "GROUP", i, line, &length);
         ++i) {
        StockLinkItem item;
        char *linkPath = made->linkPaths[i];
        char target[MAX_PATH];
        char work[MAX_PATH];
        if (ReadLinkItem(length, line, &item) &&
            LinkPaths(made->group, item, made->linkPaths[i], target, work) &&
            GetFileAttributesA(linkPath) != INVALID_FILE_ATTRIBUTES)
            made->links[info->shortcutCount++] = linkPath;
    }
}

void GatherSettings(Made *made, ProductInfo *info)
{
    info->iniEntries = made->ini;
    char line[kStockLineSize];
    int length = 0;
    for (int i = 0; i < kStockMostItems && StockReadItem(Settings(), "INI", i, line, &length);
         ++i) {
        int n = info->iniEntryCount;
        StockIniItem item;
        if (!ReadIniItem(length, line, &item, made->iniFiles[n]) ||
            !CopyWhole(made->sections[n], SETUP_PATH_SIZE, item.section) ||
            !CopyWhole(made->keys[n], SETUP_PATH_SIZE, item.key))
            continue;
        made->ini[n] = KitIniEntry{made->iniFiles[n], made->sections[n], made->keys[n]};
        ++info->iniEntryCount;
    }
}

void RegisterWithKit()
{
    char id[kStockLineSize];
    char version[kStockLineSize];
    char publisher[kStockLineSize];
    if (ReadSetting("PRODUCT", "cbId", id) <= 0 || !g_destDir[0])
        return;
    if (ReadSetting("PRODUCT", "cbVersion", version) == kStockTooLong)
        version[0] = 0;
    if (ReadSetting("PRODUCT", "cbPublisher", publisher) == kStockTooLong)
        publisher[0] = 0;
    Made *made = static_cast<Made *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Made)));
    if (!made)
        return;
    ProductInfo info = {};
    info.size = sizeof info;
    info.id = id;
    info.displayName = g_title[0] ? g_title : id;
    info.version = version;
    info.publisher = publisher;
    info.destDir = g_destDir;
    info.sourceDir = g_sourceDir;
    GatherLinks(made, &info);
    GatherSettings(made, &info);
    GatherRegistry(&info);
    int result = RegisterProduct(g_mainWindow, &info);
    HeapFree(GetProcessHeap(), 0, made);
    if (result != KIT_REGISTERED) {
        char text[400];
        wsprintfA(text, "%.127s cannot be removed with Add/Remove Programs: %s.", id,
                  KitResultMeaning(result));
        Tell(text, MB_ICONWARNING);
    }
}

// ---------------------------------------------------------------------------
// An earlier installation

// The product's id (cbId); false when the product is not registered, and so
// has no earlier installation to know of.
bool ProductId(char (&id)[kStockLineSize])
{
    int length = ReadSetting("PRODUCT", "cbId", id);
    return length > 0 && length < 128;
}

int EarlierFile(const char *destPath)
{
    char id[kStockLineSize];
    if (!g_destDir[0] || !ProductId(id))
        return KIT_FILE_NOT_RECORDED;
    return KitEarlierFile(id, g_destDir, destPath);
}

// The destination against what is installed: an installation of the product
// goes where the earlier one is, unless the caller chose another folder; a
// folder another product's installation holds, or a second folder beside the
// earlier installation's, is refused (told, then 0: the setup ends with 2).
bool SettleWithEarlier(char *destDir, bool chosen)
{
    char id[kStockLineSize];
    if (!ProductId(id))
        return true;
    const char *name = g_title[0] ? g_title : id;
    KitDestination found = {};
    found.size = sizeof found;
    int result = KitCheckDestination(g_mainWindow, id, name, destDir, &found);
    if (result == KIT_DEST_ELSEWHERE && !chosen &&
        CopyWhole(destDir, SETUP_PATH_SIZE, found.installedIn)) {
        KitLog(g_mainWindow, "destination: where the earlier installation is, %.259s", destDir);
        result = KitCheckDestination(g_mainWindow, id, name, destDir, &found);
    }
    if (result != KIT_DEST_OTHER && result != KIT_DEST_ELSEWHERE)
        return true;
    Tell(found.message, MB_ICONSTOP);
    return false;
}

// ---------------------------------------------------------------------------
// The user's own folder

// cbAskFolder=1: the user sees the folder and may choose another; never
// silently, nor when the caller chose it (/DIR=). Cancel ends the setup as
// one the user declined. Returns 0 then.
int AskFolderIfWanted(char *destDir)
{
    char line[kStockLineSize];
    bool known = false;
    ReadSetting("PRODUCT", "cbAskFolder", line);
    if (!ParseAskFolder(line, &known) || StockSilent() || (g_mode & SETUP_MODE_DIR_CHOSEN))
        return 1;
    char id[kStockLineSize];
    if (!ProductId(id))
        id[0] = 0;
    if (!AskForFolder(g_mainWindow, g_title, id, destDir, StoredBytes(g_dataPath, g_sourceDir))) {
        KitLog(g_mainWindow, "destination: the user cancelled at the folder dialog");
        SendMessageA(g_mainWindow, SM_EXIT, SETUP_EXIT_DECLINED, 0);
        return 0;
    }
    CopyWhole(g_destDir, sizeof g_destDir, destDir);
    KitLog(g_mainWindow, "destination: the user chose %.259s", destDir);
    return 1;
}

} // namespace

extern "C" {

int StockInitModule(HWND mainWindow, const char *sourceDir, char *moduleTitle)
{
    g_mainWindow = mainWindow;
    // An older setup.exe does not know the question and answers 0: interactive.
    g_mode = static_cast<unsigned>(SendMessageA(mainWindow, SM_GETSETUPMODE, 0, 0));
    // A source folder too long to name the data file leaves the module
    // without settings: it then behaves like one exporting no hooks.
    if (!sourceDir || !JoinWhole(g_dataPath, sizeof g_dataPath, sourceDir, kDataFile) ||
        !CopyWhole(g_sourceDir, sizeof g_sourceDir, sourceDir))
        g_dataPath[0] = 0;
    char line[kStockLineSize];
    if (ReadSetting("PRODUCT", "cbTitle", line) > 0 && CopyWhole(g_title, sizeof g_title, line) &&
        moduleTitle)
        CopyWhole(moduleTitle, SETUP_MODULE_TITLE_SIZE, g_title);
    return 1;
}

int StockAddFiles(void)
{
    return AddStoredFiles(g_mainWindow, g_dataPath, g_sourceDir);
}

int StockUseFolder(char *destDir, const char *folder)
{
    // A folder the caller chose (/DIR=) stands as it is.
    bool chosen = (g_mode & SETUP_MODE_DIR_CHOSEN) != 0;
    char id[kStockLineSize];
    char earlier[SETUP_PATH_SIZE];
    // The folder an earlier installation of the product is in is proposed
    // again: the user chose it once.
    if (!chosen && ProductId(id) && KitEarlierFolder(id, earlier, sizeof earlier) &&
        CopyWhole(destDir, SETUP_PATH_SIZE, earlier))
        KitLog(g_mainWindow, "destination: the earlier installation's folder, %.259s", destDir);
    else if (!chosen && folder && folder[0])
        MoveToFolder(destDir, SETUP_PATH_SIZE, folder);
    if (!SettleWithEarlier(destDir, chosen))
        return 0;
    CopyWhole(g_destDir, sizeof g_destDir, destDir);
    // The folder first, then what goes on the desktop: the order of a reader.
    if (!AskFolderIfWanted(destDir))
        return 0;
    OfferDesktop();
    return 1;
}

int StockSetDestDir(char *destDir)
{
    char line[kStockLineSize];
    if (ReadSetting("PRODUCT", "cbFolder", line) <= 0)
        line[0] = 0;
    return StockUseFolder(destDir, line);
}

const char *StockDestDir(void)
{
    return g_destDir;
}

int StockSilent(void)
{
    return (g_mode & (SETUP_MODE_SILENT | SETUP_MODE_VERYSILENT)) != 0;
}

void StockTell(const char *text, UINT icon)
{
    Tell(text, icon);
}

int StockAsk(const char *question, int silentAnswer)
{
    if (StockSilent())
        return silentAnswer ? 1 : 0;
    return MessageBoxA(g_mainWindow, question, BoxCaption(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

int StockAddFile(const char *storedName, const char *installedName, const char *subFolder)
{
    CopyRequest request = {};
    if (!CopyWhole(request.sourceName, sizeof request.sourceName, storedName) ||
        !CopyWhole(request.destName, sizeof request.destName, installedName) ||
        !CopyWhole(request.subFolder, sizeof request.subFolder, subFolder ? subFolder : ""))
        return -1;
    char path[MAX_PATH];
    if (JoinWhole(path, sizeof path, g_sourceDir, storedName))
        request.size = CopyRequestSize(path);
    request.overwrite = 1;
    return static_cast<int>(
        SendMessageA(g_mainWindow, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&request)));
}

int StockReadSetting(const char *section, const char *key, char *buffer, int size)
{
    if (!buffer || size <= 0)
        return kStockMissing;
    char line[kStockLineSize];
    int length = ReadSetting(section, key, line);
    lstrcpynA(buffer, line, size);
    return length == kStockMissing ? kStockMissing : static_cast<int>(strlen(buffer));
}

int StockFileConflict(const char *destPath)
{
    char line[kStockLineSize];
    bool known = false;
    ReadSetting("PRODUCT", "cbConflict", line);
    StockConflict conflict = ParseConflict(line, &known);
    if (conflict == StockConflict::Replace)
        return FC_REPLACE;
    // An upgrade: what the earlier installation put there and nobody changed
    // since is the product's own, and kept it would stay the old version.
    switch (EarlierFile(destPath)) {
    case KIT_FILE_UNCHANGED:
        KitLog(g_mainWindow, "file %.259s: installed earlier and unchanged since: replaced",
               destPath);
        return FC_REPLACE;
    case KIT_FILE_CHANGED:
        if (conflict == StockConflict::Keep || StockSilent()) {
            KitLog(g_mainWindow, "file %.259s: changed since the earlier installation: kept",
                   destPath);
            return FC_SKIP;
        }
        return AskAboutConflict(destPath, "This file was changed since it was installed.");
    default:
        break;
    }
    return conflict == StockConflict::Keep ? FC_SKIP : AskAboutConflict(destPath);
}

int StockCriticError(const char *failedPath)
{
    // Taken first: reading the settings may change it.
    DWORD error = GetLastError();
    char line[kStockLineSize];
    bool known = false;
    ReadSetting("PRODUCT", "cbFileError", line);
    bool goOn = ParseFileError(line, &known) == StockFileError::Continue;
    TellFileFailed(failedPath, error, goOn);
    return goOn ? 1 : 0;
}

int StockCreateShortcuts(void)
{
    char group[MAX_PATH];
    if (!g_destDir[0])
        return 1;
    HRESULT com = CoInitialize(nullptr);
    MakeDesktopLink();
    // No group, or no menu on this machine: the product installs without its group.
    if (!MakeGroup(group)) {
        if (SUCCEEDED(com))
            CoUninitialize();
        return 1;
    }
    char line[kStockLineSize];
    int length = 0;
    for (int i = 0; i < kStockMostItems && StockReadItem(Settings(), "GROUP", i, line, &length);
         ++i) {
        StockLinkItem item;
        if (ReadLinkItem(length, line, &item))
            AddLink(group, item);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return 1;
}

int StockGenIniFiles(void)
{
    if (!g_destDir[0])
        return 1;
    char line[kStockLineSize];
    int length = 0;
    for (int i = 0; i < kStockMostItems && StockReadItem(Settings(), "INI", i, line, &length);
         ++i) {
        StockIniItem item;
        char path[MAX_PATH];
        if (ReadIniItem(length, line, &item, path))
            WriteIniItem(item, path);
    }
    char id[kStockLineSize];
    if (!ProductId(id))
        id[0] = 0;
    // File types for everyone when the setup may write them, as the group.
    WriteRegistrySettings(g_mainWindow, Settings(), g_destDir, id, RunsElevated());
    return 1;
}

int StockEndSetup(void)
{
    RegisterWithKit();
    return 1;
}

int StockDemoQuery(char *program, char *document)
{
    char line[kStockLineSize];
    if (ReadSetting("PRODUCT", "cbDemoProgram", line) <= 0 || !StaysBelow(line) ||
        !CopyWhole(program, SETUP_PATH_SIZE, line))
        return 0;
    // The shell starts programs only: another file would start nothing, and
    // nobody would know why.
    if (!IsProgramName(program)) {
        char text[SETUP_PATH_SIZE + 100];
        wsprintfA(text, "%.259s is not a program: the demonstration is not started.", program);
        Tell(text, MB_ICONWARNING);
        program[0] = 0;
        return 0;
    }
    int length = ReadSetting("PRODUCT", "cbDemoDocument", line);
    if (length == kStockTooLong || (length > 0 && !StaysBelow(line)) ||
        !CopyWhole(document, SETUP_PATH_SIZE, line)) {
        program[0] = 0;
        return 0;
    }
    return 1;
}
}
