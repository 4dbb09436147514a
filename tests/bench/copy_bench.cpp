// Times CopyOneFile, the shell's copy of one file with LZ expansion, and the
// platform's own LZ expansion for comparison. Not a test: scripts/bench-copy.sh
// runs it beside msexpand and cp and prints the ratios.
//
//   copy_bench one    SOURCE DEST     copies one file, prints milliseconds
//   copy_bench many   SRCDIR DESTDIR  copies every file of SRCDIR, prints milliseconds
//   copy_bench lzcopy SOURCE DEST     the same file through LZOpenFile and LZCopy
//   copy_bench expand SOURCE DEST     only the expansion, in memory (DEST unused): the
//                                     share of CopyOneFile that is not reading and writing
// A failed copy prints FAILED and exits with 1.
#include "codec/szdd.h"
#include "copy/copyfile.h"

#include <windows.h>
#include <lzexpand.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::vector<std::string> FilesOf(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool PlatformCopy(const char *source, const char *dest)
{
    OFSTRUCT in = {}, out = {};
    INT from = LZOpenFileA(const_cast<char *>(source), &in, OF_READ);
    if (from < 0)
        return false;
    INT to = LZOpenFileA(const_cast<char *>(dest), &out, OF_CREATE);
    if (to < 0) {
        LZClose(from);
        return false;
    }
    LONG written = LZCopy(from, to);
    LZClose(from);
    LZClose(to);
    return written >= 0;
}

// Reads SOURCE whole, then times its expansion into memory alone.
bool TimeExpansion(const char *source, double *took)
{
    HANDLE file =
        CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<unsigned char> packed(GetFileSize(file, nullptr));
    DWORD got = 0;
    bool read = ReadFile(file, packed.data(), static_cast<DWORD>(packed.size()), &got, nullptr) &&
                got == packed.size();
    CloseHandle(file);
    SzddHeader header;
    if (!read || !SzddParseHeader(packed.data(), packed.size(), &header))
        return false;
    std::vector<unsigned char> plain(header.size);
    static SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    size_t used = 0, made = 0;
    double start = Now();
    SzddStatus status = SzddDecode(&decoder, packed.data(), packed.size(), &used, plain.data(),
                                   plain.size(), &made, true);
    *took = Now() - start;
    return status == kSzddComplete;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4 || (strcmp(argv[1], "one") && strcmp(argv[1], "many") &&
                      strcmp(argv[1], "lzcopy") && strcmp(argv[1], "expand"))) {
        fprintf(stderr, "usage: copy_bench one|many|lzcopy|expand SOURCE DEST\n");
        return 2;
    }
    if (!strcmp(argv[1], "expand")) {
        double took = 0;
        if (!TimeExpansion(argv[2], &took)) {
            printf("FAILED %s\n", argv[2]);
            return 1;
        }
        printf("%.3f\n", took);
        return 0;
    }
    bool platform = !strcmp(argv[1], "lzcopy");
    std::vector<std::string> sources, dests;
    if (strcmp(argv[1], "many")) {
        sources.push_back(argv[2]);
        dests.push_back(argv[3]);
    } else {
        for (const std::string &name : FilesOf(argv[2])) {
            sources.push_back(std::string(argv[2]) + "\\" + name);
            dests.push_back(std::string(argv[3]) + "\\" + name);
        }
    }
    double start = Now();
    for (size_t i = 0; i < sources.size(); ++i) {
        bool copied = platform ? PlatformCopy(sources[i].c_str(), dests[i].c_str())
                               : CopyOneFile(sources[i].c_str(), dests[i].c_str()) != 0;
        if (!copied) {
            printf("FAILED %s\n", sources[i].c_str());
            return 1;
        }
    }
    printf("%.3f\n", Now() - start);
    return 0;
}
