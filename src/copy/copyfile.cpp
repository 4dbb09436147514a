#include "copy/copyfile.h"

#include <windows.h>

#include <string.h>

#include <aclapi.h>

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

// One piece of a plain source: writes what was read, reads the next.
// 1 when the source is all written, 0 when there is more, -1 on failure.
int CopyPlainPiece(FileCopy *copy, CopyBuffers *buffers)
{
    HANDLE in = static_cast<HANDLE>(copy->in);
    HANDLE out = static_cast<HANDLE>(copy->out);
    if (copy->got == 0)
        return 1;
    if (!WriteAll(out, buffers->in, copy->got) || !ReadChunk(in, buffers, &copy->got))
        return -1;
    copy->done += copy->got;
    return 0;
}

// One piece of a compressed source: expands what was read, reads the next.
// Only an expansion that makes exactly the declared size from the whole file
// succeeds: a file cut short or carrying more is damaged.
int ExpandPiece(FileCopy *copy, CopyBuffers *buffers)
{
    SzddDecoder *decoder = &buffers->decoder;
    HANDLE out = static_cast<HANDLE>(copy->out);
    DWORD got = copy->got;
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
            return -1;
    } while (status == kSzddNeedOutput);
    if (status != kSzddNeedInput) {
        // Say why, the way a failed system call would.
        if (status != kSzddComplete)
            SetLastError(status == kSzddCut ? ERROR_HANDLE_EOF : ERROR_INVALID_DATA);
        return status == kSzddComplete ? 1 : -1;
    }
    if (ends) {
        SetLastError(ERROR_HANDLE_EOF);
        return -1;
    }
    if (!ReadChunk(static_cast<HANDLE>(copy->in), buffers, &copy->got))
        return -1;
    copy->done += copy->got;
    return 0;
}

// Closes both ends and frees the buffers; keeps the error it finds.
void CloseEnds(FileCopy *copy)
{
    DWORD error = GetLastError();
    if (copy->buffers)
        HeapFree(GetProcessHeap(), 0, copy->buffers);
    if (copy->in)
        CloseHandle(static_cast<HANDLE>(copy->in));
    if (copy->out)
        CloseHandle(static_cast<HANDLE>(copy->out));
    copy->buffers = nullptr;
    copy->in = nullptr;
    copy->out = nullptr;
    SetLastError(error);
}

// A moved file keeps the access rules of the folder it came from (the
// user's own temporary folder): it takes those of its new folder instead.
void InheritFolderAccess(const char *path)
{
    ACL empty;
    if (InitializeAcl(&empty, sizeof empty, ACL_REVISION))
        SetNamedSecurityInfoA(const_cast<char *>(path), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &empty, nullptr);
}

// Moves a plain `source` into the empty temporary beside the destination;
// false, with nothing changed, when it is compressed or cannot be moved
// (another volume, in use): it is copied then.
bool MoveIntoTemporary(const char *source, const char *temporary)
{
    HANDLE in = OpenForReading(source);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    unsigned char head[16];
    DWORD got = 0;
    bool plain = ReadFile(in, head, sizeof head, &got, nullptr) && !SzddStartsLike(head, got);
    CloseHandle(in);
    if (!plain || !MoveFileExA(source, temporary, MOVEFILE_REPLACE_EXISTING))
        return false;
    InheritFolderAccess(temporary);
    return true;
}

} // namespace

