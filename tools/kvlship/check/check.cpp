#include "check/check.h"
#include "formats/engine.h"

#include "check/stockcheck.h"
#include "common/codepage.h"
#include "common/hostfs.h"
#include "common/profile.h"
#include "common/textout.h"
#include "common/winpath.h"
#include "formats/pe.h"
#include "formats/signing.h"
#include "formats/storedlist.h"
#include "stock/settings.h"

#include "codec/szdd.h"
#include "copy/copylist.h"
#include "copy/filelist.h"
#include "copy/listfull.h"
#include "util/paths.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

namespace
{

int g_listFullTold;

// The code page the build laid the distribution out for ([GENERAL] cbCodePage).
int DataFileCodePage(const Profile &data)
{
    int codePage = atoi(ReadProfileValue(data, "GENERAL", "cbCodePage", 16).c_str());
    return KnownCodePage(codePage) ? codePage : kDefaultCodePage;
}

void Add(CheckResult *result, Severity severity, const std::string &key, const std::string &text)
{
    result->problems.Add(severity, key, text);
}

std::string ItemKey(int n)
{
    char key[24];
    snprintf(key, sizeof key, SETUP_ITEM_KEY, n);
    return key;
}

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

// Why ParseFileListLine refused `value`, in the author's terms.
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

struct Inspection {
    bool compressed = false;
    long long size = 0;
    std::string damage;         // empty when the file is sound
    unsigned char lastChar = 0; // from a compressed file's header
};

// Looks at a stored file as the copy will: plain, or SZDD to expand whole.
// A compressed file is read a chunk at a time, a plain one not at all.
Inspection Inspect(const std::string &path)
{
    Inspection seen;
    FILE *file = OpenPlainFile(path, false);
    if (!file) {
        seen.damage = "cannot be read";
        return seen;
    }
    static unsigned char chunk[1 << 16], room[1 << 16];
    size_t got = fread(chunk, 1, sizeof chunk, file);
    seen.size = FileSize(path);
    seen.compressed = SzddStartsLike(chunk, got);
    SzddHeader header;
    if (seen.compressed && SzddParseHeader(chunk, got, &header)) {
        seen.lastChar = header.lastChar;
        seen.size = header.size;
    }
    static SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    SzddStatus status = kSzddNeedInput;
    while (seen.compressed && status == kSzddNeedInput) {
        // A short read is the end of a plain file (or an error, told below).
        bool ends = got < sizeof chunk;
        size_t at = 0;
        do {
            size_t used = 0, made = 0;
            status =
                SzddDecode(&decoder, chunk + at, got - at, &used, room, sizeof room, &made, ends);
            at += used;
        } while (status == kSzddNeedOutput);
        if (!ends)
            got = fread(chunk, 1, sizeof chunk, file);
    }
    if (ferror(file))
        seen.damage = "cannot be read";
    else if (status == kSzddCut)
        seen.damage = "is a compressed file cut short; its copy will fail";
    else if (seen.compressed && status != kSzddComplete)
        seen.damage = "is a damaged compressed file; its copy will fail";
    fclose(file);
    return seen;
}

std::string Windows(const std::string &folder, const std::string &relative)
{
    char path[1024];
    if (!JoinPath(path, sizeof path, folder.c_str(), relative.c_str()))
        return folder + "\\" + relative;
    return path;
}

bool IsEngineFile(const std::string &name, const std::string &moduleFile)
{
    return CompareNames(name, "setup.exe") == 0 || CompareNames(name, kDataFileName) == 0 ||
           CompareNames(name, kLicenceName) == 0 || CompareNames(name, moduleFile) == 0 ||
           CompareNames(name, kBuildRecordName) == 0 || CompareNames(name, kUninstallerName) == 0;
}

bool ByName(const FolderItem &a, const FolderItem &b)
{
    return CompareNames(a.name, b.name) < 0;
}

// The items `pattern` matches. A pattern without a wildcard is looked up
// (the folder is sorted by name), so that many lines cost no more than many
// look-ups.
std::vector<const FolderItem *> Matches(const std::vector<FolderItem> &items, const char *pattern,
                                        int codePage)
{
    std::vector<const FolderItem *> found;
    // A name beyond ASCII compares by its characters' case, not its bytes'.
    bool ascii = true;
    for (const char *c = pattern; *c; ++c)
        ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
    // A "~" may spell a short alias, which only the search below tries.
    if (!strpbrk(pattern, "*?~") && ascii) {
        auto range = std::equal_range(items.begin(), items.end(),
                                      FolderItem{pattern, PathKind::Missing}, ByName);
        for (auto it = range.first; it != range.second; ++it)
            found.push_back(&*it);
        return found;
    }
    for (const FolderItem &item : items) {
        if (WildcardMatch(pattern, item.name.c_str(), codePage))
            found.push_back(&item);
    }
    return found;
}

// The item named exactly `name`, or nullptr.
const FolderItem *FindItem(const std::vector<FolderItem> &items, const std::string &name)
{
    auto range =
        std::equal_range(items.begin(), items.end(), FolderItem{name, PathKind::Missing}, ByName);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->name == name)
            return &*it;
    }
    return nullptr;
}

