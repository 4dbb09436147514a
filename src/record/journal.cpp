#include "record/journal.h"

#include <string.h>

#include "record/linefields.h"

namespace
{

constexpr char kFirstLine[] = "KARVELO-JOURNAL\t1";
constexpr int kMaxFields = 4;
const char *const kKindNames[] = {"complete", "dir", "new", "temp", "aside", "restart", "key"};

bool Paired(int kind)
{
    return kind == JOURNAL_ASIDE || kind == JOURNAL_RESTART || kind == JOURNAL_KEY;
}

int KindOf(const char *name)
{
    for (int kind = JOURNAL_DIR; kind <= JOURNAL_KEY; ++kind) {
        if (strcmp(name, kKindNames[kind]) == 0)
            return kind;
    }
    return strcmp(name, kKindNames[0]) == 0 ? 0 : -1;
}

// What a field of its kind may hold: a complete path, a key below one of
// the two roots, or a copy's name, each without a control character.
enum FieldRule { FIELD_PATH, FIELD_KEY, FIELD_NAME };

bool FollowsRule(const char *text, size_t length, FieldRule rule)
{
    switch (rule) {
    case FIELD_PATH:
        return IsCompleteRecordPath(text);
    case FIELD_KEY:
        return length > 5 && (strncmp(text, "HKLM\\", 5) == 0 || strncmp(text, "HKCU\\", 5) == 0);
    case FIELD_NAME:
        return length > 0 && !strchr(text, '\\');
    }
    return false;
}

bool Field(char *dest, const char *text, FieldRule rule)
{
    size_t length = strlen(text);
    if (length >= kRecordFieldSize || !FollowsRule(text, length, rule))
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) < ' ')
            return false;
    }
    memcpy(dest, text, length + 1);
    return true;
}

bool PathField(char *dest, const char *text)
{
    return Field(dest, text, FIELD_PATH);
}

// Reads an entry's two fields by its kind's rules.
bool EntryFields(JournalEntry *entry, const char *path, const char *other)
{
    bool key = entry->kind == JOURNAL_KEY;
    return Field(entry->path, path, key ? FIELD_KEY : FIELD_PATH) &&
           (!Paired(entry->kind) || Field(entry->other, other, key ? FIELD_NAME : FIELD_PATH));
}

int SplitLine(char *line, char **fields)
{
    return SplitFields(line, fields, kMaxFields);
}

// The check field: exactly 8 small hex digits.
bool ReadCheck(const char *text, uint32_t *value)
{
    uint64_t read = 0;
    if (!ReadHex(text, &read, 8))
        return false;
    *value = static_cast<uint32_t>(read);
    return true;
}

JournalRead Damaged(Journal *journal, JournalRead why)
{
    memset(journal, 0, sizeof *journal);
    return why;
}

bool Put(char *out, size_t size, size_t *used, const char *text)
{
    return PutText(out, size, used, text);
}

bool FitsPath(const char *path)
{
    char field[kRecordFieldSize];
    return path && PathField(field, path);
}

bool FitsEntry(int kind, const char *path, const char *other)
{
    JournalEntry entry;
    entry.kind = kind;
    return path && (!Paired(kind) || other) && EntryFields(&entry, path, other);
}

// The line's fields, then a tab, then the check of everything before it.
size_t PutChecked(const char *const *fields, int count, char *out, size_t size, uint32_t *hash)
{
    size_t used = 0;
    if (size == 0)
        return 0;
    out[0] = 0;
    for (int i = 0; i < count; ++i) {
        if (!Put(out, size, &used, fields[i]) || !Put(out, size, &used, "\t"))
            return 0;
    }
    uint32_t check = JournalHash(*hash, out, used);
    char hex[9];
    for (int i = 0; i < 8; ++i)
        hex[i] = "0123456789abcdef"[(check >> (28 - 4 * i)) & 15];
    hex[8] = 0;
    if (!Put(out, size, &used, hex) || !Put(out, size, &used, "\r\n"))
        return 0;
    *hash = JournalHash(*hash, out, used);
    return used;
}

} // namespace

uint32_t JournalHash(uint32_t hash, const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 16777619u;
    }
    return hash;
}

size_t FormatJournalStart(const char *folder, char *out, size_t size, uint32_t *hash)
{
    size_t used = 0;
    uint32_t start = JournalHash(2166136261u, "", 0);
    if (size == 0 || !FitsPath(folder) || !Put(out, size, &used, kFirstLine) ||
        !Put(out, size, &used, "\r\n"))
        return 0;
    start = JournalHash(start, out, used);
    const char *fields[] = {"folder", folder};
    size_t line = PutChecked(fields, 2, out + used, size - used, &start);
    if (!line)
        return 0;
    *hash = start;
    return used + line;
}

