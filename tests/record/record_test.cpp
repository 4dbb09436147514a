#include "record/record.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace
{

// A record big enough for any test, off the stack.
struct Held {
    InstallRecord *record = static_cast<InstallRecord *>(calloc(1, sizeof(InstallRecord)));
    ~Held() { free(record); }
};

std::string Written(const InstallRecord *record)
{
    static char text[kRecordMaxBytes];
    size_t length = FormatRecord(record, text, sizeof text);
    return std::string(text, length);
}

void Sample(InstallRecord *record)
{
    SetRecordField(record->product, "Harbour Atlas");
    SetRecordField(record->name, "Harbour Atlas 2.1");
    SetRecordField(record->version, "2.1");
    SetRecordField(record->publisher, "");
    SetRecordField(record->folder, "C:\\Program Files\\Atlas");
    AddRecordItem(record, RECORD_DIR, "C:\\Program Files\\Atlas", 0, 0);
    AddRecordItem(record, RECORD_FILE, "C:\\Program Files\\Atlas\\DEMO.EXE", 0x1234,
                  0x01d9000011112222ull);
    AddRecordItem(record, RECORD_LINK, "C:\\Menu\\Atlas\\Demo.lnk", 0x5a0, 0x01d9000033334444ull);
    AddRecordItem(record, RECORD_INI, "C:\\Program Files\\Atlas\\ATLAS.INI", 0, 0, "Atlas", "Home");
}

RecordRead Parse(const std::string &text, InstallRecord *record)
{
    return ParseRecord(text.data(), text.size(), record);
}

// The text with its end line made anew, so that only the change under test is wrong.
std::string Resealed(std::string body, int count)
{
    char check[16];
    sprintf(check, "%08lx", static_cast<unsigned long>(RecordCheck(body.data(), body.size())));
    return body + "end\t" + std::to_string(count) + "\t" + check + "\r\n";
}

std::string Body(const std::string &text)
{
    return text.substr(0, text.rfind("end\t"));
}

} // namespace

TEST(InstallRecord, WhatIsWrittenReadsBackTheSame)
{
    Held written, read;
    Sample(written.record);
    std::string text = Written(written.record);
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(Parse(text, read.record), RECORD_OK);
    EXPECT_STREQ(read.record->name, "Harbour Atlas 2.1");
    EXPECT_STREQ(read.record->folder, "C:\\Program Files\\Atlas");
    ASSERT_EQ(read.record->count, 4);
    EXPECT_EQ(read.record->items[1].size, 0x1234u);
    EXPECT_EQ(read.record->items[1].written, 0x01d9000011112222ull);
    EXPECT_EQ(read.record->items[2].size, 0x5a0u); // a shortcut is checked as a file is
    EXPECT_EQ(read.record->items[2].written, 0x01d9000033334444ull);
    EXPECT_STREQ(read.record->items[3].section, "Atlas");
    EXPECT_STREQ(read.record->items[3].key, "Home");
    EXPECT_EQ(Written(read.record), text);
}

TEST(InstallRecord, AnItemAddedAgainIsUpdatedNotRepeated)
{
    Held held;
    Sample(held.record);
    EXPECT_TRUE(
        AddRecordItem(held.record, RECORD_FILE, "c:\\program files\\atlas\\demo.exe", 7, 8));
    EXPECT_EQ(held.record->count, 4);
    EXPECT_EQ(held.record->items[1].size, 7u);
    // Refused: a path that is not complete or climbs out, a control character.
    EXPECT_FALSE(AddRecordItem(held.record, RECORD_FILE, "DEMO.EXE", 0, 0));
    EXPECT_FALSE(AddRecordItem(held.record, RECORD_FILE, "C:\\Atlas\\..\\Windows\\x", 0, 0));
    EXPECT_FALSE(AddRecordItem(held.record, RECORD_LINK, "C:\\a\tb", 0, 0));
    EXPECT_EQ(held.record->count, 4);
}

