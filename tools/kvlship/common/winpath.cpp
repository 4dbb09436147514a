// Windows paths on any host: drive C: below drive_c, names compared as Windows does.
#include "common/winpath.h"

#include "common/distribution.h"
#include "common/lines.h"
#include "common/textout.h"

#include "util/devicename.h"

#include <algorithm>

namespace
{

// A Windows path with '\' only, no separator at its end, letters lowered.
std::string Normal(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return Lowered(path);
}

} // namespace

std::string DriveToWindows(const std::string &relative)
{
    std::string windows = "C:\\" + relative;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

std::string WindowsToDrive(const std::string &windowsPath)
{
    if (windowsPath.size() < 3 || (windowsPath[0] != 'C' && windowsPath[0] != 'c') ||
        windowsPath[1] != ':' || (windowsPath[2] != '\\' && windowsPath[2] != '/'))
        return std::string();
    std::string relative;
    for (const std::string &name : SplitAt(windowsPath.substr(3), "\\/")) {
        if (name == "." || name == "..")
            return std::string();
        if (!name.empty())
            relative += (relative.empty() ? "" : "/") + name;
    }
    return relative;
}

bool SameWindowsPath(const std::string &a, const std::string &b)
{
    return Normal(a) == Normal(b);
}

std::string JoinWindows(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

std::string Wow64Destination(const std::string &destination)
{
    std::string base = Normal(kProgramFiles);
    std::string normal = Normal(destination);
    if (normal == base || normal.compare(0, base.size() + 1, base + "\\") == 0)
        return kProgramFilesX86 + destination.substr(sizeof kProgramFiles - 1);
    return std::string();
}

std::string WhyNotWindowsName(const std::string &name)
{
    if (IsDeviceName(name.data(), name.size()))
        return "is a device's name on Windows (CON, PRN, AUX, NUL, COM1, LPT1 and the like, "
               "with any extension): no file can have it";
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        return "ends in a dot or blank, which Windows drops: the file would land under another "
               "name";
    return "";
}

std::string WhyNotWindowsPath(const std::string &path)
{
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        std::string name = path.substr(start, end - start);
        std::string why = WhyNotWindowsName(name);
        if (!why.empty())
            return "\"" + name + "\" " + why;
        start = end + 1;
    }
    return "";
}

std::string WhyPathTooLong(const std::string &path)
{
    size_t slash = path.rfind('\\');
    size_t folder = slash == std::string::npos ? 0 : slash;
    if (path.size() > SETUP_PATH_LIMIT)
        return "is " + std::to_string(path.size()) + " characters long; setup writes paths of " +
               std::to_string(SETUP_PATH_LIMIT) + " characters at most";
    if (folder > SETUP_FOLDER_LIMIT)
        return "goes into a folder of " + std::to_string(folder) +
               " characters; the platform makes folders of " + std::to_string(SETUP_FOLDER_LIMIT) +
               " characters at most";
    return "";
}

std::string DefaultDestinationX86(const std::string &folder)
{
    return std::string(kProgramFilesX86) + "\\" + (folder.empty() ? SETUP_PRODUCT_FOLDER : folder);
}

std::string DefaultDestination(const std::string &folder)
{
    return std::string(kProgramFiles) + "\\" + (folder.empty() ? SETUP_PRODUCT_FOLDER : folder);
}
