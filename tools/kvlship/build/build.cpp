// The build's steps in order: read, plan and check everything, write
// nothing while a mistake stands, then the distribution folder, the winget
// files and the single-file package.
#include "build/build.h"

#include "build/buildrecord.h"
#include "build/datafile.h"
#include "build/packageout.h"
#include "build/plan.h"
#include "build/wingetout.h"
#include "build/writers.h"
#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/textout.h"
#include "common/winpath.h"
#include "formats/engine.h"

#include "util/paths.h"

#include <stdio.h>

namespace
{

// What the build reads besides the manifest: the engine, the module, the
// names and values the data file gets.
void CheckInputs(const Manifest &manifest, const BuildOptions &options, const Layout &layout,
                 Diagnostics *diagnostics)
{
    std::string at = manifest.At(0);
    if (!IsFile(layout.setup))
        diagnostics->Error(at, layout.setup +
                                   " is missing: give the engine's folder with --engine DIR");
    if (!IsFile(layout.module))
        diagnostics->Error(at, "module " + layout.module + " is missing");
    const std::string &name = manifest.moduleName;
    if (name.empty() || !IsPlainName(name.c_str()) || HasControl(name) ||
        name.find_first_of("*?<>\"|:") != std::string::npos ||
        !WhyNotWindowsName(name + ".dll").empty())
        diagnostics->Error(at, "module-name must be a plain name");
    // A line break in the title would start lines of its own in kvlsetup.dat.
    if (HasControl(manifest.title))
        diagnostics->Error(at,
                           "the title holds a control character (a -D value with a line break?)");
    for (const auto &define : options.defines) {
        if (define.second.find_first_of("\r\n") != std::string::npos)
            diagnostics->Error(at, "-D " + define.first + ": its value holds a line break");
    }
}

// What the build's flags ask beyond the distribution: signing that works,
// a package's name that may be written.
void CheckRequests(const BuildOptions &options, const Layout &layout, Diagnostics *diagnostics)
{
    std::string cannotSign;
    if (!options.sign.certificate.empty() && IsFile(layout.setup) &&
        !SigningWorks(options.sign, layout.setup, &cannotSign))
        diagnostics->Error("--sign", cannotSign);
    if (!options.package.empty())
        CheckPackageName(options, diagnostics);
}

// The winget files go into a folder of their own beside the distribution's,
// with its own record: inside, they would ship in themselves and be files
// that setup's folder holds but no line installs. Empty (told) when it
// cannot be had.
std::string PrepareWingetFolder(const Manifest &manifest, const BuildOptions &options,
                                const Layout &layout, Diagnostics *diagnostics)
{
    std::string folder = FullPath(options.out);
    if (folder.empty()) {
        diagnostics->Error(options.out, "has no full path");
        return "";
    }
    folder += kWingetFolderEnd;
    if (!PrepareOut(folder, WingetWrites(manifest), layout.inputs, diagnostics))
        return "";
    return folder;
}

} // namespace

int BuildDistribution(const BuildOptions &options)
{
    Manifest manifest;
    Diagnostics diagnostics(stderr, Printable);
    if (!ReadManifest(options.manifest, options.defines, &manifest, &diagnostics))
        return 2;
    Layout layout = EngineLayout(manifest, options);
    PlanFiles(&manifest, EngineCopyEntriesIn(options.engine), &diagnostics);
    CheckPathLengths(manifest, &diagnostics);
    CheckInputs(manifest, options, layout, &diagnostics);
    std::string agreement = AgreementText(manifest, &diagnostics);
    std::string data = DataFileText(manifest, &diagnostics);
    bool winget = ReadyForWinget(&manifest, &diagnostics);
    CheckRequests(options, layout, &diagnostics);
    if (int count = diagnostics.ErrorCount()) {
        fprintf(stderr, "kvlship: %d mistake%s; nothing written\n", count, count == 1 ? "" : "s");
        return 2;
    }

    ListReadsAndWrites(manifest, options, &layout);
    if (!PrepareOut(options.out, layout.writes, layout.inputs, &diagnostics))
        return 2;
    std::string wingetFolder;
    if (winget) {
        wingetFolder = PrepareWingetFolder(manifest, options, layout, &diagnostics);
        if (wingetFolder.empty())
            return 2;
    }
    if (!WriteDistribution(manifest, options, layout, agreement, data, &diagnostics)) {
        diagnostics.Error(options.out, "holds an incomplete distribution");
        return 2;
    }
    printf("%s: %zu files, setup.exe, %s.dll, %s, %s\n", options.out.c_str(), manifest.files.size(),
           manifest.moduleName.c_str(), kDataFileName, kLicenceName);
    std::vector<std::string> shipped(layout.writes.begin() + 1, layout.writes.end());
    if (winget && !WriteWinget(manifest, options, shipped, wingetFolder, WingetWrites(manifest),
                               &diagnostics))
        return 2;
    if (!options.package.empty() && !WritePackage(manifest, options, shipped, &diagnostics))
        return 2;
    return 0;
}
