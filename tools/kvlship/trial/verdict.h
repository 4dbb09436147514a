// Whether a trial passed: setup's exit code, the run's stages, the boxes,
// the judgement of the drive and the removal, as faults; and what the
// vendor should know without a fault, as warnings.
#pragma once

#include "trial/trial.h"

#include <string>
#include <vector>

// setup.exe's exit code says the installation is complete (perhaps once
// Windows restarts to replace files in use).
bool SetupInstalled(int exitCode);

struct TrialVerdict {
    bool passed = false;
    std::vector<std::string> faults;
    std::vector<std::string> warnings;
};

// `silent`: setup ran with /VERYSILENT, showing no agreement nor stage.
TrialVerdict JudgeTrial(const TrialResult &trial, bool silent);

// What setup.exe's exit code means, and the code with it ("none" for -1).
std::string ExitMeaning(const TrialResult &trial);
std::string ExitText(const TrialResult &trial);
