// The plan's line for one copy-list slot: where it installs, how large, and
// what its stored file tells (damage, the name it was compressed from).
#pragma once

#include "check/names.h"
#include "check/result.h"
#include "common/hostfs.h"
#include "copy/copylist.h"

#include <string>
#include <vector>

// Adds the line of `entry`, listed by `key`, to result->files, and a
// problem for each of its mistakes; `installed` holds the lines before it.
void PlanEntry(const CheckOptions &options, const std::vector<FolderItem> &items,
               const CopyEntry &entry, const std::string &key, InstalledFiles *installed,
               CheckResult *result);
