#include "settings.h"

#include <string.h>

namespace stock
{

const StockKey kStockKeys[] = {
    {"PRODUCT", "cbFolder", "the destination's folder below Program Files"},
    {"PRODUCT", "cbTitle", "the title in setup's caption and in Add/Remove Programs"},
    {"PRODUCT", "cbConflict", "what happens to a file that exists already"},
    {"PRODUCT", "cbDemoProgram", "the program started at the end"},
    {"PRODUCT", "cbDemoDocument", "the demonstration's document in the Demos folder"},
    {"PRODUCT", "cbFileError", "whether the setup ends when a file could not be installed"},
    {"PRODUCT", "cbId", "the product's key under Add/Remove Programs"},
    {"PRODUCT", "cbVersion", "the version shown in Add/Remove Programs"},
    {"PRODUCT", "cbPublisher", "the publisher shown in Add/Remove Programs"},
    {"PRODUCT", "cbAskFolder", "whether the user is shown the folder and may choose another"},
    {"GROUP", "cbName", "the program group's folder in the Start menu"},
    {"GROUP", "cbFor", "whose Start menu gets the group: all users', the user's, or auto"},
    {"GROUP", "cbItemNN", "one shortcut in the group"},
    {"INI", "cbItemNN", "one setting written into a settings file"},
    {"DESKTOP", "cbLink", "the desktop shortcut offered, as a [GROUP] item"},
    {"DESKTOP", "cbChecked", "whether the desktop shortcut's box starts checked (yes or no)"},
    {"REGISTRY", "cbItemNN", "one registry value written, and removed with the product"},
    {"ASSOC", "cbItemNN", "one file type opened by a program of the product"},
    {"STORED", "cbItemNN", "one file kept under a name of its own (written by kvlship build)"},
    {nullptr, nullptr, nullptr},
};

const char kStockConflictWords[] = "ask, replace or keep";
const char kStockFileErrorWords[] = "stop or continue";
const char kStockGroupForWords[] = "auto, all or user";
const char kStockAskFolderWords[] = "0 or 1";
const char kStockCheckedWords[] = "yes or no";

namespace
{

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        if (Lower(*a) != Lower(*b))
            return false;
    }
    return *a == *b;
}

// The `length` characters at `a` are `b`'s, without regard to case.
bool SameStart(const char *a, const char *b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// cbItem followed by two digits: the module asks for exactly these.
bool IsItemKey(const char *key)
{
    for (int i = 0; i < 6; ++i) {
        if (Lower(key[i]) != Lower("cbItem"[i]))
            return false;
    }
    return IsDigit(key[6]) && IsDigit(key[7]) && !key[8];
}

// Edit distance of two short names without regard to case, capped at 3.
int Distance(const char *a, const char *b)
{
    size_t la = strlen(a), lb = strlen(b);
    if (la > 40 || lb > 40)
        return 3;
    int row[41];
    for (size_t j = 0; j <= lb; ++j)
        row[j] = static_cast<int>(j);
    for (size_t i = 1; i <= la; ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= lb; ++j) {
            int above = row[j];
            int cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
            int best = diagonal + cost;
            if (above + 1 < best)
                best = above + 1;
            if (row[j - 1] + 1 < best)
                best = row[j - 1] + 1;
            row[j] = best;
            diagonal = above;
        }
    }
    return row[lb] < 3 ? row[lb] : 3;
}

void TrimBlanks(char *&text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = 0;
}

bool FitsText(const char *text)
{
    return strlen(text) < kStockTextSize;
}

template <typename Choice>
Choice ParseWord(const char *value, bool *known, const char *const *words, const Choice *choices,
                 int count)
{
    *known = true;
    if (!value || !value[0])
        return choices[0];
    for (int i = 0; i < count; ++i) {
        if (SameText(value, words[i]))
            return choices[i];
    }
    *known = false;
    return choices[0];
}

} // namespace

