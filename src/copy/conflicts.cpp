#include "copy/conflicts.h"

#include "setupmodule.h"
#include "shell/context.h"
#include "shell/hooks.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

int BuildAbsolutePaths(const CopyEntry *entry)
{
    return CopyText(g_setup.sourcePath, entry->sourceName) >= 0 &&
           CopyText(g_setup.destPath, entry->destName) >= 0;
}

int BuildRelativePaths(const CopyEntry *entry)
{
    if (!JoinPath(g_setup.sourcePath, g_setup.sourceDir, entry->sourceName))
        return 0;
    char folder[kPathSize];
    const char *destFolder = g_setup.windowsDir;
    if (!entry->toWindowsFolder) {
        if (!JoinPath(folder, g_setup.destDir, entry->subFolder))
            return 0;
        destFolder = folder;
    }
    return JoinPath(g_setup.destPath, destFolder, entry->destName) != nullptr;
}

// Acts on one FileConflict answer for `entry`. Returns 0 for FC_ABORT.
int ApplyAnswer(CopyEntry *entry, int answer, int *overwriteAll)
{
    switch (answer) {
    case FC_SKIP:
        entry->inUse = 0;
        return 1;
    case FC_REPLACE_ALL:
        *overwriteAll = 1;
        entry->overwrite = 1;
        return 1;
    case FC_REPLACE:
        entry->overwrite = 1;
        return 1;
    case FC_ABORT:
        return 0;
    default:
        // An answer the contract does not list leaves the existing file alone.
        return 1;
    }
}

} // namespace

int BuildCopyPaths(const CopyEntry *entry)
{
    // absolutePaths comes first: it wins over toWindowsFolder.
    int built = entry->absolutePaths ? BuildAbsolutePaths(entry) : BuildRelativePaths(entry);
    if (!built) {
        g_setup.sourcePath[0] = 0;
        g_setup.destPath[0] = 0;
    }
    return built ? 1 : 0;
}

int ScanConflicts()
{
    int overwriteAll = 0;
    // Slot by slot, reading each slot's marks only when it is reached: an
    // entry the module adds from inside FileConflict above the current slot
    // is examined in its turn.
    for (int slot = 0; slot < kCopySlots; ++slot) {
        CopyEntry *entry = &g_copyList.slots[slot];
        if (!entry->inUse || entry->overwrite)
            continue;
        // A path that does not fit cannot be searched: it counts as not existing.
        if (!BuildCopyPaths(entry) || !FileExists(g_setup.destPath))
            continue;
        if (overwriteAll) {
            entry->overwrite = 1;
            continue;
        }
        int answer =
            CallHookWithTexts("FileConflict", g_setup.destPath, g_setup.sourcePath, FC_REPLACE);
        if (!ApplyAnswer(entry, answer, &overwriteAll))
            return 0;
    }
    return 1;
}

void CreateDestFolders()
{
    for (int slot = 0; slot < kCopySlots; ++slot) {
        const CopyEntry *entry = &g_copyList.slots[slot];
        if (!entry->inUse || !entry->subFolder[0])
            continue;
        char folder[kPathSize];
        if (JoinPath(folder, g_setup.destDir, entry->subFolder))
            CreateFolderPath(folder);
    }
}
