#include "copy/copyfile.h"

#include <windows.h>

#include <string.h>

#include "codec/szdd.h"
#include "copy/replace.h"
#include "setupdist.h"
#include "util/devicename.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

// Big enough that a large file goes through in few system calls, small
// enough that the copy's memory stays the same whatever the file's size.
constexpr DWORD kChunk = 1024 * 1024;
constexpr DWORD kSmallestChunk = 4096;

// One allocation per copy, sized to the source: a small file does not pay
// for the large buffers. `out` takes four times `in`, about what an
// expansion makes of it.
struct CopyBuffers {
    SzddDecoder decoder;
    unsigned char *in;
    unsigned char *out;
    DWORD inSize;
    DWORD outSize;
};

CopyBuffers *AllocateBuffers(HANDLE source)
{
    DWORD size = GetFileSize(source, nullptr);
    DWORD inSize = size == INVALID_FILE_SIZE || size > kChunk ? kChunk : size;
    if (inSize < kSmallestChunk)
        inSize = kSmallestChunk;
    DWORD outSize = inSize * 4 > kChunk ? kChunk : inSize * 4;
    auto *buffers = static_cast<CopyBuffers *>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(CopyBuffers) + inSize + outSize));
    if (!buffers)
        return nullptr;
    buffers->in = reinterpret_cast<unsigned char *>(buffers + 1);
    buffers->out = buffers->in + inSize;
    buffers->inSize = inSize;
    buffers->outSize = outSize;
    return buffers;
}

HANDLE OpenForReading(const char *path)
{
    // Others may hold the file open for writing (a share, a virus scanner),
    // as the platform's LZ open allowed.
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Opens `source`, or when it does not exist its compressed twin: the same
// name with its last character replaced by '_' (README.TX_ for README.TXT),
// which is what the platform's LZ open looked for, and modules rely on.
HANDLE OpenSource(const char *source)
{
    HANDLE file = OpenForReading(source);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND)
        return file;
    char twin[kPathSize];
    int length = CopyText(twin, source);
    if (length <= 0 || twin[length - 1] == '_' || twin[length - 1] == '\\')
        return INVALID_HANDLE_VALUE;
    twin[length - 1] = '_';
    return OpenForReading(twin);
}

