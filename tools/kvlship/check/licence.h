// The licence agreement setup.exe shows (modlic.tx_): there, no longer than
// the box shows, and stored complemented as setup reads it.
#pragma once

#include "check/result.h"

#include <string>

// True when `bytes` read as text as written (nine in ten printable ASCII,
// CR, LF or tab), which complemented text never does.
bool LooksWritten(const std::string &bytes);

void CheckLicence(const CheckOptions &options, CheckResult *result);
