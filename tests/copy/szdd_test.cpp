#include "codec/szdd.h"
#include "formats/lzencode.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The expected bytes come from the independent mscompress and msexpand (see
// make_lz_fixtures.py); scripts/fuzz.sh has msexpand expand our encoder's files.

namespace
{

struct Expanded {
    SzddStatus status;
    std::string bytes;
};

const unsigned char *Bytes(const std::string &s)
{
    return reinterpret_cast<const unsigned char *>(s.data());
}

std::string Fixture(const char *name)
{
    std::string content = testfs::ReadWhole(testfs::Fixture(name));
    EXPECT_NE(content, "<missing>") << name;
    return content;
}

// Expands `packed`, handing the decoder at most `inStep` bytes of input and
// `outStep` bytes of room a call.
Expanded Expand(const std::string &packed, size_t inStep = 1u << 30, size_t outStep = 1u << 20)
{
    SzddDecoder decoder;
    SzddDecoderInit(&decoder);
    std::vector<unsigned char> room(outStep);
    Expanded result = {kSzddNeedInput, ""};
    size_t at = 0;
    while (result.status == kSzddNeedInput || result.status == kSzddNeedOutput) {
        size_t piece = packed.size() - at < inStep ? packed.size() - at : inStep;
        size_t used = 0, made = 0;
        result.status = SzddDecode(&decoder, Bytes(packed) + at, piece, &used, room.data(),
                                   room.size(), &made, at + piece == packed.size());
        at += used;
        result.bytes.append(reinterpret_cast<const char *>(room.data()), made);
    }
    return result;
}

std::string WithDeclaredSize(std::string packed, uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        packed[10 + i] = static_cast<char>(size >> (8 * i));
    return packed;
}

bool Append(void *context, const unsigned char *data, size_t size)
{
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), size);
    return true;
}

SzddEncoder encoder; // about 820 KiB

// Compresses `plain` handed over in pieces of `step` bytes.
std::string Compress(const std::string &plain, size_t step, unsigned char lastChar)
{
    std::string packed;
    SzddEncoderInit(&encoder, static_cast<uint32_t>(plain.size()), lastChar, Append, &packed);
    for (size_t at = 0; at < plain.size(); at += step) {
        size_t piece = plain.size() - at < step ? plain.size() - at : step;
        EXPECT_TRUE(SzddEncoderWrite(&encoder, plain.data() + at, piece));
    }
    EXPECT_TRUE(SzddEncoderFinish(&encoder));
    return packed;
}

// Size of the file a greedy longest-match parse makes of `plain`, found the
// slow way: every distance the window allows, the blanks before the file too.
size_t GreedySize(const std::string &plain)
{
    std::string stream = std::string(kSzddWindow, ' ') + plain;
    size_t items = 0, bytes = 0;
    for (size_t p = kSzddWindow; p < stream.size();) {
        size_t longest = 0, most = stream.size() - p;
        if (most > kSzddLongestMatch)
            most = kSzddLongestMatch;
        for (size_t d = 1; d <= kSzddWindow; ++d) {
            size_t n = 0;
            while (n < most && stream[p + n] == stream[p - d + n])
                ++n;
            longest = n > longest ? n : longest;
        }
        bool reference = longest >= kSzddShortestMatch;
        p += reference ? longest : 1;
        bytes += reference ? 2 : 1;
        ++items;
    }
    return kSzddHeaderLength + bytes + (items + 7) / 8;
}

} // namespace

TEST(SzddDecode, ExpandsWhatMscompressMade)
{
    // run: references that overlap their own output and wrap the window;
    // lead: references into the blank window before anything is written.
    const char *files[][2] = {
        {"sample.bin_", "sample.bin"}, {"run.bin_", "run.bin"}, {"lead.bin_", "lead.out"}};
    for (const auto &file : files) {
        Expanded whole = Expand(Fixture(file[0]));
        EXPECT_EQ(whole.status, kSzddComplete) << file[0];
        EXPECT_TRUE(whole.bytes == Fixture(file[1])) << file[0];
    }
}

TEST(SzddDecode, OneByteAtATimeInAndOutGivesTheSame)
{
    for (const char *name : {"sample.bin_", "lead.bin_"}) {
        std::string packed = Fixture(name);
        Expanded trickled = Expand(packed, 1, 1);
        EXPECT_EQ(trickled.status, kSzddComplete) << name;
        EXPECT_TRUE(trickled.bytes == Expand(packed).bytes) << name;
    }
}

TEST(SzddDecode, RoomOfAnySizeGivesTheSameAndIsNeverWrittenPast)
{
    // Rooms about a group's worth: a call's last group ends anywhere near
    // the end of its room, and the next call's references reach back into
    // what the calls before made. Our encoder's references run to 18 bytes,
    // so its groups give the most a group can.
    for (const char *name : {"run.bin", "sample.bin"}) {
        std::string plain = Fixture(name);
        std::string packed = Compress(plain, 4099, 0);
        for (size_t room = 140; room < 320; ++room) {
            SzddDecoder decoder;
            SzddDecoderInit(&decoder);
            std::vector<unsigned char> space(room + 16, 0xA5);
            std::string bytes;
            SzddStatus status;
            size_t at = 0;
            do {
                size_t used = 0, made = 0;
                status = SzddDecode(&decoder, Bytes(packed) + at, packed.size() - at, &used,
                                    space.data(), room, &made, true);
                at += used;
                bytes.append(reinterpret_cast<const char *>(space.data()), made);
                ASSERT_EQ(std::string(space.begin() + room, space.end()), std::string(16, '\xA5'))
                    << name << " room " << room;
            } while (status == kSzddNeedOutput);
            ASSERT_EQ(status, kSzddComplete) << name << " room " << room;
            ASSERT_TRUE(bytes == plain) << name << " room " << room;
        }
    }
}

