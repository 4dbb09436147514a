// The stock setup module: installs a product that needs no code of its own.
// Ship it beside setup.exe as "defsetup.dll" and describe the product in
// kvlsetup.dat, next to the [GENERAL] and [FILELIST] sections of the shell:
//
//   [PRODUCT]
//   cbFolder=Harbour Atlas       folder below Program Files: the destination becomes
//                                <ProgramFilesDir>\Harbour Atlas. Nested names are fine
//                                (Harbour Software\Harbour Atlas). Empty or missing keeps
//                                the default; a value with / or :, a leading, doubled or
//                                trailing \, another character a name cannot hold, or a name
//                                made of dots is refused (the default is kept).
//                                A folder the caller chose with setup's /DIR= wins.
//   cbTitle=Harbour Atlas 2.1    title shown in the caption (optional)
//   cbConflict=ask               a file to install exists already: ask (Yes replaces, No
//                                skips it, Cancel ends the setup), replace, or keep.
//                                Missing or anything else: ask. In a silent setup nobody
//                                is asked: "ask" keeps the existing file.
//   cbDemoProgram=DEMO.EXE       program started at the end, below the destination;
//                                missing: no demonstration
//   cbDemoDocument=HARBOUR.TXT   its document, below the destination's Demos folder (optional)
//   cbFileError=stop             a file could not be installed: the user is told which and
//                                why, and the setup ends (stop), or goes on with the shortcuts
//                                and the rest (continue). Missing or anything else: stop.
//                                In a silent setup the message goes to setup's log.
//   cbId=Harbour Atlas           registers the product so that it can be removed (see
//                                include/setupkit.h): the name of its key below
//                                ...\CurrentVersion\Uninstall, the same in every version;
//                                a plain name of at most 127 characters. Missing or empty:
//                                nothing is registered. Ship uninst.exe beside setup.exe.
//                                Add/Remove Programs lists the product under cbTitle (or
//                                cbId without a title). The record lists the files setup
//                                installed, the [GROUP] shortcuts and their folder, and the
//                                [INI] settings.
//   cbVersion=2.1                its version, shown there (optional)
//   cbPublisher=Karvelo          its publisher, shown there (optional)
//
//   [GROUP]
//   cbName=Harbour Atlas         program group: a folder in the Start menu's Programs;
//                                missing: no shortcuts
//   cbItem00=Harbour Atlas Demo|DEMO.EXE|HARBOUR.TXT|Demos|Harbour Atlas demonstration
//   cbItem01=Read Me|README.TXT||.|About Harbour Atlas
//       link name | target below the destination | arguments | working folder below
//       the destination ("." or empty: the destination itself) | description
//
//   [INI]
//   cbItem00=ATLAS.INI|Atlas|Home|%DEST%
//   cbItem01=ATLAS.INI|Atlas|Version|2.1
//       file below the destination (its folder must exist) | section | key | value;
//       %DEST% in the value stands for the destination folder
//
// Lists are read from cbItem00 up to the first missing number, cbItem99 at
// most. Blanks around each field are dropped; the last field takes the rest of
// the line. Paths are names joined by backslashes below the destination: an
// item whose path has a drive, a leading, doubled or trailing separator or a
// component made of dots, or whose text is too long (259 characters for a path
// or text, 175 for the title), is skipped whole.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <string.h>

#include "setupdist.h"
#include "setupkit.h"
#include "setupmodule.h"
#include "stored.h"

