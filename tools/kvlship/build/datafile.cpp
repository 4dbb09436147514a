// Writing kvlsetup.dat's text and the agreement's from a planned manifest.
#include "build/datafile.h"

#include "build/plan.h"
#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/lines.h"
#include "common/textout.h"
#include "formats/storedlist.h"

#include "copy/filelist.h"

#include <stdio.h>
#include <string.h>

namespace
{

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

// [FILELIST] in the engine's line format, one line per file, in manifest
// order; and [STORED] for the files the stock module installs by request.
std::string FileListSection(const Manifest &manifest, Diagnostics *diagnostics)
{
    std::vector<std::string> storedNames;
    for (const ProductFile &file : manifest.files)
        storedNames.push_back(file.storedCp);
    std::string section = "[FILELIST]\r\n", stored;
    int lines = 0, items = 0;
    for (const ProductFile &file : manifest.files) {
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
            diagnostics->Error(manifest.At(file.line), "its data-file line is longer than the " +
                                                           std::to_string(kFileListTextSize - 1) +
                                                           " characters setup reads");
        snprintf(key, sizeof key, SETUP_ITEM_KEY, lines++);
        section += std::string(key) + "=" + line + "\r\n";
    }
    if (!stored.empty())
        section += "\r\n[" SETUP_STORED_SECTION "]\r\n" + stored;
    return section;
}

// True when the lines of `section` (lowered) give `key` (lowered) a value.
bool SectionHasKey(const std::string &section, const std::string &key)
{
    for (const std::string &line : SplitLines(section)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos && Trim(line.substr(0, equals)) == key)
            return true;
    }
    return false;
}

// The winget identity's id, version and publisher as the data file holds them.
WingetIdentity IdentityInCodePage(const Manifest &manifest, Diagnostics *diagnostics)
{
    WingetIdentity identity = manifest.winget;
    identity.id = InCodePage(identity.id, manifest.wingetLine[0], "the id", manifest, diagnostics);
    identity.version =
        InCodePage(identity.version, manifest.wingetLine[1], "the version", manifest, diagnostics);
    identity.publisher = InCodePage(identity.publisher, manifest.wingetLine[2], "the publisher",
                                    manifest, diagnostics);
    return identity;
}

// The stock module registers the product for removal under cbId, with its
// version and publisher: the same as the winget identity's, unless the
// manifest's own [PRODUCT] section says otherwise (its keys are left as they
// are). Its name there, in its questions and in the uninstaller's is cbTitle:
// the product's title, which users know it by, not the id.
std::string WithProductIdentity(const std::string &passOn, const WingetIdentity &winget,
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
        {"cbId", &winget.id},
        {"cbTitle", &title},
        {"cbVersion", &winget.version},
        {"cbPublisher", &winget.publisher}};
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

} // namespace

std::string DataFileText(const Manifest &manifest, Diagnostics *diagnostics)
{
    std::string data = "[GENERAL]\r\ncbTitle=" + manifest.title +
                       "\r\ncbCodePage=" + std::to_string(manifest.codePage) + "\r\n" +
                       CopyDeclarations(manifest) + "\r\n";
    data += FileListSection(manifest, diagnostics);
    if (!manifest.Stock())
        return data + manifest.passOn;
    return data + WithProductIdentity(manifest.passOn, IdentityInCodePage(manifest, diagnostics),
                                      manifest.title);
}

std::string AgreementText(const Manifest &manifest, Diagnostics *diagnostics)
{
    std::string licence;
    if (manifest.licence.empty())
        diagnostics->Error(manifest.At(0),
                           "[package] names no licence: setup shows it in its agreement box");
    else if (!ReadWholeFile(SourcePath(manifest, manifest.licence), &licence))
        diagnostics->Error(manifest.At(0), "licence " + manifest.licence + " cannot be read");
    DropByteOrderMark(&licence);
    std::string converted, why;
    if (FromUtf8(licence, manifest.codePage, &converted, &why))
        licence = converted;
    else
        diagnostics->Error(SourcePath(manifest, manifest.licence), why);
    std::string crlf;
    for (size_t i = 0; i < licence.size(); ++i) {
        if (licence[i] == '\n' && (i == 0 || licence[i - 1] != '\r'))
            crlf += '\r';
        crlf += licence[i];
    }
    if (crlf.size() > kLicenceLimit)
        diagnostics->Error(manifest.At(0), "the licence is " + std::to_string(crlf.size()) +
                                               " bytes with CRLF line ends; the agreement box "
                                               "holds " +
                                               std::to_string(kLicenceLimit));
    return crlf;
}
