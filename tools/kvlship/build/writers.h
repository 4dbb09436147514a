// Writing the distribution folder: the build's record first, then the
// engine's programs, the module, the licence, the data file and the
// product's files, each dated as its source.
#pragma once

#include "build/manifest.h"
#include "build/options.h"
#include "common/diagnostics.h"

#include <string>
#include <vector>

// What a build reads and what it writes into the distribution folder.
struct Layout {
    std::string setup, module, licence, uninstaller; // host paths read
    bool shipsUninstaller = false;
    std::vector<std::string> inputs; // every file read, the manifest first
    std::vector<std::string> writes; // every name written, the record first
};

// The engine's setup.exe and the module the planned `manifest` ships.
Layout EngineLayout(const Manifest &manifest, const BuildOptions &options);

// The files read and written, with the product's planned files.
void ListReadsAndWrites(const Manifest &manifest, const BuildOptions &options, Layout *layout);

// Writes `bytes` to `path`, dated as `dateFrom`; false (told) when it cannot.
bool WriteOutput(const std::string &path, const std::string &bytes, const std::string &dateFrom,
                 Diagnostics *diagnostics);

// Writes every file of `layout` into options.out: the record, the engine's
// programs (signed when asked), the agreement (complemented as stored), the
// data file and the product's files. False (told) at the first failure.
bool WriteDistribution(const Manifest &manifest, const BuildOptions &options, const Layout &layout,
                       std::string agreement, const std::string &data, Diagnostics *diagnostics);
