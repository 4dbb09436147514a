// The module setup.exe loads: its file, the hooks it exports, the DLLs it
// needs, whether it registers a removal, and whether it chooses the
// destination itself.
#pragma once

#include "check/result.h"
#include "common/profile.h"

#include <string>

// The module's file and what it exports and imports; the hooks found go to
// result->hooks.
void CheckModule(const CheckOptions &options, const std::string &moduleFile, CheckResult *result);

// Whether the product can be uninstalled: who registers it, with what.
void CheckRemoval(const CheckOptions &options, const Profile &data, const std::string &moduleFile,
                  CheckResult *result);

// Whether the plan's destination is the one setup will take (CheckModule first).
bool DestinationKnown(const CheckOptions &options, const std::string &moduleFile,
                      const CheckResult &result);

// True when the module exports `hook` (CheckModule first).
bool ExportsHook(const CheckResult &result, const char *hook);