TEST(InstallRecord, DamageIsSeenAndLeavesNothing)
{
    Held held;
    Sample(held.record);
    const std::string text = Written(held.record);
    const std::string body = Body(text);
    std::string flipped = text;
    flipped[text.find("DEMO.EXE")] = 'X';
    std::string badHex = body;
    badHex.replace(badHex.find("1234"), 4, "12g4");
    std::string longLine = body + "dir\tC:\\" + std::string(kRecordLineMax, 'a') + "\r\n";
    std::string longField = body + "dir\tC:\\" + std::string(kRecordFieldSize, 'a') + "\r\n";
    std::string repeated = body + "link\t0\t0\tC:\\Menu\\Atlas\\Demo.lnk\r\n";
    // As the first version wrote a shortcut: without the size and time it is checked by.
    std::string unsizedLink = body + "link\tC:\\Menu\\Atlas\\Other.lnk\r\n";
    std::string zero = body;
    zero[zero.find("DEMO")] = '\0';
    const struct {
        const char *what;
        std::string text;
        RecordRead expected;
    } cases[] = {
        {"empty", "", RECORD_BAD_HEADER},
        {"another first line", "KARVELO-UNINSTALL\t1\r\n" + text.substr(text.find("product")),
         RECORD_BAD_HEADER},
        {"cut inside the items", text.substr(0, text.find("link")), RECORD_NO_END},
        {"cut inside the end line", text.substr(0, text.size() - 3), RECORD_NO_END},
        {"a byte changed", flipped, RECORD_BAD_END},
        {"a line taken out",
         Resealed(body.substr(0, body.find("link")) + body.substr(body.find("ini\t")), 4),
         RECORD_BAD_END},
        {"bytes after the end", text + "x", RECORD_BAD_END},
        {"LF alone", Resealed(body.substr(0, body.size() - 2) + "\n", 4), RECORD_BAD_LINE},
        {"a bad number", Resealed(badHex, 4), RECORD_BAD_LINE},
        {"an unknown kind", Resealed(body + "registry\tHKLM\r\n", 5), RECORD_BAD_LINE},
        {"a line too long", Resealed(longLine, 5), RECORD_BAD_LINE},
        {"a field too long", Resealed(longField, 5), RECORD_BAD_LINE},
        {"an item twice", Resealed(repeated, 5), RECORD_BAD_LINE},
        {"a shortcut without size and time", Resealed(unsizedLink, 5), RECORD_BAD_LINE},
        {"a zero byte", Resealed(zero, 4), RECORD_BAD_LINE},
    };
    for (const auto &c : cases) {
        Held read;
        EXPECT_EQ(Parse(c.text, read.record), c.expected) << c.what;
        EXPECT_EQ(read.record->count, 0) << c.what;
        EXPECT_EQ(read.record->folder[0], 0) << c.what;
    }
}

TEST(InstallRecord, LimitsOfSizeAndItemsAreKept)
{
    Held held;
    Sample(held.record);
    std::string body = Body(Written(held.record));
    for (int i = held.record->count; i <= kRecordMaxItems; ++i)
        body += "dir\tC:\\d\\" + std::to_string(i) + "\r\n";
    Held read;
    EXPECT_EQ(Parse(Resealed(body, kRecordMaxItems + 1), read.record), RECORD_TOO_MANY);
    // Length alone decides: nothing past it is looked at.
    std::string text = Written(held.record);
    EXPECT_EQ(ParseRecord(text.data(), kRecordMaxBytes + 1, read.record), RECORD_TOO_LARGE);
    EXPECT_EQ(ParseRecord(text.data(), text.size() - 1, read.record), RECORD_NO_END);
    // The writer refuses what does not fit rather than cutting it.
    char small[64];
    EXPECT_EQ(FormatRecord(held.record, small, sizeof small), 0u);
}

