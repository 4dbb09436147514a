// The texts a distribution carries for setup: kvlsetup.dat ([GENERAL],
// [FILELIST], [STORED] and the sections the manifest passes on) and the
// licence as the agreement box reads it.
#pragma once

#include "build/manifest.h"
#include "common/diagnostics.h"

#include <string>

// kvlsetup.dat for the planned `manifest`.
std::string DataFileText(const Manifest &manifest, Diagnostics *diagnostics);

// The licence as the agreement box wants it: CRLF line ends, 15999 bytes at
// most, in the target's code page (not yet complemented).
std::string AgreementText(const Manifest &manifest, Diagnostics *diagnostics);