int StockRead(const StockReader &reader, const char *section, const char *key,
              char (&line)[kStockLineSize])
{
    line[0] = 0;
    if (!reader.read)
        return kStockMissing;
    int length = reader.read(reader.context, section, key, line, sizeof line);
    line[sizeof line - 1] = 0;
    if (length < 0) {
        line[0] = 0;
        return kStockMissing;
    }
    return length >= kStockLineSize - 1 ? kStockTooLong : length;
}

void StockItemKey(int index, char (&key)[16])
{
    // Two digits, as the module has always asked: cbItem00 to cbItem99.
    memcpy(key, "cbItem", 6);
    key[6] = static_cast<char>('0' + index / 10 % 10);
    key[7] = static_cast<char>('0' + index % 10);
    key[8] = 0;
}

bool IsStockSection(const char *section)
{
    return SameText(section, "PRODUCT") || SameText(section, "GROUP") || SameText(section, "INI") ||
           SameText(section, "DESKTOP") || SameText(section, "REGISTRY") ||
           SameText(section, "ASSOC");
}

const StockKey *FindStockKey(const char *section, const char *key)
{
    for (const StockKey *known = kStockKeys; known->section; ++known) {
        if (!SameText(known->section, section))
            continue;
        if (SameText(known->key, key) || (SameText(known->key, "cbItemNN") && IsItemKey(key)))
            return known;
    }
    return nullptr;
}

const StockKey *NearestStockKey(const char *section, const char *key)
{
    const StockKey *nearest = nullptr;
    int best = 3;
    for (const StockKey *known = kStockKeys; known->section; ++known) {
        if (!SameText(known->section, section))
            continue;
        int distance = Distance(key, known->key);
        // "cbItem5" or "cbItem005" for cbItemNN: the numbers are read as two digits.
        if (SameText(known->key, "cbItemNN") && strlen(key) > 6) {
            char prefix[7];
            memcpy(prefix, key, 6);
            prefix[6] = 0;
            bool digits = true;
            for (const char *p = key + 6; *p; ++p)
                digits = digits && IsDigit(*p);
            distance = SameText(prefix, "cbItem") && digits ? 1 : distance;
        }
        if (distance < best) {
            best = distance;
            nearest = known;
        }
    }
    return nearest;
}

StockConflict ParseConflict(const char *value, bool *known)
{
    static const char *const words[] = {"ask", "replace", "keep"};
    static const StockConflict choices[] = {StockConflict::Ask, StockConflict::Replace,
                                            StockConflict::Keep};
    return ParseWord(value, known, words, choices, 3);
}

StockFileError ParseFileError(const char *value, bool *known)
{
    static const char *const words[] = {"stop", "continue"};
    static const StockFileError choices[] = {StockFileError::Stop, StockFileError::Continue};
    return ParseWord(value, known, words, choices, 2);
}

bool ParseAskFolder(const char *value, bool *known)
{
    static const char *const words[] = {"0", "1"};
    static const bool choices[] = {false, true};
    return ParseWord(value, known, words, choices, 2);
}

StockGroupFor ParseGroupFor(const char *value, bool *known)
{
    static const char *const words[] = {"auto", "all", "user"};
    static const StockGroupFor choices[] = {StockGroupFor::Auto, StockGroupFor::All,
                                            StockGroupFor::User};
    return ParseWord(value, known, words, choices, 3);
}

bool ParseChecked(const char *value, bool *known)
{
    static const char *const words[] = {"yes", "no"};
    static const bool choices[] = {true, false};
    return ParseWord(value, known, words, choices, 2);
}

bool IsSafeName(const char *name, size_t length)
{
    bool meaningful = false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < ' ' || strchr("<>:\"/\\|?*", c))
            return false;
        if (c != '.' && c != ' ')
            meaningful = true;
    }
    return meaningful;
}