TEST(SzddDecode, InputEndingAnywhereBeforeTheEndIsCutShort)
{
    // Every cut: in the header, at and inside flag groups, inside references.
    std::string packed = Fixture("run.bin_");
    for (size_t length = 0; length < packed.size(); ++length)
        ASSERT_EQ(Expand(packed.substr(0, length)).status, kSzddCut) << length;
}

TEST(SzddDecode, DeclaredSizeMustMatchTheData)
{
    std::string packed = Fixture("sample.bin_");
    SzddHeader header;
    ASSERT_TRUE(SzddParseHeader(Bytes(packed), packed.size(), &header));
    EXPECT_EQ(Expand(WithDeclaredSize(packed, header.size + 1)).status, kSzddCut);
    EXPECT_EQ(Expand(WithDeclaredSize(packed, header.size - 1)).status, kSzddCorrupt);
    EXPECT_EQ(Expand(packed + '\x01').status, kSzddCorrupt); // a byte after the last item

    std::string zero = Fixture("zero.bin_");
    Expanded empty = Expand(zero);
    EXPECT_EQ(empty.status, kSzddComplete);
    EXPECT_EQ(empty.bytes, "");
    EXPECT_EQ(Expand(zero + '\x01').status, kSzddCorrupt);
    EXPECT_EQ(Expand("").status, kSzddCut);
}

TEST(SzddDecode, ForeignDataIsCorruptEarly)
{
    std::string packed = Fixture("sample.bin_");
    std::string otherMethod = packed;
    otherMethod[8] = 'B';
    EXPECT_EQ(Expand(otherMethod).status, kSzddCorrupt);
    EXPECT_EQ(Expand("MZ\x90").status, kSzddCorrupt);
    EXPECT_EQ(Expand("SZDD\x88\xF1").status, kSzddCorrupt);
    EXPECT_EQ(Expand("SZDD\x88").status, kSzddCut);
}

TEST(SzddHeader, ReadsMscompressHeaderAndTellsTheMagic)
{
    std::string packed = Fixture("sample.bin_");
    SzddHeader header = {};
    ASSERT_TRUE(SzddParseHeader(Bytes(packed), packed.size(), &header));
    EXPECT_EQ(header.method, 'A');
    EXPECT_EQ(header.size, Fixture("sample.bin").size());
    EXPECT_FALSE(SzddParseHeader(Bytes(packed), kSzddHeaderLength - 1, &header));

    EXPECT_TRUE(SzddStartsLike(Bytes(packed), 4));
    EXPECT_TRUE(SzddStartsLike(Bytes(packed), 6));
    EXPECT_FALSE(SzddStartsLike(Bytes(packed), 3));
    EXPECT_FALSE(SzddStartsLike(Bytes(std::string("SZDD\x88\xF1")), 6));
}

TEST(SzddEncoder, RoundTripsAndIsNoLargerThanMscompress)
{
    const char *files[][2] = {{"sample.bin", "sample.bin_"}, {"run.bin", "run.bin_"}};
    for (const auto &file : files) {
        std::string plain = Fixture(file[0]);
        std::string packed = Compress(plain, 4099, 'N');
        SzddHeader header = {};
        ASSERT_TRUE(SzddParseHeader(Bytes(packed), packed.size(), &header));
        EXPECT_EQ(header.lastChar, 'N');
        EXPECT_EQ(header.size, plain.size());
        EXPECT_LE(packed.size(), Fixture(file[1]).size()) << file[0];
        Expanded back = Expand(packed);
        EXPECT_EQ(back.status, kSzddComplete) << file[0];
        EXPECT_TRUE(back.bytes == plain) << file[0];
    }
    // Blanks first: matches into the blank window; nothing at all: a bare header.
    for (const std::string &plain : {std::string(40, ' ') + "text", std::string()}) {
        std::string packed = Compress(plain, 1, 0);
        EXPECT_EQ(Expand(packed).bytes, plain);
        EXPECT_EQ(packed.size() == kSzddHeaderLength, plain.empty());
    }
}

TEST(SzddEncoder, NoLargerThanGreedyWhereMatchesAreHardToFind)
{
    // A run longer than the window, then strings only its tail matches; a
    // string again exactly a window back; few symbols across several spans.
    std::string runs = std::string(5000, 'a') + "b" + std::string(17, 'a') + "cxaaaab";
    std::string edge = "0123456789abcdefgh" + std::string(kSzddWindow - 18, 'x');
    edge += "0123456789abcdefgh!";
    std::string symbols;
    uint32_t state = 7;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        symbols += static_cast<char>('a' + (state >> 16) % 3);
    }
    for (const std::string &plain : {runs, edge, symbols}) {
        std::string packed = Compress(plain, 777, 0);
        EXPECT_TRUE(Expand(packed).bytes == plain);
        EXPECT_LE(packed.size(), GreedySize(plain)) << plain.size();
    }
}

TEST(SzddEncoder, RefusesOtherThanTheDeclaredSize)
{
    std::string packed;
    SzddEncoderInit(&encoder, 10, 0, Append, &packed);
    EXPECT_FALSE(SzddEncoderWrite(&encoder, "eleven char", 11));

    SzddEncoderInit(&encoder, 10, 0, Append, &packed);
    EXPECT_TRUE(SzddEncoderWrite(&encoder, "nine char", 9));
    EXPECT_FALSE(SzddEncoderFinish(&encoder));
}
