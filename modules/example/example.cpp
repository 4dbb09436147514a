// An example of a module of your own over the stock kit (include/stockkit.h):
// "Orbit Viewer" installs as the stock module installs a product (its
// settings in kvlsetup.dat: shortcuts, settings files, conflicts, file
// errors, demonstration, registration), with two differences of its own:
//
//   - it chooses its folder itself, Orbit Works\Orbit Viewer below Program
//     Files (cbFolder is not read; /DIR= still wins);
//   - it asks whether to install the sample sky charts, which are in the
//     distribution folder but on no [FILELIST] line; a silent setup installs
//     them.
//
// Build it as the project does (modules/CMakeLists.txt):
//   add_setup_module(example example/example.cpp)
//   target_link_libraries(example PRIVATE stockkit)
#include <windows.h>

#include "stockkit.h"

namespace
{

constexpr char kFolder[] = "Orbit Works\\Orbit Viewer";

// The samples: stored name in the distribution folder, installed name.
constexpr const char *kSamples[][2] = {
    {"ORION.SK_", "ORION.SKY"},
    {"LYRA.SK_", "LYRA.SKY"},
};

} // namespace

extern "C" {

int WINAPI InitModule(HWND mainWindow, char *sourceDir, char *moduleTitle, HMODULE)
{
    return StockInitModule(mainWindow, sourceDir, moduleTitle);
}

int WINAPI SetDestDir(char *destDir)
{
    return StockUseFolder(destDir, kFolder);
}

// The one question of this module. Files are added from here: setup.exe
// drops what is sent before the destination is settled.
int WINAPI GetAddInList(void)
{
    if (!StockAsk("Install the sample sky charts as well?", 1))
        return 1;
    for (const auto &sample : kSamples)
        StockAddFile(sample[0], sample[1], "Samples");
    return 1;
}

int WINAPI FileConflict(char *destPath, char *)
{
    return StockFileConflict(destPath);
}

int WINAPI CriticError(char *failedPath)
{
    return StockCriticError(failedPath);
}

int WINAPI CreateShortcuts(void)
{
    return StockCreateShortcuts();
}

int WINAPI GenIniFiles(void)
{
    return StockGenIniFiles();
}

int WINAPI EndSetup(void)
{
    return StockEndSetup();
}

int WINAPI DemoQuery(char *program, char *document)
{
    return StockDemoQuery(program, document);
}
}