// Why a matched item cannot be installed as it is; empty when it can.
std::string WhyNotInstallable(const FolderItem &item)
{
    switch (item.kind) {
    case PathKind::Folder:
        return "matches the folder " + Quoted(item.name) + "; its copy will fail";
    case PathKind::Link:
        return "matches " + Quoted(item.name) +
               ", a symbolic link: kvlship follows none and the trial copies none; ship the file "
               "itself";
    case PathKind::Special:
        return "matches " + Quoted(item.name) +
               ", a device, FIFO or socket, not a file; its copy will fail";
    default:
        break;
    }
    if (HasControl(item.name))
        return "matches " + Quoted(item.name) +
               ", whose name holds a control character, which no Windows name holds; its copy "
               "will fail";
    std::string notKept = WhyNotWindowsName(item.name);
    if (!notKept.empty())
        return "matches " + Quoted(item.name) + ", which " + notKept + "; its copy will fail";
    return "";
}

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
};

// Installed path of an entry, for the plan's destination.
std::string InstalledPath(const CopyEntry &entry, const std::string &destination)
{
    if (entry.toWindowsFolder)
        return Windows(kWindowsFolder, entry.destName);
    if (!entry.subFolder[0])
        return Windows(destination, entry.destName);
    return Windows(Windows(destination, entry.subFolder), entry.destName);
}

// `name` was refused as a duplicate: says which line listed it first.
void ReportShadowed(const Reading &reading, const std::string &key, const std::string &name)
{
    for (int slot = 0; slot < CopySlotEnd(); ++slot) {
        const CopyEntry &first = g_copyList.slots[slot];
        if (!first.inUse || strcmp(first.sourceName, name.c_str()) != 0)
            continue;
        std::string where = first.toWindowsFolder ? Windows("<Windows>", first.destName)
                                                  : Windows(first.subFolder, first.destName);
        Add(reading.result, Severity::Warning, key,
            name + " is already listed by " + reading.read[reading.origin[slot]] +
                " (installed as " + where +
                "); the first line wins, so this one adds nothing for it");
    }
}

