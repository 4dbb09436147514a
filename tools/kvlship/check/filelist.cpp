// Reading the copy list's lines as setup.exe does.
#include "check/filelist.h"

#include "check/folder.h"
#include "check/listfull.h"
#include "check/names.h"
#include "check/plan.h"
#include "check/wording.h"
#include "common/hostfs.h"
#include "common/textout.h"
#include "common/winpath.h"
#include "formats/engine.h"
#include "formats/storedlist.h"

#include "copy/copylist.h"
#include "copy/filelist.h"
#include "util/paths.h"

#include <stdio.h>
#include <string.h>

#include <set>
#include <vector>

namespace
{

// One pass over [FILELIST] as setup makes it, with what the report needs
// to name: the key that put each slot in the list.
struct Reading {
    const CheckOptions &options;
    const std::string &moduleFile;
    CheckResult *result;
    std::vector<FolderItem> items; // the distribution folder
    std::vector<std::string> read; // keys read, in order
    std::vector<int> origin;       // index in `read` of the line that added each slot
    int slots = kCopySlots;        // the copy list's room, as the data file declares it
    ListFullCount listFull;        // files that found no free slot

    Reading(const CheckOptions &options, const std::string &moduleFile, CheckResult *result)
        : options(options), moduleFile(moduleFile), result(result)
    {
    }
};

std::string ItemKey(int n)
{
    char key[24];
    snprintf(key, sizeof key, SETUP_ITEM_KEY, n);
    return key;
}

// Adds an entry for the line read last; tells when it is refused as a
// duplicate. Returns true when it took a slot.
bool AddEntry(Reading &reading, const std::string &key, const char *sourceName,
              const char *destName, const char *subFolder, const FileListLine *line, int replace,
              long long size)
{
    int told = reading.listFull.Told();
    int slot =
        AddCopyEntry(sourceName, destName, subFolder, line ? line->toWindowsFolder : 0,
                     line ? line->spareFlag1 : 0, replace, line ? line->spareFlag2 : 0, size, 0);
    if (slot >= 0) {
        reading.origin[slot] = static_cast<int>(reading.read.size()) - 1;
        return true;
    }
    if (reading.listFull.Told() != told)
        return false;
    // Refused as a duplicate: says which line listed it first.
    for (int at = 0; at < CopySlotEnd(); ++at) {
        const CopyEntry &first = g_copyList.slots[at];
        if (!first.inUse || strcmp(first.sourceName, sourceName) != 0)
            continue;
        std::string where = first.toWindowsFolder ? WindowsPath("<Windows>", first.destName)
                                                  : WindowsPath(first.subFolder, first.destName);
        reading.result->problems.Warning(
            key, std::string(sourceName) + " is already listed by " +
                     reading.read[reading.origin[at]] + " (installed as " + where +
                     "); the first line wins, so this one adds nothing for it");
    }
    return false;
}

// A line's sub-folder that no Windows name can hold.
void ReportSubFolder(Reading &reading, const std::string &key, const FileListLine &line)
{
    if (HasControl(line.subFolder))
        reading.result->problems.Error(
            key, "its sub-folder holds a control character, which no Windows name holds");
    std::string folderKept = WhyNotWindowsPath(line.subFolder);
    if (line.subFolder[0] && !folderKept.empty())
        reading.result->problems.Error(key, "its sub-folder's name " + folderKept);
}

// Adds one file an accepted line matches; true when it took a slot.
bool AddMatched(Reading &reading, const std::string &key, const FileListLine &line,
                const FolderItem &item)
{
    Diagnostics &problems = reading.result->problems;
    std::string why = WhyNotInstallable(item);
    if (!why.empty())
        problems.Error(key, why);
    if (IsEngineFile(item.name, reading.moduleFile))
        problems.Warning(key, "installs " + item.name + ", a file of the setup itself");
    char destName[kFileListTextSize];
    ReplaceLastChar(destName, sizeof destName, item.name.c_str(), line.lastChar);
    std::string destKept = WhyNotWindowsName(destName);
    if (why.empty() && !destKept.empty())
        problems.Error(key, "installs " + item.name + " as " + Quoted(destName) + ", which " +
                                destKept + "; its copy will fail");
    // The size only; the plan reads each listed file once, later.
    long long size = FileSize(JoinHost(reading.options.distribution, item.HostName()));
    return AddEntry(reading, key, item.name.c_str(), destName, line.subFolder, &line,
                    line.overwrite, size);
}

// Adds the files one accepted line matches, as ExpandFileListLine does.
void ExpandLine(Reading &reading, const std::string &key, const FileListLine &line)
{
    Diagnostics &problems = reading.result->problems;
    int matched = 0, added = 0, toldBefore = reading.listFull.Told();
    ReportSubFolder(reading, key, line);
    for (const FolderItem *item : Matches(reading.items, line.pattern, reading.result->codePage)) {
        ++matched;
        added += AddMatched(reading, key, line, *item);
    }
    // Wine takes "*." for every name and "NAME." for none; Windows takes a
    // final '.' for "no extension". The plan follows Wine's reading.
    size_t length = strlen(line.pattern);
    if (length > 1 && line.pattern[length - 1] == '.')
        problems.Warning(key, "pattern " + Quoted(line.pattern) +
                                  " ends in '.', which Windows and Wine read differently; name "
                                  "the files");
    if (matched == 0)
        problems.Error(key,
                       "pattern " + Quoted(line.pattern) + " matches no file in the distribution");
    else if (added == 0 && reading.listFull.Told() == toldBefore)
        problems.Error(key, "installs nothing: every file it matches is listed before it");
}

// Keys that the reading never reaches: after a gap, twice, or not cbItem keys.
void ReportUnreadKeys(const Profile &data, const std::vector<std::string> &read,
                      CheckResult *result)
{
    const ProfileSection *section = FindSection(data, "FILELIST");
    if (!section)
        return;
    std::string stop = ItemKey(static_cast<int>(read.size()));
    const ProfileKey *stopKey = FindKey(data, "FILELIST", stop.c_str());
    std::set<const ProfileKey *> wasRead = {stopKey};
    for (const std::string &name : read)
        wasRead.insert(FindKey(data, "FILELIST", name.c_str()));
    for (const ProfileKey &key : section->keys) {
        const ProfileKey *found = FindKey(data, "FILELIST", key.name.c_str());
        if (found && found != &key) {
            result->problems.Warning(key.name,
                                     "appears twice in [FILELIST]; setup reads only the first");
            continue;
        }
        if (wasRead.count(&key))
            continue;
        if (CompareNames(key.name.substr(0, 6), "cbItem") == 0)
            result->problems.Error(
                key.name, "is never read: setup reads cbItem00, cbItem01, ... and stops at " +
                              stop + (stopKey ? ", which is empty" : ", which is missing"));
        else
            result->problems.Warning(key.name, "is not a file-list key; setup ignores it");
    }
}

// Files that ship but that nothing installs: often a typo in a pattern.
void ReportUnshipped(const Reading &reading)
{
    for (const FolderItem &item : reading.items) {
        bool listed = IsEngineFile(item.name, reading.moduleFile) || item.IsFolder();
        for (const PlannedFile &file : reading.result->files)
            listed = listed || file.storedName == item.name;
        // A module's own DLL, which it loads by its full path.
        if (!listed && item.name.size() > 4 &&
            CompareNames(item.name.substr(item.name.size() - 4), ".dll") == 0)
            listed = true;
        if (listed)
            continue;
        std::string why = HasControl(item.name)
                              ? " (a line cannot spell its name: it holds a control character)"
                          : item.name.find_first_of(",;") != std::string::npos
                              ? " (a line cannot spell its name: ',' and ';' end a line's fields)"
                              : "";
        reading.result->problems.Warning(item.name,
                                         "ships, but no file-list line installs it" + why);
    }
}

// The stock module's [STORED] items, as its AddFiles hook sends them: each
// one copy request, right after the data file's lines.
void ReadStoredList(Reading &reading, const Profile &data)
{
    Diagnostics &problems = reading.result->problems;
    for (int n = 0; n < kMostCopyEntries; ++n) {
        std::string key = ItemKey(n);
        std::string value = ReadProfileValue(data, SETUP_STORED_SECTION, key.c_str(), 1024);
        if (value.empty())
            break;
        std::string shown = std::string(SETUP_STORED_SECTION) + " " + key;
        reading.read.push_back(shown);
        StoredItem item;
        std::string why = ParseStoredItem(value, &item);
        if (!why.empty()) {
            problems.Error(shown, why + "; the stock module skips it");
            continue;
        }
        const FolderItem *found = FindItem(reading.items, item.stored);
        if (!found) {
            problems.Error(shown, item.stored + " is not in the distribution");
            continue;
        }
        if (!WhyNotInstallable(*found).empty()) {
            problems.Error(shown, WhyNotInstallable(*found));
            continue;
        }
        AddEntry(reading, shown, item.stored.c_str(), item.name.c_str(), item.subFolder.c_str(),
                 nullptr, item.replace, 0);
    }
}

// The copy list's room as setup takes it: what [GENERAL] declares, which
// the engine shipped beside it must be able to take.
int DeclaredRoom(const CheckOptions &options, const Profile &data, CheckResult *result)
{
    const ProfileKey *declared = FindKey(data, "GENERAL", SETUP_COPY_ENTRIES_KEY);
    std::string declaredText =
        declared ? ReadProfileValue(data, "GENERAL", SETUP_COPY_ENTRIES_KEY, 32) : "";
    int slots = DeclaredCopySlots(declared ? declaredText.c_str() : nullptr);
    int engine = EngineCopyEntriesIn(options.distribution);
    if (slots < 0) {
        result->problems.Error("GENERAL " SETUP_COPY_ENTRIES_KEY,
                               "is " + Quoted(declaredText) + ", not a number from 0 to " +
                                   std::to_string(kMostCopyEntries) + ": setup refuses to start");
        return kCopySlots;
    }
    if (slots > engine)
        result->problems.Error("GENERAL " SETUP_COPY_ENTRIES_KEY,
                               "declares " + std::to_string(slots) +
                                   " entries; the setup.exe shipped takes at most " +
                                   std::to_string(engine));
    return slots;
}

// Gives the copy list `slots` slots, empty.
void UseRoom(Reading &reading, int slots)
{
    static std::vector<CopyEntry> room;
    static std::vector<int> index;
    room.assign(static_cast<size_t>(slots), CopyEntry());
    index.assign(static_cast<size_t>(CopyIndexSize(slots)), 0);
    UseCopyRoom(room.data(), slots, index.data(), static_cast<int>(index.size()));
    reading.origin.assign(static_cast<size_t>(slots), 0);
    reading.slots = slots;
}

// [FILELIST] cbItem00, cbItem01, ... up to the first that is missing or empty.
void ReadLines(Reading &reading, const Profile &data)
{
    for (int n = 0;; ++n) {
        std::string key = ItemKey(n);
        size_t whole = 0;
        std::string value =
            ReadProfileValue(data, "FILELIST", key.c_str(), kFileListTextSize, &whole);
        if (value.empty())
            break;
        reading.read.push_back(key);
        // A line cut at 259 characters is still parsed and expanded, as setup does.
        FileListLine line;
        bool accepted = ParseFileListLine(value.c_str(), &line) != 0;
        if (whole >= kFileListTextSize)
            reading.result->problems.Error(key,
                                           "is " + std::to_string(whole) +
                                               " characters long; setup reads only the first " +
                                               std::to_string(kFileListTextSize - 1));
        else if (!accepted)
            reading.result->problems.Error(key, RejectReason(value));
        if (accepted)
            ExpandLine(reading, key, line);
    }
}

} // namespace

