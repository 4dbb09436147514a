// What a package manager downloads: the distribution folder as one stored
// zip archive, and a winget singleton manifest (ManifestVersion 1.10.0) that
// describes it: the archive's address and SHA-256, setup.exe inside it, the
// switches for its silent modes, folder and log, and what its exit codes mean.
#pragma once

#include <string>
#include <vector>

struct WingetIdentity {
    std::string id;          // PackageIdentifier: Publisher.Product
    std::string version;     // PackageVersion
    std::string publisher;   // Publisher
    std::string name;        // PackageName: the product's title
    std::string licence;     // License: the licence's name, not its text
    std::string description; // ShortDescription
    std::string url;         // InstallerUrl: where the archive is downloaded from
};

// The files `names` of `folder` (as the host names them), in that order, as a
// zip archive in `zip`, each name in UTF-8:
// stored (no compression), every member dated 1980-01-01 00:00, so that the
// same files always give the same bytes. False with `why` when a file cannot
// be read or the archive would pass what a zip without extensions holds.
bool StoredZip(const std::string &folder, const std::vector<std::string> &names, std::string *zip,
               std::string *why);

// The manifest's text (UTF-8 YAML) for an archive whose SHA-256 is `sha256`
// (64 hexadecimal digits). The texts of `info` are in the ANSI code page.
// With `registered`, the product registers itself for removal under its id
// (the stock module does), and the manifest names that entry.
std::string WingetManifest(const WingetIdentity &info, const std::string &sha256, bool registered);
