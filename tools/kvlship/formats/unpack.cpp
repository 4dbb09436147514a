// A single-file package read back into a folder, as the stub lays it out.
#include "formats/unpack.h"

#include "common/codepage.h"
#include "common/distribution.h"
#include "common/hostfs.h"
#include "common/profile.h"
#include "formats/package.h"

#include "package/payload.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace
{

// The package's file, read at offsets within its payload only.
struct PackageFile {
    FILE *file;
    uint64_t offset;
};

bool ReadPackage(void *context, uint64_t at, void *into, size_t size)
{
    auto *package = static_cast<PackageFile *>(context);
#ifdef _WIN32
    bool placed =
        _fseeki64(package->file, static_cast<long long>(package->offset + at), SEEK_SET) == 0;
#else
    bool placed = fseeko(package->file, static_cast<off_t>(package->offset + at), SEEK_SET) == 0;
#endif
    return placed && fread(into, 1, size, package->file) == size;
}

// The files land under numbered names first: their host names need the code
// page, which only the data file among them tells.
struct Landing {
    std::string folder;
    std::vector<std::string> names; // as the table holds them
    FILE *file = nullptr;
};

std::string Numbered(const Landing &landing, size_t index)
{
    return JoinHost(landing.folder, ".kvlpack-" + std::to_string(index));
}

bool Begin(void *context, const char *name, uint64_t)
{
    auto *landing = static_cast<Landing *>(context);
    landing->names.push_back(name);
    landing->file = fopen(Numbered(*landing, landing->names.size() - 1).c_str(), "wb");
    return landing->file != nullptr;
}

bool Write(void *context, const void *bytes, size_t size)
{
    auto *landing = static_cast<Landing *>(context);
    return fwrite(bytes, 1, size, landing->file) == size;
}

bool End(void *context)
{
    auto *landing = static_cast<Landing *>(context);
    bool closed = fclose(landing->file) == 0;
    landing->file = nullptr;
    return closed;
}

} // namespace

bool IsPackageFile(const std::string &path)
{
    std::string head;
    uint64_t fileSize = 0, offset, size;
    bool older;
    return IsFile(path) && ReadPackageHead(path, true, &head, &fileSize) &&
           FindPayload(head, fileSize, &offset, &size, &older);
}

bool UnpackPackage(const std::string &path, const std::string &folder, std::string *why)
{
    std::string head;
    uint64_t fileSize = 0, offset = 0, size = 0;
    bool older = false;
    if (!ReadPackageHead(path, true, &head, &fileSize) ||
        !FindPayload(head, fileSize, &offset, &size, &older)) {
        *why = path + " is no package that kvlship made, or cannot be read";
        return false;
    }
    if (older) {
        *why = path + " was made by an older kvlship, whose packages this one does not read: " +
               "build it again";
        return false;
    }
    PackageFile package = {OpenRegularFile(path, true), offset};
    if (!package.file) {
        *why = path + " cannot be read";
        return false;
    }
    PayloadSource source = {&package, size, ReadPackage};
    PayloadIndex index;
    PackageStatus status = ReadPayloadIndex(&source, &index);
    if (status == PACKAGE_OK)
        status = CheckPayload(&source, &index);
    Landing landing;
    landing.folder = folder;
    PayloadSink sink = {&landing, Begin, Write, End};
    if (status == PACKAGE_OK)
        status = UnpackPayload(&source, &index, &sink);
    FreePayloadIndex(&index);
    fclose(package.file);
    if (landing.file)
        fclose(landing.file);
    if (status != PACKAGE_OK) {
        *why = status == PACKAGE_SINK_FAILED ? "its files cannot be written to " + folder
                                             : path + " is damaged: its payload does not check";
        return false;
    }
    int codePage = kDefaultCodePage;
    for (size_t i = 0; i < landing.names.size(); ++i) {
        if (SameName(landing.names[i], kDataFileName, kDefaultCodePage)) {
            std::string text;
            Profile data;
            ReadWholeFile(Numbered(landing, i), &text, false, 16 << 20);
            ParseProfile(text, &data);
            int named = atoi(ReadProfileValue(data, "GENERAL", "cbCodePage", 16).c_str());
            if (KnownCodePage(named))
                codePage = named;
        }
    }
    for (size_t i = 0; i < landing.names.size(); ++i) {
        std::string host = JoinHost(folder, HostNameOf(landing.names[i], codePage));
        if (rename(Numbered(landing, i).c_str(), host.c_str()) != 0) {
            *why = host + " cannot be written";
            return false;
        }
    }
    return true;
}
