// The single-file package (--package NAME.exe): the stub, kvlpack.exe from
// the engine's folder, with the distribution as its payload, beside the
// distribution folder.
#pragma once

#include "build/manifest.h"
#include "build/options.h"
#include "common/diagnostics.h"

#include <string>
#include <vector>

// Where the package goes: beside the distribution folder.
std::string PackagePath(const BuildOptions &options);

// The package's name must be a bare program name, the stub must be there,
// and what lies under the name already one of kvlship's packages (a build
// replaces its own, nothing else).
void CheckPackageName(const BuildOptions &options, Diagnostics *diagnostics);

// Writes the package of the distribution's files `shipped` (signed last when asked).
bool WritePackage(const Manifest &manifest, const BuildOptions &options,
                  const std::vector<std::string> &shipped, Diagnostics *diagnostics);
