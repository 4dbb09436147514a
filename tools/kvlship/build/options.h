// What `kvlship build` is asked to do: the manifest, the output folder, the
// engine's folder and the flags that shape the build.
#pragma once

#include "formats/signing.h"

#include <string>
#include <utility>
#include <vector>

// -D NAME=VALUE, in the order given: ${NAME} in the manifest stands for VALUE.
using Defines = std::vector<std::pair<std::string, std::string>>;

struct BuildOptions {
    std::string manifest;
    std::string out;
    std::string engine; // folder holding setup.exe and stock.dll
    Defines defines;
    int jobs = 0;        // files compressed at once; 0: one per processor
    SignOptions sign;    // every program written is signed when it names a certificate
    std::string package; // with a name (NAME.exe): the single-file package beside `out`
};
