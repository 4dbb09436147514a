#include "record/journal.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace
{

struct Held {
    Journal *journal = static_cast<Journal *>(calloc(1, sizeof(Journal)));
    ~Held() { free(journal); }
};

// A journal as the writer makes it, line by line.
struct Writer {
    std::string text;
    uint32_t hash = 0;
    explicit Writer(const char *folder = "C:\\Program Files\\Atlas")
    {
        char out[1200];
        text.assign(out, FormatJournalStart(folder, out, sizeof out, &hash));
    }
    Writer &Add(int kind, const char *path = "", const char *other = "")
    {
        char out[1200];
        text.append(out, FormatJournalEntry(kind, path, other, out, sizeof out, &hash));
        return *this;
    }
};

JournalRead Parse(const std::string &text, Journal *journal)
{
    return ParseJournal(text.data(), text.size(), journal);
}

Writer Sample()
{
    Writer w;
    w.Add(JOURNAL_DIR, "C:\\Program Files\\Atlas\\Demos")
        .Add(JOURNAL_TEMP, "C:\\Program Files\\Atlas\\kvl1.tmp")
        .Add(JOURNAL_ASIDE, "C:\\Program Files\\Atlas\\DEMO.EXE",
             "C:\\Program Files\\Atlas\\~kv00001.old")
        .Add(JOURNAL_NEW, "C:\\Program Files\\Atlas\\README.TXT")
        .Add(JOURNAL_RESTART, "C:\\Program Files\\Atlas\\kvl2.tmp",
             "C:\\Program Files\\Atlas\\ATLAS.DLL");
    return w;
}

} // namespace

TEST(Journal, WhatIsWrittenReadsBackInOrder)
{
    Held held;
    Writer w = Sample();
    ASSERT_EQ(Parse(w.text, held.journal), JOURNAL_OK);
    EXPECT_STREQ(held.journal->folder, "C:\\Program Files\\Atlas");
    ASSERT_EQ(held.journal->count, 5);
    EXPECT_EQ(held.journal->entries[2].kind, JOURNAL_ASIDE);
    EXPECT_STREQ(held.journal->entries[2].other, "C:\\Program Files\\Atlas\\~kv00001.old");
    EXPECT_STREQ(held.journal->entries[4].other, "C:\\Program Files\\Atlas\\ATLAS.DLL");
    EXPECT_FALSE(held.journal->complete);
    EXPECT_FALSE(held.journal->cut);

    w.Add(0);
    ASSERT_EQ(Parse(w.text, held.journal), JOURNAL_OK);
    EXPECT_TRUE(held.journal->complete);
}

TEST(Journal, ALastLineCutWhileWrittenIsDroppedAlone)
{
    Held held;
    Writer w = Sample();
    std::string whole = w.text;
    for (size_t cut = 1; cut < 40; ++cut) {
        Writer longer = w;
        longer.Add(JOURNAL_NEW, "C:\\Program Files\\Atlas\\ATLAS.HLP");
        std::string text = longer.text.substr(0, longer.text.size() - cut);
        ASSERT_EQ(Parse(text, held.journal), JOURNAL_OK) << cut;
        EXPECT_EQ(held.journal->count, 5) << cut;
        EXPECT_TRUE(held.journal->cut) << cut;
    }
}

TEST(Journal, DamageAnywhereElseLeavesNothingToUndo)
{
    Held held;
    const std::string good = Sample().text;
    const size_t secondEntry = good.find("temp\t");
    struct {
        const char *what;
        std::string text;
        JournalRead expected;
    } cases[] = {
        {"empty", "", JOURNAL_BAD_HEADER},
        {"another format", "KARVELO-UNINSTALL\t2\r\n" + good.substr(good.find("\r\n") + 2),
         JOURNAL_BAD_HEADER},
        {"header alone", good.substr(0, good.find("\r\n") + 2), JOURNAL_BAD_HEADER},
        {"a byte changed", good.substr(0, secondEntry + 6) + "X" + good.substr(secondEntry + 7),
         JOURNAL_BAD_LINE},
        {"a line left out",
         good.substr(0, secondEntry) + good.substr(good.find("\r\n", secondEntry) + 2),
         JOURNAL_BAD_LINE},
        {"a bare line feed", good.substr(0, secondEntry - 2) + "\n" + good.substr(secondEntry),
         JOURNAL_BAD_LINE},
        {"a terminator inside",
         good.substr(0, secondEntry + 3) + std::string(1, '\0') + good.substr(secondEntry + 4),
         JOURNAL_BAD_LINE},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Parse(c.text, held.journal), c.expected) << c.what;
        EXPECT_EQ(held.journal->count, 0) << c.what;
        EXPECT_EQ(held.journal->folder[0], 0) << c.what;
    }
}

