#include "record/bounds.h"

#include <string.h>

#include "util/paths.h"

bool FullPathWithin(const char *path, const char *folder, bool orSame)
{
    char normalPath[kRecordFieldSize];
    char normalFolder[kRecordFieldSize];
    return NormaliseFullPath(normalPath, path) && NormaliseFullPath(normalFolder, folder) &&
           PathWithin(normalPath, normalFolder, orSame);
}

namespace
{

bool InShortcutPlace(const char *path, const RecordPlaces &places)
{
    for (const char *place : places.shortcuts) {
        if (place[0] && FullPathWithin(path, place, false))
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

char LowerChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The `length` characters at `text` are `word`, without regard to case.
bool IsWord(const char *text, size_t length, const char *word)
{
    if (strlen(word) != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (LowerChar(text[i]) != LowerChar(word[i]))
            return false;
    }
    return true;
}

// The names of a key after its root, split at backslashes; false for more
// than `most` of them.
int SplitKey(const char *names, const char **starts, size_t *lengths, int most)
{
    int count = 0;
    for (const char *p = names;;) {
        const char *end = strchr(p, '\\');
        size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
        if (count == most)
            return most + 1;
        starts[count] = p;
        lengths[count++] = length;
        if (!end)
            return count;
        p = end + 1;
    }
}

// A key the product may have made or written into: below Software, not in
// the system's own (Microsoft, Policies, Wow6432Node); below Classes only a
// file association's: .ext, or a type name with a dot in it (Vendor.Type)
// and its DefaultIcon and shell\open\command.
bool ProductRegistryKey(const char *path)
{
    if (strncmp(path, "HKLM\\", 5) != 0 && strncmp(path, "HKCU\\", 5) != 0)
        return false;
    const char *starts[8];
    size_t lengths[8];
    int count = SplitKey(path + 5, starts, lengths, 7);
    if (count < 2 || count > 7 || !IsWord(starts[0], lengths[0], "Software"))
        return false;
    static const char *const kSystem[] = {"Microsoft", "Policies", "Wow6432Node"};
    for (const char *system : kSystem) {
        if (IsWord(starts[1], lengths[1], system))
            return false;
    }
    if (!IsWord(starts[1], lengths[1], "Classes"))
        return true;
    if (count < 3)
        return false;
    const char *type = starts[2];
    size_t typeLength = lengths[2];
    if (type[0] == '.')
        return count == 3 && typeLength > 1 && !memchr(type + 1, '.', typeLength - 1);
    if (!memchr(type, '.', typeLength))
        return false;
    if (count == 3)
        return true;
    if (count == 4)
        return IsWord(starts[3], lengths[3], "DefaultIcon") ||
               IsWord(starts[3], lengths[3], "shell");
    return IsWord(starts[3], lengths[3], "shell") && IsWord(starts[4], lengths[4], "open") &&
           (count == 5 || (count == 6 && IsWord(starts[5], lengths[5], "command")));
}

} // namespace

bool ItemWithinBounds(const RecordItem &item, const char *folder, const RecordPlaces &places)
{
    switch (item.kind) {
    case RECORD_FILE:
    case RECORD_RESTART:
        return FullPathWithin(item.path, folder, false);
    case RECORD_DIR:
        return FullPathWithin(item.path, folder, true);
    case RECORD_LINK:
        return EndsWith(item.path, ".lnk") && InShortcutPlace(item.path, places);
    case RECORD_GROUP:
        return InShortcutPlace(item.path, places);
    case RECORD_INI:
        return FullPathWithin(item.path, folder, false) ||
               (places.windows[0] && DirectlyIn(item.path, places.windows));
    case RECORD_REG:
    case RECORD_REGKEY:
        return ProductRegistryKey(item.path);
    default:
        return false;
    }
}

bool SettingsFileIsOwn(const char *file, const char *folder)
{
    return FullPathWithin(file, folder, false);
}