std::string RejectReason(const std::string &value)
{
    char work[kFileListTextSize];
    snprintf(work, sizeof work, "%s", value.c_str());
    RemoveBlanks(work);
    const char *at = work;
    const char *fields[7] = {work};
    int commas = 0;
    for (; commas < 6; ++commas) {
        at = strchr(at, ',');
        if (!at)
            return "has " + std::to_string(commas) +
                   " of the six commas between its seven fields; setup skips it";
        fields[commas + 1] = ++at;
    }
    if (!strchr(at, ';'))
        return "does not end with ';'; setup skips it";
    std::string folder(fields[2], fields[3] - 1 - fields[2]);
    if (!StaysBelow(folder.c_str()))
        return "its sub-folder " + Quoted(folder) + " would leave the destination; setup skips it";
    char lastChar = fields[2][-2];
    return std::string("its replacement character '") + lastChar +
           "' cannot end a file name; setup skips it";
}

void ReadFileList(const CheckOptions &options, const Profile &data, const std::string &moduleFile,
                  CheckResult *result)
{
    Reading reading(options, moduleFile, result);
    UseRoom(reading, DeclaredRoom(options, data, result));
    ListFolder(options.distribution, &reading.items);
    SetupView(&reading.items, result->codePage);
    ReadLines(reading, data);
    std::vector<std::string> fileListKeys = reading.read;
    ReadStoredList(reading, data);
    if (reading.listFull.Told() > 0)
        result->problems.Error("FILELIST", std::to_string(reading.listFull.Told()) +
                                               " files find no place: setup lists at most " +
                                               std::to_string(reading.slots) +
                                               " and shows \"No more copy-list place\" for each");
    ReportUnreadKeys(data, fileListKeys, result);
    // The plan, slot by slot: the order of the copy.
    InstalledFiles installed(result->codePage);
    for (int slot = 0; slot < CopySlotEnd(); ++slot) {
        if (g_copyList.slots[slot].inUse)
            PlanEntry(options, reading.items, g_copyList.slots[slot],
                      reading.read[reading.origin[slot]], &installed, result);
    }
    ReportUnshipped(reading);
}
