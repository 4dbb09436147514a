#include "copy/conflicts.h"

#include "copy/installed.h"
#include "core/context.h"
#include "core/hooks.h"
#include "core/log.h"
#include "setupmodule.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

int BuildAbsolutePaths(const CopyEntry *entry, CopyPaths *paths)
{
    return CopyText(paths->source, entry->sourceName) >= 0 &&
           CopyText(paths->dest, entry->destName) >= 0;
}

int BuildRelativePaths(const CopyEntry *entry, CopyPaths *paths)
{
    if (!JoinPath(paths->source, g_setup.sourceDir, entry->sourceName))
        return 0;
    char folder[kPathSize];
    const char *destFolder = g_setup.windowsDir;
    if (!entry->toWindowsFolder) {
        if (!JoinPath(folder, g_setup.destDir, entry->subFolder))
            return 0;
        destFolder = folder;
    }
    return JoinPath(paths->dest, destFolder, entry->destName) != nullptr;
}

// Acts on one FileConflict answer for `entry`. Returns 0 for FC_ABORT.
int ApplyAnswer(CopyEntry *entry, int answer, int *overwriteAll)
{
    switch (answer) {
    case FC_SKIP:
        ReleaseCopySlot(static_cast<int>(entry - g_copyList.slots.begin()));
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

int BuildCopyPaths(const CopyEntry *entry, CopyPaths *paths)
{
    // absolutePaths comes first: it wins over toWindowsFolder.
    int built =
        entry->absolutePaths ? BuildAbsolutePaths(entry, paths) : BuildRelativePaths(entry, paths);
    if (!built) {
        paths->source[0] = 0;
        paths->dest[0] = 0;
    }
    return built ? 1 : 0;
}

int ScanConflicts()
{
    int overwriteAll = 0;
    // Slot by slot, reading each slot's marks only when it is reached: an
    // entry the module adds from inside FileConflict above the current slot
    // is examined in its turn.
    for (int slot = 0; slot < CopySlotEnd(); ++slot) {
        CopyEntry *entry = &g_copyList.slots[slot];
        if (!entry->inUse || entry->overwrite)
            continue;
        // A path that does not fit cannot be searched: it counts as not existing.
        CopyPaths paths;
        if (!BuildCopyPaths(entry, &paths) || !FileExists(paths.dest))
            continue;
        if (overwriteAll) {
            entry->overwrite = 1;
            continue;
        }
        int answer =
            CallHookWithTexts(SETUP_HOOK_ID_FileConflict, paths.dest, paths.source, FC_REPLACE);
        if (answer == FC_SKIP) {
            LogLine("file %.259s: skipped, the existing file stays (FileConflict)", paths.dest);
            NoteFile(INSTALLED_SKIPPED, paths.dest);
        }
        if (!ApplyAnswer(entry, answer, &overwriteAll))
            return 0;
    }
    return 1;
}

void CreateDestFolders()
{
    for (int slot = 0; slot < CopySlotEnd(); ++slot) {
        const CopyEntry *entry = &g_copyList.slots[slot];
        if (!entry->inUse || !entry->subFolder[0])
            continue;
        char folder[kPathSize];
        if (JoinPath(folder, g_setup.destDir, entry->subFolder))
            CreateFolderPath(folder, NoteFolderMade);
    }
}
