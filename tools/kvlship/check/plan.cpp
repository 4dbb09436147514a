// The plan, one copy-list slot at a time.
#include "check/plan.h"

#include "check/folder.h"
#include "check/storedfile.h"
#include "common/winpath.h"

#include <string.h>

namespace
{

// A compressed file's header names the last character of the name it was
// compressed from; the installed name must end in it.
void ReportCompressedName(const StoredFile &seen, const CopyEntry &entry, const PlannedFile &file,
                          CheckResult *result)
{
    size_t length = strlen(entry.sourceName);
    // The installed name's own last character: a [STORED] item's name is its own.
    size_t destLength = strlen(entry.destName);
    char lastChar = destLength == length ? entry.destName[length - 1]
                    : destLength > 0     ? entry.destName[destLength - 1]
                                         : 0;
    if (seen.compressed && seen.lastChar && seen.lastChar != static_cast<unsigned char>(lastChar))
        result->problems.Error(file.key, file.storedName +
                                             " was compressed from a name ending in '" +
                                             std::string(1, static_cast<char>(seen.lastChar)) +
                                             "', but the line installs it as " + entry.destName);
    if (seen.compressed && lastChar == '_')
        result->problems.Warning(
            file.key, file.storedName + " is expanded but keeps its stored name ending in '_'");
}

} // namespace

void PlanEntry(const CheckOptions &options, const std::vector<FolderItem> &items,
               const CopyEntry &entry, const std::string &key, InstalledFiles *installed,
               CheckResult *result)
{
    PlannedFile file;
    file.key = key;
    file.storedName = entry.sourceName;
    file.installed = InstalledPath(entry, result->destination);
    std::string longest =
        LongestInstalledPath(entry, result->destination, !options.destination.empty());
    std::string tooLong = WhyPathTooLong(longest);
    if (!tooLong.empty())
        result->problems.Error(key, "installs " + longest + ", which " + tooLong);
    file.replace = entry.overwrite != 0;
    // What is not a regular file was named when its line was read.
    StoredFile seen;
    const FolderItem *item = FindItem(items, entry.sourceName);
    if (item && item->kind == PathKind::File)
        seen = InspectStored(JoinHost(options.distribution, item->HostName()));
    file.compressed = seen.compressed;
    file.size = seen.size;
    if (!seen.damage.empty())
        result->problems.Error(key, file.storedName + " " + seen.damage);
    ReportCompressedName(seen, entry, file, result);
    installed->Add(file, &result->problems);
    result->files.push_back(file);
}
