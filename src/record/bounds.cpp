#include "record/bounds.h"

#include <string.h>

#include "util/paths.h"

namespace
{

bool Within(const char *path, const char *folder, bool orSame)
{
    char normalPath[kRecordFieldSize];
    char normalFolder[kRecordFieldSize];
    return NormaliseFullPath(normalPath, path) && NormaliseFullPath(normalFolder, folder) &&
           PathWithin(normalPath, normalFolder, orSame);
}

bool InShortcutPlace(const char *path, const RecordPlaces &places)
{
    for (const char *place : places.shortcuts) {
        if (place[0] && Within(path, place, false))
            return true;
    }
    return false;
}

bool EndsWith(const char *text, const char *end)
{
    size_t length = strlen(text);
    size_t endLength = strlen(end);
    if (length < endLength)
        return false;
    for (size_t i = 0; i < endLength; ++i) {
        char c = text[length - endLength + i];
        if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != end[i])
            return false;
    }
    return true;
}

// A file directly in `folder`.
bool DirectlyIn(const char *path, const char *folder)
{
    char normal[kRecordFieldSize];
    if (!NormaliseFullPath(normal, path))
        return false;
    char *last = strrchr(normal, '\\');
    if (!last || !last[1])
        return false;
    if (last == normal + 2)
        ++last; // C:\x: its folder is the root, with its backslash
    *last = 0;
    char normalFolder[kRecordFieldSize];
    return NormaliseFullPath(normalFolder, folder) && PathWithin(normal, normalFolder, true) &&
           strlen(normal) == strlen(normalFolder);
}

} // namespace

bool ItemWithinBounds(const RecordItem &item, const char *folder, const RecordPlaces &places)
{
    switch (item.kind) {
    case RECORD_FILE:
    case RECORD_RESTART:
        return Within(item.path, folder, false);
    case RECORD_DIR:
        return Within(item.path, folder, true);
    case RECORD_LINK:
        return EndsWith(item.path, ".lnk") && InShortcutPlace(item.path, places);
    case RECORD_GROUP:
        return InShortcutPlace(item.path, places);
    case RECORD_INI:
        return Within(item.path, folder, false) ||
               (places.windows[0] && DirectlyIn(item.path, places.windows));
    default:
        return false;
    }
}

bool SettingsFileIsOwn(const char *file, const char *folder)
{
    return Within(file, folder, false);
}
