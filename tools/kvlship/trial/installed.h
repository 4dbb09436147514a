// What an installation put on the prefix's drive C: (Linux): the files
// before and after the run, the new or changed ones with their shortcuts
// read back, and a look at any file by its Windows path for the judge.
#pragma once

#ifndef _WIN32

#include "trial/judge.h"
#include "trial/trial.h"

#include <filesystem>
#include <map>
#include <string>

struct Stamp {
    long long size;
    long long modified; // nanoseconds
};

using Snapshot = std::map<std::string, Stamp>; // path below drive_c, '/' separated

// Every regular file below `drive`; links are not followed.
Snapshot TakeSnapshot(const std::filesystem::path &drive);

// The files new or changed since `before`, but for Wine's own and those in
// the trial's folder `ownFolder`, into result->installed, with each .lnk
// among them read back into result->shortcuts; both sorted by Windows path.
void CollectInstalled(const std::filesystem::path &drive, const Snapshot &before,
                      const std::string &ownFolder, TrialResult *result);

// The judge's look at `drive`: names matched without regard to case, as
// Windows matches them, never through a link; the first MiB of a file.
DriveLook LookAtDrive(const std::filesystem::path &drive);

#endif