// Adds the files one accepted line matches, as ExpandFileListLine does.
void ExpandLine(Reading &reading, const std::string &key, const FileListLine &line)
{
    CheckResult *result = reading.result;
    int matched = 0, added = 0, toldBefore = g_listFullTold;
    if (HasControl(line.subFolder))
        Add(result, Severity::Error, key,
            "its sub-folder holds a control character, which no Windows name holds");
    std::string folderKept = WhyNotWindowsPath(line.subFolder);
    if (line.subFolder[0] && !folderKept.empty())
        Add(result, Severity::Error, key, "its sub-folder's name " + folderKept);
    for (const FolderItem *found : Matches(reading.items, line.pattern, result->codePage)) {
        const FolderItem &item = *found;
        ++matched;
        std::string why = WhyNotInstallable(item);
        if (!why.empty())
            Add(result, Severity::Error, key, why);
        if (IsEngineFile(item.name, reading.moduleFile))
            Add(result, Severity::Warning, key,
                "installs " + item.name + ", a file of the setup itself");
        char destName[kFileListTextSize];
        ReplaceLastChar(destName, sizeof destName, item.name.c_str(), line.lastChar);
        std::string destKept = WhyNotWindowsName(destName);
        if (why.empty() && !destKept.empty())
            Add(result, Severity::Error, key,
                "installs " + item.name + " as " + Quoted(destName) + ", which " + destKept +
                    "; its copy will fail");
        // The size only; the plan reads each listed file once, later.
        long long size = FileSize(JoinHost(reading.options.distribution, item.HostName()));
        int told = g_listFullTold;
        int slot = AddCopyEntry(item.name.c_str(), destName, line.subFolder, line.toWindowsFolder,
                                line.spareFlag1, line.overwrite, line.spareFlag2, size, 0);
        if (slot >= 0) {
            reading.origin[slot] = static_cast<int>(reading.read.size()) - 1;
            ++added;
        } else if (g_listFullTold == told) {
            ReportShadowed(reading, key, item.name);
        }
    }
    // Wine takes "*." for every name and "NAME." for none; Windows takes a
    // final '.' for "no extension". The plan follows Wine's reading.
    size_t length = strlen(line.pattern);
    if (length > 1 && line.pattern[length - 1] == '.')
        Add(result, Severity::Warning, key,
            "pattern " + Quoted(line.pattern) +
                " ends in '.', which Windows and Wine read differently; name the files");
    if (matched == 0)
        Add(result, Severity::Error, key,
            "pattern " + Quoted(line.pattern) + " matches no file in the distribution");
    else if (added == 0 && g_listFullTold == toldBefore)
        Add(result, Severity::Error, key,
            "installs nothing: every file it matches is listed before it");
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
            Add(result, Severity::Warning, key.name,
                "appears twice in [FILELIST]; setup reads only the first");
            continue;
        }
        if (wasRead.count(&key))
            continue;
        if (CompareNames(key.name.substr(0, 6), "cbItem") == 0)
            Add(result, Severity::Error, key.name,
                "is never read: setup reads cbItem00, cbItem01, ... and stops at " + stop +
                    (stopKey ? ", which is empty" : ", which is missing"));
        else
            Add(result, Severity::Warning, key.name, "is not a file-list key; setup ignores it");
    }
}

