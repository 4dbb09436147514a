// The build record: its text, reading it back, and what a rebuild may
// replace or remove.
#include "build/buildrecord.h"

#include "common/distribution.h"
#include "common/lines.h"

#include "util/paths.h"

#include <stdio.h>

namespace
{

bool Holds(const std::vector<std::string> &names, const std::string &name)
{
    for (const std::string &held : names) {
        if (CompareNames(held, name) == 0)
            return true;
    }
    return false;
}

// The names an earlier build recorded in `out`; false when it left no record.
bool ReadRecord(const std::string &out, std::vector<std::string> *names)
{
    std::string text;
    if (!ReadWholeFile(JoinHost(out, kBuildRecordName), &text, false, 1 << 20))
        return false;
    *names = RecordedNames(text);
    return true;
}

} // namespace

std::string RecordText(const std::vector<std::string> &writes)
{
    std::string record = "; Written by kvlship build; the next build into this folder replaces "
                         "these files and no other.\r\n";
    for (size_t i = 1; i < writes.size(); ++i)
        record += writes[i] + "\r\n";
    return record;
}

std::vector<std::string> RecordedNames(const std::string &text)
{
    std::vector<std::string> names;
    for (const std::string &line : SplitLines(text)) {
        std::string name = Trim(line);
        if (!name.empty() && name[0] != ';' && IsPlainName(name.c_str()))
            names.push_back(name);
    }
    return names;
}

std::string WhyNotReplaceable(const std::vector<FolderItem> &items, bool hasRecord,
                              const std::vector<std::string> &recorded,
                              const std::vector<std::string> &writes)
{
    if (!items.empty() && !hasRecord)
        return "holds files that no build recorded in " + std::string(kBuildRecordName) +
               "; left as it is (give a new or empty folder)";
    for (const FolderItem &item : items) {
        if (Holds(writes, item.name) && !Holds(recorded, item.name) &&
            CompareNames(item.name, kBuildRecordName) != 0)
            return "holds " + item.name + ", which no build wrote; left as it is";
    }
    return "";
}

bool PrepareOut(const std::string &out, const std::vector<std::string> &writes,
                const std::vector<std::string> &inputs, Diagnostics *diagnostics)
{
    auto refuse = [&](const std::string &text) {
        diagnostics->Error(out, text);
        return false;
    };
    for (const std::string &input : inputs) {
        if (SameFolder(HostFolderOf(input), out))
            return refuse("holds " + input +
                          ", which the build reads; give the build a folder of its own");
    }
    if (KindOf(out) == PathKind::Missing && !MakeFolders(out))
        return refuse("cannot be made");
    std::vector<FolderItem> items;
    std::vector<std::string> recorded;
    if (!IsFolder(out) || !ListFolder(out, &items))
        return refuse("is not a folder");
    bool hasRecord = !items.empty() && ReadRecord(out, &recorded);
    std::string why = WhyNotReplaceable(items, hasRecord, recorded, writes);
    if (!why.empty())
        return refuse(why);
    for (const std::string &name : recorded) {
        std::string path = JoinHost(out, name);
        PathKind kind = KindOf(path);
        if ((kind == PathKind::File || kind == PathKind::Link) && remove(path.c_str()) != 0)
            return refuse("holds " + name + ", which cannot be removed");
    }
    return true;
}
