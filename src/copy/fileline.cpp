// The text rules of file lists. Nothing here needs the platform.
#include "copy/filelist.h"

#include "util/paths.h"
#include "util/text.h"

#include <string.h>

namespace
{

// A flag is 0 exactly when its field ends in the digit 0. `separator` ends
// the field; for an empty field the character before it is the previous
// separator or a cut, so the flag is 1.
int FlagBefore(const char *separator)
{
    return separator[-1] == '0' ? 0 : 1;
}

// A replacement character must leave a plain name: a wildcard would make
// the existence check match other files, a separator or colon a path.
// NUL stays allowed: it cuts the last character off.
bool UsableLastChar(char c)
{
    if (c > 0 && c < ' ')
        return false;
    return !c || !strchr("*?<>\"|\\/:", c);
}

} // namespace

void RemoveBlanks(char *text)
{
    char *kept = text;
    for (const char *read = text; *read; ++read) {
        if (*read != ' ')
            *kept++ = *read;
    }
    *kept = 0;
}

int ParseFileListLine(const char *text, FileListLine *line)
{
    char work[kFileListTextSize];
    if (CopyText(work, text) < 0)
        return 0;
    RemoveBlanks(work);

    FileListLine parsed = {};
    char *patternEnd = strchr(work, ',');
    if (!patternEnd)
        return 0;
    *patternEnd = 0;
    // Only the last character of field 2 counts; for an empty field it is the cut just made.
    char *charEnd = strchr(patternEnd + 1, ',');
    if (!charEnd)
        return 0;
    parsed.lastChar = charEnd[-1];
    char *folderEnd = strchr(charEnd + 1, ',');
    if (!folderEnd)
        return 0;
    *folderEnd = 0;

    int *const commaFlags[] = {&parsed.toWindowsFolder, &parsed.spareFlag1, &parsed.overwrite};
    char *fieldEnd = folderEnd;
    for (int *flag : commaFlags) {
        fieldEnd = strchr(fieldEnd + 1, ',');
        if (!fieldEnd)
            return 0;
        *flag = FlagBefore(fieldEnd);
    }
    // Field 7 runs to the first ';' and may itself hold commas.
    char *lineEnd = strchr(fieldEnd + 1, ';');
    if (!lineEnd)
        return 0;
    parsed.spareFlag2 = FlagBefore(lineEnd);

    // The files go below the destination and nowhere else.
    if (!UsableLastChar(parsed.lastChar) || !StaysBelow(charEnd + 1))
        return 0;
    CopyText(parsed.pattern, work);
    CopyText(parsed.subFolder, charEnd + 1);
    *line = parsed;
    return 1;
}

bool ReplaceLastChar(char *dest, size_t size, const char *found, char lastChar)
{
    int length = CopyText(dest, size, found);
    if (length < 0)
        return false;
    if (length > 0)
        dest[length - 1] = lastChar;
    return true;
}

const char *ModuleListSubFolder(const char *name)
{
    const char *dot = strrchr(name, '.');
    return dot && strcmp(dot + 1, "kvt") == 0 ? "Tables" : "Resources";
}