// The plan's line for one slot, and what its stored file tells.
void PlanEntry(const Reading &reading, const CopyEntry &entry, const std::string &key)
{
    CheckResult *result = reading.result;
    PlannedFile file;
    file.key = key;
    file.storedName = entry.sourceName;
    file.installed = InstalledPath(entry, result->destination);
    // By default a 32-bit setup installs below "Program Files (x86)" on
    // 64-bit Windows: the longer path is the one that must fit.
    std::string longest = file.installed;
    if (reading.options.destination.empty() && !entry.toWindowsFolder &&
        result->destination.compare(0, strlen(kProgramFiles), kProgramFiles) == 0)
        longest = InstalledPath(entry, kProgramFilesX86 +
                                           result->destination.substr(strlen(kProgramFiles)));
    std::string tooLong = WhyPathTooLong(longest);
    if (!tooLong.empty())
        Add(result, Severity::Error, key, "installs " + longest + ", which " + tooLong);
    file.replace = entry.overwrite != 0;
    // What is not a plain file was named when its line was read.
    Inspection seen;
    const FolderItem *item = FindItem(reading.items, entry.sourceName);
    if (item && item->kind == PathKind::File)
        seen = Inspect(JoinHost(reading.options.distribution, item->HostName()));
    file.compressed = seen.compressed;
    file.size = seen.size;
    if (!seen.damage.empty())
        Add(result, Severity::Error, key, file.storedName + " " + seen.damage);
    size_t length = strlen(entry.sourceName);
    // The installed name's own last character: a [STORED] item's name is its own.
    size_t destLength = strlen(entry.destName);
    char lastChar = destLength == length ? entry.destName[length - 1]
                    : destLength > 0     ? entry.destName[destLength - 1]
                                         : 0;
    if (seen.compressed && seen.lastChar && seen.lastChar != static_cast<unsigned char>(lastChar))
        Add(result, Severity::Error, key,
            file.storedName + " was compressed from a name ending in '" +
                std::string(1, static_cast<char>(seen.lastChar)) +
                "', but the line installs it as " + entry.destName);
    if (seen.compressed && lastChar == '_')
        Add(result, Severity::Warning, key,
            file.storedName + " is expanded but keeps its stored name ending in '_'");
    for (const PlannedFile &earlier : result->files) {
        if (CompareNames(earlier.installed, file.installed) == 0)
            Add(result, Severity::Error, key,
                file.storedName + " and " + earlier.storedName + " (" + earlier.key +
                    ") both install " + file.installed);
    }
    result->files.push_back(file);
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
        Add(reading.result, Severity::Warning, item.name,
            "ships, but no file-list line installs it" + why);
    }
}

// The stock module's [STORED] items, as its AddFiles hook sends them: each
// one copy request, right after the data file's lines.
void ReadStoredList(Reading &reading, const Profile &data)
{
    CheckResult *result = reading.result;
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
            Add(result, Severity::Error, shown, why + "; the stock module skips it");
            continue;
        }
        const FolderItem *found = FindItem(reading.items, item.stored);
        if (!found) {
            Add(result, Severity::Error, shown, item.stored + " is not in the distribution");
            continue;
        }
        if (!WhyNotInstallable(*found).empty()) {
            Add(result, Severity::Error, shown, WhyNotInstallable(*found));
            continue;
        }
        int told = g_listFullTold;
        int slot = AddCopyEntry(item.stored.c_str(), item.name.c_str(), item.subFolder.c_str(), 0,
                                0, item.replace, 0, 0, 0);
        if (slot >= 0)
            reading.origin[slot] = static_cast<int>(reading.read.size()) - 1;
        else if (g_listFullTold == told)
            ReportShadowed(reading, shown, item.stored);
    }
}

