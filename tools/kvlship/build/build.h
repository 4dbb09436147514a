// Laying out a distribution folder from a product's manifest: a plain-text
// file that says what the product installs, in terms of the installed
// product, not of the engine's data files.
//
//   [package]
//   title   = Orbit Viewer          shown in setup's caption ([GENERAL] cbTitle)
//   licence = licence.txt           ordinary text; stored complemented as modlic.tx_
//   module  = stock                 the stock module, or the path of the product's own DLL
//   module-name = defsetup          optional: the name setup.exe loads it by
//   id = Orbit.Viewer               optional, all six together: a package manager's
//   version = 1.0                   manifest and the zip archive it downloads, in
//   publisher = Orbit Software      OUT.winget beside OUT (the title is the package's
//   licence-name = Proprietary      name)
//   description = Views the stars
//   download-url = https://example.com/Orbit.Viewer-1.0.zip
//
//   [files]
//   ; installed path below the destination = source file [, plain] [, replace] [, windows]
//   ORBIT.EXE          = bin/orbit.exe
//   Demos\TOUR.ONE     = media/tour.one, replace
//   Tables\STARS.kvt   = data/stars.kvt, plain
//
// Paths of sources are relative to the manifest's folder; ${NAME} stands for
// a value given with -D NAME=VALUE. Every other section ([PRODUCT], [GROUP],
// [INI] of the stock module, or a module's own) goes into kvlsetup.dat as it
// is written. The same manifest and files always give the same bytes.
#pragma once

#include "formats/signing.h"

#include <string>
#include <vector>

struct BuildOptions {
    std::string manifest;
    std::string out;
    std::string engine; // folder holding setup.exe and stock.dll
    std::vector<std::pair<std::string, std::string>> defines;
    int jobs = 0;        // files compressed at once; 0: one per processor
    SignOptions sign;    // every program written is signed when it names a certificate
    std::string package; // with a name (NAME.exe): the single-file package beside `out`
};

// Where the package manager's files go: the output folder's path with this added.
constexpr char kPackageFolderEnd[] = ".winget";

// Builds the distribution; prints progress and every mistake found.
// Returns 0 when the distribution was written, 2 when it was not.
int BuildDistribution(const BuildOptions &options);

// Prints every [package] key ("package title") and [files] option ("files
// plain") the manifest's reader knows, one a line.
void PrintManifestKeys();

// Writes a starting manifest for the files below `folder`.
int WriteNewManifest(const std::string &manifest, const std::string &folder,
                     const std::string &engine);
