#include "storedlist.h"

#include <string.h>

namespace
{

std::string Trim(const std::string &text)
{
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// A name the file system holds: not empty, not dots and blanks alone, none
// of its reserved characters.
bool IsNameText(const std::string &name)
{
    bool meaningful = false;
    for (unsigned char c : name) {
        if (c < ' ' || strchr("<>:\"/\\|?*", c))
            return false;
        meaningful = meaningful || (c != '.' && c != ' ');
    }
    return meaningful;
}

} // namespace

std::string StoredValue(const StoredItem &item)
{
    return item.stored + "|" + (item.subFolder.empty() ? "" : item.subFolder + "\\") + item.name +
           "|" + (item.replace ? "1" : "0");
}

std::string ParseStoredItem(const std::string &value, StoredItem *item)
{
    size_t first = value.find('|');
    if (first == std::string::npos)
        return "is not \"stored name|installed path|replace\"";
    size_t second = value.find('|', first + 1);
    item->stored = Trim(value.substr(0, first));
    std::string installed = Trim(value.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
    item->replace = second != std::string::npos && Trim(value.substr(second + 1)) == "1";
    if (!IsNameText(item->stored))
        return "its stored name \"" + item->stored + "\" is not a plain name";
    for (size_t start = 0;;) {
        size_t slash = installed.find('\\', start);
        std::string part =
            installed.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!IsNameText(part))
            return "its installed path \"" + installed +
                   "\" is not names joined by backslashes below the destination";
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    size_t slash = installed.rfind('\\');
    item->subFolder = slash == std::string::npos ? "" : installed.substr(0, slash);
    item->name = slash == std::string::npos ? installed : installed.substr(slash + 1);
    return "";
}