void ReadFileList(const CheckOptions &options, const Profile &data, const std::string &moduleFile,
                  CheckResult *result)
{
    // The copy list's room as setup takes it: what [GENERAL] declares, which
    // the engine shipped beside it must be able to take.
    Reading reading{options, moduleFile, result, {}, {}, {}, kCopySlots};
    const ProfileKey *declared = FindKey(data, "GENERAL", SETUP_COPY_ENTRIES_KEY);
    std::string declaredText =
        declared ? ReadProfileValue(data, "GENERAL", SETUP_COPY_ENTRIES_KEY, 32) : "";
    int slots = DeclaredCopySlots(declared ? declaredText.c_str() : nullptr);
    int engine = EngineCopyEntriesIn(options.distribution);
    if (slots < 0) {
        Add(result, Severity::Error, "GENERAL " SETUP_COPY_ENTRIES_KEY,
            "is " + Quoted(declaredText) + ", not a number from 0 to " +
                std::to_string(kMostCopyEntries) + ": setup refuses to start");
        slots = kCopySlots;
    } else if (slots > engine) {
        Add(result, Severity::Error, "GENERAL " SETUP_COPY_ENTRIES_KEY,
            "declares " + std::to_string(slots) + " entries; the setup.exe shipped takes at most " +
                std::to_string(engine));
    }
    static std::vector<CopyEntry> room;
    static std::vector<int> index;
    room.assign(static_cast<size_t>(slots), CopyEntry());
    index.assign(static_cast<size_t>(CopyIndexSize(slots)), 0);
    UseCopyRoom(room.data(), slots, index.data(), static_cast<int>(index.size()));
    reading.origin.assign(static_cast<size_t>(slots), 0);
    reading.slots = slots;
    g_listFullTold = 0;
    ListFolder(options.distribution, &reading.items);
    SetupView(&reading.items, result->codePage);

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
            Add(result, Severity::Error, key,
                "is " + std::to_string(whole) + " characters long; setup reads only the first " +
                    std::to_string(kFileListTextSize - 1));
        else if (!accepted)
            Add(result, Severity::Error, key, RejectReason(value));
        if (accepted)
            ExpandLine(reading, key, line);
    }
    std::vector<std::string> fileListKeys = reading.read;
    ReadStoredList(reading, data);
    if (g_listFullTold > 0)
        Add(result, Severity::Error, "FILELIST",
            std::to_string(g_listFullTold) + " files find no place: setup lists at most " +
                std::to_string(reading.slots) +
                " and "
                "shows \"No more copy-list place\" for each");
    ReportUnreadKeys(data, fileListKeys, result);
    // The plan, slot by slot: the order of the copy.
    for (int slot = 0; slot < CopySlotEnd(); ++slot) {
        if (g_copyList.slots[slot].inUse)
            PlanEntry(reading, g_copyList.slots[slot], reading.read[reading.origin[slot]]);
    }
    ReportUnshipped(reading);
}

// Reads a file that setup itself reads: a plain file of at most `limit`
// bytes, never through a link. Returns why it cannot, or "".
std::string ReadShipped(const CheckOptions &options, const char *name, size_t limit,
                        std::string *bytes)
{
    std::string path = JoinHost(options.distribution, name);
    switch (KindOf(path)) {
    case PathKind::Missing:
        return "is missing";
    case PathKind::Folder:
        return "is a folder";
    case PathKind::Link:
        return "is a symbolic link, which kvlship does not follow: ship the file itself";
    case PathKind::Special:
        return "is a device, FIFO or socket, not a file";
    case PathKind::File:
        break;
    }
    if (FileSize(path) > static_cast<long long>(limit))
        return "is larger than " + std::to_string(limit >> 20) + " MiB, more than kvlship reads";
    if (!ReadWholeFile(path, bytes, false, limit))
        return "cannot be read";
    return "";
}

