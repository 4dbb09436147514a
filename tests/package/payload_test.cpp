// The payload reader's window limit: a frame that asks for a window past the
// limit is refused before anything is allocated or written, one at the limit
// expands.
#include "package/payload.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

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

bool Begin(void *, const char *, uint32_t)
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

// One file A.BIN of 16 bytes in a frame of one raw block, the frame's
// window descriptor asking for 2^windowLog bytes.
std::string Payload(int windowLog)
{
    std::string frame("\x28\xB5\x2F\xFD\x00", 5);
    frame.push_back(static_cast<char>((windowLog - 10) << 3));
    Put(&frame, 1 | 16 << 3, 3); // the last block, raw, 16 bytes
    frame.append(16, 'x');
    std::string table;
    Put(&table, 16, 4);
    Put(&table, 5, 2);
    table += "A.BIN";
    std::string payload(kPayloadMagic, sizeof kPayloadMagic);
    Put(&payload, kPayloadVersion, 4);
    Put(&payload, 1, 4);
    Put(&payload, table.size(), 4);
    payload.append(12, '\0');
    Put(&payload, 16, 8);
    Put(&payload, frame.size(), 8);
    payload.append(32, '\0'); // the hash: UnpackPayload leaves it to CheckPayload
    return payload + table + frame;
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

} // namespace
