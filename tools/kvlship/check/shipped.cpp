// Reading a file setup.exe reads itself, as setup will.
#include "check/shipped.h"

#include "common/hostfs.h"

std::string ReadShipped(const CheckOptions &options, const char *name, size_t limit,
                        std::string *bytes)
{
    std::string path = JoinHost(options.distribution, name);
    PathKind kind = KindOf(path);
    if (kind == PathKind::Missing)
        return "is missing";
    if (kind == PathKind::Folder)
        return "is a folder";
    if (kind == PathKind::Link)
        return "is a symbolic link, which kvlship does not follow: ship the file itself";
    if (kind == PathKind::Special)
        return "is a device, FIFO or socket, not a file";
    if (FileSize(path) > static_cast<long long>(limit))
        return "is larger than " + std::to_string(limit >> 20) + " MiB, more than kvlship reads";
    if (!ReadWholeFile(path, bytes, false, limit))
        return "cannot be read";
    return "";
}
