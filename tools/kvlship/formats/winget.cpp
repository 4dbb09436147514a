// The package manager's zip archive and manifest.
#include "formats/winget.h"

#include "common/bytes.h"
#include "common/codepage.h"
#include "common/digest.h"
#include "common/hostfs.h"
#include "common/textout.h"

#include "setupexit.h"

#include <stdint.h>
#include <stdio.h>

namespace
{

// 1980-01-01 00:00:00 in MS-DOS form, the first day a zip can date.
constexpr uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;
constexpr uint16_t kDosTime = 0;
// Stored members need version 1.0 to extract; 2.0 made them (as most tools say).
constexpr uint16_t kVersionNeeded = 10, kVersionMadeBy = 20;
// General purpose flag 11: the name is UTF-8.
constexpr uint16_t kUtf8Name = 1 << 11;

// The header fields a local header and a central entry share, from
// "version needed" to the name's length.
void PutCommon(std::string *out, uint16_t flags, uint32_t crc, uint32_t size, size_t nameSize)
{
    Put16(out, kVersionNeeded);
    Put16(out, flags);
    Put16(out, 0); // stored
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, crc);
    Put32(out, size); // compressed size: stored, the same
    Put32(out, size);
    Put16(out, static_cast<uint32_t>(nameSize));
}

bool IsAscii(const std::string &text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// How each exit code of setup.exe reads to a package manager: the nearest of
// the responses it knows, so that it tells the user something true.
struct ReturnResponse {
    int code;
    const char *response;
};
const ReturnResponse kReturnResponses[] = {
    {SETUP_EXIT_DECLINED, "cancelledByUser"},
    // A module ends the setup for reasons of its own: only its vendor knows them.
    {SETUP_EXIT_MODULE, "contactSupport"},
    {SETUP_EXIT_CANCELLED, "cancelledByUser"},
    // The copy fails most often on a file a running program holds open; the log says.
    {SETUP_EXIT_FILE_FAILED, "fileInUse"},
    {SETUP_EXIT_CANNOT_RUN, "contactSupport"},
    {SETUP_EXIT_SENDER, "contactSupport"},
    // Closed from outside: by the user, or by the end of the session.
    {SETUP_EXIT_CLOSED, "cancelledByUser"},
    {SETUP_EXIT_BAD_SWITCH, "invalidParameter"},
    {SETUP_EXIT_NO_SPACE, "diskFull"},
    // Installed, with files in use that the next restart replaces.
    {SETUP_EXIT_RESTART, "rebootRequiredToFinish"},
};

// A YAML double-quoted scalar: a JSON string is one.
std::string Quoted(const std::string &ansi)
{
    return JsonString(AnsiToUtf8(ansi));
}

} // namespace

bool StoredZip(const std::string &folder, const std::vector<std::string> &names, std::string *zip,
               std::string *why)
{
    zip->clear();
    std::string central;
    // Past these a zip needs its 64-bit extensions, which plain tools may not read.
    if (names.size() > 0xFFFF) {
        *why = "more than 65535 files";
        return false;
    }
    for (const std::string &hostName : names) {
        std::string bytes;
        std::string path = JoinHost(folder, hostName);
        if (!ReadWholeFile(path, &bytes, false)) {
            *why = path + " cannot be read";
            return false;
        }
        // The name as the host names the file, in UTF-8 (flagged as such).
        std::string name = Utf8Path(hostName);
        uint16_t flags = IsAscii(name) ? 0 : kUtf8Name;
        if (zip->size() + 30 + name.size() + bytes.size() > 0xFFFFFFFFu || name.size() > 0xFFFF) {
            *why = "the archive would pass 4 GiB";
            return false;
        }
        uint32_t offset = static_cast<uint32_t>(zip->size());
        uint32_t crc = Crc32(bytes.data(), bytes.size());
        uint32_t size = static_cast<uint32_t>(bytes.size());
        Put32(zip, 0x04034b50);
        PutCommon(zip, flags, crc, size, name.size());
        Put16(zip, 0); // no extra field
        *zip += name;
        *zip += bytes;

        Put32(&central, 0x02014b50);
        Put16(&central, kVersionMadeBy);
        PutCommon(&central, flags, crc, size, name.size());
        Put16(&central, 0); // no extra field
        Put16(&central, 0); // no comment
        Put16(&central, 0); // disk 0
        Put16(&central, 0); // internal attributes: binary
        Put32(&central, 0); // external attributes: a plain file
        Put32(&central, offset);
        central += name;
    }
    if (zip->size() + central.size() + 22 > 0xFFFFFFFFu) {
        *why = "the archive would pass 4 GiB";
        return false;
    }
    uint32_t centralAt = static_cast<uint32_t>(zip->size());
    *zip += central;
    Put32(zip, 0x06054b50);
    Put16(zip, 0); // this disk
    Put16(zip, 0); // the central directory's disk
    Put16(zip, static_cast<uint32_t>(names.size()));
    Put16(zip, static_cast<uint32_t>(names.size()));
    Put32(zip, static_cast<uint32_t>(central.size()));
    Put32(zip, centralAt);
    Put16(zip, 0); // no comment
    return true;
}

std::string WingetManifest(const WingetIdentity &info, const std::string &sha256, bool registered)
{
    std::string yaml = "# Written by kvlship build: a winget singleton manifest for the "
                       "distribution's zip archive.\n"
                       "# Install with: winget install --manifest THIS_FILE\n";
    // `key` (indented as it stands) with a text of the vendor's, quoted.
    auto field = [&yaml](const char *key, const std::string &ansi) {
        yaml += std::string(key) + ": " + Quoted(ansi) + "\n";
    };
    field("PackageIdentifier", info.id);
    field("PackageVersion", info.version);
    yaml += "PackageLocale: en-US\n";
    field("Publisher", info.publisher);
    field("PackageName", info.name);
    field("License", info.licence);
    field("ShortDescription", info.description);
    yaml += "Installers:\n"
            "  - Architecture: x86\n"
            "    InstallerType: zip\n"
            "    NestedInstallerType: exe\n"
            "    NestedInstallerFiles:\n"
            "      - RelativeFilePath: setup.exe\n"
            "    Scope: machine\n";
    field("    InstallerUrl", info.url);
    yaml += "    InstallerSha256: " + sha256 + "\n";
    yaml += "    InstallModes:\n"
            "      - interactive\n"
            "      - silent\n"
            "      - silentWithProgress\n"
            "    InstallerSwitches:\n"
            "      Silent: /VERYSILENT\n"
            "      SilentWithProgress: /SILENT\n"
            "      InstallLocation: '/DIR=\"<INSTALLPATH>\"'\n"
            "      Log: '/LOG=\"<LOGPATH>\"'\n"
            "    ExpectedReturnCodes:\n";
    for (const ReturnResponse &mapped : kReturnResponses) {
        char lines[256];
        snprintf(lines, sizeof lines,
                 "      - InstallerReturnCode: %d # %s\n        ReturnResponse: %s\n", mapped.code,
                 SetupExitMeaning(mapped.code), mapped.response);
        yaml += lines;
    }
    // The Add/Remove Programs entry the stock module writes: its key is the
    // id, with the package's publisher and version.
    if (registered) {
        yaml += "    AppsAndFeaturesEntries:\n";
        field("      - ProductCode", info.id);
        field("        Publisher", info.publisher);
        field("        DisplayVersion", info.version);
    }
    yaml += "ManifestType: singleton\n"
            "ManifestVersion: 1.10.0\n";
    return yaml;
}
