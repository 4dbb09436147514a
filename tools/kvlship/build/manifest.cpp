// Reading a product's manifest: its sections, [package] keys, [files] lines
// and their options, -D defines; every mistake placed at its line.
#include "build/manifest.h"

#include "common/hostfs.h"
#include "common/lines.h"
#include "common/textout.h"

#include <stdio.h>
#include <stdlib.h>

const char *const kWingetKeys[kWingetKeyCount] = {"id",           "version",     "publisher",
                                                  "licence-name", "description", "download-url"};

namespace
{

// Every [package] key and [files] option the manifest's reader knows, for
// its messages and for `kvlship keys`, which the reference's test reads.
const char *const kPackageSectionKeys[] = {
    "title", "licence", "module",    "module-name",  "codepage",    "copyright",    "fast-copy",
    "id",    "version", "publisher", "licence-name", "description", "download-url", nullptr};
const char *const kFileOptions[] = {"plain", "replace", "windows", nullptr};

std::string KnownKeys()
{
    std::string known;
    for (const char *const *key = kPackageSectionKeys; *key; ++key)
        known += std::string(known.empty() ? "" : ", ") + *key;
    return known;
}

// A comment line of the manifest's: never a key, never passed on.
bool IsComment(const std::string &line)
{
    return !line.empty() && (line[0] == ';' || line[0] == '#');
}

// The lowered name of a "[name]" line; false for any other line.
bool SectionName(const std::string &line, std::string *name)
{
    if (line.empty() || line[0] != '[' || line.back() != ']')
        return false;
    *name = Lowered(Trim(line.substr(1, line.size() - 2)));
    return true;
}

bool OwnSection(const std::string &section)
{
    return section == "package" || section == "files";
}

// `text` with each ${NAME} replaced by its -D value; false with the first
// name that has none in `unknown`.
bool Expand(const std::string &text, const Defines &defines, std::string *out, std::string *unknown)
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
        for (const auto &define : defines) {
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

std::string NoValue(const std::string &unknown)
{
    return "${" + unknown + "} has no value: give it with -D " + unknown + "=...";
}

// The comma-separated fields of `text`, each trimmed.
std::vector<std::string> Fields(const std::string &text)
{
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        size_t comma = text.find(',', at);
        fields.push_back(
            Trim(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
        if (comma == std::string::npos)
            return fields;
        at = comma + 1;
    }
}

void ReadFileLine(const std::string &line, int number, const Defines &defines, Manifest *manifest,
                  Diagnostics *diagnostics)
{
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
        diagnostics->Error(
            manifest->At(number),
            "a file line reads: installed path = source file [, plain] [, replace] [, windows]");
        return;
    }
    ProductFile file;
    file.line = number;
    file.installed = Trim(line.substr(0, equals));
    std::vector<std::string> fields = Fields(line.substr(equals + 1));
    std::string unknown;
    if (!Expand(fields[0], defines, &file.source, &unknown)) {
        diagnostics->Error(manifest->At(number), NoValue(unknown));
        return;
    }
    file.source = SourcePath(*manifest, file.source);
    for (size_t i = 1; i < fields.size(); ++i) {
        std::string option = Lowered(fields[i]);
        if (option == "plain")
            file.plain = true;
        else if (option == "replace")
            file.replace = true;
        else if (option == "windows")
            file.windows = true;
        else
            diagnostics->Error(manifest->At(number),
                               "unknown option \"" + fields[i] + "\" (plain, replace or windows)");
    }
    manifest->files.push_back(file);
}

// One of the package manager's keys; false for any other key.
bool ReadWingetKey(const std::string &key, const std::string &value, int number, Manifest *manifest)
{
    for (int i = 0; i < kWingetKeyCount; ++i) {
        if (key == kWingetKeys[i]) {
            manifest->WingetValue(i) = value;
            manifest->wingetLine[i] = number;
            return true;
        }
    }
    return false;
}

// [package] keys whose value is taken as written (after -D).
const struct {
    const char *key;
    std::string Manifest::*field;
} kTextKeys[] = {{"licence", &Manifest::licence},
                 {"license", &Manifest::licence},
                 {"module", &Manifest::module},
                 {"module-name", &Manifest::moduleName},
                 {"copyright", &Manifest::copyright}};

// One of kTextKeys; false for any other key.
bool ReadTextKey(const std::string &key, const std::string &value, Manifest *manifest)
{
    for (const auto &text : kTextKeys) {
        if (key == text.key) {
            manifest->*text.field = value;
            return true;
        }
    }
    return false;
}

// fast-copy = yes or no (1 or 0).
void ReadFastCopy(const std::string &value, int number, Manifest *manifest,
                  Diagnostics *diagnostics)
{
    std::string lowered = Lowered(value);
    if (lowered == "yes" || lowered == "1")
        manifest->fastCopy = true;
    else if (lowered != "no" && lowered != "0")
        diagnostics->Error(manifest->At(number), "fast-copy is yes or no");
}

void ReadPackageLine(const std::string &line, int number, const Defines &defines,
                     Manifest *manifest, Diagnostics *diagnostics)
{
    size_t equals = line.find('=');
    std::string key = Lowered(Trim(line.substr(0, equals)));
    std::string value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
    std::string expanded, unknown;
    if (!Expand(value, defines, &expanded, &unknown))
        diagnostics->Error(manifest->At(number), NoValue(unknown));
    if (key == "title")
        manifest->title = InCodePage(expanded, number, "the title", *manifest, diagnostics);
    else if (key == "codepage")
        return; // read first, before every other line
    else if (key == "fast-copy")
        ReadFastCopy(expanded, number, manifest, diagnostics);
    else if (!ReadTextKey(key, expanded, manifest) &&
             !ReadWingetKey(key == "license-name" ? "licence-name" : key, expanded, number,
                            manifest))
        diagnostics->Error(manifest->At(number),
                           "unknown [package] key \"" + key + "\" (" + KnownKeys() + ")");
}

// [package] codepage, read before the rest: every text the data file gets
// is written in it. Returns 0 when it is not one this host converts.
int PackageCodePage(const std::vector<std::string> &lines, const Manifest &manifest,
                    Diagnostics *diagnostics)
{
    std::string section;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = Trim(lines[i]);
        if (SectionName(line, &section))
            continue;
        size_t equals = line.find('=');
        if (section != "package" || equals == std::string::npos ||
            Lowered(Trim(line.substr(0, equals))) != "codepage")
            continue;
        std::string value = Trim(line.substr(equals + 1));
        int codePage = atoi(value.c_str());
        if (value.find_first_not_of("0123456789") != std::string::npos ||
            !KnownCodePage(codePage)) {
            diagnostics->Error(manifest.At(static_cast<int>(i) + 1),
                               "codepage " + value +
                                   " is not a code page this tool converts to (1252, 1250, ...)");
            return 0;
        }
        return codePage;
    }
    return kDefaultCodePage;
}

// A "[name]" line: the section it starts, passed on unless it is the manifest's own.
void ReadSectionLine(const std::string &line, int number, const std::string &section,
                     Manifest *manifest, Diagnostics *diagnostics)
{
    if (section == "general" || section == "filelist")
        diagnostics->Error(manifest->At(number),
                           "kvlship writes [" + section + "] itself from [package] and [files]");
    if (!OwnSection(section))
        manifest->passOn += (manifest->passOn.empty() ? "\r\n" : "") +
                            InCodePage(line, number, "the line", *manifest, diagnostics) + "\r\n";
}

// A line of a section kvlship does not read: passed on as it stands, but for
// comments, which are the manifest's own.
void PassOnLine(const std::string &raw, const std::string &line, int number,
                const std::string &section, Manifest *manifest, Diagnostics *diagnostics)
{
    if (section.empty()) {
        if (!line.empty() && !IsComment(line))
            diagnostics->Error(manifest->At(number), "this line stands before any section");
        return;
    }
    if (!IsComment(line))
        manifest->passOn += InCodePage(raw, number, "the line", *manifest, diagnostics) + "\r\n";
}

} // namespace

