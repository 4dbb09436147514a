// Times the LZ expansion alone, natively and in memory: the whole compressed
// file in, the whole expanded file out, one call. Not a test:
// scripts/bench-copy.sh runs it beside CopyOneFile.
//
//   decode_bench FILE [RUNS]   prints the best of RUNS (default 5) in CPU milliseconds,
//                              which other work on the machine disturbs less than the clock
// A file that does not expand completely prints FAILED and exits with 1.
// Included by its bare name: scripts/bench-copy.sh builds this against any
// revision's codec by pointing -I at the folder that holds it.
#include "szdd.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <vector>

namespace
{

double Now()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

bool ReadWhole(const char *path, std::vector<unsigned char> *bytes)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    return fclose(f) == 0;
}

SzddDecoder decoder;

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: decode_bench FILE [RUNS]\n");
        return 2;
    }
    int runs = argc > 2 ? atoi(argv[2]) : 5;
    std::vector<unsigned char> packed;
    SzddHeader header;
    if (!ReadWhole(argv[1], &packed) || !SzddParseHeader(packed.data(), packed.size(), &header)) {
        printf("FAILED reading %s\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> plain(header.size);
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        double start = Now();
        SzddDecoderInit(&decoder);
        size_t used = 0, made = 0;
        SzddStatus status = SzddDecode(&decoder, packed.data(), packed.size(), &used, plain.data(),
                                       plain.size(), &made, true);
        double took = Now() - start;
        if (status != kSzddComplete) {
            printf("FAILED expanding %s\n", argv[1]);
            return 1;
        }
        best = run == 0 || took < best ? took : best;
    }
    printf("%.3f\n", best);
    return 0;
}