void CheckLicence(const CheckOptions &options, CheckResult *result)
{
    std::string bytes;
    std::string why = ReadShipped(options, kLicenceName, 1 << 20, &bytes);
    long long size = FileSize(JoinHost(options.distribution, kLicenceName));
    if (size > static_cast<long long>(kLicenceLimit))
        Add(result, Severity::Error, kLicenceName,
            "holds " + std::to_string(size) + " bytes; the agreement box shows only the first " +
                std::to_string(kLicenceLimit));
    if (!why.empty()) {
        if (size <= static_cast<long long>(kLicenceLimit))
            Add(result, Severity::Error, kLicenceName, why + ": the agreement box will be empty");
        return;
    }
    // Stored complemented, ordinary text has its bytes above 0x80; text as
    // written has them below.
    size_t plain = 0;
    for (unsigned char c : bytes)
        plain += (c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n' || c == '\t';
    if (!bytes.empty() && plain * 10 >= bytes.size() * 9)
        Add(result, Severity::Error, kLicenceName,
            "is plain text, not stored complemented: the agreement box will show garbage");
    else if (bytes.empty())
        Add(result, Severity::Warning, kLicenceName, "is empty: the agreement box will be empty");
}

void CheckModule(const CheckOptions &options, const std::string &moduleFile, CheckResult *result)
{
    std::string bytes;
    std::string why = ReadShipped(options, moduleFile.c_str(), 64 << 20, &bytes);
    if (!why.empty()) {
        Add(result, Severity::Error, moduleFile,
            why + ": setup will stop with \"Error: Missing module. Setup must exit.\"");
        return;
    }
    PeModule module;
    ReadPeModule(bytes, &module);
    if (!module.problem.empty()) {
        Add(result, Severity::Error, moduleFile,
            "is " + module.problem +
                "; setup will stop with \"Error: Missing module. Setup must exit.\"");
        return;
    }
    for (const std::string &name : module.exports) {
        const char *hook;
        switch (MatchHook(name, &hook)) {
        case HookMatch::Exact:
            result->hooks.push_back(name);
            break;
        case HookMatch::Decorated:
            Add(result, Severity::Error, moduleFile,
                "exports " + Quoted(name) + ", but setup looks up " + Quoted(hook) +
                    ": export it undecorated (-Wl,--kill-at or a .def file)");
            break;
        case HookMatch::Misspelled:
            Add(result, Severity::Error, moduleFile,
                "exports " + Quoted(name) + ", which setup never calls: did you mean " +
                    Quoted(hook) + "?");
            break;
        case HookMatch::None:
            break;
        }
    }
    for (const std::string &dll : module.imports) {
        if (IsSystemDll(dll))
            continue;
        bool shipped = IsFile(JoinHost(options.distribution, dll));
        Add(result, Severity::Error, moduleFile,
            "needs " + dll + ", which is not a system DLL" +
                (shipped ? " (shipping it beside does not help: setup" : "; setup") +
                " loads libraries from the system folder only, so the module will not load: link "
                "it with -static");
    }
}

// Registration is the module's: the stock module, or one over the stock kit,
// registers the product under [PRODUCT] cbId; a module of its own through the
// registration kit, or not at all. Its file tells which (the setting's key,
// the Add/Remove Programs key), and the finding names that module.
void CheckRemoval(const CheckOptions &options, const Profile &data, const std::string &moduleFile,
                  CheckResult *result)
{
    std::string bytes;
    if (!ReadShipped(options, moduleFile.c_str(), 64 << 20, &bytes).empty())
        return; // told by CheckModule
    bool readsId = bytes.find("cbId") != std::string::npos;
    bool registers = readsId || bytes.find("CurrentVersion\\Uninstall") != std::string::npos;
    if (!registers) {
        Add(result, Severity::Warning, moduleFile,
            "registers no removal: the product cannot be uninstalled. To make it removable, call "
            "the registration kit's RegisterProduct (setupkit.h) from EndSetup and ship " +
                std::string(kUninstallerName) + ", or install with the stock module");
        return;
    }
    if (!readsId) {
        if (!IsFile(JoinHost(options.distribution, kUninstallerName)))
            Add(result, Severity::Error, kUninstallerName,
                "is missing: " + moduleFile + " cannot register the product for removal");
        return;
    }
    if (!FindSection(data, "PRODUCT"))
        return;
    if (ReadProfileValue(data, "PRODUCT", "cbId", 260).empty()) {
        Add(result, Severity::Warning, "PRODUCT cbId",
            "is missing: " + moduleFile +
                " registers no removal without it, so the product cannot be uninstalled (give "
                "the manifest's [package] an id, a version and a publisher)");
        return;
    }
    for (const char *key : {"cbVersion", "cbPublisher"}) {
        if (ReadProfileValue(data, "PRODUCT", key, 260).empty())
            Add(result, Severity::Warning, std::string("PRODUCT ") + key,
                "is missing: Add/Remove Programs shows the product without it");
    }
    if (!IsFile(JoinHost(options.distribution, kUninstallerName)))
        Add(result, Severity::Error, kUninstallerName,
            "is missing: " + moduleFile + " cannot register the product for removal and says so");
}

// Whether the plan's destination is the one setup will take: given (--dest),
// left to setup (no SetDestDir), or the stock module's cbFolder. A module of
// its own that exports SetDestDir chooses it while setup runs.
bool DestinationKnown(const CheckOptions &options, const std::string &moduleFile,
                      const CheckResult &result)
{
    if (!options.destination.empty() ||
        std::find(result.hooks.begin(), result.hooks.end(), "SetDestDir") == result.hooks.end())
        return true;
    std::string bytes;
    return ReadShipped(options, moduleFile.c_str(), 64 << 20, &bytes).empty() &&
           bytes.find(STOCK_MODULE_MARK) != std::string::npos;
}

} // namespace

