#include "record/aside.h"

#include <windows.h>

#include <string.h>

#include "record/journalfile.h"
#include "setupdist.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

bool Exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool NameAside(const char *destination, char *aside, unsigned long seed)
{
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    char folder[kPathSize];
    if (!FolderOfPath(folder, sizeof folder, destination) || !folder[0])
        return false;
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(destination) - folderLength;
    if (nameLength > 0 && destination[folderLength] == '\\')
        --nameLength;
    // "~kvXXXXX.old" where a temporary "kvlXXXX.tmp" fits; otherwise as
    // short as the destination's own name, which fits where it does.
    bool roomy = folderLength + SETUP_TEMP_NAME_ROOM <= kPathSize;
    size_t length = roomy ? 12 : nameLength > 15 ? 15 : nameLength;
    if (length < 2 || length > 15)
        return false;
    for (unsigned long attempt = 0; attempt < 500; ++attempt) {
        char name[16] = "~kv";
        size_t at = roomy ? 3 : 1;
        size_t end = roomy ? 8 : length;
        unsigned long value = seed + attempt;
        for (; at < end; ++at) {
            name[at] = kDigits[value % 36];
            value /= 36;
        }
        name[end] = 0;
        if (roomy)
            AppendText(name, sizeof name, ".old");
        if (!JoinPath(aside, kPathSize, folder, name))
            return false;
        if (!Exists(aside))
            return true;
    }
    return false;
}

namespace
{

// Journals `path` as new, or keeps it aside: renamed when its writer makes
// it anew, copied when its writer changes it where it stands (a settings file
// gains a line, so the original stays for it and the copy is what comes back).
bool KeepBeforeWriting(const char *path, bool copy)
{
    if (!JournalStarted())
        return true;
    if (!Exists(path))
        return WriteJournal(JOURNAL_NEW, path);
    char aside[kPathSize];
    if (!NameAside(path, aside, GetTickCount() ^ GetCurrentProcessId()) ||
        !WriteJournal(JOURNAL_ASIDE, path, aside))
        return false;
    return copy ? CopyFileA(path, aside, TRUE) != 0 : MoveFileExA(path, aside, 0) != 0;
}

} // namespace

bool PrepareToEdit(const char *path)
{
    return KeepBeforeWriting(path, true);
}

bool PrepareToWrite(const char *path)
{
    return KeepBeforeWriting(path, false);
}
