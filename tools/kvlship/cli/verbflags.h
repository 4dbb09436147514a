// Each verb's command line read into that verb's own options: one reader a
// verb, taking only the flags the verbs' table gives it.
#pragma once

#include "build/build.h"
#include "check/check.h"
#include "cli/arguments.h"
#include "trial/tryverb.h"

#include <string>

// kvlship new MANIFEST FOLDER [--engine DIR]
struct NewOptions {
    std::string manifest;
    std::string folder;
    std::string engine;
};

// kvlship check: what is checked, and whether the report is JSON.
struct CheckCall {
    CheckOptions options;
    bool json = false;
};

// Each takes the `count` arguments after the verb's name. `ownFolder` (the
// folder kvlship runs from) is --engine's default. The options are filled
// from the plain arguments only when the call can be acted on.
VerbCall ReadNewCall(int count, char **arguments, const std::string &ownFolder,
                     NewOptions *options);
VerbCall ReadBuildCall(int count, char **arguments, const std::string &ownFolder,
                       BuildOptions *options);
VerbCall ReadCheckCall(int count, char **arguments, const std::string &ownFolder, CheckCall *check);
VerbCall ReadTryCall(int count, char **arguments, const std::string &ownFolder,
                     TryOptions *options);
