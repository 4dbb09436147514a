// The build verb: a product's manifest laid out as a distribution folder,
// with the winget files and the single-file package when asked. The room's
// other verbs (new, keys) are declared beside it for the verbs' table.
#pragma once

#include "build/manifest.h"
#include "build/new.h"
#include "build/options.h"

// Builds the distribution; prints progress and every mistake found.
// Returns 0 when the distribution was written, 2 when it was not.
int BuildDistribution(const BuildOptions &options);
