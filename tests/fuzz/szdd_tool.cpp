// Native command line front of the codec, for the encoder's check against
// msexpand and mscompress in scripts/fuzz.sh:
//   szdd_tool encode IN OUT [LASTCHAR]   writes IN compressed to OUT
//   szdd_tool decode IN OUT              expands IN to OUT, fails unless complete
#include "codec/szdd.h"
#include "formats/lzencode.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

bool ToFile(void *context, const unsigned char *data, size_t size)
{
    return fwrite(data, 1, size, static_cast<FILE *>(context)) == size;
}

int Encode(FILE *in, FILE *out, unsigned char lastChar)
{
    if (fseek(in, 0, SEEK_END) != 0)
        return 1;
    long size = ftell(in);
    rewind(in);
    static SzddEncoder encoder;
    SzddEncoderInit(&encoder, static_cast<uint32_t>(size), lastChar, ToFile, out);
    static unsigned char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0) {
        if (!SzddEncoderWrite(&encoder, chunk, got))
            return 1;
    }
    return SzddEncoderFinish(&encoder) ? 0 : 1;
}

int Decode(FILE *in, FILE *out)
{
    static SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    static unsigned char chunk[1 << 16], room[1 << 16];
    SzddStatus status = kSzddNeedInput;
    for (;;) {
        size_t got = fread(chunk, 1, sizeof chunk, in);
        bool ends = got < sizeof chunk;
        size_t at = 0;
        do {
            size_t used = 0, made = 0;
            status =
                SzddDecode(&decoder, chunk + at, got - at, &used, room, sizeof room, &made, ends);
            at += used;
            if (fwrite(room, 1, made, out) != made)
                return 1;
        } while (status == kSzddNeedOutput);
        if (status != kSzddNeedInput)
            break;
    }
    if (status != kSzddComplete)
        fprintf(stderr, "szdd_tool: %s\n", status == kSzddCut ? "cut short" : "corrupt");
    return status == kSzddComplete ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4 || (strcmp(argv[1], "encode") != 0 && strcmp(argv[1], "decode") != 0)) {
        fprintf(stderr, "usage: szdd_tool encode|decode IN OUT [LASTCHAR]\n");
        return 2;
    }
    FILE *in = fopen(argv[2], "rb");
    FILE *out = fopen(argv[3], "wb");
    if (!in || !out) {
        perror("szdd_tool");
        return 2;
    }
    int failed = argv[1][0] == 'e' ? Encode(in, out, argc > 4 ? argv[4][0] : 0) : Decode(in, out);
    fclose(in);
    if (fclose(out) != 0)
        failed = 1;
    return failed;
}
