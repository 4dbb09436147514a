// Judging the stock module's settings by the module's own rules.
#include "check/stockcheck.h"

#include "check/wording.h"
#include "common/codepage.h"
#include "common/hostfs.h"
#include "stock/settings.h"

#include <stdio.h>
#include <string.h>

namespace
{

using namespace stock;

void Add(CheckResult *result, Severity severity, const std::string &key, const std::string &text)
{
    result->problems.Add(severity, key, text);
}

std::string Joined(const std::string &folder, const std::string &name)
{
    return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// The module's profile reads, answered from kvlship's model of the file.
int ReadFromProfile(void *context, const char *section, const char *key, char *buffer, size_t size)
{
    const Profile &data = *static_cast<const Profile *>(context);
    if (!FindKey(data, section, key))
        return kStockMissing;
    std::string value = ReadProfileValue(data, section, key, size);
    memcpy(buffer, value.c_str(), value.size() + 1);
    return static_cast<int>(value.size());
}

StockReader ReaderOf(const Profile &data)
{
    return StockReader{ReadFromProfile, const_cast<Profile *>(&data)};
}

std::string Read(const Profile &data, const char *section, const char *key, int *length = nullptr)
{
    char line[kStockLineSize];
    int got = StockRead(ReaderOf(data), section, key, line);
    if (length)
        *length = got;
    return line;
}

struct StockCheck {
    const Profile &data;
    CheckResult *result;

    // True when the plan installs `relative` below the destination, or a
    // file below it when it is a folder (setup makes a file's folders), as
    // setup's code page compares names.
    bool Installs(const std::string &relative, bool asFolder = false) const
    {
        std::string path = Joined(result->destination, relative);
        for (const PlannedFile &file : result->files) {
            if (!asFolder && SameName(file.installed, path, result->codePage))
                return true;
            if (file.installed.size() > path.size() &&
                SameName(file.installed.substr(0, path.size() + 1), path + "\\", result->codePage))
                return true;
        }
        return false;
    }

    void Error(const std::string &key, const std::string &text) const
    {
        Add(result, Severity::Error, key, text);
    }

    void Warning(const std::string &key, const std::string &text) const
    {
        Add(result, Severity::Warning, key, text);
    }
};

// Keys the module never reads: unknown (perhaps misspelt) or written twice.
void CheckKeys(const StockCheck &check, const ProfileSection &section)
{
    const char *name = section.name.c_str();
    for (const ProfileKey &key : section.keys) {
        std::string label = section.name + " " + key.name;
        if (FindKey(check.data, name, key.name.c_str()) != &key) {
            check.Warning(label, "appears twice in [" + section.name +
                                     "]; the module reads only the first");
            continue;
        }
        if (FindStockKey(name, key.name.c_str()))
            continue;
        const StockKey *nearest = NearestStockKey(name, key.name.c_str());
        if (!nearest) {
            check.Warning(label, "unknown key: the stock module ignores it");
            continue;
        }
        // A misspelling of a key that is not there: what it meant is not done.
        bool numbered = strcmp(nearest->key, "cbItemNN") == 0;
        bool meantIsThere = !numbered && FindKey(check.data, name, nearest->key);
        std::string meant = numbered ? "cbItem followed by two digits" : nearest->key;
        std::string text = "unknown key; did you mean " + meant + " (" + nearest->effect +
                           ")? The stock module ignores it";
        if (meantIsThere)
            check.Warning(label, text);
        else
            check.Error(label, text);
    }
}

// A setting of few words: a word the module does not know means its default.
template <typename Choice>
void CheckWord(const StockCheck &check, const char *section, const char *key,
               Choice (*parse)(const char *, bool *), const char *words, const char *fallback)
{
    std::string value = Read(check.data, section, key);
    bool known = false;
    parse(value.c_str(), &known);
    if (!known)
        check.Error(std::string(section) + " " + key,
                    "is " + Quoted(value) + ", which the stock module does not know: it " +
                        fallback + " (it knows " + words + ")");
}

void CheckProduct(const StockCheck &check)
{
    const Profile &data = check.data;
    int length = 0;
    std::string folder = Read(data, "PRODUCT", "cbFolder", &length);
    if (length == kStockTooLong || (length > 0 && !IsStockFolder(folder.c_str())))
        check.Error("PRODUCT cbFolder",
                    "is refused by the stock module (it takes names joined by backslashes, each "
                    "a plain one): the product installs into " +
                        check.result->destination);
    std::string title = Read(data, "PRODUCT", "cbTitle", &length);
    if (length == kStockTooLong || title.size() >= kStockTitleSize)
        check.Warning("PRODUCT cbTitle", "is longer than " + std::to_string(kStockTitleSize - 1) +
                                             " characters: the stock module shows no title");
    CheckWord(check, "PRODUCT", "cbConflict", ParseConflict, kStockConflictWords,
              "asks, as for \"ask\"");
    CheckWord(check, "PRODUCT", "cbFileError", ParseFileError, kStockFileErrorWords,
              "stops, as for \"stop\"");
    CheckWord(check, "PRODUCT", "cbAskFolder", ParseAskFolder, kStockAskFolderWords,
              "installs into its folder without asking, as for \"0\"");

    std::string program = Read(data, "PRODUCT", "cbDemoProgram", &length);
    std::string document = Read(data, "PRODUCT", "cbDemoDocument");
    if (program.empty()) {
        if (!document.empty())
            check.Warning("PRODUCT cbDemoDocument",
                          "is read only with cbDemoProgram, which is missing: no demonstration");
        return;
    }
    if (length == kStockTooLong || !StaysBelow(program.c_str()))
        check.Error("PRODUCT cbDemoProgram",
                    "names " + program + ", which is not below the destination: no demonstration");
    else if (!IsProgramName(program.c_str()))
        check.Error("PRODUCT cbDemoProgram",
                    "names " + program +
                        ", which is not a program (.exe, .com, .bat or .cmd): the stock module "
                        "starts no demonstration and tells the user so");
    else if (!check.Installs(program))
        check.Error("PRODUCT cbDemoProgram",
                    "names " + program + ", which no file-list line installs");
    if (!document.empty() && !StaysBelow(document.c_str()))
        check.Error("PRODUCT cbDemoDocument",
                    "names " + document +
                        ", which is not below the Demos folder: no demonstration");
    else if (!document.empty() && !check.Installs(Joined("Demos", document)))
        check.Error("PRODUCT cbDemoDocument",
                    "names Demos\\" + document + ", which no file-list line installs");
}

// The numbered items of [GROUP] or [INI] as the module reads them, each
// checked by `item`; then the item keys it never reaches.
template <typename CheckItem>
void CheckItems(const StockCheck &check, const char *section, int fields, CheckItem item)
{
    int count = 0;
    char line[kStockLineSize];
    int length = 0;
    for (; count < kStockMostItems &&
           StockReadItem(ReaderOf(check.data), section, count, line, &length);
         ++count) {
        char key[16];
        StockItemKey(count, key);
        std::string label = std::string(section) + " " + key;
        if (length == kStockTooLong) {
            check.Error(label, "is longer than the stock module reads: it skips the item");
            continue;
        }
        char copy[kStockLineSize];
        memcpy(copy, line, sizeof copy);
        char *parts[kStockGroupFields];
        int found = 0;
        SplitFields(copy, parts, fields, &found);
        if (found > fields)
            check.Warning(label, "has " + std::to_string(found) + " fields of " +
                                     std::to_string(fields) +
                                     ": the last one takes the rest, \"|\" and all");
        item(label, line, found);
    }
    const ProfileSection *within = FindSection(check.data, section);
    char stop[16];
    StockItemKey(count, stop);
    for (const ProfileKey &key : within->keys) {
        const StockKey *known = FindStockKey(section, key.name.c_str());
        if (!known || strcmp(known->key, "cbItemNN") != 0 ||
            FindKey(check.data, section, key.name.c_str()) != &key)
            continue;
        int number = (key.name[6] - '0') * 10 + (key.name[7] - '0');
        if (number >= count)
            check.Error(std::string(section) + " " + key.name,
                        "is never read: the stock module reads cbItem00, cbItem01, ... and "
                        "stops at " +
                            std::string(stop) + ", which is missing");
    }
}

void CheckGroup(const StockCheck &check)
{
    const Profile &data = check.data;
    int length = 0;
    std::string name = Read(data, "GROUP", "cbName", &length);
    if (length <= 0)
        check.Warning("GROUP cbName", "is missing: the stock module makes no shortcuts");
    else if (!IsSafeName(name.c_str(), name.size()))
        check.Error("GROUP cbName", "is no plain name (it holds one of < > : \" / \\ | ? * or is "
                                    "only dots): the stock module makes no shortcuts");
    CheckWord(check, "GROUP", "cbFor", ParseGroupFor, kStockGroupForWords,
              "chooses by the setup's rights, as for \"auto\"");
    CheckItems(check, "GROUP", kStockGroupFields,
               [&](const std::string &label, char *line, int found) {
                   StockLinkItem item;
                   StockItemFault fault = ParseLinkItem(line, &item);
                   if (fault == kStockItemFewFields)
                       check.Error(label, "has " + std::to_string(found) +
                                              " of the 5 fields (name | target | arguments | "
                                              "working folder | description): the stock module "
                                              "skips it");
                   else if (fault != kStockItemUsable)
                       check.Error(label, std::string(StockItemFaultText(fault)) +
                                              ": the stock module skips it");
                   else if (!check.Installs(item.target))
                       check.Error(label, "points its shortcut at " + std::string(item.target) +
                                              ", which no file-list line installs");
               });
}

void CheckIni(const StockCheck &check)
{
    CheckItems(check, "INI", kStockIniFields, [&](const std::string &label, char *line, int found) {
        StockIniItem item;
        StockItemFault fault = ParseIniItem(line, &item);
        if (fault == kStockItemFewFields) {
            check.Error(label, "has " + std::to_string(found) +
                                   " of the 4 fields (file | section | key | value), apart by "
                                   "\"|\": the stock module skips it");
            return;
        }
        if (fault != kStockItemUsable) {
            check.Error(label,
                        std::string(StockItemFaultText(fault)) + ": the stock module skips it");
            return;
        }
        std::string file = item.file;
        size_t slash = file.find_last_of("\\/");
        if (slash != std::string::npos && !check.Installs(file.substr(0, slash), true))
            check.Error(label, "writes " + file + " into " + file.substr(0, slash) +
                                   ", a folder no file-list line installs into: the stock module "
                                   "writes only into a folder that exists");
        if (HasMiscasedToken(item.value))
            check.Error(label, "holds " + Quoted(item.value) + ": the stock module replaces only " +
                                   kStockDestToken +
                                   ", in that case, and writes this as it stands");
    });
}

// An item the module skips whole: why, in its own words.
bool Skipped(const StockCheck &check, const std::string &label, StockItemFault fault, int found,
             const char *fields)
{
    if (fault == kStockItemFewFields)
        check.Error(label, "has " + std::to_string(found) + " of the 5 fields (" + fields +
                               "): the stock module skips it");
    else if (fault != kStockItemUsable)
        check.Error(label, std::string(StockItemFaultText(fault)) + ": the stock module skips it");
    return fault != kStockItemUsable;
}

void CheckDesktop(const StockCheck &check)
{
    int length = 0;
    std::string link = Read(check.data, "DESKTOP", "cbLink", &length);
    CheckWord(check, "DESKTOP", "cbChecked", ParseChecked, kStockCheckedWords,
              "offers the shortcut checked, as for \"yes\"");
    if (length <= 0) {
        check.Warning("DESKTOP cbLink", "is missing: the stock module offers no desktop shortcut");
        return;
    }
    char line[kStockLineSize];
    snprintf(line, sizeof line, "%s", link.c_str());
    char copy[kStockLineSize];
    memcpy(copy, line, sizeof copy);
    char *parts[kStockLinkFields];
    int found = 0;
    SplitFields(copy, parts, kStockLinkFields, &found);
    StockLinkItem item;
    if (!Skipped(check, "DESKTOP cbLink", ParseLinkItem(line, &item), found,
                 "name | target | arguments | working folder | description") &&
        !check.Installs(item.target))
        check.Error("DESKTOP cbLink", "points its shortcut at " + std::string(item.target) +
                                          ", which no file-list line installs");
}

// Each item of `section` read by `parse`: a skipped one is said with its
// `fields`; `fault` says what is wrong with a usable one ("" for nothing).
template <typename Item, typename Parse, typename Fault>
void CheckParsedItems(const StockCheck &check, const char *section, int fieldCount, Parse parse,
                      const char *fields, Fault fault)
{
    CheckItems(check, section, fieldCount, [&](const std::string &label, char *line, int found) {
        Item item;
        if (Skipped(check, label, parse(line, &item), found, fields))
            return;
        std::string why = fault(item);
        if (!why.empty())
            check.Error(label, why);
    });
}

void CheckRegistry(const StockCheck &check)
{
    CheckParsedItems<StockRegistryItem>(
        check, "REGISTRY", kStockRegistryFields, ParseRegistryItem,
        "HKLM or HKCU | key | value name | string or number | value",
        [&](const StockRegistryItem &item) {
            if (item.number || !HasMiscasedToken(item.value))
                return std::string();
            return "holds " + Quoted(item.value) + ": the stock module replaces only " +
                   kStockDestToken + ", in that case";
        });
}

void CheckAssoc(const StockCheck &check)
{
    CheckParsedItems<StockAssocItem>(check, "ASSOC", kStockAssocFields, ParseAssocItem,
                                     "extension | type name | description | program | icon",
                                     [&](const StockAssocItem &item) {
                                         if (check.Installs(item.program))
                                             return std::string();
                                         return "opens its files with " +
                                                std::string(item.program) +
                                                ", which no file-list line installs";
                                     });
}

} // namespace

std::string StockDestination(const Profile &data)
{
    int length = 0;
    std::string folder = Read(data, "PRODUCT", "cbFolder", &length);
    char destination[kStockLineSize];
    snprintf(destination, sizeof destination, "%s", kDefaultDestination);
    if (length > 0)
        MoveToFolder(destination, kStockTextSize, folder.c_str());
    return destination;
}

void CheckStockSettings(const Profile &data, CheckResult *result)
{
    StockCheck check{data, result};
    for (const ProfileSection &section : data.sections) {
        // A name with a zero byte in it finds no section by its C string.
        const ProfileSection *first = FindSection(data, section.name.c_str());
        if (IsStockSection(section.name.c_str()) && first && first != &section &&
            !section.keys.empty())
            check.Error(section.name + " " + section.keys[0].name,
                        "is in a second [" + section.name + "] (line " +
                            std::to_string(section.line) +
                            "), which the stock module never reads: it reads the first only "
                            "(line " +
                            std::to_string(first->line) + ")");
    }
    // Every section's keys first, then each section's items.
    const struct {
        const char *name;
        void (*items)(const StockCheck &);
    } sections[] = {{"PRODUCT", CheckProduct}, {"GROUP", CheckGroup},       {"INI", CheckIni},
                    {"DESKTOP", CheckDesktop}, {"REGISTRY", CheckRegistry}, {"ASSOC", CheckAssoc}};
    for (const auto &stock : sections) {
        if (const ProfileSection *section = FindSection(data, stock.name))
            CheckKeys(check, *section);
    }
    for (const auto &stock : sections) {
        if (FindSection(data, stock.name))
            stock.items(check);
    }
}
