#include "copy/copyfile.h"

#include <windows.h>
#include <lzexpand.h>

#include "util/paths.h"

#include <string.h>

namespace {

const unsigned char kSzddMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

// What the expansion has to produce from the open `file`: the size an SZDD
// header declares, or the file's own size for a plain file. Leaves the file
// at its start. Returns 0 when it cannot be read.
int ExpectedSize(HANDLE file, unsigned long *size)
{
    unsigned char header[kSzddHeaderSize];
    DWORD got = 0;
    DWORD plainSize = GetFileSize(file, nullptr);
    if (plainSize == INVALID_FILE_SIZE || !ReadFile(file, header, sizeof header, &got, nullptr) ||
        SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
        return 0;
    if (SzddDeclaredSize(header, got, size))
        return 1;
    // A compressed file cut inside its header is damaged, not plain: copied
    // as it stands it would replace a good file with a few bytes of header.
    if (StartsLikeSzdd(header, got))
        return 0;
    *size = plainSize;
    return 1;
}

// In Win32 an HFILE is the file handle itself; the LZ functions take it so.
HFILE AsHfile(HANDLE file)
{
    return static_cast<HFILE>(reinterpret_cast<INT_PTR>(file));
}

// Opens `source` for expansion. LZOpenFileA would go through OpenFile,
// whose record holds only 128 characters of path: a deep source would fail.
// Returns the LZ handle (or the plain file's) and the size it must expand
// to, or a negative value.
HFILE OpenSource(const char *source, unsigned long *expected)
{
    HANDLE file = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    if (!ExpectedSize(file, expected)) {
        CloseHandle(file);
        return -1;
    }
    HFILE input = LZInit(AsHfile(file));
    if (input < 0)
        CloseHandle(file);
    return input;
}

// Creates an empty temporary file beside `destination` and returns its name
// in `temporary` (kPathSize bytes); 0 when the folder is missing or full.
int MakeTemporaryBeside(const char *destination, char *temporary)
{
    char folder[kPathSize];
    if (!FolderOfPath(folder, sizeof folder, destination))
        return 0;
    // A bare name with no folder goes beside it in the current folder.
    if (!folder[0]) {
        folder[0] = '.';
        folder[1] = 0;
    }
    return GetTempFileNameA(folder, "kvl", 0, temporary) != 0;
}

// Expands or copies the open source into `temporary`. Returns the number of
// bytes written, or a negative value on failure.
long ExpandInto(HFILE source, const char *temporary)
{
    HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return -1;
    LONG written = LZCopy(source, AsHfile(out));
    if (!CloseHandle(out))
        return -1;
    return written;
}

} // namespace

bool StartsLikeSzdd(const unsigned char *start, size_t length)
{
    if (length < 4)
        return false;
    size_t compared = length < sizeof kSzddMagic ? length : sizeof kSzddMagic;
    return memcmp(start, kSzddMagic, compared) == 0;
}

int SzddDeclaredSize(const unsigned char *header, size_t length, unsigned long *size)
{
    if (length < kSzddHeaderSize)
        return 0;
    for (size_t i = 0; i < sizeof kSzddMagic; ++i) {
        if (header[i] != kSzddMagic[i])
            return 0;
    }
    *size = static_cast<unsigned long>(header[10]) | static_cast<unsigned long>(header[11]) << 8 |
            static_cast<unsigned long>(header[12]) << 16 |
            static_cast<unsigned long>(header[13]) << 24;
    return 1;
}

int CopyOneFile(const char *source, const char *destination)
{
    unsigned long expected = 0;
    HFILE input = OpenSource(source, &expected);
    if (input < 0)
        return 0;
    char temporary[kPathSize];
    if (!MakeTemporaryBeside(destination, temporary)) {
        LZClose(input);
        return 0;
    }

    long written = ExpandInto(input, temporary);
    LZClose(input);
    // A compressed file cut short expands without an error, only shorter:
    // the declared size is what tells.
    int ok = written >= 0 && static_cast<unsigned long>(written) == expected &&
             MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING);
    if (!ok)
        DeleteFileA(temporary);
    return ok ? 1 : 0;
}
