#include "build.h"

#include "check.h"
#include "hostfs.h"
#include "szddencode.h"
#include "textout.h"

#include "copy/filelist.h"
#include "util/paths.h"

#include <stdio.h>
#include <string.h>

#include <memory>

namespace
{

struct FileSpec {
    int line;
    std::string installed; // as written: sub-folder and name
    std::string source;    // host path
    bool plain = false, replace = false, windows = false;
    std::string subFolder, name, stored;
    char lastChar = 0;
};

struct Manifest {
    std::string folder; // host folder of the manifest
    std::string title, licence, module = "stock", moduleName = "defsetup";
    std::vector<FileSpec> files;
    std::string passOn; // sections written into kvlsetup.dat as they stand
};

struct Errors {
    std::string manifest;
    int count = 0;
    void Say(int line, const std::string &text)
    {
        fprintf(stderr, "%s:%d: %s\n", manifest.c_str(), line, text.c_str());
        ++count;
    }
};

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

std::string FromManifest(const Manifest &manifest, const std::string &path)
{
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

bool ReadManifest(const BuildOptions &options, Manifest *manifest, Errors *errors)
{
    std::string text;
    if (!ReadWholeFile(options.manifest, &text)) {
        fprintf(stderr, "kvlship: cannot read %s\n", options.manifest.c_str());
        return false;
    }
    manifest->folder = HostFolderOf(options.manifest);
    std::string section;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        std::string raw =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::string line = Trim(raw);
        if (!line.empty() && line[0] == '[' && line.back() == ']') {
            section = Lowered(Trim(line.substr(1, line.size() - 2)));
            if (section == "general" || section == "filelist")
                errors->Say(number,
                            "kvlship writes [" + section + "] itself from [package] and [files]");
            if (section != "package" && section != "files")
                manifest->passOn += (manifest->passOn.empty() ? "\r\n" : "") + line + "\r\n";
            continue;
        }
        if (section != "package" && section != "files") {
            if (section.empty() && !line.empty() && line[0] != ';' && line[0] != '#')
                errors->Say(number, "this line stands before any section");
            else if (!section.empty())
                manifest->passOn += raw + "\r\n";
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
            manifest->title = expanded;
        else if (key == "licence" || key == "license")
            manifest->licence = expanded;
        else if (key == "module")
            manifest->module = expanded;
        else if (key == "module-name")
            manifest->moduleName = expanded;
        else
            errors->Say(number, "unknown [package] key \"" + key +
                                    "\" (title, licence, module, module-name)");
    }
    return true;
}

// Works out each file's stored name, sub-folder and line; reports what the
// engine could not install as written.
void PlanFiles(Manifest *manifest, Errors *errors)
{
    if (manifest->files.empty())
        errors->Say(0, "[files] lists no file");
    if (manifest->files.size() > 128)
        errors->Say(0, "setup installs at most 128 files from its data file; this lists " +
                           std::to_string(manifest->files.size()));
    for (FileSpec &file : manifest->files) {
        std::string installed = file.installed;
        for (char &c : installed)
            c = c == '/' ? '\\' : c;
        size_t slash = installed.rfind('\\');
        file.name = slash == std::string::npos ? installed : installed.substr(slash + 1);
        file.subFolder = slash == std::string::npos ? "" : installed.substr(0, slash);
        if (!IsPlainName(file.name.c_str()) ||
            file.name.find_first_of("*?<>\"|:") != std::string::npos) {
            errors->Say(file.line, "\"" + file.name + "\" is not a file name");
            continue;
        }
        if (!file.subFolder.empty() &&
            (!StaysBelow(file.subFolder.c_str()) ||
             file.subFolder.find_first_of("*?<>\"|; ,") != std::string::npos)) {
            errors->Say(
                file.line,
                "sub-folder \"" + file.subFolder +
                    "\" must stay below the destination and hold no blank, comma, ';' or wildcard");
            continue;
        }
        if (file.windows && !file.subFolder.empty())
            errors->Say(file.line, "a file for the Windows folder has no sub-folder");
        if (!IsFile(file.source))
            errors->Say(file.line, "source file " + file.source + " is missing");
        file.lastChar = file.name.back();
        file.stored = file.name;
        if (!file.plain)
            file.stored.back() = '_';
        if (file.lastChar == ',' || file.lastChar == ';')
            errors->Say(file.line, "a name cannot end in ',' or ';' in the data file");
    }
    for (size_t i = 0; i < manifest->files.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const FileSpec &a = manifest->files[j], &b = manifest->files[i];
            if (CompareNames(a.stored, b.stored) == 0)
                errors->Say(
                    b.line,
                    "is stored as " + b.stored + " like line " + std::to_string(a.line) +
                        ": the distribution folder is flat, so one would replace the other" +
                        (a.plain || b.plain ? "" : " (ship one of them plain)"));
            else if (CompareNames(a.installed, b.installed) == 0)
                errors->Say(b.line, "installs the same file as line " + std::to_string(a.line));
        }
    }
}

// The pattern that finds exactly `stored` among `names`: blanks cannot be
// written (the engine removes them), so each becomes "?".
std::string PatternFor(const std::string &stored, const std::vector<std::string> &names,
                       bool *unique)
{
    std::string pattern = stored;
    for (char &c : pattern)
        c = c == ' ' ? '?' : c;
    int matches = 0;
    for (const std::string &name : names)
        matches += WildcardMatch(pattern.c_str(), name.c_str());
    *unique = matches == 1;
    return pattern;
}

bool ToString(void *context, const unsigned char *data, size_t size)
{
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), size);
    return true;
}

