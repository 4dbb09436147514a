// The check's report: the plan and every problem, as text for a person or
// as JSON for a program, both from the same records.
#pragma once

#include "check/result.h"

#include <stdio.h>

// Names from the distribution are shown in UTF-8; in the text, with their
// control characters escaped, so that they cannot rewrite a terminal.
void PrintCheck(const CheckResult &result, bool json, FILE *out = stdout);