bool StaysBelow(const char *path)
{
    if (!path[0])
        return false;
    const char *start = path;
    for (const char *p = path;; ++p) {
        if (*p && !IsSeparator(*p))
            continue;
        if (!IsSafeName(start, static_cast<size_t>(p - start)))
            return false;
        if (!*p)
            return true;
        start = p + 1;
    }
}

bool IsStockFolder(const char *folder)
{
    // Names joined by backslashes, each a plain one: a vendor's folder with
    // the product's inside it is what vendors want.
    return folder[0] && !strchr(folder, '/') && StaysBelow(folder);
}

bool IsProgramName(const char *name)
{
    const char *dot = strrchr(name, '.');
    if (!dot || strpbrk(dot, "\\/"))
        return false;
    return SameText(dot, ".exe") || SameText(dot, ".com") || SameText(dot, ".bat") ||
           SameText(dot, ".cmd");
}

bool SplitFields(char *line, char **fields, int count, int *found)
{
    char *p = line;
    int have = 1;
    for (char *q = line; (q = strchr(q, '|')) != nullptr; ++q)
        ++have;
    if (found)
        *found = have;
    for (int i = 0; i < count; ++i) {
        fields[i] = p;
        if (i == count - 1)
            break;
        p = strchr(p, '|');
        if (!p)
            return false;
        *p++ = 0;
    }
    for (int i = 0; i < count; ++i)
        TrimBlanks(fields[i]);
    return true;
}

StockItemFault ParseLinkItem(char *line, StockLinkItem *item)
{
    char *fields[kStockGroupFields];
    if (!SplitFields(line, fields, kStockGroupFields))
        return kStockItemFewFields;
    *item = StockLinkItem{fields[0], fields[1], fields[2], fields[3], fields[4]};
    if (!IsSafeName(item->name, strlen(item->name)))
        return kStockItemBadName;
    if (!StaysBelow(item->target))
        return kStockItemBadTarget;
    if (strcmp(item->workFolder, ".") == 0)
        item->workFolder = "";
    if (item->workFolder[0] && !StaysBelow(item->workFolder))
        return kStockItemBadWork;
    if (!FitsText(item->name) || !FitsText(item->target) || !FitsText(item->arguments) ||
        !FitsText(item->workFolder) || !FitsText(item->description))
        return kStockItemLongText;
    return kStockItemUsable;
}

StockItemFault ParseIniItem(char *line, StockIniItem *item)
{
    char *fields[kStockIniFields];
    if (!SplitFields(line, fields, kStockIniFields))
        return kStockItemFewFields;
    *item = StockIniItem{fields[0], fields[1], fields[2], fields[3]};
    if (!StaysBelow(item->file))
        return kStockItemBadFile;
    if (!item->section[0] || !item->key[0])
        return kStockItemNoSection;
    if (!FitsText(item->file) || !FitsText(item->section) || !FitsText(item->key))
        return kStockItemLongText;
    return kStockItemUsable;
}

StockItemFault ParseStoredItem(char *line, StockStoredItem *item)
{
    // The third field may be left out.
    int count = strchr(line, '|') && strchr(strchr(line, '|') + 1, '|') ? 3 : 2;
    char *fields[3] = {};
    if (!SplitFields(line, fields, count))
        return kStockItemFewFields;
    char *installed = fields[1];
    // Backslashes only: the installed path is split at its last one.
    if (!IsSafeName(fields[0], strlen(fields[0])))
        return kStockItemBadStored;
    if (strchr(installed, '/') || !StaysBelow(installed))
        return kStockItemBadPath;
    if (!FitsText(fields[0]) || !FitsText(installed))
        return kStockItemLongText;
    char *slash = strrchr(installed, '\\');
    if (slash)
        *slash = 0;
    *item = StockStoredItem{fields[0], slash ? installed : "", slash ? slash + 1 : installed,
                            fields[2] && strcmp(fields[2], "1") == 0};
    return kStockItemUsable;
}

