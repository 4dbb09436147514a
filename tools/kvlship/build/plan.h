// From the manifest's [files] to the files the distribution holds: each
// one's name and sub-folder in the target's code page, its stored name
// (compressed or plain), whether a [FILELIST] line or the stock module's
// [STORED] installs it, and what the engine could not install as written.
#pragma once

#include "build/manifest.h"
#include "common/diagnostics.h"

#include <string>
#include <vector>

// Lays out every file of `manifest` (see ProductFile's planned fields);
// `engineEntries` is the most files the engine's setup.exe installs.
void PlanFiles(Manifest *manifest, int engineEntries, Diagnostics *diagnostics);

// Installed paths the copy cannot write under the default destination.
void CheckPathLengths(const Manifest &manifest, Diagnostics *diagnostics);

// The pattern that finds exactly `stored` among `names`: blanks cannot be
// written (the engine removes them), so each becomes "?". `*unique` tells
// whether it finds one name only.
std::string PatternFor(const std::string &stored, const std::vector<std::string> &names,
                       int codePage, bool *unique);
