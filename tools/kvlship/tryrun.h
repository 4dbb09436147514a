// `kvlship try`: a trial installation under Wine, judged against the plan
// that `check` makes of the same distribution.
#pragma once

#include <string>

// Runs the trial and prints its report. Returns 0 when every planned file
// landed as planned and setup ended normally, 2 otherwise.
int TryDistribution(const std::string &distribution, const std::string &work,
                    const std::string &module, const std::string &engine, int timeoutSeconds,
                    bool json);