size_t FormatJournalEntry(int kind, const char *path, const char *other, char *out, size_t size,
                          uint32_t *hash)
{
    if (kind < 0 || kind > JOURNAL_KEY)
        return 0;
    if (kind == 0) {
        const char *fields[] = {kKindNames[0]};
        return PutChecked(fields, 1, out, size, hash);
    }
    if (!FitsEntry(kind, path, other))
        return 0;
    const char *fields[] = {kKindNames[kind], path, other};
    return PutChecked(fields, Paired(kind) ? 3 : 2, out, size, hash);
}

JournalRead ParseJournal(const char *text, size_t length, Journal *journal)
{
    memset(journal, 0, sizeof *journal);
    if (length > kJournalMaxBytes)
        return JOURNAL_TOO_LARGE;
    uint32_t hash = 2166136261u;
    bool header = false;
    size_t at = 0;
    while (at < length) {
        const char *start = text + at;
        size_t rest = length - at;
        const char *end = static_cast<const char *>(memchr(start, '\n', rest));
        if (!end) {
            // Cut while it was written: the change it announced was not made.
            if (!journal->folder[0])
                return Damaged(journal, JOURNAL_BAD_HEADER);
            journal->cut = 1;
            return JOURNAL_OK;
        }
        size_t lineLength = static_cast<size_t>(end - start);
        if (lineLength == 0 || start[lineLength - 1] != '\r' || lineLength - 1 > kJournalLineMax)
            return Damaged(journal, journal->folder[0] ? JOURNAL_BAD_LINE : JOURNAL_BAD_HEADER);
        char line[kJournalLineMax + 1];
        memcpy(line, start, lineLength - 1);
        line[lineLength - 1] = 0;
        if (strlen(line) != lineLength - 1)
            return Damaged(journal, journal->folder[0] ? JOURNAL_BAD_LINE : JOURNAL_BAD_HEADER);
        size_t next = at + lineLength + 1;
        if (!header) {
            if (strcmp(line, kFirstLine) != 0)
                return Damaged(journal, JOURNAL_BAD_HEADER);
            header = true;
            hash = JournalHash(hash, start, next - at);
            at = next;
            continue;
        }
        if (journal->complete)
            return Damaged(journal, JOURNAL_AFTER_END);
        // The check covers every byte up to the tab before it.
        const char *lastTab = static_cast<const char *>(memchr(line, '\t', lineLength - 1));
        for (const char *p = lastTab; p; p = strchr(p + 1, '\t'))
            lastTab = p;
        uint32_t check = 0;
        if (!lastTab || !ReadCheck(lastTab + 1, &check) ||
            check != JournalHash(hash, start, static_cast<size_t>(lastTab - line) + 1))
            return Damaged(journal, journal->folder[0] ? JOURNAL_BAD_LINE : JOURNAL_BAD_HEADER);
        line[lastTab - line] = 0;
        char *fields[kMaxFields + 1] = {};
        int count = SplitLine(line, fields);
        if (!journal->folder[0]) {
            if (count != 2 || strcmp(fields[0], "folder") != 0 ||
                !PathField(journal->folder, fields[1]))
                return Damaged(journal, JOURNAL_BAD_HEADER);
        } else {
            int kind = KindOf(fields[0]);
            if (kind == 0 && count == 1) {
                journal->complete = 1;
            } else {
                if (kind <= 0 || count != (Paired(kind) ? 3 : 2))
                    return Damaged(journal, JOURNAL_BAD_LINE);
                if (journal->count >= kJournalMaxEntries)
                    return Damaged(journal, JOURNAL_TOO_MANY);
                JournalEntry &entry = journal->entries[journal->count];
                entry.kind = kind;
                if (!EntryFields(&entry, fields[1], Paired(kind) ? fields[2] : ""))
                    return Damaged(journal, JOURNAL_BAD_LINE);
                ++journal->count;
            }
        }
        hash = JournalHash(hash, start, next - at);
        at = next;
    }
    return journal->folder[0] ? JOURNAL_OK : Damaged(journal, JOURNAL_BAD_HEADER);
}

const char *JournalReadMeaning(JournalRead result)
{
    switch (result) {
    case JOURNAL_OK:
        return "the journal is whole";
    case JOURNAL_TOO_LARGE:
        return "the journal is too large";
    case JOURNAL_BAD_HEADER:
        return "the journal does not start as one";
    case JOURNAL_BAD_LINE:
        return "a line of the journal is damaged";
    case JOURNAL_TOO_MANY:
        return "the journal lists too many changes";
    case JOURNAL_AFTER_END:
        return "the journal goes on after its end";
    }
    return "the journal cannot be read";
}
