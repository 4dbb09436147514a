// Reading file lists from disk: the profile reads and the directory search.
#include "copy/filelist.h"

#include "copy/copylist.h"
#include "core/context.h"
#include "util/devicename.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

#include <windows.h>

#include <string.h>

namespace
{

// Reads key "cbItem%02d" (n = 0 gives cbItem00, n = 100 gives cbItem100) of
// section FILELIST of the INI file at `listPath`. Returns false when the read
// yields no characters: the key is missing or empty, or the file is missing.
bool ReadFileListItem(const char *listPath, int n, char (&value)[kFileListTextSize])
{
    char key[24]; // "cbItem" and at most 11 characters of an int
    wsprintfA(key, SETUP_ITEM_KEY, n);
    return GetPrivateProfileStringA("FILELIST", key, "", value, sizeof value, listPath) > 0;
}

// Size of a file in the source folder, 0 when it is missing, empty, or its
// path does not fit.
long long SourceFileSize(const char *name)
{
    char path[kPathSize];
    if (!JoinPath(path, g_setup.sourceDir, name))
        return 0;
    return FileSize64Of(path);
}

bool IsFolderAlias(const char *name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

void AddFoundFile(const FileListLine *line, const char *found)
{
    char destName[kFileListTextSize];
    ReplaceLastChar(destName, sizeof destName, found, line->lastChar);
    // A match whose path is too long still goes in with size 0: the copy then
    // reports it as failed instead of the file going missing without a word.
    AddCopyEntry(found, destName, line->subFolder, line->toWindowsFolder, line->spareFlag1,
                 line->overwrite, line->spareFlag2, SourceFileSize(found), 0);
}

// A file a line names that the distribution does not hold: it goes in as
// named, replacing whatever is at its destination, so that its copy fails
// and says which file, instead of the setup ending complete without it.
void AddNamedFile(const FileListLine *line)
{
    char destName[kFileListTextSize];
    ReplaceLastChar(destName, sizeof destName, line->pattern, line->lastChar);
    AddCopyEntry(line->pattern, destName, line->subFolder, line->toWindowsFolder, line->spareFlag1,
                 1, line->spareFlag2, 0, 0);
}

// Adds one file named by a module list. Returns false when it is missing or empty.
bool AddModuleFile(const char *name)
{
    // The name is also the installed name below the destination: a folder
    // part could climb out of it.
    if (!IsPlainName(name))
        return false;
    long long size = SourceFileSize(name);
    if (size <= 0)
        return false;
    AddCopyEntry(name, name, ModuleListSubFolder(name), 0, 0, 1, 0, size, 0);
    return true;
}

} // namespace

void ReadSetupFileList(const char *dataFileName)
{
    char dataPath[kPathSize];
    if (!JoinPath(dataPath, g_setup.sourceDir, dataFileName))
        return;
    char value[kFileListTextSize];
    for (int n = 0; ReadFileListItem(dataPath, n, value); ++n) {
        FileListLine line;
        if (ParseFileListLine(value, &line))
            ExpandFileListLine(&line);
    }
}

void ExpandFileListLine(const FileListLine *line)
{
    // A pattern may match nothing; a line that names one file installs it or
    // fails. A device's name is never searched: the search answers it with
    // something that is no file of the distribution.
    bool named = !strpbrk(line->pattern, "*?");
    char searchPath[kPathSize];
    if (named && IsDeviceName(line->pattern, strlen(line->pattern))) {
        AddNamedFile(line);
        return;
    }
    if (!JoinPath(searchPath, g_setup.sourceDir, line->pattern)) {
        if (named)
            AddNamedFile(line);
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(searchPath, &found);
    if (search == INVALID_HANDLE_VALUE) {
        if (named)
            AddNamedFile(line);
        return;
    }
    do {
        // "." and ".." name the source folder and its parent, never a file to
        // install: a pattern such as * would otherwise list them and fail the copy.
        if (!IsFolderAlias(found.cFileName))
            AddFoundFile(line, found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int AddModuleFileList(const char *listName)
{
    char listPath[kPathSize];
    if (!listName || BoundedLength(listName, kPathSize) < 0 ||
        !JoinPath(listPath, g_setup.sourceDir, listName))
        return 0;
    int result = 1;
    char value[kFileListTextSize];
    for (int n = 0; ReadFileListItem(listPath, n, value); ++n) {
        if (!AddModuleFile(value))
            result = 0;
    }
    return result;
}
