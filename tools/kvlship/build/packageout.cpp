// Checking the single-file package's name and writing the package.
#include "build/packageout.h"

#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/textout.h"
#include "common/winpath.h"
#include "formats/package.h"

#include "util/paths.h"

#include <stdio.h>

#include <thread>

namespace
{

// The payload's files: each as written to OUT, but each product file as its
// source, uncompressed (the payload's compression does better on the
// uncompressed bytes, and setup copies a plain file as it is). The table
// holds each name as setup will look it up: in the code page.
std::vector<PackFile> PayloadFiles(const Manifest &manifest, const BuildOptions &options,
                                   const std::vector<std::string> &shipped)
{
    std::vector<PackFile> files;
    for (const std::string &name : shipped) {
        PackFile file = {name, JoinHost(options.out, name)};
        std::string why;
        if (!FromUtf8(Utf8Path(name), manifest.codePage, &file.name, &why))
            file.name = name;
        for (const ProductFile &listed : manifest.files) {
            if (listed.stored == name) {
                file.source = listed.source;
                file.name = listed.storedCp;
            }
        }
        files.push_back(file);
    }
    return files;
}

PackVersion VersionOf(const Manifest &manifest, const BuildOptions &options)
{
    PackVersion version;
    version.product = manifest.title;
    version.version = manifest.winget.version;
    version.publisher = manifest.winget.publisher;
    version.description = manifest.winget.description.empty() ? manifest.title + " Setup"
                                                              : manifest.winget.description;
    version.fileName = options.package;
    version.copyright = manifest.copyright;
    return version;
}

// zstd's workers, one per processor (or `jobs`), at most kPackMaxWorkers.
unsigned PackWorkers(int jobs)
{
    unsigned workers = jobs > 0 ? static_cast<unsigned>(jobs) : std::thread::hardware_concurrency();
    return workers < 1 ? 1 : workers > kPackMaxWorkers ? kPackMaxWorkers : workers;
}

} // namespace

std::string PackagePath(const BuildOptions &options)
{
    std::string out = options.out;
    while (out.size() > 1 && (out.back() == '/' || out.back() == '\\'))
        out.pop_back();
    return JoinHost(HostFolderOf(out), options.package);
}

void CheckPackageName(const BuildOptions &options, Diagnostics *diagnostics)
{
    const std::string &name = options.package;
    const std::string &manifest = options.manifest;
    if (!IsPlainName(name.c_str()) || HasControl(name) ||
        name.find_first_of("*?<>\"|:/\\") != std::string::npos || name.size() < 5 ||
        !WhyNotWindowsName(name).empty() || Lowered(name.substr(name.size() - 4)) != ".exe")
        diagnostics->Error(manifest,
                           "--package " + name + ": give a plain file name ending in .exe");
    std::string stub = JoinHost(options.engine, kPackageStubName);
    if (!IsFile(stub))
        diagnostics->Error(manifest,
                           stub + " is missing: give the engine's folder with --engine DIR");
    std::string path = PackagePath(options), head;
    uint64_t size = 0;
    PathKind kind = KindOf(path);
    if (kind != PathKind::Missing &&
        (kind != PathKind::File || !ReadPackageHead(path, false, &head, &size) || !IsPackage(head)))
        diagnostics->Error(manifest,
                           path + " exists and is no package that kvlship wrote; left as it is");
}

// Compressed by zstd's workers: the same bytes whatever their number.
bool WritePackage(const Manifest &manifest, const BuildOptions &options,
                  const std::vector<std::string> &shipped, Diagnostics *diagnostics)
{
    std::vector<PackFile> files = PayloadFiles(manifest, options, shipped);
    std::string stubPath = JoinHost(options.engine, kPackageStubName), stub, why;
    std::string path = PackagePath(options);
    if (!ReadWholeFile(stubPath, &stub)) {
        diagnostics->Error(stubPath, "cannot be read");
        return false;
    }
    PreparedStub prepared;
    if (!PrepareStub(stub, VersionOf(manifest, options), &prepared, &why)) {
        diagnostics->Error(stubPath, why);
        return false;
    }
    PackOptions pack;
    pack.workers = PackWorkers(options.jobs);
    PackResult made;
    if (!WritePackageFile(prepared, files, pack, path, &made, &why)) {
        diagnostics->Error(path, "cannot be made: " + why);
        return false;
    }
    // Signed last: the signature covers the payload and the version information.
    if (!options.sign.certificate.empty()) {
        SignOptions sign = options.sign;
        sign.description = manifest.title;
        if (!SignPeFile(path, sign, &why)) {
            diagnostics->Error(path, "cannot be signed: " + why);
            return false;
        }
    }
    printf("%s: %zu files in one program, %llu bytes (stub %zu, payload %llu)\n", path.c_str(),
           files.size(), static_cast<unsigned long long>(made.packageSize), prepared.image.size(),
           static_cast<unsigned long long>(made.payloadSize));
    return true;
}