TEST(Journal, EntriesTheWriterNeverMakesAreRefused)
{
    Held held;
    // Each is sealed with a good check: only its content is wrong.
    Writer relative;
    relative.Add(JOURNAL_NEW, "C:\\Program Files\\Atlas\\..\\..\\Windows\\win.ini");
    EXPECT_EQ(relative.text.find("new"), std::string::npos) << "the writer refuses it";

    Writer unknown;
    uint32_t hash = unknown.hash;
    std::string line = "erase\tC:\\Program Files\\Atlas\\A\t";
    char check[16];
    snprintf(check, sizeof check, "%08x",
             static_cast<unsigned>(JournalHash(hash, line.data(), line.size())));
    EXPECT_EQ(Parse(unknown.text + line + check + "\r\n", held.journal), JOURNAL_BAD_LINE);

    Writer after = Sample();
    after.Add(0).Add(JOURNAL_NEW, "C:\\Program Files\\Atlas\\LATE.TXT");
    EXPECT_EQ(Parse(after.text, held.journal), JOURNAL_AFTER_END);

    std::string huge(kJournalMaxBytes + 1, 'x');
    EXPECT_EQ(Parse(huge, held.journal), JOURNAL_TOO_LARGE);
}

TEST(Journal, TheWriterRefusesWhatTheReaderWould)
{
    char out[1200];
    uint32_t hash = 7;
    EXPECT_EQ(FormatJournalEntry(JOURNAL_NEW, "relative\\path", "", out, sizeof out, &hash), 0u);
    EXPECT_EQ(FormatJournalEntry(JOURNAL_ASIDE, "C:\\A\\B", "", out, sizeof out, &hash), 0u);
    EXPECT_EQ(FormatJournalEntry(JOURNAL_NEW, "C:\\A\\B\tC", "", out, sizeof out, &hash), 0u);
    EXPECT_EQ(FormatJournalEntry(JOURNAL_NEW, "C:\\A\\B", "", out, 10, &hash), 0u);
    EXPECT_EQ(hash, 7u) << "a refused line leaves the running check alone";
    EXPECT_EQ(FormatJournalStart("Atlas", out, sizeof out, &hash), 0u);
}

TEST(Journal, AKeyLineNamesTheKeyAndItsCopyOnly)
{
    Held held;
    Writer w = Sample();
    w.Add(JOURNAL_KEY, "HKCU\\Software\\Karvelo Tides", "0badf00d");
    ASSERT_EQ(Parse(w.text, held.journal), JOURNAL_OK);
    ASSERT_EQ(held.journal->count, 6);
    EXPECT_EQ(held.journal->entries[5].kind, JOURNAL_KEY);
    EXPECT_STREQ(held.journal->entries[5].path, "HKCU\\Software\\Karvelo Tides");
    EXPECT_STREQ(held.journal->entries[5].other, "0badf00d");
    char out[1200];
    uint32_t hash = 7;
    for (const char *key : {"HKCR\\.tdw", "C:\\Program Files\\Atlas", "HKLM\\"})
        EXPECT_EQ(FormatJournalEntry(JOURNAL_KEY, key, "1", out, sizeof out, &hash), 0u) << key;
    EXPECT_EQ(
        FormatJournalEntry(JOURNAL_KEY, "HKLM\\Software\\A", "..\\..\\Run", out, sizeof out, &hash),
        0u);
    EXPECT_EQ(FormatJournalEntry(JOURNAL_KEY, "HKLM\\Software\\A", "", out, sizeof out, &hash), 0u);
}
