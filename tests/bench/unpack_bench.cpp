// Not a test: times what the package's stub does before setup starts, with
// the stub's own code: the payload's hash check and its expansion into files
// of a new folder. Usage: unpack_bench PACKAGE FOLDER RUNS; prints the best
// run's seconds and the expansion's speed in MiB of files per second.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "package/payload.h"

namespace
{

struct Own {
    HANDLE file;
    uint64_t offset;
};

bool ReadAt(void *context, uint64_t at, void *into, size_t size)
{
    auto *own = static_cast<Own *>(context);
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(own->offset + at);
    DWORD read = 0;
    return SetFilePointerEx(own->file, position, nullptr, FILE_BEGIN) &&
           ReadFile(own->file, into, static_cast<DWORD>(size), &read, nullptr) && read == size;
}

struct Sink {
    char folder[MAX_PATH];
    HANDLE file;
};

bool Begin(void *context, const char *name, uint64_t)
{
    auto *sink = static_cast<Sink *>(context);
    char path[MAX_PATH * 2];
    snprintf(path, sizeof path, "%s\\%s", sink->folder, name);
    sink->file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    return sink->file != INVALID_HANDLE_VALUE;
}

bool Write(void *context, const void *bytes, size_t size)
{
    DWORD written = 0;
    return WriteFile(static_cast<Sink *>(context)->file, bytes, static_cast<DWORD>(size), &written,
                     nullptr) &&
           written == size;
}

bool End(void *context)
{
    return CloseHandle(static_cast<Sink *>(context)->file) != 0;
}

// The payload's offset from the locator in the package's section ".kvlpak".
uint64_t PayloadOffset(HANDLE file, uint64_t *size)
{
    static unsigned char head[4096];
    DWORD read = 0;
    ReadFile(file, head, sizeof head, &read, nullptr);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(head);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS32 *>(head + dos->e_lfanew);
    IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (memcmp(section->Name, kLocatorSection, 8) != 0)
            continue;
        PackageLocator locator;
        LARGE_INTEGER at;
        at.QuadPart = section->PointerToRawData;
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        ReadFile(file, &locator, sizeof locator, &read, nullptr);
        *size = locator.payloadSize;
        return locator.payloadOffset;
    }
    return 0;
}

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    Own own = {CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
               0};
    PayloadSource source = {&own, 0, ReadAt};
    own.offset = PayloadOffset(own.file, &source.size);
    double bestCheck = 1e9, bestUnpack = 1e9;
    uint64_t plain = 0;
    for (int run = 0; run < atoi(argv[3]); ++run) {
        Sink sink = {};
        snprintf(sink.folder, sizeof sink.folder, "%s\\run%d", argv[2], run);
        CreateDirectoryA(sink.folder, nullptr);
        PayloadSink files = {&sink, Begin, Write, End};
        PayloadIndex index;
        double start = Now();
        if (ReadPayloadIndex(&source, &index) != PACKAGE_OK ||
            CheckPayload(&source, &index) != PACKAGE_OK) {
            fprintf(stderr, "the payload is damaged\n");
            return 1;
        }
        double checked = Now();
        if (UnpackPayload(&source, &index, &files) != PACKAGE_OK) {
            fprintf(stderr, "the expansion failed\n");
            return 1;
        }
        double done = Now();
        plain = index.plainSize;
        FreePayloadIndex(&index);
        if (checked - start < bestCheck)
            bestCheck = checked - start;
        if (done - checked < bestUnpack)
            bestUnpack = done - checked;
    }
    double mib = static_cast<double>(plain) / (1 << 20);
    printf("check %.3f s, expansion %.3f s, %.1f MiB of files, %.0f MiB/s expanded, %.0f MiB/s "
           "with the check\n",
           bestCheck, bestUnpack, mib, mib / bestUnpack, mib / (bestCheck + bestUnpack));
    return 0;
}
