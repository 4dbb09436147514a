// What check is asked and what it finds: the options of one reading, the
// plan of what lands where, and the problems found on the way.
#pragma once

#include "common/diagnostics.h"
#include "common/distribution.h"

#include <string>
#include <vector>

struct PlannedFile {
    std::string key;        // the line that listed it
    std::string storedName; // name in the distribution folder
    std::string installed;  // Windows path it gets
    long long size;         // installed size in bytes
    bool compressed;
    bool replace; // replaces an existing file without asking
};

struct CheckOptions {
    std::string distribution;
    std::string destination;                   // empty: the default setup.exe would offer
    std::string module = SETUP_DEFAULT_MODULE; // setup.exe's command line
    std::string caFile; // CA certificates signatures lead to; empty: the host's roots
    int codePage = 0;   // setup's ANSI code page; 0: as the build wrote it, or 1252
};

struct CheckResult {
    std::string title;            // [GENERAL] cbTitle
    std::string destination;      // the destination the plan is made for
    std::string destination64;    // the same on 64-bit Windows (Program Files (x86)); empty
                                  // when the destination is not below Program Files
    bool destinationKnown = true; // false: a module of its own chooses it at run time, and
                                  // `destination` is only the default the plan assumes
    int codePage = 1252;          // the code page the names are read in
    std::vector<PlannedFile> files;
    std::vector<std::string> hooks; // hooks the module exports
    Diagnostics problems;
    std::vector<std::string> notes; // what was not looked at, and why: no problem
};
