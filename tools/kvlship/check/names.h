// Names and paths of what the plan installs: where a copy-list entry lands,
// which names are setup's own files, and one file installed by two lines.
#pragma once

#include "check/result.h"
#include "copy/copylist.h"

#include <string>
#include <unordered_map>
#include <vector>

// `relative` below the Windows folder `folder`.
std::string WindowsPath(const std::string &folder, const std::string &relative);

// The Windows path `entry` installs, below `destination`.
std::string InstalledPath(const CopyEntry &entry, const std::string &destination);

// The longer of the paths `entry` may get: by default a 32-bit setup
// installs below "Program Files (x86)" on 64-bit Windows, so a destination
// below Program Files that setup chooses (not `given`) is taken there.
std::string LongestInstalledPath(const CopyEntry &entry, const std::string &destination,
                                 bool given);

// True when `name` is one of setup's own files in the distribution.
bool IsEngineFile(const std::string &name, const std::string &moduleFile);

// The files the plan installs so far, by the name setup under `codePage`
// gives them: two lines that install one file, É.TXT and é.txt in code page
// 1252 too, are named. One look-up per file, not one comparison per pair.
class InstalledFiles
{
  public:
    explicit InstalledFiles(int codePage) : codePage_(codePage) {}

    // An error under `file.key` for each earlier file installed at the same
    // path; then `file` is one of the earlier ones.
    void Add(const PlannedFile &file, Diagnostics *problems);

  private:
    struct Earlier {
        std::string key, storedName;
    };
    int codePage_;
    std::unordered_map<std::u32string, std::vector<Earlier>> byName_;
};
