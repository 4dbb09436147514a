// The data file's [FILELIST] lines and the stock module's [STORED] items,
// read into setup's own copy list as setup.exe reads them: the plan, slot
// by slot, and every line that would not do what it says.
#pragma once

#include "check/result.h"
#include "common/profile.h"

#include <string>

// Fills result->files (result->destination and result->codePage set first).
void ReadFileList(const CheckOptions &options, const Profile &data, const std::string &moduleFile,
                  CheckResult *result);

// Why ParseFileListLine refused `value`, in the author's terms.
std::string RejectReason(const std::string &value);
