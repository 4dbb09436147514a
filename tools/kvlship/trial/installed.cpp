// What an installation put on the prefix's drive C: (see installed.h).
#include "trial/installed.h"

#ifndef _WIN32

#include "common/hostfs.h"
#include "common/textout.h"
#include "formats/shelllink.h"

#include <sys/stat.h>

#include <algorithm>

namespace
{

namespace fs = std::filesystem;

// What the judge reads of one file.
constexpr size_t kLookLimit = 1 << 20;

// The host path of `relative` below `drive`, its names matched without
// regard to case as Windows matches them; empty when there is none. Links
// are never followed.
std::string FindOnDrive(const fs::path &drive, const std::string &relative)
{
    fs::path at = drive;
    for (const fs::path &part : fs::path(relative)) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(at / part, error))) {
            at /= part;
            continue;
        }
        std::string wanted = Lowered(part.string());
        fs::path found;
        for (fs::directory_iterator it(at, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            if (Lowered(it->path().filename().string()) == wanted)
                found = it->path();
        }
        if (found.empty())
            return std::string();
        at = found;
    }
    return at.string();
}

TrialShortcut ReadShortcut(const TrialFile &file)
{
    TrialShortcut shortcut;
    shortcut.windowsPath = file.windowsPath;
    ShellLink link;
    if (!ReadShellLinkFile(file.hostPath, &link, &shortcut.problem))
        return shortcut;
    shortcut.target = link.target;
    shortcut.arguments = link.arguments;
    shortcut.workingFolder = link.workingFolder;
    shortcut.description = link.description;
    return shortcut;
}

} // namespace

Snapshot TakeSnapshot(const fs::path &drive)
{
    Snapshot snapshot;
    std::error_code error;
    // Symbolic links (Wine's links to the user's own folders) are not followed.
    fs::recursive_directory_iterator walk(drive, fs::directory_options::skip_permission_denied,
                                          error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        struct stat info;
        if (lstat(walk->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        snapshot[walk->path().lexically_relative(drive).generic_string()] = {
            static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    }
    return snapshot;
}

void CollectInstalled(const fs::path &drive, const Snapshot &before, const std::string &ownFolder,
                      TrialResult *result)
{
    Snapshot after = TakeSnapshot(drive);
    for (const auto &[relative, stamp] : after) {
        auto old = before.find(relative);
        if (IsChurn(relative, ownFolder) ||
            (old != before.end() && old->second.size == stamp.size &&
             old->second.modified == stamp.modified))
            continue;
        TrialFile file{DriveToWindows(relative), (drive / relative).string(), stamp.size};
        result->installed.push_back(file);
        if (Lowered(relative).size() > 4 &&
            Lowered(relative).compare(relative.size() - 4, 4, ".lnk") == 0)
            result->shortcuts.push_back(ReadShortcut(file));
    }
    // C:\ paths sort as a person reads them: by their Windows names.
    auto byPath = [](const auto &a, const auto &b) { return a.windowsPath < b.windowsPath; };
    std::sort(result->installed.begin(), result->installed.end(), byPath);
    std::sort(result->shortcuts.begin(), result->shortcuts.end(), byPath);
}

DriveLook LookAtDrive(const fs::path &drive)
{
    return [drive](const std::string &windowsPath, long long *size, std::string *bytes) {
        std::string relative = WindowsToDrive(windowsPath);
        std::string host = relative.empty() ? std::string() : FindOnDrive(drive, relative);
        struct stat info;
        if (host.empty() || lstat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return false;
        *size = static_cast<long long>(info.st_size);
        return !bytes || ReadWholeFile(host, bytes, false, kLookLimit);
    };
}

#endif