// The shell's lists tell the user when they are full; here that is counted.
void TellListFull(const char *, const char *)
{
    ++g_listFullTold;
}

void CheckDistribution(const CheckOptions &options, CheckResult *result)
{
    *result = CheckResult();
    if (!IsFolder(options.distribution)) {
        Add(result, Severity::Error, options.distribution, "is not a folder");
        return;
    }
    PathKind setup = KindOf(JoinHost(options.distribution, "setup.exe"));
    if (setup != PathKind::File)
        Add(result, Severity::Error, "setup.exe",
            setup == PathKind::Missing ? "is missing" : "is not a plain file");
    std::string text;
    Profile data;
    std::string why = ReadShipped(options, kDataFileName, 16 << 20, &text);
    if (!why.empty())
        Add(result, Severity::Error, kDataFileName, why + ": setup will install nothing");
    ParseProfile(text, &data);
    result->title = ReadProfileValue(data, "GENERAL", "cbTitle", 260);
    result->codePage = options.codePage > 0 ? options.codePage : DataFileCodePage(data);

    result->destination =
        !options.destination.empty() ? options.destination : StockDestination(data);
    result->destination64 = Wow64Destination(result->destination);
    std::string moduleFile =
        (options.module.empty() ? SETUP_DEFAULT_MODULE : options.module) + ".dll";
    ReadFileList(options, data, moduleFile, result);
    if (!FindSection(data, "FILELIST") && !text.empty())
        Add(result, Severity::Error, kDataFileName,
            "has no [FILELIST] section: setup will install nothing");
    CheckStockSettings(data, result);
    CheckRemoval(options, data, moduleFile, result);
    CheckLicence(options, result);
    CheckModule(options, moduleFile, result);
    CheckSignatures(options.distribution, options.caFile, &result->problems, &result->notes);
    result->destinationKnown = DestinationKnown(options, moduleFile, *result);
    bool adds =
        std::find(result->hooks.begin(), result->hooks.end(), "AddFiles") != result->hooks.end();
    if (FindSection(data, SETUP_STORED_SECTION) && !adds)
        Add(result, Severity::Error, SETUP_STORED_SECTION,
            "lists files, but " + moduleFile +
                " has no AddFiles hook to install them (the stock module has)");
}

int CheckStatus(const CheckResult &result)
{
    return result.problems.Status();
}

