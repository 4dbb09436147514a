#include "build/build.h"
#include "formats/engine.h"

#include "common/codepage.h"
#include "common/digest.h"
#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/profile.h"
#include "common/textout.h"
#include "common/winpath.h"
#include "formats/lzencode.h"
#include "formats/package.h"
#include "formats/storedlist.h"
#include "formats/winget.h"

#include "copy/filelist.h"
#include "util/paths.h"

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace
{

struct FileSpec {
    int line;
    std::string installed; // as written: sub-folder and name
    std::string source;    // host path
    bool plain = false, replace = false, windows = false;
    std::string subFolder, name;               // as written (UTF-8)
    std::string subFolderCp, nameCp, storedCp; // as setup sees them, in the code page
    std::string stored;                        // the stored file's host name
    char lastChar = 0;
    bool bad = false;        // refused: no stored name, so no later check is about it
    bool storedItem = false; // installed by the stock module's [STORED], not a [FILELIST] line
};

struct Manifest {
    std::string folder; // host folder of the manifest
    std::string title, licence, module = "stock", moduleName = SETUP_DEFAULT_MODULE;
    std::string copyright; // the package's LegalCopyright
    // What a package manager's manifest needs beyond the title; the line of each.
    PackageInfo package;
    int packageLine[6] = {};
    std::vector<FileSpec> files;
    std::string passOn;              // sections written into kvlsetup.dat as they stand
    int codePage = kDefaultCodePage; // the target's ANSI code page, [package] codepage
    bool fastCopy = false;           // [package] fast-copy = yes: setup's fast pace (cbFastCopy)
};

// Build's complaints, keyed as check's are: by the manifest's line, the
// [package] key or the folder concerned. Each is told as it is found.
struct Errors {
    std::string manifest;
    int count = 0; // errors; a warning stops nothing
    void Say(int line, const std::string &text)
    {
        Add(Severity::Error, line > 0 ? manifest + ":" + std::to_string(line) : manifest, text);
    }
    void Add(Severity severity, const std::string &key, const std::string &text)
    {
        PrintDiagnostic(stderr, {severity, key, text}, Printable);
        count += severity == Severity::Error;
    }
};

// The [package] keys of the package manager's manifest, in the order told.
const char *const kPackageKeys[6] = {"id",           "version",     "publisher",
                                     "licence-name", "description", "download-url"};

std::string *PackageValue(Manifest *manifest, int index)
{
    PackageInfo &package = manifest->package;
    std::string *values[6] = {&package.id,      &package.version,     &package.publisher,
                              &package.licence, &package.description, &package.url};
    return values[index];
}

std::string Trim(const std::string &text)
{
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

bool Expand(const std::string &text, const BuildOptions &options, std::string *out,
            std::string *unknown)
{
    out->clear();
    for (size_t at = 0; at < text.size();) {
        size_t open = text.find("${", at);
        if (open == std::string::npos) {
            *out += text.substr(at);
            break;
        }
        size_t close = text.find('}', open);
        if (close == std::string::npos) {
            *unknown = text.substr(open);
            return false;
        }
        *out += text.substr(at, open - at);
        std::string name = text.substr(open + 2, close - open - 2);
        bool found = false;
        for (const auto &define : options.defines) {
            if (define.first == name) {
                *out += define.second;
                found = true;
            }
        }
        if (!found) {
            *unknown = name;
            return false;
        }
        at = close + 1;
    }
    return true;
}

std::string FromManifest(const Manifest &manifest, const std::string &utf8)
{
    std::string path = HostPath(utf8);
    if (!path.empty() && (path[0] == '/' || (path.size() > 1 && path[1] == ':')))
        return path;
    return JoinHost(manifest.folder, path);
}

void ReadFileLine(const std::string &line, int number, const BuildOptions &options,
                  Manifest *manifest, Errors *errors)
{
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
        errors->Say(
            number,
            "a file line reads: installed path = source file [, plain] [, replace] [, windows]");
        return;
    }
    FileSpec file;
    file.line = number;
    file.installed = Trim(line.substr(0, equals));
    std::string rest = line.substr(equals + 1);
    std::vector<std::string> parts;
    for (size_t at = 0;;) {
        size_t comma = rest.find(',', at);
        parts.push_back(
            Trim(rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    std::string unknown;
    if (!Expand(parts[0], options, &file.source, &unknown)) {
        errors->Say(number, "${" + unknown + "} has no value: give it with -D " + unknown + "=...");
        return;
    }
    file.source = FromManifest(*manifest, file.source);
    for (size_t i = 1; i < parts.size(); ++i) {
        std::string option = Lowered(parts[i]);
        if (option == "plain")
            file.plain = true;
        else if (option == "replace")
            file.replace = true;
        else if (option == "windows")
            file.windows = true;
        else
            errors->Say(number, "unknown option \"" + parts[i] + "\" (plain, replace or windows)");
    }
    manifest->files.push_back(file);
}

// Every [package] key and [files] option the manifest's reader knows, for
// its messages and for `kvlship keys`, which the reference's test reads.
const char *const kManifestPackageKeys[] = {
    "title", "licence", "module",    "module-name",  "codepage",    "copyright",    "fast-copy",
    "id",    "version", "publisher", "licence-name", "description", "download-url", nullptr};
const char *const kManifestFileOptions[] = {"plain", "replace", "windows", nullptr};

std::string KnownKeys()
{
    std::string known;
    for (const char *const *key = kManifestPackageKeys; *key; ++key)
        known += std::string(known.empty() ? "" : ", ") + *key;
    return known;
}

// One of the package manager's keys; false for any other key.
bool ReadPackageKey(const std::string &key, const std::string &value, int number,
                    Manifest *manifest)
{
    for (int i = 0; i < 6; ++i) {
        if (key == kPackageKeys[i]) {
            *PackageValue(manifest, i) = value;
            manifest->packageLine[i] = number;
            return true;
        }
    }
    return false;
}

// Editors that save UTF-8 may put a byte-order mark in front: it is no text
// of the vendor's, and shown in code page 1252 it would read "ï»¿".
void DropByteOrderMark(std::string *text)
{
    if (text->compare(0, 3, "\xEF\xBB\xBF") == 0)
        text->erase(0, 3);
}

// [package] codepage, read before the rest: every text the data file gets
// is written in it. Returns 0 when it is not one this host converts.
int PackageCodePage(const std::string &text, Errors *errors)
{
    std::string section;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        std::string line =
            Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line[0] == '[' && line.back() == ']') {
            section = Lowered(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        size_t equals = line.find('=');
        if (section != "package" || equals == std::string::npos ||
            Lowered(Trim(line.substr(0, equals))) != "codepage")
            continue;
        std::string value = Trim(line.substr(equals + 1));
        int codePage = atoi(value.c_str());
        if (value.find_first_not_of("0123456789") != std::string::npos ||
            !KnownCodePage(codePage)) {
            errors->Say(number, "codepage " + value +
                                    " is not a code page this tool converts to (1252, 1250, ...)");
            return 0;
        }
        return codePage;
    }
    return kDefaultCodePage;
}

// `text` of manifest line `number` in the target's code page; a mistake when
// it cannot be.
std::string InCodePage(const std::string &text, int number, const std::string &what,
                       const Manifest &manifest, Errors *errors)
{
    std::string converted, why;
    if (FromUtf8(text, manifest.codePage, &converted, &why))
        return converted;
    errors->Say(number, what + " " + why);
    return text;
}

bool ReadManifest(const BuildOptions &options, Manifest *manifest, Errors *errors)
{
    std::string text;
    if (!ReadWholeFile(options.manifest, &text)) {
        errors->Add(Severity::Error, options.manifest, "cannot be read");
        return false;
    }
    DropByteOrderMark(&text);
    manifest->folder = HostFolderOf(options.manifest);
    manifest->codePage = PackageCodePage(text, errors);
    if (manifest->codePage == 0)
        manifest->codePage = kDefaultCodePage; // told above
    std::string section;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        std::string raw =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        // kvlsetup.dat is read with CR as a line end too.
        if (raw.find('\r') != std::string::npos)
            errors->Say(number, "holds a carriage return inside the line");
        std::string line = Trim(raw);
        if (!line.empty() && line[0] == '[' && line.back() == ']') {
            section = Lowered(Trim(line.substr(1, line.size() - 2)));
            if (section == "general" || section == "filelist")
                errors->Say(number,
                            "kvlship writes [" + section + "] itself from [package] and [files]");
            if (section != "package" && section != "files")
                manifest->passOn += (manifest->passOn.empty() ? "\r\n" : "") +
                                    InCodePage(line, number, "the line", *manifest, errors) +
                                    "\r\n";
            continue;
        }
        if (section != "package" && section != "files") {
            if (section.empty() && !line.empty() && line[0] != ';' && line[0] != '#')
                errors->Say(number, "this line stands before any section");
            else if (!section.empty())
                manifest->passOn += InCodePage(raw, number, "the line", *manifest, errors) + "\r\n";
            continue;
        }
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (section == "files") {
            ReadFileLine(line, number, options, manifest, errors);
            continue;
        }
        size_t equals = line.find('=');
        std::string key = Lowered(Trim(line.substr(0, equals)));
        std::string value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
        std::string expanded, unknown;
        if (!Expand(value, options, &expanded, &unknown))
            errors->Say(number,
                        "${" + unknown + "} has no value: give it with -D " + unknown + "=...");
        if (key == "title")
            manifest->title = InCodePage(expanded, number, "the title", *manifest, errors);
        else if (key == "codepage")
            continue; // read first, above
        else if (key == "licence" || key == "license")
            manifest->licence = expanded;
        else if (key == "module")
            manifest->module = expanded;
        else if (key == "module-name")
            manifest->moduleName = expanded;
        else if (key == "copyright")
            manifest->copyright = expanded;
        else if (key == "fast-copy") {
            std::string lowered = Lowered(expanded);
            if (lowered == "yes" || lowered == "1")
                manifest->fastCopy = true;
            else if (lowered != "no" && lowered != "0")
                errors->Say(number, "fast-copy is yes or no");
        } else if (!ReadPackageKey(key == "license-name" ? "licence-name" : key, expanded, number,
                                   manifest))
            errors->Say(number, "unknown [package] key \"" + key + "\" (" + KnownKeys() + ")");
    }
    return true;
}

// Why a data-file line cannot carry `name` as it is; empty when it can.
std::string WhyNotWritable(const std::string &name)
{
    if (HasControl(name))
        return "holds a control character, which no Windows name holds";
    if (name.find_first_of(",;") != std::string::npos)
        return "holds ',' or ';', which end the fields of its kvlsetup.dat line";
    return "";
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

// The pattern that finds exactly `stored` among `names`: blanks cannot be
// written (the engine removes them), so each becomes "?".
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

// Works out each file's stored name, sub-folder and line; reports what the
// engine could not install as written. A file whose name another file's
// stored name takes, whose sub-folder a data-file line cannot spell (a
// blank, ',' or ';') or that no pattern finds alone gets a stored name of
// its own, and the stock module installs it from [STORED].
void PlanFiles(Manifest *manifest, int engineEntries, Errors *errors)
{
    if (manifest->files.empty())
        errors->Say(0, "[files] lists no file");
    if (manifest->files.size() > static_cast<size_t>(engineEntries))
        errors->Say(0, "setup installs at most " + std::to_string(engineEntries) +
                           " files; this lists " + std::to_string(manifest->files.size()));
    int codePage = manifest->codePage;
    for (FileSpec &file : manifest->files) {
        std::string installed = file.installed;
        for (char &c : installed)
            c = c == '/' ? '\\' : c;
        size_t slash = installed.rfind('\\');
        file.name = slash == std::string::npos ? installed : installed.substr(slash + 1);
        file.subFolder = slash == std::string::npos ? "" : installed.substr(0, slash);
        std::string why = WhyNotWritable(file.name);
        if (why.empty() && (!IsPlainName(file.name.c_str()) ||
                            file.name.find_first_of("*?<>\"|:") != std::string::npos))
            why = "is not a file name";
        if (!why.empty()) {
            errors->Say(file.line, "\"" + file.name + "\" " + why);
            file.bad = true;
            continue;
        }
        if (!file.subFolder.empty() &&
            (!StaysBelow(file.subFolder.c_str()) || HasControl(file.subFolder) ||
             file.subFolder.find_first_of("*?<>\"|") != std::string::npos ||
             file.subFolder.find("\\\\") != std::string::npos || file.subFolder.back() == '\\')) {
            errors->Say(file.line, "sub-folder \"" + file.subFolder +
                                       "\" must stay below the destination and hold no "
                                       "wildcard, '<', '>', '\"', '|' or control character");
            file.bad = true;
            continue;
        }
        std::string converted, reason;
        if (!FromUtf8(installed, codePage, &converted, &reason)) {
            errors->Say(file.line, "\"" + installed + "\" " + reason);
            file.bad = true;
            continue;
        }
        // A name Windows takes for a device or changes cannot be installed,
        // nor be a file of the distribution or of its package.
        std::string notKept = WhyNotWindowsPath(converted);
        if (!notKept.empty()) {
            errors->Say(file.line, ToUtf8(notKept, codePage));
            file.bad = true;
            continue;
        }
        file.nameCp =
            slash == std::string::npos ? converted : converted.substr(converted.rfind('\\') + 1);
        file.subFolderCp =
            slash == std::string::npos ? "" : converted.substr(0, converted.rfind('\\'));
        file.storedItem = file.subFolderCp.find_first_of(" ,;") != std::string::npos;
        if (file.windows && !file.subFolder.empty())
            errors->Say(file.line, "a file for the Windows folder has no sub-folder");
        if (!IsFile(file.source))
            errors->Say(file.line, "source file " + file.source + " is missing");
        file.lastChar = file.nameCp.back();
        file.storedCp = file.nameCp;
        if (!file.plain)
            file.storedCp.back() = '_';
    }
    // The distribution folder is flat: a stored name taken already gets one of its own.
    std::vector<std::string> taken = {"setup.exe",      kDataFileName,
                                      kLicenceName,     kUninstallerName,
                                      kBuildRecordName, manifest->moduleName + ".dll"};
    for (size_t i = 0; i < manifest->files.size(); ++i) {
        FileSpec &file = manifest->files[i];
        if (file.bad)
            continue;
        for (size_t j = 0; j < i; ++j) {
            const FileSpec &earlier = manifest->files[j];
            if (!earlier.bad &&
                SameName(earlier.subFolderCp + "\\" + earlier.nameCp,
                         file.subFolderCp + "\\" + file.nameCp, codePage) &&
                earlier.windows == file.windows)
                errors->Say(file.line,
                            "installs the same file as line " + std::to_string(earlier.line));
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
    // A name with blanks is found by a pattern with '?': one that finds
    // another stored file too cannot be a data-file line.
    for (FileSpec &file : manifest->files) {
        bool unique = true;
        if (!file.bad && !file.storedItem && file.storedCp.find(' ') != std::string::npos)
            PatternFor(file.storedCp, taken, codePage, &unique);
        file.storedItem = file.storedItem || !unique;
        file.stored = HostNameOf(file.storedCp, codePage);
        if (file.bad || !file.storedItem)
            continue;
        if (file.windows)
            errors->Say(file.line, "is stored as " + file.stored +
                                       " beside a file of the same name; a file for the Windows "
                                       "folder must have a name of its own");
        else if (Lowered(manifest->module) != "stock")
            errors->Say(file.line,
                        "needs a stored name of its own (" + file.stored +
                            ": its name is taken or a data-file line cannot spell its folder), "
                            "which only the stock module installs");
    }
}

// The product's folder below Program Files the stock module moves to
// ([PRODUCT] cbFolder); empty for the engine's own.
std::string ProductFolder(const Manifest &manifest)
{
    if (Lowered(manifest.module) != "stock")
        return "";
    Profile data;
    ParseProfile(manifest.passOn, &data);
    return ReadProfileValue(data, "PRODUCT", "cbFolder", SETUP_LIST_TEXT_SIZE);
}

// Installed paths the copy cannot write under the default destination.
void CheckPathLengths(const Manifest &manifest, Errors *errors)
{
    std::string destination = DefaultDestinationX86(ProductFolder(manifest));
    for (const FileSpec &file : manifest.files) {
        if (file.bad || file.windows)
            continue;
        std::string path = destination + "\\" +
                           (file.subFolderCp.empty() ? "" : file.subFolderCp + "\\") + file.nameCp;
        std::string why = WhyPathTooLong(path);
        if (!why.empty())
            errors->Say(file.line,
                        "installs " + ToUtf8(path, manifest.codePage) + ", which " + why);
    }
}

bool ToString(void *context, const unsigned char *data, size_t size)
{
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), size);
    return true;
}

// One encoder per thread: its tables are large, and each thread compresses
// one file at a time.
bool Compress(const std::string &plain, char lastChar, std::string *out)
{
    thread_local std::unique_ptr<SzddEncoder> encoder(new SzddEncoder);
    out->clear();
    if (plain.size() > 0xffffffffu)
        return false;
    SzddEncoderInit(encoder.get(), static_cast<uint32_t>(plain.size()),
                    static_cast<unsigned char>(lastChar), ToString, out);
    return SzddEncoderWrite(encoder.get(), plain.data(), plain.size()) &&
           SzddEncoderFinish(encoder.get());
}

bool Write(const std::string &path, const std::string &bytes, const std::string &dateFrom,
           Errors *errors)
{
    if (!WriteWholeFile(path, bytes)) {
        errors->Add(Severity::Error, path, "cannot be written");
        return false;
    }
    CopyFileTime(dateFrom, path);
    return true;
}

// The names an earlier build recorded in `out`; false when it left no record.
bool ReadRecord(const std::string &out, std::vector<std::string> *names)
{
    std::string text;
    if (!ReadWholeFile(JoinHost(out, kBuildRecordName), &text, false, 1 << 20))
        return false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        std::string name = Trim(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
        // Only bare names: a record never reaches outside its folder.
        if (!name.empty() && name[0] != ';' && IsPlainName(name.c_str()))
            names->push_back(name);
    }
    return true;
}

bool Holds(const std::vector<std::string> &names, const std::string &name)
{
    for (const std::string &held : names) {
        if (CompareNames(held, name) == 0)
            return true;
    }
    return false;
}

// Makes `out` ready for the files in `writes`. A folder that holds what the
// build reads is refused: its next build would replace or clear them. Of an
// earlier build only the files it recorded go; anything else stays, and a
// folder of files that no build recorded is left as it is.
bool PrepareOut(const std::string &out, const std::vector<std::string> &writes,
                const std::vector<std::string> &inputs, Errors *errors)
{
    auto refuse = [&](const std::string &text) {
        errors->Add(Severity::Error, out, text);
        return false;
    };
    for (const std::string &input : inputs) {
        if (SameFolder(HostFolderOf(input), out))
            return refuse("holds " + input +
                          ", which the build reads; give the build a folder of its own");
    }
    if (KindOf(out) == PathKind::Missing && !MakeFolders(out))
        return refuse("cannot be made");
    std::vector<FolderItem> items;
    std::vector<std::string> recorded;
    if (!IsFolder(out) || !ListFolder(out, &items))
        return refuse("is not a folder");
    if (!items.empty() && !ReadRecord(out, &recorded))
        return refuse("holds files that no build recorded in " + std::string(kBuildRecordName) +
                      "; left as it is (give a new or empty folder)");
    for (const FolderItem &item : items) {
        if (Holds(writes, item.name) && !Holds(recorded, item.name) &&
            CompareNames(item.name, kBuildRecordName) != 0)
            return refuse("holds " + item.name + ", which no build wrote; left as it is");
    }
    for (const std::string &name : recorded) {
        std::string path = JoinHost(out, name);
        PathKind kind = KindOf(path);
        if ((kind == PathKind::File || kind == PathKind::Link) && remove(path.c_str()) != 0)
            return refuse("holds " + name + ", which cannot be removed");
    }
    return true;
}

// The record a build writes first into a folder it fills: `writes` past
// the record itself.
std::string RecordText(const std::vector<std::string> &writes)
{
    std::string record = "; Written by kvlship build; the next build into this folder replaces "
                         "these files and no other.\r\n";
    for (size_t i = 1; i < writes.size(); ++i)
        record += writes[i] + "\r\n";
    return record;
}

} // namespace

namespace
{

// The licence as the agreement box wants it: CRLF line ends, 15999 bytes at most.
std::string AgreementText(const Manifest &manifest, Errors *errors)
{
    std::string licence;
    if (manifest.licence.empty())
        errors->Say(0, "[package] names no licence: setup shows it in its agreement box");
    else if (!ReadWholeFile(FromManifest(manifest, manifest.licence), &licence))
        errors->Say(0, "licence " + manifest.licence + " cannot be read");
    DropByteOrderMark(&licence);
    std::string converted, why;
    if (FromUtf8(licence, manifest.codePage, &converted, &why))
        licence = converted;
    else
        errors->Add(Severity::Error, FromManifest(manifest, manifest.licence), why);
    std::string crlf;
    for (size_t i = 0; i < licence.size(); ++i) {
        if (licence[i] == '\n' && (i == 0 || licence[i - 1] != '\r'))
            crlf += '\r';
        crlf += licence[i];
    }
    if (crlf.size() > kLicenceLimit)
        errors->Say(0, "the licence is " + std::to_string(crlf.size()) +
                           " bytes with CRLF line ends; the agreement box holds " +
                           std::to_string(kLicenceLimit));
    return crlf;
}

// Why `value` cannot be the package manager's field for the [package] key
// numbered `index`, by the rules of its manifest's schema; empty when it can.
std::string WhyNotPackageValue(int index, const std::string &value)
{
    const size_t kLongest[6] = {128, 128, 256, 512, 256, 2048};
    const size_t kShortest[6] = {1, 1, 2, 3, 3, 1};
    if (HasControl(value))
        return "holds a control character";
    if (value.size() < kShortest[index] || value.size() > kLongest[index])
        return "must be " + std::to_string(kShortest[index]) + " to " +
               std::to_string(kLongest[index]) + " characters long";
    if (index == 0) {
        // Two to eight parts of 1 to 32 characters, apart by dots: Publisher.Product.
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
    }
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

// True when [package] gives all that the package manager's manifest needs,
// each as its schema allows. Keys missing are no mistake: the build then
// writes the distribution alone and says which keys would add the package.
bool ReadyToPackage(Manifest *manifest, Errors *errors)
{
    std::string missing;
    for (int i = 0; i < 6; ++i) {
        if (PackageValue(manifest, i)->empty())
            missing += std::string(missing.empty() ? "" : ", ") + kPackageKeys[i];
    }
    if (!missing.empty()) {
        errors->Add(Severity::Warning, "[package]",
                    "has no " + missing +
                        ": no zip archive or winget manifest is written (the distribution folder "
                        "is)");
        return false;
    }
    bool ready = true;
    for (int i = 0; i < 6; ++i) {
        std::string why = WhyNotPackageValue(i, *PackageValue(manifest, i));
        if (!why.empty()) {
            errors->Say(manifest->packageLine[i], std::string(kPackageKeys[i]) + " " + why);
            ready = false;
        }
    }
    // The title is the package's name.
    manifest->package.name = manifest->title;
    if (manifest->title.size() < 2 || manifest->title.size() > 256) {
        errors->Say(0, "the title is the package's name: 2 to 256 characters");
        ready = false;
    }
    return ready;
}

// [FILELIST] in the engine's line format, one line per file, in manifest
// order; and [STORED] for the files the stock module installs by request.
// What [GENERAL] asks of setup's copy: room for more entries than its
// default list holds, and the fast pace; nothing for a product that needs neither.
std::string CopyDeclarations(const Manifest &manifest)
{
    std::string lines;
    if (manifest.files.size() > static_cast<size_t>(SETUP_COPY_SLOTS))
        lines += std::string(SETUP_COPY_ENTRIES_KEY) + "=" + std::to_string(manifest.files.size()) +
                 "\r\n";
    if (manifest.fastCopy)
        lines += std::string(SETUP_FAST_COPY_KEY) + "=1\r\n";
    return lines;
}

std::string FileListSection(const Manifest &manifest, Errors *errors)
{
    std::vector<std::string> storedNames;
    for (const FileSpec &file : manifest.files)
        storedNames.push_back(file.storedCp);
    std::string section = "[FILELIST]\r\n", stored;
    int lines = 0, items = 0;
    for (const FileSpec &file : manifest.files) {
        // Only a manifest without mistakes is written; a refused file needs no line.
        if (file.bad)
            continue;
        char key[32];
        if (file.storedItem) {
            snprintf(key, sizeof key, SETUP_ITEM_KEY, items++);
            stored += std::string(key) + "=" +
                      StoredValue({file.storedCp, file.subFolderCp, file.nameCp, file.replace}) +
                      "\r\n";
            continue;
        }
        bool unique;
        std::string pattern = PatternFor(file.storedCp, storedNames, manifest.codePage, &unique);
        char line[600];
        snprintf(line, sizeof line, "%s, %c, %s, %d, 0, %d, 0;", pattern.c_str(), file.lastChar,
                 file.subFolderCp.c_str(), file.windows ? 1 : 0, file.replace ? 1 : 0);
        if (strlen(line) >= kFileListTextSize)
            errors->Say(file.line, "its data-file line is longer than the " +
                                       std::to_string(kFileListTextSize - 1) +
                                       " characters setup reads");
        snprintf(key, sizeof key, SETUP_ITEM_KEY, lines++);
        section += std::string(key) + "=" + line + "\r\n";
    }
    if (!stored.empty())
        section += "\r\n[" SETUP_STORED_SECTION "]\r\n" + stored;
    return section;
}

// A product's program signed in memory, before it is compressed; a program
// signed already keeps its signature.
bool SignProgram(const std::string &source, const SignOptions &sign, std::string *bytes,
                 Errors *errors)
{
    std::string why;
    if (sign.certificate.empty() || SignPeBytes(bytes, sign, &why))
        return true;
    errors->Add(Severity::Error, source, "cannot be signed: " + why);
    return false;
}

// Signs the engine's programs the build wrote into `options.out` (those of
// `names` that are there), each file replaced only once signed. The
// elevation prompt names setup.exe by the product's title.
bool SignWritten(const BuildOptions &options, const std::string &title,
                 const std::vector<std::string> &names, Errors *errors)
{
    SignOptions sign = options.sign;
    sign.description = title;
    for (const std::string &name : names) {
        std::string path = JoinHost(options.out, name), why;
        if (sign.certificate.empty() || !IsFile(path))
            continue;
        if (!SignPeFile(path, sign, &why)) {
            errors->Add(Severity::Error, path, "cannot be signed: " + why);
            return false;
        }
    }
    return true;
}

// What became of one product file, for its progress line.
struct FileDone {
    bool done = false;
    bool ok = false;
    unsigned long long plainSize = 0;
    unsigned long long storedSize = 0;
};

// The largest file the LZ format holds: its header keeps the size in 32 bits.
constexpr unsigned long long kLzLargest = 0xFFFFFFFFull;

// Reads, compresses (unless plain) and writes one product file. A thread of
// its own counts its complaints in `errors`, which no other thread touches.
// Copies `from` to `to` a piece at a time, whatever its size.
bool StreamFile(const std::string &from, const std::string &to)
{
    FILE *in = OpenPlainFile(from, true);
    if (!in)
        return false;
    FILE *out = fopen(to.c_str(), "wb");
    bool ok = out != nullptr;
    std::vector<char> piece(1 << 20);
    while (ok) {
        size_t got = fread(piece.data(), 1, piece.size(), in);
        ok = fwrite(piece.data(), 1, got, out) == got;
        if (got < piece.size()) {
            ok = ok && !ferror(in);
            break;
        }
    }
    fclose(in);
    return out && fclose(out) == 0 && ok;
}

void WriteProductFile(const FileSpec &file, const std::string &out, const SignOptions &sign,
                      FileDone *result, Errors *errors)
{
    // A plain file that nothing signs is copied as it stands, a piece at a
    // time; so is one too large for the LZ format, whose header holds its
    // size in 32 bits.
    unsigned long long size = static_cast<unsigned long long>(FileSize(file.source));
    bool tooLarge = size > kLzLargest;
    if (tooLarge || (file.plain && sign.certificate.empty())) {
        if (tooLarge && !file.plain)
            errors->Add(Severity::Warning, file.source,
                        "holds " + std::to_string(size) +
                            " bytes, more than the LZ format can; it ships plain");
        std::string to = JoinHost(out, file.stored);
        result->ok = StreamFile(file.source, to);
        if (result->ok)
            CopyFileTime(file.source, to);
        else
            errors->Add(Severity::Error, to, "cannot be written");
        result->plainSize = result->storedSize = size;
        return;
    }
    std::string plain, stored;
    result->ok = ReadWholeFile(file.source, &plain) &&
                 SignProgram(file.source, sign, &plain, errors) &&
                 (file.plain || Compress(plain, file.lastChar, &stored));
    // A file that compression would make larger ships as it is, under the
    // same stored name: setup tells a compressed file by its content, not by
    // its name, and copies a plain one unchanged.
    bool asIs = file.plain || stored.size() >= plain.size();
    result->ok =
        result->ok && Write(JoinHost(out, file.stored), asIs ? plain : stored, file.source, errors);
    result->plainSize = plain.size();
    result->storedSize = asIs ? plain.size() : stored.size();
}

// The product's files, compressed or plain, with a progress line each. The
// files are compressed side by side, one per processor (or `jobs`); each
// lands in a file of its own, so the output is the same bytes whatever the
// number, and the progress lines come in the manifest's order.
bool WriteProductFiles(const Manifest &manifest, const std::string &out, int jobs,
                       const SignOptions &sign, Errors *errors)
{
    size_t count = manifest.files.size();
    std::vector<FileDone> results(count);
    std::mutex lock;
    std::condition_variable finished;
    std::atomic<size_t> next(0);
    std::atomic<bool> failed(false);
    std::atomic<int> complaints(0);
    auto work = [&]() {
        for (size_t i; !failed && (i = next++) < count;) {
            FileDone result;
            Errors own;
            WriteProductFile(manifest.files[i], out, sign, &result, &own);
            complaints += own.count;
            result.done = true;
            if (!result.ok)
                failed = true;
            std::lock_guard<std::mutex> hold(lock);
            results[i] = result;
            finished.notify_all();
        }
    };
    unsigned threads = jobs > 0 ? static_cast<unsigned>(jobs) : std::thread::hardware_concurrency();
    if (threads == 0)
        threads = 1;
    if (threads > count)
        threads = static_cast<unsigned>(count);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back(work);
    // This thread prints each file's line as soon as it and those before it are done.
    bool ok = true;
    for (size_t i = 0; i < count && ok; ++i) {
        std::unique_lock<std::mutex> hold(lock);
        finished.wait(hold, [&] { return results[i].done || failed; });
        if (!results[i].done || !results[i].ok) {
            ok = false;
            break;
        }
        const FileSpec &file = manifest.files[i];
        printf("[%zu/%zu] %-14s %10llu -> %10llu bytes  %s\n", i + 1, count, file.stored.c_str(),
               results[i].plainSize, results[i].storedSize, file.installed.c_str());
        fflush(stdout);
    }
    for (std::thread &worker : workers)
        worker.join();
    errors->count += complaints;
    return ok && !failed;
}

// True when the lines of `section` (lowered) give `key` (lowered) a value.
bool SectionHasKey(const std::string &section, const std::string &key)
{
    for (size_t start = 0; start < section.size();) {
        size_t end = section.find("\r\n", start);
        end = end == std::string::npos ? section.size() : end;
        std::string line = section.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos && Trim(line.substr(0, equals)) == key)
            return true;
        start = end + 2;
    }
    return false;
}

// The stock module registers the product for removal under cbId, with its
// version and publisher: the same as the package's, unless the manifest's own
// [PRODUCT] section says otherwise (its keys are left as they are). Its name
// there, in its questions and in the uninstaller's is cbTitle: the package's
// title, which users know it by, not the id.
std::string WithProductIdentity(const std::string &passOn, const PackageInfo &package,
                                const std::string &title)
{
    std::string lowered = Lowered(passOn);
    size_t header = lowered.find("\r\n[product]\r\n");
    if (lowered.compare(0, 11, "[product]\r\n") == 0)
        header = 0;
    else if (header != std::string::npos)
        header += 2;
    size_t end = passOn.size();
    if (header != std::string::npos) {
        end = passOn.find("\r\n[", header + 1);
        end = end == std::string::npos ? passOn.size() : end + 2;
        // Within the section's lines, before the blank lines that end it.
        while (end >= header + 4 && passOn.compare(end - 4, 4, "\r\n\r\n") == 0)
            end -= 2;
    }
    std::string section = header == std::string::npos ? "" : lowered.substr(header, end - header);
    std::string keys;
    const std::pair<const char *, const std::string *> identity[] = {
        {"cbId", &package.id},
        {"cbTitle", &title},
        {"cbVersion", &package.version},
        {"cbPublisher", &package.publisher}};
    for (const auto &key : identity) {
        if (!key.second->empty() && !SectionHasKey(section, Lowered(key.first)))
            keys += std::string(key.first) + "=" + *key.second + "\r\n";
    }
    if (keys.empty())
        return passOn;
    if (header == std::string::npos)
        return passOn + "\r\n[PRODUCT]\r\n" + keys;
    return passOn.substr(0, end) + keys + passOn.substr(end);
}

// The package's id, version and publisher as the data file holds them.
PackageInfo IdentityInCodePage(const Manifest &manifest, Errors *errors)
{
    PackageInfo identity = manifest.package;
    identity.id = InCodePage(identity.id, manifest.packageLine[0], "the id", manifest, errors);
    identity.version =
        InCodePage(identity.version, manifest.packageLine[1], "the version", manifest, errors);
    identity.publisher =
        InCodePage(identity.publisher, manifest.packageLine[2], "the publisher", manifest, errors);
    return identity;
}

// The archive's name: one per version, as a download site keeps them.
std::string PackageZipName(const PackageInfo &package)
{
    return package.id + "-" + package.version + ".zip";
}

// The distribution's files `shipped` as one zip archive, and the package
// manager's manifest that gives its address and SHA-256; both in `folder`,
// after its record.
bool WritePackage(const Manifest &manifest, const BuildOptions &options,
                  const std::vector<std::string> &shipped, const std::string &folder,
                  const std::vector<std::string> &writes, Errors *errors)
{
    std::string zip, why;
    if (!StoredZip(options.out, shipped, &zip, &why)) {
        errors->Add(Severity::Error, options.out, "cannot be archived: " + why);
        return false;
    }
    std::string sha256 = Sha256Hex(zip);
    std::string zipPath = JoinHost(folder, writes[1]), yamlPath = JoinHost(folder, writes[2]);
    if (!Write(JoinHost(folder, kBuildRecordName), RecordText(writes), options.manifest, errors) ||
        !Write(zipPath, zip, options.manifest, errors) ||
        !Write(yamlPath,
               WingetManifest(manifest.package, sha256, Lowered(manifest.module) == "stock"),
               options.manifest, errors))
        return false;
    printf("%s: %zu files, %zu bytes, SHA-256 %s\n%s: winget install --manifest %s\n",
           zipPath.c_str(), shipped.size(), zip.size(), sha256.c_str(), yamlPath.c_str(),
           yamlPath.c_str());
    return true;
}

// Where the single-file package goes: beside the distribution folder.
std::string PackagePath(const BuildOptions &options)
{
    std::string out = options.out;
    while (out.size() > 1 && (out.back() == '/' || out.back() == '\\'))
        out.pop_back();
    return JoinHost(HostFolderOf(out), options.package);
}

// The package's name must be a plain program name, and what lies under it
// already one of kvlship's packages (a build replaces its own, nothing else).
void CheckPackageName(const BuildOptions &options, Errors *errors)
{
    const std::string &name = options.package;
    if (!IsPlainName(name.c_str()) || HasControl(name) ||
        name.find_first_of("*?<>\"|:/\\") != std::string::npos || name.size() < 5 ||
        !WhyNotWindowsName(name).empty() || Lowered(name.substr(name.size() - 4)) != ".exe")
        errors->Say(0, "--package " + name + ": give a plain file name ending in .exe");
    std::string stub = JoinHost(options.engine, kPackageStubName);
    if (!IsFile(stub))
        errors->Say(0, stub + " is missing: give the engine's folder with --engine DIR");
    std::string path = PackagePath(options), head;
    uint64_t size = 0;
    PathKind kind = KindOf(path);
    if (kind != PathKind::Missing &&
        (kind != PathKind::File || !ReadPackageHead(path, false, &head, &size) || !IsPackage(head)))
        errors->Say(0, path + " exists and is no package that kvlship wrote; left as it is");
}

// The single-file package: the stub with the distribution `shipped` (as
// written to OUT, but each product file as its source, uncompressed: the
// payload's compression does better on the plain bytes, and setup copies a
// plain file as it is). Compressed by zstd's workers, one per processor (or
// `jobs`): the same bytes whatever their number.
bool WriteSingleFile(const Manifest &manifest, const BuildOptions &options,
                     const std::vector<std::string> &shipped, Errors *errors)
{
    std::vector<PackFile> files;
    for (const std::string &name : shipped) {
        // The table holds each name as setup will look it up: in the code page.
        PackFile file = {name, JoinHost(options.out, name)};
        std::string why;
        if (!FromUtf8(Utf8Path(name), manifest.codePage, &file.name, &why))
            file.name = name;
        for (const FileSpec &listed : manifest.files) {
            if (listed.stored == name) {
                file.source = listed.source;
                file.name = listed.storedCp;
            }
        }
        files.push_back(file);
    }
    PackVersion version;
    version.product = manifest.title;
    version.version = manifest.package.version;
    version.publisher = manifest.package.publisher;
    version.description = manifest.package.description.empty() ? manifest.title + " Setup"
                                                               : manifest.package.description;
    version.fileName = options.package;
    version.copyright = manifest.copyright;
    std::string stubPath = JoinHost(options.engine, kPackageStubName), stub, why;
    std::string path = PackagePath(options);
    if (!ReadWholeFile(stubPath, &stub)) {
        errors->Add(Severity::Error, stubPath, "cannot be read");
        return false;
    }
    PreparedStub prepared;
    if (!PrepareStub(stub, version, &prepared, &why)) {
        errors->Add(Severity::Error, stubPath, why);
        return false;
    }
    PackOptions pack;
    pack.workers = options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                    : std::thread::hardware_concurrency();
    pack.workers = pack.workers < 1                 ? 1
                   : pack.workers > kPackMaxWorkers ? kPackMaxWorkers
                                                    : pack.workers;
    PackResult made;
    if (!WritePackageFile(prepared, files, pack, path, &made, &why)) {
        errors->Add(Severity::Error, path, "cannot be made: " + why);
        return false;
    }
    // Signed last: the signature covers the payload and the version information.
    if (!options.sign.certificate.empty()) {
        SignOptions sign = options.sign;
        sign.description = manifest.title;
        if (!SignPeFile(path, sign, &why)) {
            errors->Add(Severity::Error, path, "cannot be signed: " + why);
            return false;
        }
    }
    printf("%s: %zu files in one program, %llu bytes (stub %zu, payload %llu)\n", path.c_str(),
           files.size(), static_cast<unsigned long long>(made.packageSize), prepared.image.size(),
           static_cast<unsigned long long>(made.payloadSize));
    return true;
}

} // namespace

int BuildDistribution(const BuildOptions &options)
{
    Manifest manifest;
    Errors errors;
    errors.manifest = options.manifest;
    if (!ReadManifest(options, &manifest, &errors))
        return 2;
    std::string setup = JoinHost(options.engine, "setup.exe");
    PlanFiles(&manifest, EngineCopyEntriesIn(options.engine), &errors);
    CheckPathLengths(manifest, &errors);

    std::string module = Lowered(manifest.module) == "stock"
                             ? JoinHost(options.engine, "stock.dll")
                             : FromManifest(manifest, manifest.module);
    if (!IsFile(setup))
        errors.Say(0, setup + " is missing: give the engine's folder with --engine DIR");
    if (!IsFile(module))
        errors.Say(0, "module " + module + " is missing");
    if (manifest.moduleName.empty() || !IsPlainName(manifest.moduleName.c_str()) ||
        HasControl(manifest.moduleName) ||
        manifest.moduleName.find_first_of("*?<>\"|:") != std::string::npos ||
        !WhyNotWindowsName(manifest.moduleName + ".dll").empty())
        errors.Say(0, "module-name must be a plain name");
    // A line break in the title would start lines of its own in kvlsetup.dat.
    if (HasControl(manifest.title))
        errors.Say(0, "the title holds a control character (a -D value with a line break?)");
    for (const auto &define : options.defines) {
        if (define.second.find_first_of("\r\n") != std::string::npos)
            errors.Say(0, "-D " + define.first + ": its value holds a line break");
    }
    std::string agreement = AgreementText(manifest, &errors);
    bool stock = Lowered(manifest.module) == "stock";
    std::string data =
        "[GENERAL]\r\ncbTitle=" + manifest.title +
        "\r\ncbCodePage=" + std::to_string(manifest.codePage) + "\r\n" +
        CopyDeclarations(manifest) + "\r\n" + FileListSection(manifest, &errors) +
        (stock ? WithProductIdentity(manifest.passOn, IdentityInCodePage(manifest, &errors),
                                     manifest.title)
               : manifest.passOn);
    bool packaged = ReadyToPackage(&manifest, &errors);
    std::string cannotSign;
    if (!options.sign.certificate.empty() && IsFile(setup) &&
        !SigningWorks(options.sign, setup, &cannotSign))
        errors.Add(Severity::Error, "--sign", cannotSign);
    if (!options.package.empty())
        CheckPackageName(options, &errors);
    if (errors.count > 0) {
        fprintf(stderr, "kvlship: %d mistake%s; nothing written\n", errors.count,
                errors.count == 1 ? "" : "s");
        return 2;
    }

    std::string licence = FromManifest(manifest, manifest.licence);
    std::vector<std::string> inputs = {options.manifest, licence, setup, module};
    // The record is written first, so that even a build cut short is cleared by the next.
    std::vector<std::string> writes = {kBuildRecordName, "setup.exe", manifest.moduleName + ".dll",
                                       kLicenceName, kDataFileName};
    // The uninstaller ships beside setup.exe for a module to install with the
    // product; an engine folder without one (an older engine) ships none.
    std::string uninstaller = JoinHost(options.engine, kUninstallerName);
    bool shipsUninstaller = IsFile(uninstaller);
    if (shipsUninstaller) {
        inputs.push_back(uninstaller);
        writes.push_back(kUninstallerName);
    }
    for (const FileSpec &file : manifest.files) {
        inputs.push_back(file.source);
        writes.push_back(file.stored);
    }
    if (!PrepareOut(options.out, writes, inputs, &errors))
        return 2;
    // The package goes into a folder of its own beside the distribution's,
    // with its own record: inside, it would ship in itself and be a file
    // that setup's folder holds but no line installs.
    std::string packageFolder;
    std::vector<std::string> packageWrites;
    if (packaged) {
        packageFolder = FullPath(options.out);
        if (packageFolder.empty()) {
            errors.Add(Severity::Error, options.out, "has no full path");
            return 2;
        }
        packageFolder += kPackageFolderEnd;
        packageWrites = {kBuildRecordName, PackageZipName(manifest.package),
                         manifest.package.id + ".yaml"};
        if (!PrepareOut(packageFolder, packageWrites, inputs, &errors))
            return 2;
    }
    // The agreement text is stored with each byte complemented.
    for (char &c : agreement)
        c = static_cast<char>(~c);
    std::string bytes;
    bool ok = Write(JoinHost(options.out, kBuildRecordName), RecordText(writes), options.manifest,
                    &errors) &&
              ReadWholeFile(setup, &bytes) &&
              Write(JoinHost(options.out, "setup.exe"), bytes, setup, &errors) &&
              ReadWholeFile(module, &bytes) &&
              Write(JoinHost(options.out, manifest.moduleName + ".dll"), bytes, module, &errors) &&
              Write(JoinHost(options.out, kLicenceName), agreement, licence, &errors) &&
              Write(JoinHost(options.out, kDataFileName), data, options.manifest, &errors) &&
              (!shipsUninstaller ||
               (ReadWholeFile(uninstaller, &bytes) &&
                Write(JoinHost(options.out, kUninstallerName), bytes, uninstaller, &errors))) &&
              SignWritten(options, manifest.title,
                          {"setup.exe", manifest.moduleName + ".dll", kUninstallerName}, &errors) &&
              WriteProductFiles(manifest, options.out, options.jobs, options.sign, &errors);
    if (!ok) {
        errors.Add(Severity::Error, options.out, "holds an incomplete distribution");
        return 2;
    }
    printf("%s: %zu files, setup.exe, %s.dll, %s, %s\n", options.out.c_str(), manifest.files.size(),
           manifest.moduleName.c_str(), kDataFileName, kLicenceName);
    std::vector<std::string> shipped(writes.begin() + 1, writes.end());
    if (packaged &&
        !WritePackage(manifest, options, shipped, packageFolder, packageWrites, &errors))
        return 2;
    if (!options.package.empty() && !WriteSingleFile(manifest, options, shipped, &errors))
        return 2;
    return 0;
}

namespace
{

// `path` as the manifest names it: relative to the manifest's folder when
// both are relative (build reads sources from there), else as given.
std::string RelativeTo(const std::string &manifestFolder, const std::string &path)
{
    std::string base = FullPath(manifestFolder), full = FullPath(path);
    if (base.empty() || full.empty())
        return path;
    if (full.size() > base.size() + 1 && full.compare(0, base.size(), base) == 0 &&
        (full[base.size()] == '/' || full[base.size()] == '\\'))
        return full.substr(base.size() + 1);
    return full;
}

// Every plain file below `folder`, sub-folders included, as installed paths
// (backslashes) and host paths; sorted, so the manifest is the same each time.
void ListTree(const std::string &folder, const std::string &installed,
              std::vector<std::pair<std::string, std::string>> *files)
{
    std::vector<FolderItem> items;
    ListFolder(folder, &items);
    for (const FolderItem &item : items) {
        std::string host = JoinHost(folder, item.name);
        std::string below = installed.empty() ? item.name : installed + "\\" + item.name;
        if (item.kind == PathKind::Folder)
            ListTree(host, below, files);
        else if (item.kind == PathKind::File)
            files->push_back({below, host});
    }
}

} // namespace

void PrintManifestKeys()
{
    for (const char *const *key = kManifestPackageKeys; *key; ++key)
        printf("package %s\n", *key);
    for (const char *const *option = kManifestFileOptions; *option; ++option)
        printf("files %s\n", *option);
}

int WriteNewManifest(const std::string &path, const std::string &folder, const std::string &engine)
{
    if (IsFile(path)) {
        fprintf(stderr, "kvlship: %s exists; not replacing it\n", path.c_str());
        return 2;
    }
    if (!IsFolder(folder)) {
        fprintf(stderr, "kvlship: cannot list %s\n", folder.c_str());
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> files;
    ListTree(folder, "", &files);
    std::string manifestFolder = HostFolderOf(path);
    bool licence = IsFile(JoinHost(manifestFolder, "licence.txt"));
    std::string text =
        "; The product's manifest: kvlship build THIS_FILE OUT lays out its distribution.\r\n"
        "[package]\r\n"
        "title = My Product\r\n" +
        std::string(licence ? "licence = licence.txt\r\n"
                            : "; licence = licence.txt    (ordinary text, UTF-8: setup shows it "
                              "in its agreement box; write one, then remove the ';')\r\n") +
        "module = stock\r\n"
        "; Setup copies as fast as the disk allows; \"no\": one file a step, at a pace\r\n"
        "; a person can follow.\r\n"
        "fast-copy = yes\r\n"
        "; The code page of the machines it installs on (file names and licence).\r\n"
        "codepage = 1252\r\n"
        "; The product's identity: its removal is registered under the id (one that\r\n"
        "; stays the same in every version); Add/Remove Programs shows the product\r\n"
        "; under its title, with this version and publisher.\r\n"
        "id = MyCompany.MyProduct\r\n"
        "version = 1.0\r\n"
        "publisher = My Company\r\n"
        "; With these three too, build also writes a zip archive and a winget manifest:\r\n"
        "; licence-name = Proprietary\r\n"
        "; description = What my product does\r\n"
        "; download-url = https://example.com/Publisher.Product-1.0.zip\r\n\r\n"
        "; More of the stock module's settings, each a section of its own after\r\n"
        "; [PRODUCT] below (docs/stock-module.md describes every one):\r\n"
        ";   a desktop shortcut the user may decline (silently: setup /NODESKTOP)\r\n"
        ";     [DESKTOP]\r\n"
        ";     cbLink = My Product|MYPROG.EXE||.|Starts My Product\r\n"
        ";   registry values, removed with the product while they hold what was written\r\n"
        ";     [REGISTRY]\r\n"
        ";     cbItem00 = HKLM|Software\\My Company\\My Product|InstallDir|string|%DEST%\r\n"
        ";     cbItem01 = HKCU|Software\\My Company\\My Product|FirstRun|number|1\r\n"
        ";   a file type opened by the product's program, taken back at removal\r\n"
        ";     [ASSOC]\r\n"
        ";     cbItem00 = .myp|MyCompany.Document|My Product document|MYPROG.EXE|\r\n"
        "; copyright = Copyright (C) My Company    (the package's version information)\r\n\r\n"
        "[files]\r\n"
        "; installed path below the destination = source file [, plain] [, replace] [, "
        "windows]\r\n";
    for (const auto &file : files)
        text += Utf8Path(file.first) + " = " + Utf8Path(RelativeTo(manifestFolder, file.second)) +
                "\r\n";
    text += "\r\n; The stock module's settings go into kvlsetup.dat as written\r\n"
            "; (docs/stock-module.md describes each). With cbAskFolder = 1 the user\r\n"
            "; sees the folder after the agreement and may choose another.\r\n"
            "[PRODUCT]\r\ncbFolder = My Product\r\ncbConflict = ask\r\ncbAskFolder = 1\r\n";
    if (!WriteWholeFile(path, text)) {
        fprintf(stderr, "kvlship: cannot write %s\n", path.c_str());
        return 2;
    }
    printf("%s lists %zu files below %s; edit it, then: kvlship build %s dist\n", path.c_str(),
           files.size(), folder.c_str(), path.c_str());
    // Listed all the same: the vendor may leave some out, or take a newer engine.
    int limit = EngineCopyEntriesIn(engine);
    if (files.size() > static_cast<size_t>(limit))
        fprintf(stderr,
                "kvlship: warning: the engine in %s installs at most %d files; build refuses "
                "more than that\n",
                engine.c_str(), limit);
    return 0;
}