TEST(InstallRecord, RegistryLinesMakeVersionThreeAndVersionTwoRefusesThem)
{
    Held held;
    Sample(held.record);
    std::string two = Written(held.record);
    EXPECT_EQ(two.compare(0, 20, "KARVELO-UNINSTALL\t2\r"), 0);
    ASSERT_TRUE(AddRecordItem(held.record, RECORD_REGKEY, "HKLM\\Software\\Karvelo Tides", 0, 0));
    ASSERT_TRUE(AddRecordItem(held.record, RECORD_REG, "HKLM\\Software\\Karvelo Tides", 1, 0, "",
                              "C:\\Program Files\\Atlas"));
    ASSERT_TRUE(AddRecordItem(held.record, RECORD_REG, "HKCU\\Software\\Karvelo Tides", 4, 0,
                              "Charts", "12"));
    // The same value again takes the data written last, as a file its size.
    ASSERT_TRUE(AddRecordItem(held.record, RECORD_REG, "HKCU\\Software\\Karvelo Tides", 4, 0,
                              "charts", "13"));
    std::string three = Written(held.record);
    EXPECT_NE(three.find("KARVELO-UNINSTALL\t3\r\n"), std::string::npos);
    EXPECT_NE(three.find("reg\tsz\tHKLM\\Software\\Karvelo Tides\t\tC:\\Program Files\\Atlas\r\n"),
              std::string::npos)
        << three;
    EXPECT_NE(three.find("reg\tdword\tHKCU\\Software\\Karvelo Tides\tCharts\t13\r\n"),
              std::string::npos)
        << three;
    Held read;
    ASSERT_EQ(Parse(three, read.record), RECORD_OK);
    EXPECT_EQ(Written(read.record), three);

    // The registry lines under version 2's first line are not its writer's.
    std::string body = Body(three);
    body.replace(0, 19, "KARVELO-UNINSTALL\t2");
    EXPECT_EQ(Parse(Resealed(body, held.record->count), read.record), RECORD_BAD_LINE);
    // A reg line cut to its kind has no fields to read.
    body = Body(three);
    body.insert(body.rfind("reg\t"), "reg\r\n");
    EXPECT_EQ(Parse(Resealed(body, held.record->count + 1), read.record), RECORD_BAD_LINE);
    // A key without its root, or with an empty name, is no key.
    EXPECT_FALSE(AddRecordItem(held.record, RECORD_REG, "Software\\Tides", 1, 0, "a", "b"));
    EXPECT_FALSE(AddRecordItem(held.record, RECORD_REGKEY, "HKLM\\Software\\\\Tides", 0, 0));
    EXPECT_FALSE(AddRecordItem(held.record, RECORD_REG, "HKLM\\Software\\Tides", 3, 0, "a", "b"));
}

TEST(InstallRecord, ARestartLineMakesVersionThreeAndOnlyThreeReadsIt)
{
    Held held;
    Sample(held.record);
    EXPECT_EQ(Written(held.record).rfind("KARVELO-UNINSTALL\t2\r\n", 0), 0u)
        << "without a restart line every uninstaller reads the record";
    ASSERT_TRUE(
        AddRecordItem(held.record, RECORD_RESTART, "C:\\Program Files\\Atlas\\kvl1a2.tmp", 0, 0));
    std::string text = Written(held.record);
    ASSERT_EQ(text.rfind("KARVELO-UNINSTALL\t3\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("restart\tC:\\Program Files\\Atlas\\kvl1a2.tmp\r\n"), std::string::npos);

    Held read;
    ASSERT_EQ(Parse(text, read.record), RECORD_OK);
    EXPECT_EQ(read.record->items[read.record->count - 1].kind, RECORD_RESTART);
    // The same lines under version 2: a kind that version does not have.
    std::string older = Body(text);
    older[older.find('3')] = '2';
    EXPECT_EQ(Parse(Resealed(older, held.record->count), read.record), RECORD_BAD_LINE);
}

TEST(InstallRecord, ItemsDroppedByTheWriterStillFindTheirRepeat)
{
    // The kit drops items outside the product's places by moving the rest
    // down: an item added again afterwards must still be found, not repeated.
    Held held;
    Sample(held.record);
    InstallRecord *record = held.record;
    ASSERT_STREQ(record->items[1].path, "C:\\Program Files\\Atlas\\DEMO.EXE");
    for (int i = 1; i < record->count; ++i)
        record->items[i - 1] = record->items[i];
    --record->count;
    int kept = record->count;
    EXPECT_TRUE(AddRecordItem(record, RECORD_FILE, "C:\\PROGRAM FILES\\ATLAS\\DEMO.EXE",
                              0x123456789ull, 9));
    EXPECT_EQ(record->count, kept);
    EXPECT_EQ(record->items[0].size, 0x123456789ull);

    // A file of 4 GiB and more keeps its whole size through the text.
    Held read;
    EXPECT_EQ(Parse(Written(record), read.record), RECORD_OK);
    EXPECT_EQ(read.record->items[0].size, 0x123456789ull);
}
