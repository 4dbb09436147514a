// Reading a distribution folder as setup.exe will: the plan of what lands
// where, and every mistake that would make the installation differ from
// what its author meant; the report of both.
#pragma once

#include "check/report.h"
#include "check/result.h"

void CheckDistribution(const CheckOptions &options, CheckResult *result);

// 0 without problems, 1 with warnings only, 2 with an error.
int CheckStatus(const CheckResult &result);
