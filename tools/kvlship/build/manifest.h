// A product's manifest read into a value: a plain-text file that says what
// the product installs, in terms of the installed product, not of the
// engine's data files.
//
//   [package]
//   title   = Orbit Viewer          shown in setup's caption ([GENERAL] cbTitle)
//   licence = licence.txt           ordinary text; stored complemented as modlic.tx_
//   module  = stock                 the stock module, or the path of the product's own DLL
//   module-name = defsetup          optional: the name setup.exe loads it by
//   id = Orbit.Viewer               optional, all six together: a package manager's
//   version = 1.0                   manifest and the zip archive it downloads, in
//   publisher = Orbit Software      OUT.winget beside OUT (the title is the winget
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
// A line starting with ';' or '#' is a comment, in every section. Paths of
// sources are relative to the manifest's folder; ${NAME} stands for a value
// given with -D NAME=VALUE. Every other section ([PRODUCT], [GROUP], [INI]
// of the stock module, or a module's own) goes into kvlsetup.dat as it is
// written, less its comments. The same manifest and files always give the
// same bytes.
#pragma once

#include "build/options.h"
#include "common/codepage.h"
#include "common/diagnostics.h"
#include "formats/winget.h"

#include "setupdist.h"

#include <string>
#include <vector>

// One [files] line: as the manifest writes it, and as the plan lays it out.
struct ProductFile {
    int line;
    std::string installed; // as written: sub-folder and name
    std::string source;    // host path
    bool plain = false, replace = false, windows = false;
    // Filled by the plan.
    std::string subFolder, name;               // as written (UTF-8)
    std::string subFolderCp, nameCp, storedCp; // as setup sees them, in the code page
    std::string stored;                        // the stored file's host name
    char lastChar = 0;
    bool bad = false;        // refused: no stored name, so no later check is about it
    bool storedItem = false; // installed by the stock module's [STORED], not a [FILELIST] line
};

// The [package] keys of the package manager's manifest, in the order told.
constexpr int kWingetKeyCount = 6;
extern const char *const kWingetKeys[kWingetKeyCount];

struct Manifest {
    std::string path;   // the manifest file, as given
    std::string folder; // host folder of the manifest
    std::string title, licence, module = "stock", moduleName = SETUP_DEFAULT_MODULE;
    std::string copyright; // the package's LegalCopyright
    // What the package manager's manifest needs beyond the title; the line of each.
    WingetIdentity winget;
    int wingetLine[kWingetKeyCount] = {};
    std::vector<ProductFile> files;
    std::string passOn;              // sections written into kvlsetup.dat as they stand
    int codePage = kDefaultCodePage; // the target's ANSI code page, [package] codepage
    bool fastCopy = false;           // [package] fast-copy = yes: setup's fast pace (cbFastCopy)

    // Where a complaint about line `line` is: MANIFEST:LINE, or MANIFEST for 0.
    std::string At(int line) const;
    bool Stock() const; // the stock module, not the product's own
    // The winget key numbered `index` in kWingetKeys.
    std::string &WingetValue(int index);
    const std::string &WingetValue(int index) const;
};

// Reads the manifest file `path`; false when it cannot be read. Each mistake
// goes to `diagnostics` as it is found, placed at its line.
bool ReadManifest(const std::string &path, const Defines &defines, Manifest *manifest,
                  Diagnostics *diagnostics);

// The same for the text of a manifest at `manifest->path`.
void ParseManifest(std::string text, const Defines &defines, Manifest *manifest,
                   Diagnostics *diagnostics);

// A source path as the manifest writes it (UTF-8), as the host opens it:
// relative to the manifest's folder unless it is absolute.
std::string SourcePath(const Manifest &manifest, const std::string &utf8);

// `text` of manifest line `line` in the target's code page; a mistake about
// `what` when it cannot be.
std::string InCodePage(const std::string &text, int line, const std::string &what,
                       const Manifest &manifest, Diagnostics *diagnostics);

// Editors that save UTF-8 may put a byte-order mark in front: it is no text
// of the vendor's, and shown in code page 1252 it would read "ï»¿".
void DropByteOrderMark(std::string *text);

// Prints every [package] key ("package title") and [files] option ("files
// plain") the manifest's reader knows, one a line.
void PrintManifestKeys();
