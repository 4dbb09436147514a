// The removal that follows a complete installation (Linux): the products
// the setup registered under Add/Remove Programs, their quiet removal
// started as setup was, and what the installation made that stays.
#pragma once

#ifndef _WIN32

#include "trial/judge.h"
#include "trial/sandbox.h"
#include "trial/setuprun.h"
#include "trial/trial.h"

#include <map>
#include <string>

class Removal
{
  public:
    explicit Removal(Sandbox &sandbox) : sandbox_(sandbox) {}

    // Notes the products registered before setup runs.
    void TakeBefore() { before_ = Registered(); }
    // InstallLocation of a product the setup registered; empty when none did.
    std::string RegisteredLocation();
    // Closes the demonstration as a person would, runs the quiet removal of
    // every product the setup registered, then notes each file of
    // result->installed still there, and each key still registered.
    void Remove(const SetupRun &run, TrialResult *result);

  private:
    std::map<std::string, RegistryKey> Registered();
    int RunRemoval(const std::string &commandLine);

    Sandbox &sandbox_;
    std::map<std::string, RegistryKey> before_; // Add/Remove Programs keys
};

#endif