std::string Manifest::At(int line) const
{
    return line > 0 ? path + ":" + std::to_string(line) : path;
}

bool Manifest::Stock() const
{
    return Lowered(module) == "stock";
}

std::string &Manifest::WingetValue(int index)
{
    std::string *values[kWingetKeyCount] = {&winget.id,      &winget.version,     &winget.publisher,
                                            &winget.licence, &winget.description, &winget.url};
    return *values[index];
}

const std::string &Manifest::WingetValue(int index) const
{
    return const_cast<Manifest *>(this)->WingetValue(index);
}

void ParseManifest(std::string text, const Defines &defines, Manifest *manifest,
                   Diagnostics *diagnostics)
{
    DropByteOrderMark(&text);
    std::vector<std::string> lines = SplitLines(text);
    manifest->codePage = PackageCodePage(lines, *manifest, diagnostics);
    if (manifest->codePage == 0)
        manifest->codePage = kDefaultCodePage; // told above
    std::string section;
    for (size_t i = 0; i < lines.size(); ++i) {
        int number = static_cast<int>(i) + 1;
        std::string raw = lines[i];
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        // kvlsetup.dat is read with CR as a line end too.
        if (raw.find('\r') != std::string::npos)
            diagnostics->Error(manifest->At(number), "holds a carriage return inside the line");
        std::string line = Trim(raw);
        if (SectionName(line, &section))
            ReadSectionLine(line, number, section, manifest, diagnostics);
        else if (!OwnSection(section))
            PassOnLine(raw, line, number, section, manifest, diagnostics);
        else if (line.empty() || IsComment(line))
            continue;
        else if (section == "files")
            ReadFileLine(line, number, defines, manifest, diagnostics);
        else
            ReadPackageLine(line, number, defines, manifest, diagnostics);
    }
}

bool ReadManifest(const std::string &path, const Defines &defines, Manifest *manifest,
                  Diagnostics *diagnostics)
{
    manifest->path = path;
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        diagnostics->Error(path, "cannot be read");
        return false;
    }
    manifest->folder = HostFolderOf(path);
    ParseManifest(text, defines, manifest, diagnostics);
    return true;
}

std::string SourcePath(const Manifest &manifest, const std::string &utf8)
{
    std::string path = HostPath(utf8);
    if (!path.empty() && (path[0] == '/' || (path.size() > 1 && path[1] == ':')))
        return path;
    return JoinHost(manifest.folder, path);
}

std::string InCodePage(const std::string &text, int line, const std::string &what,
                       const Manifest &manifest, Diagnostics *diagnostics)
{
    std::string converted, why;
    if (FromUtf8(text, manifest.codePage, &converted, &why))
        return converted;
    diagnostics->Error(manifest.At(line), what + " " + why);
    return text;
}

void DropByteOrderMark(std::string *text)
{
    if (text->compare(0, 3, "\xEF\xBB\xBF") == 0)
        text->erase(0, 3);
}

void PrintManifestKeys()
{
    for (const char *const *key = kPackageSectionKeys; *key; ++key)
        printf("package %s\n", *key);
    for (const char *const *option = kFileOptions; *option; ++option)
        printf("files %s\n", *option);
}
