// `kvlship try`: a trial installation under Wine, judged against the plan
// that `check` makes of the same distribution.
#pragma once

#include <string>

// Runs the trial and prints its report, with setup's exit code and its
// meaning. Returns 0 when every planned file landed as planned and setup
// ended with SETUP_EXIT_COMPLETE, 2 otherwise. `silent` runs setup.exe with
// /VERYSILENT and a /LOG in the work folder, and reports the log.
int TryDistribution(const std::string &distribution, const std::string &work,
                    const std::string &module, const std::string &engine, int timeoutSeconds,
                    bool silent, bool json);
