#include "record/recordfile.h"

#include <windows.h>

#include "codec/sha256.h"
#include "util/text.h"

namespace
{

char *NewBuffer(size_t size)
{
    return static_cast<char *>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
}

void FreeBuffer(void *buffer)
{
    if (buffer)
        VirtualFree(buffer, 0, MEM_RELEASE);
}

void DigestText(const char *bytes, size_t length, char *digest)
{
    if (!digest)
        return;
    Sha256 sha;
    unsigned char raw[32];
    Sha256Init(&sha);
    Sha256Update(&sha, bytes, length);
    Sha256Final(&sha, raw);
    for (int i = 0; i < 32; ++i) {
        digest[2 * i] = "0123456789abcdef"[raw[i] >> 4];
        digest[2 * i + 1] = "0123456789abcdef"[raw[i] & 15];
    }
    digest[64] = 0;
}

} // namespace

InstallRecord *NewRecord()
{
    // VirtualAlloc gives zeroed pages.
    return reinterpret_cast<InstallRecord *>(NewBuffer(sizeof(InstallRecord)));
}

void FreeRecord(InstallRecord *record)
{
    FreeBuffer(record);
}

RecordRead ReadRecordFile(const char *path, InstallRecord *record, bool *missing, char *digest)
{
    *missing = false;
    if (digest)
        digest[0] = 0;
    ParseRecord("", 0, record);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *missing = true;
        return RECORD_NO_END;
    }
    LARGE_INTEGER size;
    RecordRead result = RECORD_TOO_LARGE;
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
        static_cast<unsigned long long>(size.QuadPart) <= kRecordMaxBytes) {
        DWORD length = static_cast<DWORD>(size.QuadPart);
        char *text = NewBuffer(length + 1);
        DWORD read = 0;
        // Only what the size promised is read; a file that grew meanwhile is
        // cut there and fails its check.
        if (text && ReadFile(file, text, length, &read, nullptr)) {
            result = ParseRecord(text, read, record);
            DigestText(text, read, digest);
        } else
            result = RECORD_NO_END;
        FreeBuffer(text);
    }
    CloseHandle(file);
    return result;
}

bool WriteRecordFile(const char *path, const InstallRecord *record, char *digest)
{
    char fresh[kRecordFieldSize + 8];
    if (CopyText(fresh, path) < 0 || AppendText(fresh, ".new") < 0)
        return false;
    char *text = NewBuffer(kRecordMaxBytes);
    size_t length = text ? FormatRecord(record, text, kRecordMaxBytes) : 0;
    bool written = false;
    if (length > 0) {
        HANDLE file = CreateFileA(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD done = 0;
            written = WriteFile(file, text, static_cast<DWORD>(length), &done, nullptr) &&
                      done == length && FlushFileBuffers(file);
            CloseHandle(file);
        }
        written =
            written && MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!written)
            DeleteFileA(fresh);
        else
            DigestText(text, length, digest);
    }
    FreeBuffer(text);
    return written;
}

bool FileFacts(const char *path, uint64_t *size, uint64_t *written)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    *written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
               data.ftLastWriteTime.dwLowDateTime;
    return true;
}
