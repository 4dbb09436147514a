// The distribution folder as setup's directory search sees it: the items a
// name or a pattern finds, and why a found item cannot be installed.
#pragma once

#include "common/hostfs.h"

#include <string>
#include <vector>

// The items `pattern` matches, in the folder's order. `items` are sorted by
// name (ListFolder, SetupView); a pattern without a wildcard is looked up,
// so that many lines cost no more than many look-ups.
std::vector<const FolderItem *> Matches(const std::vector<FolderItem> &items, const char *pattern,
                                        int codePage);

// The item named exactly `name`, or nullptr.
const FolderItem *FindItem(const std::vector<FolderItem> &items, const std::string &name);

// Why a matched item cannot be installed as it is; empty when it can.
std::string WhyNotInstallable(const FolderItem &item);