namespace
{

constexpr char kDataFile[] = SETUP_DATA_FILE;
constexpr char kDestToken[] = "%DEST%";
constexpr int kLineSize = 1024;
// A default no value can hold tells a missing key from an empty one.
constexpr char kMissingMark[] = "\x01";
constexpr int kMissing = -1;
constexpr int kTooLong = -2;
constexpr int kGroupFields = 5;
constexpr int kIniFields = 4;

HWND g_mainWindow;
unsigned g_mode;           // SM_GETSETUPMODE: silent, very silent, folder chosen by the caller
char g_dataPath[MAX_PATH]; // kvlsetup.dat in the source folder; empty: no settings
char g_sourceDir[MAX_PATH];
char g_title[SETUP_MODULE_TITLE_SIZE];
char g_destDir[SETUP_PATH_SIZE]; // as SetDestDir left it

// Copies text into a buffer of `size` bytes only when all of it fits.
bool CopyWhole(char *dest, size_t size, const char *source)
{
    if (strlen(source) >= size)
        return false;
    memcpy(dest, source, strlen(source) + 1);
    return true;
}

bool AppendWhole(char *dest, size_t size, const char *source)
{
    size_t used = strlen(dest);
    return used < size && CopyWhole(dest + used, size - used, source);
}

// folder + "\" + name, only when it fits.
bool JoinWhole(char *dest, size_t size, const char *folder, const char *name)
{
    size_t length = strlen(folder);
    if (!CopyWhole(dest, size, folder))
        return false;
    if (length > 0 && folder[length - 1] != '\\' && !AppendWhole(dest, size, "\\"))
        return false;
    return AppendWhole(dest, size, name);
}

// Length of a value, kMissing for a missing key or kTooLong for a value that
// filled `line` (it may have been cut, so it is not used).
int ReadSetting(const char *section, const char *key, char (&line)[kLineSize])
{
    line[0] = 0;
    if (!g_dataPath[0])
        return kMissing;
    DWORD length =
        GetPrivateProfileStringA(section, key, kMissingMark, line, kLineSize, g_dataPath);
    if (strcmp(line, kMissingMark) == 0) {
        line[0] = 0;
        return kMissing;
    }
    return length >= kLineSize - 1 ? kTooLong : static_cast<int>(length);
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// One name of a path: not empty, not only dots and blanks (which the file
// system reads as "here" or "up"), and no character a name cannot hold.
bool IsSafeName(const char *name, size_t length)
{
    bool meaningful = false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < ' ' || strchr("<>:\"/\\|?*", c))
            return false;
        if (c != '.' && c != ' ')
            meaningful = true;
    }
    return meaningful;
}

// True for names joined by separators that stay below the folder they are
// joined to: no drive, no share, no leading, doubled or trailing separator.
bool StaysBelow(const char *path)
{
    if (!path[0])
        return false;
    const char *start = path;
    for (const char *p = path;; ++p) {
        if (*p && !IsSeparator(*p))
            continue;
        if (!IsSafeName(start, static_cast<size_t>(p - start)))
            return false;
        if (!*p)
            return true;
        start = p + 1;
    }
}

void TrimBlanks(char *&text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = 0;
}

// Splits `line` in place at "|" into exactly `count` fields, the last taking
// the rest. False when the line has fewer fields.
bool SplitFields(char *line, char **fields, int count)
{
    char *p = line;
    for (int i = 0; i < count; ++i) {
        fields[i] = p;
        if (i == count - 1)
            break;
        p = strchr(p, '|');
        if (!p)
            return false;
        *p++ = 0;
    }
    for (int i = 0; i < count; ++i)
        TrimBlanks(fields[i]);
    return true;
}

// Reads cbItemNN of `section` into `line` and splits it. Returns false at the
// end of the list; `usable` says whether this item can be used at all.
bool ReadItem(const char *section, int index, char (&line)[kLineSize], char **fields, int count,
              bool &usable)
{
    char key[16];
    wsprintfA(key, SETUP_ITEM_KEY, index);
    int length = ReadSetting(section, key, line);
    if (length == kMissing)
        return false;
    usable = length != kTooLong && SplitFields(line, fields, count);
    return true;
}

bool FitsText(const char *text)
{
    return strlen(text) < SETUP_PATH_SIZE;
}

// ---------------------------------------------------------------------------
// The destination

bool ChangeFolder(char *destDir, const char *folder)
{
    // Names joined by backslashes, each a plain one: a vendor's folder with
    // the product's inside it is what vendors want.
    if (!folder[0] || strchr(folder, '/') || !StaysBelow(folder))
        return false;
    char base[SETUP_PATH_SIZE];
    if (!CopyWhole(base, sizeof base, destDir))
        return false;
    size_t length = strlen(base);
    if (length > 0 && base[length - 1] == '\\')
        base[length - 1] = 0;
    char *last = strrchr(base, '\\');
    if (!last)
        return false;
    last[1] = 0;
    char moved[SETUP_PATH_SIZE];
    return JoinWhole(moved, sizeof moved, base, folder) &&
           CopyWhole(destDir, SETUP_PATH_SIZE, moved);
}

// ---------------------------------------------------------------------------
// Shortcuts

struct LinkItem {
    const char *target;
    const char *arguments;
    const char *workFolder;
    const char *description;
};

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

