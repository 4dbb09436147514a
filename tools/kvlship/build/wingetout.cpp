// Checking the winget identity and writing the winget archive and manifest.
#include "build/wingetout.h"

#include "build/buildrecord.h"
#include "build/writers.h"
#include "common/digest.h"
#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/textout.h"
#include "formats/winget.h"

#include <stdio.h>

namespace
{

// PackageIdentifier: two to eight parts of 1 to 32 characters, apart by
// dots (Publisher.Product); empty when `value` is one.
std::string WhyNotIdentifier(const std::string &value)
{
    int parts = 0;
    for (size_t at = 0; at <= value.size(); ++parts) {
        size_t dot = value.find('.', at);
        size_t end = dot == std::string::npos ? value.size() : dot;
        if (end == at || end - at > 32)
            return "must be 2 to 8 parts of 1 to 32 characters apart by dots "
                   "(Publisher.Product)";
        at = end + 1;
    }
    if (parts < 2 || parts > 8)
        return "must be 2 to 8 parts apart by dots (Publisher.Product)";
    // A blank, also the no-break one, is no part of an identifier.
    if (value.find_first_of(" \xA0\\/:*?\"<>|") != std::string::npos)
        return "must hold no blank and none of \\ / : * ? \" < > |";
    return "";
}

// The archive's name: one per version, as a download site keeps them.
std::string WingetZipName(const WingetIdentity &winget)
{
    return winget.id + "-" + winget.version + ".zip";
}

} // namespace

std::string WhyNotWingetValue(int index, const std::string &value)
{
    const size_t kLongest[kWingetKeyCount] = {128, 128, 256, 512, 256, 2048};
    const size_t kShortest[kWingetKeyCount] = {1, 1, 2, 3, 3, 1};
    if (HasControl(value))
        return "holds a control character";
    if (value.size() < kShortest[index] || value.size() > kLongest[index])
        return "must be " + std::to_string(kShortest[index]) + " to " +
               std::to_string(kLongest[index]) + " characters long";
    if (index == 0)
        return WhyNotIdentifier(value);
    if (index == 1 && value.find_first_of("\\/:*?\"<>|") != std::string::npos)
        return "must hold none of \\ / : * ? \" < > |";
    if (index == 5) {
        std::string scheme = Lowered(value.substr(0, 8));
        if (!(scheme.compare(0, 7, "http://") == 0 && value.size() > 7) &&
            !(scheme == "https://" && value.size() > 8))
            return "must be an http:// or https:// address";
    }
    return "";
}

bool ReadyForWinget(Manifest *manifest, Diagnostics *diagnostics)
{
    std::string missing;
    for (int i = 0; i < kWingetKeyCount; ++i) {
        if (manifest->WingetValue(i).empty())
            missing += std::string(missing.empty() ? "" : ", ") + kWingetKeys[i];
    }
    if (!missing.empty()) {
        diagnostics->Warning("[package]", "has no " + missing +
                                              ": no zip archive or winget manifest is written "
                                              "(the distribution folder is)");
        return false;
    }
    bool ready = true;
    for (int i = 0; i < kWingetKeyCount; ++i) {
        std::string why = WhyNotWingetValue(i, manifest->WingetValue(i));
        if (!why.empty()) {
            diagnostics->Error(manifest->At(manifest->wingetLine[i]),
                               std::string(kWingetKeys[i]) + " " + why);
            ready = false;
        }
    }
    // The title is the winget name (PackageName).
    manifest->winget.name = manifest->title;
    if (manifest->title.size() < 2 || manifest->title.size() > 256) {
        diagnostics->Error(manifest->At(0), "the title is the package's name: 2 to 256 characters");
        ready = false;
    }
    return ready;
}

std::vector<std::string> WingetWrites(const Manifest &manifest)
{
    return {kBuildRecordName, WingetZipName(manifest.winget), manifest.winget.id + ".yaml"};
}

bool WriteWinget(const Manifest &manifest, const BuildOptions &options,
                 const std::vector<std::string> &shipped, const std::string &folder,
                 const std::vector<std::string> &writes, Diagnostics *diagnostics)
{
    std::string zip, why;
    if (!StoredZip(options.out, shipped, &zip, &why)) {
        diagnostics->Error(options.out, "cannot be archived: " + why);
        return false;
    }
    std::string sha256 = Sha256Hex(zip);
    std::string zipPath = JoinHost(folder, writes[1]), yamlPath = JoinHost(folder, writes[2]);
    if (!WriteOutput(JoinHost(folder, kBuildRecordName), RecordText(writes), options.manifest,
                     diagnostics) ||
        !WriteOutput(zipPath, zip, options.manifest, diagnostics) ||
        !WriteOutput(yamlPath, WingetManifest(manifest.winget, sha256, manifest.Stock()),
                     options.manifest, diagnostics))
        return false;
    printf("%s: %zu files, %zu bytes, SHA-256 %s\n%s: winget install --manifest %s\n",
           zipPath.c_str(), shipped.size(), zip.size(), sha256.c_str(), yamlPath.c_str(),
           yamlPath.c_str());
    return true;
}