// Creates a new, empty file named `folder`\`name` with `length` characters of
// its own, from a counter in letters and digits: a name no longer than the
// destination's own fits wherever the destination does. Returns 0 when every
// name tried is taken (or the folder refuses).
int MakeShortTemporary(const char *folder, size_t length, char *temporary)
{
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    DWORD seed = GetTickCount() ^ GetCurrentProcessId();
    for (DWORD attempt = 0; attempt < 500; ++attempt) {
        char name[16] = "~";
        DWORD value = seed + attempt;
        for (size_t i = 1; i < length && i < sizeof name - 1; ++i) {
            name[i] = kDigits[value % 36];
            value /= 36;
        }
        name[length < sizeof name - 1 ? length : sizeof name - 1] = 0;
        if (!JoinPath(temporary, kPathSize, folder, name))
            return 0;
        HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return 1;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
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
    // "kvlXXXX.tmp" needs 12 characters after the folder; a destination in a
    // folder too deep for that still fits, so its temporary takes a name as
    // short as its own.
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(destination) - folderLength;
    if (folderLength + SETUP_TEMP_NAME_ROOM <= kPathSize)
        return GetTempFileNameA(folder, "kvl", 0, temporary) != 0;
    if (nameLength > 0 && destination[folderLength] == '\\')
        --nameLength;
    return nameLength > 0 && MakeShortTemporary(folder, nameLength, temporary);
}

bool WriteAll(HANDLE out, const unsigned char *data, size_t size)
{
    DWORD written = 0;
    return WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool ReadChunk(HANDLE in, CopyBuffers *buffers, DWORD *got)
{
    return ReadFile(in, buffers->in, buffers->inSize, got, nullptr) != 0;
}

// Copies the rest of a plain source; the first `got` bytes are in `buffers->in`.
bool CopyPlain(HANDLE in, HANDLE out, CopyBuffers *buffers, DWORD got)
{
    while (got > 0) {
        if (!WriteAll(out, buffers->in, got) || !ReadChunk(in, buffers, &got))
            return false;
    }
    return true;
}

// Expands the rest of a compressed source; the first `got` bytes are in
// `buffers->in`. Only an expansion that makes exactly the declared size from
// the whole file succeeds: a file cut short or carrying more is damaged.
bool Expand(HANDLE in, HANDLE out, CopyBuffers *buffers, DWORD got)
{
    SzddDecoder *decoder = &buffers->decoder;
    SzddDecoderInit(decoder);
    for (;;) {
        bool ends = got == 0;
        size_t taken = 0;
        SzddStatus status;
        do {
            size_t used = 0;
            size_t made = 0;
            status = SzddDecode(decoder, buffers->in + taken, got - taken, &used, buffers->out,
                                buffers->outSize, &made, ends);
            taken += used;
            if (made && !WriteAll(out, buffers->out, made))
                return false;
        } while (status == kSzddNeedOutput);
        if (status != kSzddNeedInput) {
            // Say why, the way a failed system call would.
            if (status != kSzddComplete)
                SetLastError(status == kSzddCut ? ERROR_HANDLE_EOF : ERROR_INVALID_DATA);
            return status == kSzddComplete;
        }
        if (ends) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        if (!ReadChunk(in, buffers, &got))
            return false;
    }
}

// Copies or expands the open source into `temporary`, and gives it the
// source's time of last change, as the platform's LZ copy did.
bool Transfer(HANDLE in, const char *temporary, CopyBuffers *buffers)
{
    HANDLE out = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD got = 0;
    bool ok = ReadChunk(in, buffers, &got);
    if (ok) {
        // Anything that starts like a compressed file is one, damaged or not:
        // copied as it stands it would replace a good file with a broken one.
        ok = SzddStartsLike(buffers->in, got) ? Expand(in, out, buffers, got)
                                              : CopyPlain(in, out, buffers, got);
    }
    FILETIME changed;
    if (ok && GetFileTime(in, nullptr, nullptr, &changed))
        SetFileTime(out, nullptr, nullptr, &changed);
    DWORD error = GetLastError();
    bool closed = CloseHandle(out) != 0;
    if (!ok)
        SetLastError(error);
    return closed && ok;
}

} // namespace

int CopyOneFile(const char *source, const char *destination)
{
    // The caller tells the user why a copy failed: the reason is taken where
    // the failure happens and must outlive the cleanup after it.
    // A device's name reads as an empty file and takes writes into nothing:
    // neither end of a copy may be one.
    if (EndsInDeviceName(source) || EndsInDeviceName(destination)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    HANDLE in = OpenSource(source);
    if (in == INVALID_HANDLE_VALUE)
        return 0;
    char temporary[kPathSize];
    if (!MakeTemporaryBeside(destination, temporary)) {
        DWORD error = GetLastError();
        CloseHandle(in);
        SetLastError(error);
        return 0;
    }
    if (!JournalTemporary(temporary)) {
        DeleteFileA(temporary);
        CloseHandle(in);
        SetLastError(ERROR_WRITE_FAULT);
        return 0;
    }
    CopyBuffers *buffers = AllocateBuffers(in);
    if (!buffers)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    bool ok = buffers && Transfer(in, temporary, buffers);
    DWORD error = GetLastError();
    if (buffers)
        HeapFree(GetProcessHeap(), 0, buffers);
    CloseHandle(in);
    PlaceResult placed = PLACE_FAILED;
    if (ok) {
        placed = PutInPlace(temporary, destination);
        error = GetLastError();
    }
    if (placed == PLACE_FAILED) {
        DeleteFileA(temporary);
        SetLastError(error);
    }
    return placed;
}
