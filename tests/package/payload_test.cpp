// The payload reader: its window limit (a frame that asks for a window past
// the limit is refused before anything is allocated or written, one at the
// limit expands), its 64-bit sizes and its hash.
#include "package/payload.h"

#include "codec/sha256.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

bool ReadString(void *context, uint64_t at, void *into, size_t size)
{
    auto *bytes = static_cast<const std::string *>(context);
    if (at > bytes->size() || bytes->size() - at < size)
        return false;
    memcpy(into, bytes->data() + at, size);
    return true;
}

bool Begin(void *, const char *, uint64_t)
{
    return true;
}

bool Write(void *context, const void *, size_t size)
{
    *static_cast<size_t *>(context) += size;
    return true;
}

bool End(void *)
{
    return true;
}

void Put(std::string *out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

using Files = std::vector<std::pair<std::string, uint64_t>>;

// A payload of `files` (name, size) and `frame`, hashed as kvlship hashes
// it: the table, the stream, then the header's first bytes.
std::string Payload(const Files &files, const std::string &frame, uint64_t plainSize)
{
    std::string table;
    for (const auto &file : files) {
        Put(&table, file.second, 8);
        Put(&table, file.first.size(), 2);
        table += file.first;
    }
    std::string header(kPayloadMagic, sizeof kPayloadMagic);
    Put(&header, kPayloadVersion, 4);
    Put(&header, files.size(), 4);
    Put(&header, table.size(), 4);
    header.append(12, '\0');
    Put(&header, plainSize, 8);
    Put(&header, frame.size(), 8);
    Sha256 sha;
    Sha256Init(&sha);
    Sha256Update(&sha, table.data(), table.size());
    Sha256Update(&sha, frame.data(), frame.size());
    Sha256Update(&sha, header.data(), header.size());
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    header.append(reinterpret_cast<const char *>(digest), sizeof digest);
    return header + table + frame;
}

// The start of a frame without its size, of a window of 2^windowLog bytes.
std::string FrameStart(int windowLog)
{
    std::string frame("\x28\xB5\x2F\xFD\x00", 5);
    frame.push_back(static_cast<char>((windowLog - 10) << 3));
    return frame;
}

// One file A.BIN of 16 bytes in a frame of one raw block, the frame's
// window descriptor asking for 2^windowLog bytes.
std::string Payload(int windowLog)
{
    std::string frame = FrameStart(windowLog);
    Put(&frame, 1 | 16 << 3, 3); // the last block, raw, 16 bytes
    frame.append(16, 'x');
    return Payload({{"A.BIN", 16}}, frame, 16);
}

TEST(Payload, WindowPastTheLimitIsRefusedOneAtTheLimitExpands)
{
    for (int log : {kPayloadMaxWindowLog + 1, kPayloadMaxWindowLog}) {
        std::string bytes = Payload(log);
        PayloadSource source = {&bytes, bytes.size(), ReadString};
        PayloadIndex index;
        ASSERT_EQ(ReadPayloadIndex(&source, &index), PACKAGE_OK);
        size_t written = 0;
        PayloadSink sink = {&written, Begin, Write, End};
        bool fits = log <= kPayloadMaxWindowLog;
        EXPECT_EQ(UnpackPayload(&source, &index, &sink), fits ? PACKAGE_OK : PACKAGE_DAMAGED)
            << log;
        EXPECT_EQ(written, fits ? 16u : 0u) << log;
        FreePayloadIndex(&index);
    }
}

TEST(Payload, NamesWindowsWouldChangeOrTakeForADeviceAreRefused)
{
    // Windows drops a name's final dot or blank, and reads the name before
    // the first dot, its blanks dropped, for a device's.
    for (const char *name : {"README.", "README ", "CON", "con.txt", "CON .TXT", "NUL.TX_",
                             "nul.tar.gz", "COM1", "lpt9 .log", "AUX..", "CONIN$.x", "COM\xB9.TXT"})
        EXPECT_FALSE(IsPayloadName(name, strlen(name))) << name;
    // Names that only begin like a device's, and one beyond ASCII (code page 1252).
    for (const char *name : {"CONSOLE.TXT", "NULL", "COM10.TXT", "LPT.TXT", "A.CON", ".NUL",
                             "\xDC"
                             "bersicht.txt",
                             "CON_.TXT"})
        EXPECT_TRUE(IsPayloadName(name, strlen(name))) << name;
}

// Each file's bytes as the sink sees them: how many, and whether all were
// the file's own letter.
struct Landed {
    std::vector<std::pair<std::string, uint64_t>> files;
    bool mixed = false;
};

bool BeginLanded(void *context, const char *name, uint64_t)
{
    static_cast<Landed *>(context)->files.push_back({name, 0});
    return true;
}

bool WriteLanded(void *context, const void *bytes, size_t size)
{
    auto *landed = static_cast<Landed *>(context);
    char letter = landed->files.back().first[0] == 'B' ? 'x' : 'y';
    auto *p = static_cast<const char *>(bytes);
    for (size_t i = 0; i < size; ++i)
        landed->mixed |= p[i] != letter;
    landed->files.back().second += size;
    return true;
}

TEST(Payload, AFileOfMoreThan4GiBExpandsWholeAndTheNextFollowsIt)
{
    // BIG.BIN: 2^32 + 16 bytes of 'x' in blocks of one repeated byte (the
    // frame stays small), then C.TXT: 16 raw bytes of 'y'.
    const uint64_t big = (1ull << 32) + 16, block = 1u << 17;
    std::string frame = FrameStart(17);
    for (uint64_t left = big; left > 0;) {
        uint64_t take = left < block ? left : block;
        Put(&frame, 2 | take << 3, 3); // a block of one repeated byte
        frame.push_back('x');
        left -= take;
    }
    Put(&frame, 1 | 16 << 3, 3);
    frame.append(16, 'y');
    std::string bytes = Payload({{"BIG.BIN", big}, {"C.TXT", 16}}, frame, big + 16);
    PayloadSource source = {&bytes, bytes.size(), ReadString};
    PayloadIndex index;
    ASSERT_EQ(ReadPayloadIndex(&source, &index), PACKAGE_OK);
    EXPECT_EQ(index.plainSize, big + 16);
    EXPECT_EQ(CheckPayload(&source, &index), PACKAGE_OK);
    Landed landed;
    PayloadSink sink = {&landed, BeginLanded, WriteLanded, End};
    EXPECT_EQ(UnpackPayload(&source, &index, &sink), PACKAGE_OK);
    FreePayloadIndex(&index);
    EXPECT_EQ(landed.files, (Files{{"BIG.BIN", big}, {"C.TXT", 16}}));
    EXPECT_FALSE(landed.mixed);
}

TEST(Payload, SizesThatPass64BitsOrMissTheHeadersTotalAreRefused)
{
    std::string frame = FrameStart(17);
    Put(&frame, 1 | 16 << 3, 3);
    frame.append(16, 'x');
    // Two files of 2^63 bytes add up to 0 in 64 bits, which the header claims.
    const uint64_t half = 1ull << 63;
    const std::pair<Files, uint64_t> refused[] = {{{{"A.BIN", half}, {"B.BIN", half}}, 0},
                                                  {{{"A.BIN", 16}}, 17},
                                                  {{{"A.BIN", 16}, {"B.BIN", UINT64_MAX}}, 15}};
    for (const auto &payload : refused) {
        std::string bytes = Payload(payload.first, frame, payload.second);
        PayloadSource source = {&bytes, bytes.size(), ReadString};
        PayloadIndex index;
        EXPECT_EQ(ReadPayloadIndex(&source, &index), PACKAGE_DAMAGED) << payload.second;
        FreePayloadIndex(&index);
    }
}

TEST(Payload, TheHashCoversTheTableTheStreamThenTheHeader)
{
    // The same bytes hashed header first (as payloads of 32-bit sizes were)
    // do not check: writer and reader must agree on the order.
    std::string good = Payload(kPayloadMaxWindowLog), headerFirst = good;
    Sha256 sha;
    Sha256Init(&sha);
    Sha256Update(&sha, good.data(), kPayloadHashedHeader);
    Sha256Update(&sha, good.data() + kPayloadHeaderSize, good.size() - kPayloadHeaderSize);
    unsigned char digest[32];
    Sha256Final(&sha, digest);
    memcpy(&headerFirst[kPayloadHashedHeader], digest, sizeof digest);
    for (std::string *bytes : {&good, &headerFirst}) {
        PayloadSource source = {bytes, bytes->size(), ReadString};
        PayloadIndex index;
        ASSERT_EQ(ReadPayloadIndex(&source, &index), PACKAGE_OK);
        EXPECT_EQ(CheckPayload(&source, &index), bytes == &good ? PACKAGE_OK : PACKAGE_DAMAGED);
        FreePayloadIndex(&index);
    }
}

} // namespace