bool IsProductKey(const char *key)
{
    static const char *const system[] = {"Microsoft", "Classes", "Policies", "Wow6432Node"};
    if (strchr(key, '/') || !StaysBelow(key))
        return false;
    const char *slash = strchr(key, '\\');
    if (!slash || static_cast<size_t>(slash - key) != 8 || Lower(key[0]) != 's')
        return false;
    char first[9];
    memcpy(first, key, 8);
    first[8] = 0;
    if (!SameText(first, "Software"))
        return false;
    const char *second = slash + 1;
    const char *end = strchr(second, '\\');
    size_t length = end ? static_cast<size_t>(end - second) : strlen(second);
    for (const char *name : system) {
        if (strlen(name) == length && SameStart(second, name, length))
            return false;
    }
    return true;
}

StockItemFault ParseRegistryItem(char *line, StockRegistryItem *item)
{
    char *fields[kStockRegistryFields];
    if (!SplitFields(line, fields, kStockRegistryFields))
        return kStockItemFewFields;
    *item = StockRegistryItem{};
    if (SameText(fields[0], "HKLM"))
        item->machine = true;
    else if (!SameText(fields[0], "HKCU"))
        return kStockItemBadRoot;
    item->key = fields[1];
    item->name = fields[2];
    item->value = fields[4];
    if (!FitsText(item->key) || !FitsText(item->name) || !FitsText(item->value))
        return kStockItemLongText;
    if (!IsProductKey(item->key))
        return kStockItemBadKey;
    if (SameText(fields[3], "number")) {
        item->number = true;
        size_t length = strlen(item->value);
        unsigned long long number = 0;
        bool digits = length > 0 && length <= 10;
        for (const char *p = item->value; digits && *p; ++p) {
            digits = IsDigit(*p);
            number = number * 10 + static_cast<unsigned>(*p - '0');
        }
        if (!digits || number > 0xFFFFFFFFull)
            return kStockItemBadNumber;
        item->numberValue = static_cast<unsigned long>(number);
    } else if (!SameText(fields[3], "string")) {
        return kStockItemBadType;
    }
    return kStockItemUsable;
}

StockItemFault ParseAssocItem(char *line, StockAssocItem *item)
{
    char *fields[kStockAssocFields];
    if (!SplitFields(line, fields, kStockAssocFields))
        return kStockItemFewFields;
    *item = StockAssocItem{fields[0], fields[1], fields[2], fields[3], fields[4]};
    for (char *field : fields) {
        if (!FitsText(field))
            return kStockItemLongText;
    }
    const char *ext = item->extension;
    if (ext[0] != '.' || !IsSafeName(ext + 1, strlen(ext + 1)) || strchr(ext + 1, '.') ||
        strchr(ext, ' '))
        return kStockItemBadExtension;
    // A name of its own: a dot in it keeps it apart from the system's types
    // (exefile, txtfile), which a product must never take over.
    const char *type = item->typeName;
    if (!IsSafeName(type, strlen(type)) || type[0] == '.' || !strchr(type, '.') ||
        strchr(type, ' '))
        return kStockItemBadTypeName;
    if (!StaysBelow(item->program) || !IsProgramName(item->program))
        return kStockItemBadProgram;
    if (item->icon[0]) {
        char icon[kStockTextSize];
        CopyWhole(icon, sizeof icon, item->icon);
        char *comma = strrchr(icon, ',');
        if (comma)
            *comma = 0;
        if (!StaysBelow(icon))
            return kStockItemBadProgram;
    }
    return kStockItemUsable;
}

