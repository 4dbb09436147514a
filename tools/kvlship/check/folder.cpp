// Finding a distribution's items as setup's directory search finds them.
#include "check/folder.h"

#include "check/wording.h"
#include "common/textout.h"
#include "common/winpath.h"

#include <string.h>

#include <algorithm>

namespace
{

bool ByName(const FolderItem &a, const FolderItem &b)
{
    return CompareNames(a.name, b.name) < 0;
}

bool IsAscii(const char *text)
{
    for (const char *c = text; *c; ++c) {
        if (static_cast<unsigned char>(*c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

std::vector<const FolderItem *> Matches(const std::vector<FolderItem> &items, const char *pattern,
                                        int codePage)
{
    std::vector<const FolderItem *> found;
    // A name beyond ASCII compares by its characters' case, not its bytes';
    // a "~" may spell a short alias. Only the search below tries either.
    if (!strpbrk(pattern, "*?~") && IsAscii(pattern)) {
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
