// The product's files written into the distribution folder side by side:
// each read, signed when asked, LZ-compressed unless plain, with a progress
// line each in the manifest's order.
#pragma once

#include "build/manifest.h"
#include "common/diagnostics.h"
#include "formats/signing.h"

#include <string>

// Writes every planned file of `manifest` into `out`, `jobs` at once (0: one
// per processor). The output is the same bytes whatever the number. False
// at the first file that cannot be written.
bool WriteProductFiles(const Manifest &manifest, const std::string &out, int jobs,
                       const SignOptions &sign, Diagnostics *diagnostics);
