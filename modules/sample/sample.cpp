// The sample setup module: a starting point for a product's own module.
//
// It installs "Harbour Atlas", the sample product in the sample/ folder:
// it names the product, asks the user about files that exist already, adds
// an add-in and a module file list, makes a program group with shortcuts,
// writes the product's settings file, and starts the demonstration at the
// end. Copy it, rename the product, and keep the hooks you need: every hook
// is optional. Build it as a 32-bit DLL that exports the hooks undecorated
// (-Wl,--kill-at), and ship it beside setup.exe as "defsetup.dll" (or any
// name, given to setup.exe on its command line).
#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "setupdist.h"
#include "setupmodule.h"

namespace
{

constexpr char kProduct[] = "Harbour Atlas";
constexpr char kTitle[] = "Harbour Atlas 2.1";

HWND g_mainWindow;               // setup.exe's main window: where services are sent
char g_destDir[SETUP_PATH_SIZE]; // where the product goes, as SetDestDir left it
char g_programGroup[SETUP_PATH_SIZE];

// Copies text into a fixed field, always terminated; a module reads and
// writes the shell's buffers only within their sizes.
void CopyField(char *dest, size_t size, const char *source)
{
    lstrcpynA(dest, source, static_cast<int>(size));
}

bool JoinInto(char *dest, size_t size, const char *folder, const char *name)
{
    size_t length = strlen(folder);
    bool slash = length > 0 && folder[length - 1] != '\\';
    if (length + (slash ? 1 : 0) + strlen(name) >= size)
        return false;
    CopyField(dest, size, folder);
    if (slash)
        lstrcatA(dest, "\\");
    lstrcatA(dest, name);
    return true;
}

int Ask(const char *text, UINT buttons)
{
    return MessageBoxA(g_mainWindow, text, kProduct, buttons | MB_ICONQUESTION);
}

void AddShortcut(const char *description, const char *linkName, const char *targetFile,
                 const char *targetFolder, const char *arguments)
{
    ShortcutRequest request = {};
    CopyField(request.description, sizeof request.description, description);
    CopyField(request.linkName, sizeof request.linkName, linkName);
    CopyField(request.linkFolder, sizeof request.linkFolder, g_programGroup);
    CopyField(request.targetFile, sizeof request.targetFile, targetFile);
    CopyField(request.targetFolder, sizeof request.targetFolder, targetFolder);
    CopyField(request.arguments, sizeof request.arguments, arguments);
    SendMessageA(g_mainWindow, SM_CREATESHORTCUT, 0, reinterpret_cast<LPARAM>(&request));
}

} // namespace

extern "C" {

int WINAPI InitModule(HWND mainWindow, char *, char *moduleTitle, HMODULE)
{
    g_mainWindow = mainWindow;
    CopyField(moduleTitle, SETUP_MODULE_TITLE_SIZE, kTitle);
    return 1;
}

int WINAPI SetDestDir(char *destDir)
{
    // The default, "<Program Files>\KarveloEngine", suits the engine's
    // products; keep it, and remember it for the shortcuts.
    CopyField(g_destDir, sizeof g_destDir, destDir);
    return 1;
}

int WINAPI FileConflict(char *destPath, char *)
{
    char question[SETUP_PATH_SIZE + 96];
    wsprintfA(question, "%.259s\n\nThis file exists already. Replace it with the file of %s?",
              destPath, kProduct);
    switch (Ask(question, MB_YESNOCANCEL)) {
    case IDYES:
        return FC_REPLACE;
    case IDNO:
        return FC_SKIP;
    default:
        return FC_ABORT;
    }
}

int WINAPI GetAddInList(void)
{
    // Files that only the module knows about: a module file list, placed by
    // extension ("kvt" into Tables, everything else into Resources).
    static char list[] = "atlas.lst";
    SendMessageA(g_mainWindow, SM_ADDFILELIST, 0, reinterpret_cast<LPARAM>(list));

    AddInRequest addIn = {};
    CopyField(addIn.description, sizeof addIn.description, "Harbour Atlas tide tables");
    CopyField(addIn.fileName, sizeof addIn.fileName, "TIDES.EXE");
    CopyField(addIn.parameters, sizeof addIn.parameters, "/quiet");
    SendMessageA(g_mainWindow, SM_ADDADDIN, 0, reinterpret_cast<LPARAM>(&addIn));
    return 1;
}

int WINAPI UserCancel(void)
{
    return Ask("Do you want to stop installing Harbour Atlas?", MB_YESNO) == IDYES ? 0 : 1;
}

int WINAPI CriticError(char *failedPath)
{
    char text[SETUP_PATH_SIZE + 96];
    wsprintfA(text, "Setup could not write\n%.259s\n\nHarbour Atlas is not installed.", failedPath);
    MessageBoxA(g_mainWindow, text, kProduct, MB_OK | MB_ICONSTOP);
    return 0;
}

int WINAPI CreateShortcuts(void)
{
    char programs[MAX_PATH];
    if (!SHGetSpecialFolderPathA(g_mainWindow, programs, CSIDL_PROGRAMS, TRUE) ||
        !JoinInto(g_programGroup, sizeof g_programGroup, programs, kProduct))
        return 1; // no menu on this machine: install without shortcuts
    CreateDirectoryA(g_programGroup, nullptr);

    char demos[SETUP_PATH_SIZE];
    JoinInto(demos, sizeof demos, g_destDir, SETUP_DEMO_FOLDER);
    AddShortcut("Harbour Atlas demonstration", "Harbour Atlas Demo", "DEMO.EXE", g_destDir,
                "HARBOUR.TXT");
    AddShortcut("About Harbour Atlas", "Read Me", "README.TXT", g_destDir, "");
    AddShortcut("Harbour Atlas sample charts", "Charts", "", demos, "");
    return 1;
}

int WINAPI GenIniFiles(void)
{
    char ini[SETUP_PATH_SIZE];
    if (JoinInto(ini, sizeof ini, g_destDir, "ATLAS.INI")) {
        WritePrivateProfileStringA("Atlas", "Home", g_destDir, ini);
        WritePrivateProfileStringA("Atlas", "Version", "2.1", ini);
    }
    return 1;
}

int WINAPI DemoQuery(char *program, char *document)
{
    CopyField(program, SETUP_PATH_SIZE, "DEMO.EXE");
    CopyField(document, SETUP_PATH_SIZE, "HARBOUR.TXT");
    return 1;
}
}