bool Compress(const std::string &plain, char lastChar, std::string *out)
{
    static std::unique_ptr<SzddEncoder> encoder(new SzddEncoder);
    out->clear();
    if (plain.size() > 0xffffffffu)
        return false;
    SzddEncoderInit(encoder.get(), static_cast<uint32_t>(plain.size()),
                    static_cast<unsigned char>(lastChar), ToString, out);
    return SzddEncoderWrite(encoder.get(), plain.data(), plain.size()) &&
           SzddEncoderFinish(encoder.get());
}

bool Write(const std::string &path, const std::string &bytes, const std::string &dateFrom)
{
    if (!WriteWholeFile(path, bytes)) {
        fprintf(stderr, "kvlship: cannot write %s\n", path.c_str());
        return false;
    }
    CopyFileTime(dateFrom, path);
    return true;
}

bool PrepareOut(const std::string &out)
{
    if (IsFolder(out)) {
        std::vector<FolderItem> items;
        ListFolder(out, &items);
        if (!items.empty() && !IsFile(JoinHost(out, kDataFileName))) {
            fprintf(stderr,
                    "kvlship: %s holds files but no %s; not a distribution, left as it is\n",
                    out.c_str(), kDataFileName);
            return false;
        }
        // A distribution of an earlier build: its files go, nothing else does.
        return RemoveFilesIn(out);
    }
    if (!MakeFolders(out)) {
        fprintf(stderr, "kvlship: cannot make %s\n", out.c_str());
        return false;
    }
    return true;
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

// [FILELIST] in the engine's line format, one line per file, in manifest order.
std::string FileListSection(const Manifest &manifest, Errors *errors)
{
    std::vector<std::string> storedNames;
    for (const FileSpec &file : manifest.files)
        storedNames.push_back(file.stored);
    std::string section = "[FILELIST]\r\n";
    for (size_t i = 0; i < manifest.files.size(); ++i) {
        const FileSpec &file = manifest.files[i];
        bool unique;
        std::string pattern = PatternFor(file.stored, storedNames, &unique);
        if (!unique)
            errors->Say(file.line, "its name holds blanks and no pattern finds it alone");
        char line[600];
        snprintf(line, sizeof line, "%s, %c, %s, %d, 0, %d, 0;", pattern.c_str(), file.lastChar,
                 file.subFolder.c_str(), file.windows ? 1 : 0, file.replace ? 1 : 0);
        if (strlen(line) >= kFileListTextSize)
            errors->Say(file.line,
                        "its data-file line is longer than the 259 characters setup reads");
        char key[32];
        snprintf(key, sizeof key, "cbItem%02d", static_cast<int>(i));
        section += std::string(key) + "=" + line + "\r\n";
    }
    return section;
}

// The product's files, compressed or plain, with a progress line each.
bool WriteProductFiles(const Manifest &manifest, const std::string &out)
{
    for (size_t i = 0; i < manifest.files.size(); ++i) {
        const FileSpec &file = manifest.files[i];
        std::string plain, stored;
        bool ok = ReadWholeFile(file.source, &plain) &&
                  (file.plain || Compress(plain, file.lastChar, &stored)) &&
                  Write(JoinHost(out, file.stored), file.plain ? plain : stored, file.source);
        if (!ok)
            return false;
        printf("[%zu/%zu] %-14s %10zu -> %10zu bytes  %s\n", i + 1, manifest.files.size(),
               file.stored.c_str(), plain.size(), file.plain ? plain.size() : stored.size(),
               file.installed.c_str());
        fflush(stdout);
    }
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
    PlanFiles(&manifest, &errors);

    std::string setup = JoinHost(options.engine, "setup.exe");
    std::string module = Lowered(manifest.module) == "stock"
                             ? JoinHost(options.engine, "stock.dll")
                             : FromManifest(manifest, manifest.module);
    if (!IsFile(setup))
        errors.Say(0, setup + " is missing: give the engine's folder with --engine DIR");
    if (!IsFile(module))
        errors.Say(0, "module " + module + " is missing");
    if (manifest.moduleName.empty() || !IsPlainName(manifest.moduleName.c_str()) ||
        manifest.moduleName.find_first_of("*?<>\"|:") != std::string::npos)
        errors.Say(0, "module-name must be a plain name");
    std::string agreement = AgreementText(manifest, &errors);
    std::string data = "[GENERAL]\r\ncbTitle=" + manifest.title + "\r\n\r\n" +
                       FileListSection(manifest, &errors) + manifest.passOn;
    if (errors.count > 0) {
        fprintf(stderr, "kvlship: %d mistake%s; nothing written\n", errors.count,
                errors.count == 1 ? "" : "s");
        return 2;
    }

    if (!PrepareOut(options.out))
        return 2;
    // The agreement text is stored with each byte complemented.
    for (char &c : agreement)
        c = static_cast<char>(~c);
    std::string bytes;
    bool ok = ReadWholeFile(setup, &bytes) &&
              Write(JoinHost(options.out, "setup.exe"), bytes, setup) &&
              ReadWholeFile(module, &bytes) &&
              Write(JoinHost(options.out, manifest.moduleName + ".dll"), bytes, module) &&
              Write(JoinHost(options.out, kLicenceName), agreement,
                    FromManifest(manifest, manifest.licence)) &&
              Write(JoinHost(options.out, kDataFileName), data, options.manifest) &&
              WriteProductFiles(manifest, options.out);
    if (!ok) {
        fprintf(stderr, "kvlship: the distribution in %s is incomplete\n", options.out.c_str());
        return 2;
    }
    printf("%s: %zu files, setup.exe, %s.dll, %s, %s\n", options.out.c_str(), manifest.files.size(),
           manifest.moduleName.c_str(), kDataFileName, kLicenceName);
    return 0;
}

int WriteNewManifest(const std::string &path, const std::string &folder)
{
    if (IsFile(path)) {
        fprintf(stderr, "kvlship: %s exists; not replacing it\n", path.c_str());
        return 2;
    }
    std::vector<FolderItem> items;
    if (!ListFolder(folder, &items)) {
        fprintf(stderr, "kvlship: cannot list %s\n", folder.c_str());
        return 2;
    }
    std::string text =
        "; The product's manifest: kvlship build THIS_FILE OUT lays out its distribution.\r\n"
        "[package]\r\n"
        "title = My Product\r\n"
        "licence = licence.txt\r\n"
        "module = stock\r\n\r\n"
        "[files]\r\n"
        "; installed path below the destination = source file [, plain] [, replace] [, "
        "windows]\r\n";
    for (const FolderItem &item : items) {
        if (!item.isFolder)
            text += item.name + " = " + JoinHost(folder, item.name) + "\r\n";
    }
    text += "\r\n; The stock module's settings go into kvlsetup.dat as written.\r\n"
            "[PRODUCT]\r\ncbFolder = My Product\r\ncbConflict = ask\r\n";
    if (!WriteWholeFile(path, text)) {
        fprintf(stderr, "kvlship: cannot write %s\n", path.c_str());
        return 2;
    }
    printf("%s lists %s; edit it, then: kvlship build %s dist\n", path.c_str(), folder.c_str(),
           path.c_str());
    return 0;
}