const char *StockItemFaultText(StockItemFault fault)
{
    switch (fault) {
    case kStockItemUsable:
        return "usable";
    case kStockItemFewFields:
        return "has too few fields";
    case kStockItemBadName:
        return "names its link with no plain name (empty, dots only, or one of < > : \" / \\ | "
               "? *)";
    case kStockItemBadTarget:
        return "has a target that is empty or leaves the destination";
    case kStockItemBadWork:
        return "has a working folder that leaves the destination";
    case kStockItemBadFile:
        return "has a settings file that is empty or leaves the destination";
    case kStockItemNoSection:
        return "has an empty section or key";
    case kStockItemLongText:
        return "has a field longer than 259 characters";
    case kStockItemBadStored:
        return "has a stored name that is no plain name";
    case kStockItemBadPath:
        return "has an installed path that is not names joined by backslashes below the "
               "destination";
    case kStockItemBadRoot:
        return "has a root that is neither HKLM nor HKCU";
    case kStockItemBadKey:
        return "has a key that is not below Software, or is the system's (Software\\Microsoft, "
               "\\Classes, \\Policies, \\Wow6432Node)";
    case kStockItemBadType:
        return "has a type that is neither string nor number";
    case kStockItemBadNumber:
        return "has a number that is not 0 to 4294967295 in decimal";
    case kStockItemBadExtension:
        return "has an extension that is not a dot and a plain name (.tdw)";
    case kStockItemBadTypeName:
        return "has a type name that is no plain name with a dot in it (Vendor.Type)";
    case kStockItemBadProgram:
        return "has a program or icon that is not a program below the destination";
    }
    return "is not usable";
}

bool StockReadItem(const StockReader &reader, const char *section, int index,
                   char (&line)[kStockLineSize], int *length)
{
    char key[16];
    StockItemKey(index, key);
    *length = StockRead(reader, section, key, line);
    return *length != kStockMissing;
}

bool StockExpandValue(char *dest, size_t size, const char *value, const char *destDir)
{
    if (size == 0)
        return false;
    dest[0] = 0;
    const size_t tokenLength = strlen(kStockDestToken);
    size_t used = 0;
    while (*value) {
        const char *token = strstr(value, kStockDestToken);
        size_t plain = token ? static_cast<size_t>(token - value) : strlen(value);
        if (used + plain >= size)
            return false;
        memcpy(dest + used, value, plain);
        used += plain;
        dest[used] = 0;
        if (!token)
            break;
        if (!AppendWhole(dest, size, destDir))
            return false;
        used = strlen(dest);
        value = token + tokenLength;
    }
    return true;
}

bool HasMiscasedToken(const char *value)
{
    const size_t tokenLength = strlen(kStockDestToken);
    for (const char *p = value; strlen(p) >= tokenLength; ++p) {
        char piece[sizeof kStockDestToken];
        memcpy(piece, p, tokenLength);
        piece[tokenLength] = 0;
        if (SameText(piece, kStockDestToken) && strcmp(piece, kStockDestToken) != 0)
            return true;
    }
    return false;
}

bool CopyWhole(char *dest, size_t size, const char *source)
{
    size_t length = strlen(source);
    if (length >= size)
        return false;
    memcpy(dest, source, length + 1);
    return true;
}

bool AppendWhole(char *dest, size_t size, const char *source)
{
    size_t used = strlen(dest);
    return used < size && CopyWhole(dest + used, size - used, source);
}

bool JoinWhole(char *dest, size_t size, const char *folder, const char *name)
{
    size_t length = strlen(folder);
    if (!CopyWhole(dest, size, folder))
        return false;
    if (length > 0 && folder[length - 1] != '\\' && !AppendWhole(dest, size, "\\"))
        return false;
    return AppendWhole(dest, size, name);
}

bool MoveToFolder(char *destDir, size_t size, const char *folder)
{
    if (!IsStockFolder(folder))
        return false;
    char base[kStockLineSize];
    if (!CopyWhole(base, sizeof base, destDir))
        return false;
    size_t length = strlen(base);
    if (length > 0 && base[length - 1] == '\\')
        base[length - 1] = 0;
    char *last = strrchr(base, '\\');
    if (!last)
        return false;
    last[1] = 0;
    char moved[kStockLineSize];
    return JoinWhole(moved, sizeof moved, base, folder) && strlen(moved) < size &&
           CopyWhole(destDir, size, moved);
}

} // namespace stock
