// A module that installs into a folder of its own, whatever the caller chose
// with /DIR=, and registers the product for removal: kvlship try must judge
// the folder the installation really took.
#include "setupkit.h"
#include "setupmodule.h"

namespace
{

constexpr char kFolder[] = "C:\\Harbour Own";
HWND g_mainWindow;
char g_sourceDir[SETUP_PATH_SIZE];

} // namespace

extern "C" SETUP_HOOK InitModule(HWND mainWindow, char *sourceDir, char *, HMODULE)
{
    g_mainWindow = mainWindow;
    lstrcpynA(g_sourceDir, sourceDir, sizeof g_sourceDir);
    return 1;
}

extern "C" SETUP_HOOK SetDestDir(char *destDir)
{
    lstrcpynA(destDir, kFolder, SETUP_PATH_SIZE);
    return 1;
}

extern "C" SETUP_HOOK EndSetup(void)
{
    ProductInfo info = {};
    info.size = sizeof info;
    info.id = "Harbour Own";
    info.displayName = "Harbour Own";
    info.destDir = kFolder;
    info.sourceDir = g_sourceDir;
    RegisterProduct(g_mainWindow, &info);
    return 1;
}
