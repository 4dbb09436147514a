// Writing the distribution folder's files.
#include "build/writers.h"

#include "build/buildrecord.h"
#include "build/compressjobs.h"
#include "common/distribution.h"
#include "common/hostfs.h"

namespace
{

// Signs the engine's programs the build wrote into `options.out` (those of
// `names` that are there), each file replaced only once signed. The
// elevation prompt names setup.exe by the product's title.
bool SignWritten(const BuildOptions &options, const std::string &title,
                 const std::vector<std::string> &names, Diagnostics *diagnostics)
{
    SignOptions sign = options.sign;
    sign.description = title;
    for (const std::string &name : names) {
        std::string path = JoinHost(options.out, name), why;
        if (sign.certificate.empty() || !IsFile(path))
            continue;
        if (!SignPeFile(path, sign, &why)) {
            diagnostics->Error(path, "cannot be signed: " + why);
            return false;
        }
    }
    return true;
}

// A file of the engine's (or the module) copied as it is.
bool CopyAsIs(const std::string &from, const std::string &to, Diagnostics *diagnostics)
{
    std::string bytes;
    return ReadWholeFile(from, &bytes) && WriteOutput(to, bytes, from, diagnostics);
}

} // namespace

Layout EngineLayout(const Manifest &manifest, const BuildOptions &options)
{
    Layout layout;
    layout.setup = JoinHost(options.engine, "setup.exe");
    layout.module = manifest.Stock() ? JoinHost(options.engine, "stock.dll")
                                     : SourcePath(manifest, manifest.module);
    return layout;
}

void ListReadsAndWrites(const Manifest &manifest, const BuildOptions &options, Layout *layout)
{
    layout->licence = SourcePath(manifest, manifest.licence);
    layout->inputs = {options.manifest, layout->licence, layout->setup, layout->module};
    // The record is written first, so that even a build cut short is cleared by the next.
    layout->writes = {kBuildRecordName, "setup.exe", manifest.moduleName + ".dll", kLicenceName,
                      kDataFileName};
    // The uninstaller ships beside setup.exe for a module to install with the
    // product; an engine folder without one (an older engine) ships none.
    layout->uninstaller = JoinHost(options.engine, kUninstallerName);
    layout->shipsUninstaller = IsFile(layout->uninstaller);
    if (layout->shipsUninstaller) {
        layout->inputs.push_back(layout->uninstaller);
        layout->writes.push_back(kUninstallerName);
    }
    for (const ProductFile &file : manifest.files) {
        layout->inputs.push_back(file.source);
        layout->writes.push_back(file.stored);
    }
}

bool WriteOutput(const std::string &path, const std::string &bytes, const std::string &dateFrom,
                 Diagnostics *diagnostics)
{
    if (!WriteWholeFile(path, bytes)) {
        diagnostics->Error(path, "cannot be written");
        return false;
    }
    CopyFileTime(dateFrom, path);
    return true;
}

bool WriteDistribution(const Manifest &manifest, const BuildOptions &options, const Layout &layout,
                       std::string agreement, const std::string &data, Diagnostics *diagnostics)
{
    // The agreement text is stored with each byte complemented.
    for (char &c : agreement)
        c = static_cast<char>(~c);
    const std::string &out = options.out;
    std::string moduleName = manifest.moduleName + ".dll";
    return WriteOutput(JoinHost(out, kBuildRecordName), RecordText(layout.writes), options.manifest,
                       diagnostics) &&
           CopyAsIs(layout.setup, JoinHost(out, "setup.exe"), diagnostics) &&
           CopyAsIs(layout.module, JoinHost(out, moduleName), diagnostics) &&
           WriteOutput(JoinHost(out, kLicenceName), agreement, layout.licence, diagnostics) &&
           WriteOutput(JoinHost(out, kDataFileName), data, options.manifest, diagnostics) &&
           (!layout.shipsUninstaller ||
            CopyAsIs(layout.uninstaller, JoinHost(out, kUninstallerName), diagnostics)) &&
           SignWritten(options, manifest.title, {"setup.exe", moduleName, kUninstallerName},
                       diagnostics) &&
           WriteProductFiles(manifest, out, options.jobs, options.sign, diagnostics);
}
