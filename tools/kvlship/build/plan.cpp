// Planning the distribution's files: names, stored names, sub-folders and
// the limits of the engine that installs them.
#include "build/plan.h"

#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/profile.h"
#include "common/textout.h"
#include "common/winpath.h"

#include "util/paths.h"

namespace
{

// Why a data-file line cannot carry `name` as it is; empty when it can.
std::string WhyNotWritable(const std::string &name)
{
    if (HasControl(name))
        return "holds a control character, which no Windows name holds";
    if (name.find_first_of(",;") != std::string::npos)
        return "holds ',' or ';', which end the fields of its kvlsetup.dat line";
    return "";
}

// True when `subFolder` cannot be a file's folder below the destination.
bool BadSubFolder(const std::string &subFolder)
{
    return !subFolder.empty() &&
           (!StaysBelow(subFolder.c_str()) || HasControl(subFolder) ||
            subFolder.find_first_of("*?<>\"|") != std::string::npos ||
            subFolder.find("\\\\") != std::string::npos || subFolder.back() == '\\');
}

// A stored name like `name` that none of `taken` is (as setup compares
// names): "index_2.da_" beside "index.da_".
std::string UniqueStoredName(const std::string &name, const std::vector<std::string> &taken,
                             int codePage)
{
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string end = dot == std::string::npos ? "" : name.substr(dot);
    for (int n = 2;; ++n) {
        std::string candidate = stem + "_" + std::to_string(n) + end;
        bool free = true;
        for (const std::string &other : taken)
            free = free && !SameName(candidate, other, codePage);
        if (free)
            return candidate;
    }
}

// The file's name and sub-folder, as written and in the code page; false
// (told) when the engine cannot install it as the manifest names it.
bool PlanName(ProductFile *file, const Manifest &manifest, Diagnostics *diagnostics)
{
    std::string installed = file->installed;
    for (char &c : installed)
        c = c == '/' ? '\\' : c;
    size_t slash = installed.rfind('\\');
    file->name = slash == std::string::npos ? installed : installed.substr(slash + 1);
    file->subFolder = slash == std::string::npos ? "" : installed.substr(0, slash);
    std::string at = manifest.At(file->line);
    std::string why = WhyNotWritable(file->name);
    if (why.empty() && (!IsPlainName(file->name.c_str()) ||
                        file->name.find_first_of("*?<>\"|:") != std::string::npos))
        why = "is not a file name";
    if (!why.empty()) {
        diagnostics->Error(at, "\"" + file->name + "\" " + why);
        return false;
    }
    if (BadSubFolder(file->subFolder)) {
        diagnostics->Error(at, "sub-folder \"" + file->subFolder +
                                   "\" must stay below the destination and hold no "
                                   "wildcard, '<', '>', '\"', '|' or control character");
        return false;
    }
    std::string converted;
    if (!FromUtf8(installed, manifest.codePage, &converted, &why)) {
        diagnostics->Error(at, "\"" + installed + "\" " + why);
        return false;
    }
    // A name Windows takes for a device or changes cannot be installed,
    // nor be a file of the distribution or of its package.
    why = WhyNotWindowsPath(converted);
    if (!why.empty()) {
        diagnostics->Error(at, ToUtf8(why, manifest.codePage));
        return false;
    }
    size_t cut = converted.rfind('\\');
    file->nameCp = slash == std::string::npos ? converted : converted.substr(cut + 1);
    file->subFolderCp = slash == std::string::npos ? "" : converted.substr(0, cut);
    return true;
}

// Plans one file alone: its name, what it installs from, its stored name
// before any other file is seen.
void PlanFile(ProductFile *file, const Manifest &manifest, Diagnostics *diagnostics)
{
    if (!PlanName(file, manifest, diagnostics)) {
        file->bad = true;
        return;
    }
    file->storedItem = file->subFolderCp.find_first_of(" ,;") != std::string::npos;
    if (file->windows && !file->subFolder.empty())
        diagnostics->Error(manifest.At(file->line),
                           "a file for the Windows folder has no sub-folder");
    if (!IsFile(file->source))
        diagnostics->Error(manifest.At(file->line), "source file " + file->source + " is missing");
    file->lastChar = file->nameCp.back();
    file->storedCp = file->nameCp;
    if (!file->plain)
        file->storedCp.back() = '_';
}

// The distribution folder is flat: a stored name taken already gets one of
// its own. Two lines that install one file are a mistake. Returns every
// stored name.
std::vector<std::string> PlanStoredNames(Manifest *manifest, Diagnostics *diagnostics)
{
    int codePage = manifest->codePage;
    std::vector<std::string> taken = {"setup.exe",      kDataFileName,
                                      kLicenceName,     kUninstallerName,
                                      kBuildRecordName, manifest->moduleName + ".dll"};
    for (size_t i = 0; i < manifest->files.size(); ++i) {
        ProductFile &file = manifest->files[i];
        if (file.bad)
            continue;
        for (size_t j = 0; j < i; ++j) {
            const ProductFile &earlier = manifest->files[j];
            if (!earlier.bad &&
                SameName(earlier.subFolderCp + "\\" + earlier.nameCp,
                         file.subFolderCp + "\\" + file.nameCp, codePage) &&
                earlier.windows == file.windows)
                diagnostics->Error(manifest->At(file.line), "installs the same file as line " +
                                                                std::to_string(earlier.line));
        }
        bool clash = false;
        for (const std::string &other : taken)
            clash = clash || SameName(file.storedCp, other, codePage);
        if (clash) {
            file.storedCp = UniqueStoredName(file.storedCp, taken, codePage);
            file.storedItem = true;
        }
        taken.push_back(file.storedCp);
    }
    return taken;
}

// A name with blanks is found by a pattern with '?': one that finds another
// stored file too cannot be a data-file line. A file [STORED] installs must
// be the stock module's, and not the Windows folder's.
void PlanStoredItems(Manifest *manifest, const std::vector<std::string> &taken,
                     Diagnostics *diagnostics)
{
    for (ProductFile &file : manifest->files) {
        bool unique = true;
        if (!file.bad && !file.storedItem && file.storedCp.find(' ') != std::string::npos)
            PatternFor(file.storedCp, taken, manifest->codePage, &unique);
        file.storedItem = file.storedItem || !unique;
        file.stored = HostNameOf(file.storedCp, manifest->codePage);
        if (file.bad || !file.storedItem)
            continue;
        if (file.windows)
            diagnostics->Error(manifest->At(file.line),
                               "is stored as " + file.stored +
                                   " beside a file of the same name; a file for the Windows "
                                   "folder must have a name of its own");
        else if (!manifest->Stock())
            diagnostics->Error(
                manifest->At(file.line),
                "needs a stored name of its own (" + file.stored +
                    ": its name is taken or a data-file line cannot spell its folder), "
                    "which only the stock module installs");
    }
}

// The product's folder below Program Files the stock module moves to
// ([PRODUCT] cbFolder); empty for the engine's own.
std::string ProductFolder(const Manifest &manifest)
{
    if (!manifest.Stock())
        return "";
    Profile data;
    ParseProfile(manifest.passOn, &data);
    return ReadProfileValue(data, "PRODUCT", "cbFolder", SETUP_LIST_TEXT_SIZE);
}

} // namespace