HRESULT WriteLink(const char *linkPath, const LinkItem &item)
{
    IShellLinkA *link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void **>(&link));
    if (FAILED(result) || !link)
        return FAILED(result) ? result : E_FAIL;
    result = link->SetPath(item.target);
    if (SUCCEEDED(result))
        result = link->SetArguments(item.arguments);
    if (SUCCEEDED(result))
        result = link->SetWorkingDirectory(item.workFolder);
    if (SUCCEEDED(result))
        result = link->SetDescription(item.description);
    if (SUCCEEDED(result))
        result = SaveLink(link, linkPath);
    link->Release();
    return result;
}

// The paths of one [GROUP] item, each checked; false when the item is skipped.
bool LinkPaths(const char *group, char **fields, char (&linkPath)[MAX_PATH],
               char (&targetPath)[MAX_PATH], char (&workPath)[MAX_PATH])
{
    const char *name = fields[0];
    const char *target = fields[1];
    const char *work = fields[3];
    if (!IsSafeName(name, strlen(name)) || !StaysBelow(target) || !FitsText(fields[2]) ||
        !FitsText(fields[4]))
        return false;
    bool inDest = !work[0] || strcmp(work, ".") == 0;
    if (!inDest && !StaysBelow(work))
        return false;
    return JoinWhole(linkPath, sizeof linkPath, group, name) &&
           AppendWhole(linkPath, sizeof linkPath, ".lnk") &&
           JoinWhole(targetPath, sizeof targetPath, g_destDir, target) &&
           (inDest ? CopyWhole(workPath, sizeof workPath, g_destDir)
                   : JoinWhole(workPath, sizeof workPath, g_destDir, work));
}

// One [GROUP] item: every path is checked and built before anything is written.
void AddLink(const char *group, char **fields)
{
    char linkPath[MAX_PATH];
    char targetPath[MAX_PATH];
    char workPath[MAX_PATH];
    if (!LinkPaths(group, fields, linkPath, targetPath, workPath))
        return;
    HRESULT result = WriteLink(linkPath, LinkItem{targetPath, fields[2], workPath, fields[4]});
    KitLog(g_mainWindow, "shortcut %.259s: %s", linkPath, SUCCEEDED(result) ? "written" : "failed");
}

// The group folder's path in the Start menu's Programs.
bool GroupPath(char (&group)[MAX_PATH])
{
    char line[kLineSize];
    char programs[MAX_PATH];
    return ReadSetting("GROUP", "cbName", line) > 0 && IsSafeName(line, strlen(line)) &&
           SHGetSpecialFolderPathA(g_mainWindow, programs, CSIDL_PROGRAMS, TRUE) &&
           JoinWhole(group, sizeof group, programs, line);
}