int BeginFileCopy(FileCopy *copy, const char *source, const char *destination, int mayMove)
{
    memset(copy, 0, sizeof *copy);
    // The caller tells the user why a copy failed: the reason is taken where
    // the failure happens and must outlive the cleanup after it.
    // A device's name reads as an empty file and takes writes into nothing:
    // neither end of a copy may be one.
    if (EndsInDeviceName(source) || EndsInDeviceName(destination) ||
        CopyText(copy->destination, destination) < 0) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    HANDLE in = OpenSource(source);
    if (in == INVALID_HANDLE_VALUE)
        return 0;
    copy->in = in;
    LARGE_INTEGER size;
    copy->total = GetFileSizeEx(in, &size) ? static_cast<unsigned long long>(size.QuadPart) : 0;
    if (!MakeTemporaryBeside(destination, copy->temporary)) {
        CloseEnds(copy);
        return 0;
    }
    // The journal names the temporary before anything goes into it, so that
    // an undo after a kill deletes it too.
    if (!JournalTemporary(copy->temporary)) {
        SetLastError(ERROR_WRITE_FAULT);
        AbandonFileCopy(copy);
        return 0;
    }
    if (mayMove) {
        CloseEnds(copy);
        if (MoveIntoTemporary(source, copy->temporary)) {
            copy->moved = 1;
            copy->done = copy->total;
            copy->complete = 1;
            return 1;
        }
        in = OpenSource(source);
        if (in == INVALID_HANDLE_VALUE) {
            AbandonFileCopy(copy);
            return 0;
        }
        copy->in = in;
    }
    CopyBuffers *buffers = AllocateBuffers(in);
    copy->buffers = buffers;
    if (!buffers) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        AbandonFileCopy(copy);
        return 0;
    }
    HANDLE out = CreateFileA(copy->temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (out == INVALID_HANDLE_VALUE || !ReadChunk(in, buffers, &copy->got)) {
        if (out != INVALID_HANDLE_VALUE)
            copy->out = out;
        AbandonFileCopy(copy);
        return 0;
    }
    copy->out = out;
    copy->done = copy->got;
    // Anything that starts like a compressed file is one, damaged or not:
    // copied as it stands it would replace a good file with a broken one.
    copy->compressed = SzddStartsLike(buffers->in, copy->got) ? 1 : 0;
    if (copy->compressed)
        SzddDecoderInit(&buffers->decoder);
    return 1;
}

int ContinueFileCopy(FileCopy *copy, DWORD budget)
{
    if (copy->complete)
        return 1;
    auto *buffers = static_cast<CopyBuffers *>(copy->buffers);
    DWORD start = GetTickCount();
    for (;;) {
        int piece = copy->compressed ? ExpandPiece(copy, buffers) : CopyPlainPiece(copy, buffers);
        if (piece < 0) {
            AbandonFileCopy(copy);
            return -1;
        }
        if (piece > 0) {
            copy->complete = 1;
            return 1;
        }
        if (budget != INFINITE && GetTickCount() - start >= budget)
            return 0;
    }
}

int FinishFileCopy(FileCopy *copy)
{
    bool ok = copy->complete != 0;
    // The source's time of last change, as the platform's LZ copy gave it.
    FILETIME changed;
    if (ok && copy->out && GetFileTime(static_cast<HANDLE>(copy->in), nullptr, nullptr, &changed))
        SetFileTime(static_cast<HANDLE>(copy->out), nullptr, nullptr, &changed);
    DWORD error = GetLastError();
    bool closed = !copy->out || CloseHandle(static_cast<HANDLE>(copy->out)) != 0;
    copy->out = nullptr;
    SetLastError(error);
    CloseEnds(copy);
    ok = ok && closed;
    PlaceResult placed = ok ? PutInPlace(copy->temporary, copy->destination) : PLACE_FAILED;
    if (placed == PLACE_FAILED)
        AbandonFileCopy(copy);
    else
        copy->temporary[0] = 0; // in place, or waiting beside it for the restart
    return placed;
}

void AbandonFileCopy(FileCopy *copy)
{
    CloseEnds(copy);
    DWORD error = GetLastError();
    if (copy->temporary[0])
        DeleteFileA(copy->temporary);
    copy->temporary[0] = 0;
    SetLastError(error);
}

int CopyOneFile(const char *source, const char *destination)
{
    FileCopy copy;
    if (!BeginFileCopy(&copy, source, destination, 0))
        return 0;
    if (ContinueFileCopy(&copy, INFINITE) < 0)
        return 0;
    return FinishFileCopy(&copy);
}
