// The `new` verb: a starting manifest for a folder of the product's files.
#pragma once

#include <string>

// Writes a starting manifest at `manifest` for the files below `folder`;
// warns when they are more than the engine in `engine` installs. Returns 0,
// or 2 when nothing was written.
int WriteNewManifest(const std::string &manifest, const std::string &folder,
                     const std::string &engine);
