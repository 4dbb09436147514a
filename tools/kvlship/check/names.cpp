// Names and paths of what the plan installs.
#include "check/names.h"

#include "common/codepage.h"
#include "common/hostfs.h"
#include "util/paths.h"

#include <string.h>

std::string WindowsPath(const std::string &folder, const std::string &relative)
{
    char path[1024];
    if (!JoinPath(path, sizeof path, folder.c_str(), relative.c_str()))
        return folder + "\\" + relative;
    return path;
}

std::string InstalledPath(const CopyEntry &entry, const std::string &destination)
{
    if (entry.toWindowsFolder)
        return WindowsPath(kWindowsFolder, entry.destName);
    if (!entry.subFolder[0])
        return WindowsPath(destination, entry.destName);
    return WindowsPath(WindowsPath(destination, entry.subFolder), entry.destName);
}

std::string LongestInstalledPath(const CopyEntry &entry, const std::string &destination, bool given)
{
    if (given || entry.toWindowsFolder ||
        destination.compare(0, strlen(kProgramFiles), kProgramFiles) != 0)
        return InstalledPath(entry, destination);
    return InstalledPath(entry, kProgramFilesX86 + destination.substr(strlen(kProgramFiles)));
}

bool IsEngineFile(const std::string &name, const std::string &moduleFile)
{
    return CompareNames(name, "setup.exe") == 0 || CompareNames(name, kDataFileName) == 0 ||
           CompareNames(name, kLicenceName) == 0 || CompareNames(name, moduleFile) == 0 ||
           CompareNames(name, kBuildRecordName) == 0 || CompareNames(name, kUninstallerName) == 0;
}

void InstalledFiles::Add(const PlannedFile &file, Diagnostics *problems)
{
    std::vector<Earlier> &same = byName_[FoldedName(file.installed, codePage_)];
    for (const Earlier &earlier : same)
        problems->Error(file.key, file.storedName + " and " + earlier.storedName + " (" +
                                      earlier.key + ") both install " + file.installed);
    same.push_back({file.key, file.storedName});
}
