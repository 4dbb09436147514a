// The stock module's settings in a distribution, judged by the module's own
// rules (modules/stock/settings.cpp): every key it would ignore, every value
// it does not know, every item it would skip or never read, each named with
// its section and key.
#pragma once

#include "check/result.h"
#include "common/profile.h"

#include <string>

// The destination the stock module settles on: `folder` below Program Files
// when the module accepts [PRODUCT] cbFolder, else the default.
std::string StockDestination(const Profile &data);

// Adds a problem for each mistake in [PRODUCT], [GROUP] and [INI]; the plan
// (result->files) must be made first, since settings name installed files.
void CheckStockSettings(const Profile &data, CheckResult *result);