void PrintCheck(const CheckResult &result, bool json)
{
    if (json) {
        printf("{\"title\": %s, \"destination\": %s, \"destination64\": %s, "
               "\"destinationKnown\": %s, \"files\": [",
               JsonString(ToUtf8(result.title, result.codePage)).c_str(),
               JsonString(ToUtf8(result.destination, result.codePage)).c_str(),
               JsonString(ToUtf8(result.destination64, result.codePage)).c_str(),
               result.destinationKnown ? "true" : "false");
        for (size_t i = 0; i < result.files.size(); ++i) {
            const PlannedFile &file = result.files[i];
            printf("%s{\"key\": %s, \"stored\": %s, \"installed\": %s, \"size\": %lld, "
                   "\"compressed\": %s, \"replace\": %s}",
                   i ? ", " : "", JsonString(ToUtf8(file.key, result.codePage)).c_str(),
                   JsonString(ToUtf8(file.storedName, result.codePage)).c_str(),
                   JsonString(ToUtf8(file.installed, result.codePage)).c_str(), file.size,
                   file.compressed ? "true" : "false", file.replace ? "true" : "false");
        }
        printf("], \"hooks\": [");
        for (size_t i = 0; i < result.hooks.size(); ++i)
            printf("%s%s", i ? ", " : "", JsonString(result.hooks[i]).c_str());
        printf("], \"problems\": [");
        for (size_t i = 0; i < result.problems.All().size(); ++i) {
            const Diagnostic &problem = result.problems.All()[i];
            printf("%s{\"severity\": \"%s\", \"key\": %s, \"text\": %s}", i ? ", " : "",
                   problem.severity == Severity::Error ? "error" : "warning",
                   JsonString(ToUtf8(problem.place, result.codePage)).c_str(),
                   JsonString(ToUtf8(problem.text, result.codePage)).c_str());
        }
        printf("], \"notes\": [");
        for (size_t i = 0; i < result.notes.size(); ++i)
            printf("%s%s", i ? ", " : "", JsonString(AnsiToUtf8(result.notes[i])).c_str());
        printf("], \"status\": %d}\n", CheckStatus(result));
        return;
    }
    // Names come from the distribution: shown in UTF-8 with their control
    // characters escaped, they cannot rewrite the report on a terminal.
    static int shownIn;
    shownIn = result.codePage;
    auto shown = [](const std::string &ansi) { return Printable(ToUtf8(ansi, shownIn)); };
    if (!result.destinationKnown)
        printf("%s installs into a folder chosen by the module at run time; the paths below "
               "stand for it with %s%s%s%s:\n",
               result.title.empty() ? "The product" : shown(result.title).c_str(),
               shown(result.destination).c_str(),
               result.destination64.empty() ? "" : " (on 64-bit Windows ",
               shown(result.destination64).c_str(), result.destination64.empty() ? "" : ")");
    else
        printf("%s installs into %s%s%s%s:\n",
               result.title.empty() ? "The product" : shown(result.title).c_str(),
               shown(result.destination).c_str(),
               result.destination64.empty() ? "" : " (on 64-bit Windows ",
               shown(result.destination64).c_str(), result.destination64.empty() ? "" : ")");
    size_t storedWidth = 0, installedWidth = 0;
    std::vector<std::string> stored, installed;
    for (const PlannedFile &file : result.files) {
        stored.push_back(shown(file.storedName));
        installed.push_back(shown(file.installed));
        storedWidth = std::max(storedWidth, stored.back().size());
        installedWidth = std::max(installedWidth, installed.back().size());
    }
    for (size_t i = 0; i < result.files.size(); ++i) {
        const PlannedFile &file = result.files[i];
        printf("  %-9s %-*s -> %-*s %10lld  %-10s %s\n", shown(file.key).c_str(),
               static_cast<int>(storedWidth), stored[i].c_str(), static_cast<int>(installedWidth),
               installed[i].c_str(), file.size, file.compressed ? "compressed" : "plain",
               file.replace ? "replace" : "ask");
    }
    printf("%zu files. Module hooks:", result.files.size());
    for (const std::string &hook : result.hooks)
        printf(" %s", shown(hook).c_str());
    printf(result.hooks.empty() ? " none\n" : "\n");
    for (const Diagnostic &problem : result.problems.All())
        PrintDiagnostic(stdout, problem, shown);
    for (const std::string &note : result.notes)
        printf("note: %s\n", shown(note).c_str());
    int status = CheckStatus(result);
    printf("%s\n", status == 0   ? "No problems found."
                   : status == 1 ? "Warnings only: setup will run, but look at them."
                                 : "Errors: this distribution will not install as meant.");
}