// The group folder, made if need be.
bool MakeGroup(char (&group)[MAX_PATH])
{
    if (!GroupPath(group))
        return false;
    return CreateDirectoryA(group, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// ---------------------------------------------------------------------------
// Settings files

// Copies `value` into `dest` with every %DEST% replaced by the destination.
bool ExpandValue(char *dest, size_t size, const char *value)
{
    dest[0] = 0;
    const size_t tokenLength = strlen(kDestToken);
    char piece[kLineSize];
    while (*value) {
        const char *token = strstr(value, kDestToken);
        size_t plain = token ? static_cast<size_t>(token - value) : strlen(value);
        if (plain >= sizeof piece)
            return false;
        memcpy(piece, value, plain);
        piece[plain] = 0;
        if (!AppendWhole(dest, size, piece))
            return false;
        if (!token)
            break;
        if (!AppendWhole(dest, size, g_destDir))
            return false;
        value = token + tokenLength;
    }
    return true;
}

// The settings file of one [INI] item, its section and key checked.
bool IniPath(char **fields, char (&path)[MAX_PATH])
{
    const char *section = fields[1];
    const char *key = fields[2];
    return StaysBelow(fields[0]) && section[0] && key[0] && FitsText(section) && FitsText(key) &&
           JoinWhole(path, sizeof path, g_destDir, fields[0]);
}

void WriteIniItem(char **fields)
{
    const char *section = fields[1];
    const char *key = fields[2];
    char path[MAX_PATH];
    char value[SETUP_PATH_SIZE];
    if (!IniPath(fields, path) || !ExpandValue(value, sizeof value, fields[3]))
        return;
    BOOL written = WritePrivateProfileStringA(section, key, value, path);
    // Systems that cache profiles write the file only when asked to.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    KitLog(g_mainWindow, "setting %.259s [%.200s] %.200s: %s", path, section, key,
           written ? "written" : "failed");
}

// ---------------------------------------------------------------------------
// Conflicts

bool Silent()
{
    return (g_mode & (SETUP_MODE_SILENT | SETUP_MODE_VERYSILENT)) != 0;
}

// A message for the user; silently it goes to setup's log instead, for
// nobody is there to press OK.
void Tell(const char *text, UINT icon)
{
    if (Silent())
        SendMessageA(g_mainWindow, SM_WRITELOG, 0, reinterpret_cast<LPARAM>(text));
    else
        MessageBoxA(g_mainWindow, text, g_title[0] ? g_title : "KARVELO Setup", MB_OK | icon);
}

int AskAboutConflict(const char *destPath)
{
    // Nobody to ask: the file the user has stays.
    if (Silent())
        return FC_SKIP;
    char question[SETUP_PATH_SIZE + 64];
    wsprintfA(question, "%.259s\n\nThis file exists already. Replace it?", destPath);
    switch (MessageBoxA(g_mainWindow, question, g_title[0] ? g_title : "KARVELO Setup",
                        MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return FC_REPLACE;
    case IDNO:
        return FC_SKIP;
    default:
        return FC_ABORT;
    }
}

// ---------------------------------------------------------------------------
// A file that could not be installed

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
// Registration: what this module made, gathered again from the settings once
// everything is written, and handed to the kit with setup's own items.

constexpr int kMostItems = 100; // cbItem00 to cbItem99

struct Made {
    char group[MAX_PATH];
    const char *groups[1];
    char linkPaths[kMostItems][MAX_PATH];
    const char *links[kMostItems];
    char iniFiles[kMostItems][MAX_PATH];
    char sections[kMostItems][SETUP_PATH_SIZE];
    char keys[kMostItems][SETUP_PATH_SIZE];
    KitIniEntry ini[kMostItems];
};

// The shortcuts that are there (written now or by an earlier installation)
// and their folder.
void GatherLinks(Made *made, ProductInfo *info)
{
    if (!GroupPath(made->group) || GetFileAttributesA(made->group) == INVALID_FILE_ATTRIBUTES)
        return;
    made->groups[0] = made->group;
    info->groupFolders = made->groups;
    info->groupFolderCount = 1;
    info->shortcuts = made->links;
    char line[kLineSize];
    char *fields[kGroupFields];
    bool usable = false;
    for (int i = 0; i < kMostItems && ReadItem("GROUP", i, line, fields, kGroupFields, usable);
         ++i) {
        char *linkPath = made->linkPaths[info->shortcutCount];
        char target[MAX_PATH];
        char work[MAX_PATH];
        if (usable &&
            LinkPaths(made->group, fields, made->linkPaths[info->shortcutCount], target, work) &&
            GetFileAttributesA(linkPath) != INVALID_FILE_ATTRIBUTES)
            made->links[info->shortcutCount++] = linkPath;
    }
}

void GatherSettings(Made *made, ProductInfo *info)
{
    info->iniEntries = made->ini;
    char line[kLineSize];
    char *fields[kIniFields];
    bool usable = false;
    for (int i = 0; i < kMostItems && ReadItem("INI", i, line, fields, kIniFields, usable); ++i) {
        int n = info->iniEntryCount;
        if (!usable || !IniPath(fields, made->iniFiles[n]) ||
            !CopyWhole(made->sections[n], SETUP_PATH_SIZE, fields[1]) ||
            !CopyWhole(made->keys[n], SETUP_PATH_SIZE, fields[2]))
            continue;
        made->ini[n] = KitIniEntry{made->iniFiles[n], made->sections[n], made->keys[n]};
        ++info->iniEntryCount;
    }
}

void RegisterWithKit()
{
    char id[kLineSize];
    char version[kLineSize];
    char publisher[kLineSize];
    if (ReadSetting("PRODUCT", "cbId", id) <= 0 || !g_destDir[0])
        return;
    if (ReadSetting("PRODUCT", "cbVersion", version) == kTooLong)
        version[0] = 0;
    if (ReadSetting("PRODUCT", "cbPublisher", publisher) == kTooLong)
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
    int result = RegisterProduct(g_mainWindow, &info);
    HeapFree(GetProcessHeap(), 0, made);
    if (result != KIT_REGISTERED) {
        char text[400];
        wsprintfA(text, "%.127s cannot be removed with Add/Remove Programs: %s.", id,
                  KitResultMeaning(result));
        Tell(text, MB_ICONWARNING);
    }
}

} // namespace

extern "C" {

int WINAPI InitModule(HWND mainWindow, char *sourceDir, char *moduleTitle, HMODULE)
{
    g_mainWindow = mainWindow;
    // An older setup.exe does not know the question and answers 0: interactive.
    g_mode = static_cast<unsigned>(SendMessageA(mainWindow, SM_GETSETUPMODE, 0, 0));
    // A source folder too long to name the data file leaves the module
    // without settings: it then behaves like one exporting no hooks.
    if (!sourceDir || !JoinWhole(g_dataPath, sizeof g_dataPath, sourceDir, kDataFile) ||
        !CopyWhole(g_sourceDir, sizeof g_sourceDir, sourceDir))
        g_dataPath[0] = 0;
    char line[kLineSize];
    if (ReadSetting("PRODUCT", "cbTitle", line) > 0 && CopyWhole(g_title, sizeof g_title, line))
        CopyWhole(moduleTitle, SETUP_MODULE_TITLE_SIZE, g_title);
    return 1;
}

int WINAPI SetDestDir(char *destDir)
{
    char line[kLineSize];
    // A folder the caller chose (/DIR=) stands as it is.
    if (!(g_mode & SETUP_MODE_DIR_CHOSEN) && ReadSetting("PRODUCT", "cbFolder", line) > 0)
        ChangeFolder(destDir, line);
    CopyWhole(g_destDir, sizeof g_destDir, destDir);
    return 1;
}

int WINAPI AddFiles(void)
{
    return AddStoredFiles(g_mainWindow, g_dataPath, g_sourceDir);
}

int WINAPI FileConflict(char *destPath, char *)
{
    char line[kLineSize];
    ReadSetting("PRODUCT", "cbConflict", line);
    if (lstrcmpiA(line, "replace") == 0)
        return FC_REPLACE;
    if (lstrcmpiA(line, "keep") == 0)
        return FC_SKIP;
    return AskAboutConflict(destPath);
}

int WINAPI CriticError(char *failedPath)
{
    // Taken first: reading the settings may change it.
    DWORD error = GetLastError();
    char line[kLineSize];
    ReadSetting("PRODUCT", "cbFileError", line);
    bool goOn = lstrcmpiA(line, "continue") == 0;
    TellFileFailed(failedPath, error, goOn);
    return goOn ? 1 : 0;
}

int WINAPI CreateShortcuts(void)
{
    char group[MAX_PATH];
    // No group, or no menu on this machine: the product installs without shortcuts.
    if (!g_destDir[0] || !MakeGroup(group))
        return 1;
    HRESULT com = CoInitialize(nullptr);
    char line[kLineSize];
    char *fields[kGroupFields];
    bool usable = false;
    for (int i = 0; i < 100 && ReadItem("GROUP", i, line, fields, kGroupFields, usable); ++i) {
        if (usable)
            AddLink(group, fields);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return 1;
}

int WINAPI GenIniFiles(void)
{
    if (!g_destDir[0])
        return 1;
    char line[kLineSize];
    char *fields[kIniFields];
    bool usable = false;
    for (int i = 0; i < 100 && ReadItem("INI", i, line, fields, kIniFields, usable); ++i) {
        if (usable)
            WriteIniItem(fields);
    }
    return 1;
}

int WINAPI EndSetup(void)
{
    RegisterWithKit();
    return 1;
}

int WINAPI DemoQuery(char *program, char *document)
{
    char line[kLineSize];
    if (ReadSetting("PRODUCT", "cbDemoProgram", line) <= 0 || !StaysBelow(line) ||
        !CopyWhole(program, SETUP_PATH_SIZE, line))
        return 0;
    int length = ReadSetting("PRODUCT", "cbDemoDocument", line);
    if (length == kTooLong || (length > 0 && !StaysBelow(line)) ||
        !CopyWhole(document, SETUP_PATH_SIZE, line)) {
        program[0] = 0;
        return 0;
    }
    return 1;
}
}
