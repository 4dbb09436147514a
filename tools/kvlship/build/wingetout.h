// The package manager's files beside the distribution folder (OUT.winget):
// the distribution as one zip archive and the winget manifest that gives
// its address and SHA-256, when [package] gives the winget identity.
#pragma once

#include "build/manifest.h"
#include "build/options.h"
#include "common/diagnostics.h"

#include <string>
#include <vector>

// Where the package manager's files go: the output folder's path with this added.
constexpr char kWingetFolderEnd[] = ".winget";

// Why `value` cannot be the winget field for kWingetKeys[index], by the
// rules of its manifest's schema; empty when it can.
std::string WhyNotWingetValue(int index, const std::string &value);

// True when [package] gives all that the winget manifest needs, each as its
// schema allows; it also takes the title as the winget name. Keys missing
// are no mistake: the build then writes the distribution alone and warns
// which keys would add the winget files.
bool ReadyForWinget(Manifest *manifest, Diagnostics *diagnostics);

// What the winget folder gets: its record, the archive, the manifest.
std::vector<std::string> WingetWrites(const Manifest &manifest);

// The distribution's files `shipped` as one zip archive, and the winget
// manifest; both in `folder`, after its record.
bool WriteWinget(const Manifest &manifest, const BuildOptions &options,
                 const std::vector<std::string> &shipped, const std::string &folder,
                 const std::vector<std::string> &writes, Diagnostics *diagnostics);
