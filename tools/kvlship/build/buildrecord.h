// The build record (kvlbuild.lst): what a build wrote into a folder, so that
// the next build there replaces that and nothing else. A build never
// deletes what it did not write.
#pragma once

#include "common/diagnostics.h"
#include "common/hostfs.h"

#include <string>
#include <vector>

// The record's text for `writes`, whose first name is the record itself.
std::string RecordText(const std::vector<std::string> &writes);

// The names a record's text holds: bare names only, so that a record never
// reaches outside its folder.
std::vector<std::string> RecordedNames(const std::string &text);

// Why a build that writes `writes` may not fill a folder that holds `items`
// (with `hasRecord`, an earlier build's record naming `recorded`); empty
// when it may. Names compare as the platform's do.
std::string WhyNotReplaceable(const std::vector<FolderItem> &items, bool hasRecord,
                              const std::vector<std::string> &recorded,
                              const std::vector<std::string> &writes);

// Makes `out` ready for the files in `writes`. A folder that holds one of
// `inputs` is refused: its next build would replace or clear them. Of an
// earlier build only the files it recorded go; anything else stays, and a
// folder of files that no build recorded is left as it is.
bool PrepareOut(const std::string &out, const std::vector<std::string> &writes,
                const std::vector<std::string> &inputs, Diagnostics *diagnostics);
