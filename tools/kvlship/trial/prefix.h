// The trial's Wine prefix (Linux): made once by wineboot with the settings
// every prefix of the project has (scripts/wine-prefix.reg, built into
// kvlship), kept below the user's cache, one per Wine and per kind (32-bit,
// or 64-bit with WoW64), and copied for each trial. A prefix maps no host
// folder but the trial's work folder.
#pragma once

#ifndef _WIN32

#include "common/diagnostics.h"
#include "trial/process.h"

#include <functional>
#include <string>

struct PrefixPlan {
    std::string prefix;     // the trial's own prefix folder (must not exist yet)
    std::string work;       // the only host folder it may reach (its home/ is there)
    std::string distFolder; // the trial's folder below C:\ (the settings go through it)
    WineRunner wine;        // the loader and the environment (WINEARCH, WINEPREFIX, ...)
    std::string wineserver;
    bool win64 = false;
    Clock::time_point deadline;
};

// Makes the trial's prefix. Returns false when it cannot, with the reason
// in `problems`; `note` hears what it did, for the trial's log.
bool MakeTrialPrefix(const PrefixPlan &plan, const std::function<void(const std::string &)> &note,
                     Diagnostics *problems);

// The folder the prefix for `plan`'s Wine and kind is kept in, between
// trials; empty without a place to keep it.
std::string KeptPrefixFolder(const PrefixPlan &plan);

// The bytes of the plain files below `folder` (links not followed).
long long FolderBytes(const std::string &folder);

// True when the path `inner` is `outer` or below it (both absolute, normal).
bool PathInside(const std::string &inner, const std::string &outer);

#endif