// A file whose name another file's stored name takes, whose sub-folder a
// data-file line cannot spell (a blank, ',' or ';') or that no pattern
// finds alone gets a stored name of its own, and the stock module installs
// it from [STORED].
void PlanFiles(Manifest *manifest, int engineEntries, Diagnostics *diagnostics)
{
    if (manifest->files.empty())
        diagnostics->Error(manifest->At(0), "[files] lists no file");
    if (manifest->files.size() > static_cast<size_t>(engineEntries))
        diagnostics->Error(manifest->At(0),
                           "setup installs at most " + std::to_string(engineEntries) +
                               " files; this lists " + std::to_string(manifest->files.size()));
    for (ProductFile &file : manifest->files)
        PlanFile(&file, *manifest, diagnostics);
    PlanStoredItems(manifest, PlanStoredNames(manifest, diagnostics), diagnostics);
}

void CheckPathLengths(const Manifest &manifest, Diagnostics *diagnostics)
{
    std::string destination = DefaultDestinationX86(ProductFolder(manifest));
    for (const ProductFile &file : manifest.files) {
        if (file.bad || file.windows)
            continue;
        std::string path = destination + "\\" +
                           (file.subFolderCp.empty() ? "" : file.subFolderCp + "\\") + file.nameCp;
        std::string why = WhyPathTooLong(path);
        if (!why.empty())
            diagnostics->Error(manifest.At(file.line),
                               "installs " + ToUtf8(path, manifest.codePage) + ", which " + why);
    }
}

std::string PatternFor(const std::string &stored, const std::vector<std::string> &names,
                       int codePage, bool *unique)
{
    std::string pattern = stored;
    for (char &c : pattern)
        c = c == ' ' ? '?' : c;
    int matches = 0;
    for (const std::string &name : names)
        matches += WildcardMatch(pattern.c_str(), name.c_str(), codePage);
    *unique = matches == 1;
    return pattern;
}
