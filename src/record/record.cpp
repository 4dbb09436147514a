#include "record/record.h"

#include <stddef.h>
#include <string.h>

#include "record/linefields.h"

namespace
{

// Version 3 adds the restart line; a record without one is written as 2,
// which every uninstaller reads.
constexpr char kFirstLine[] = "KARVELO-UNINSTALL\t2";
// Written only when a reg, regkey or restart line needs it, so that a record
// without them stays readable by an uninstaller that knows version 2 only.
constexpr char kFirstLine3[] = "KARVELO-UNINSTALL\t3";
constexpr int kMaxFields = 5;
const char *const kHeaderNames[] = {"product", "name", "version", "publisher", "folder"};
const char *const kKindNames[] = {"",    "file", "dir",    "link",   "group",
                                  "ini", "reg",  "regkey", "restart"};
constexpr unsigned kRegString = 1; // REG_SZ
constexpr unsigned kRegNumber = 4; // REG_DWORD

bool PlainText(const char *text)
{
    for (const char *p = text; *p; ++p) {
        if (static_cast<unsigned char>(*p) < ' ')
            return false;
    }
    return true;
}

bool FitsField(const char *text)
{
    return strlen(text) < kRecordFieldSize && PlainText(text);
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const char *a, const char *b)
{
    for (; *a && Lower(*a) == Lower(*b); ++a, ++b) {
    }
    return Lower(*a) == Lower(*b);
}

unsigned HashText(unsigned hash, const char *text)
{
    for (; *text; ++text)
        hash = (hash ^ static_cast<unsigned char>(Lower(*text))) * 16777619u;
    return (hash ^ 0xFF) * 16777619u;
}

// The index cell of the item of `kind` for `path`, `section` and `key`
// (letters compared without regard to case), or the empty cell where it goes.
int *IndexCell(InstallRecord *record, int kind, const char *path, const char *section,
               const char *key)
{
    // A registry value is one item whatever data it was given: its key field
    // holds the data written last, not part of what names it.
    bool reg = kind == RECORD_REG;
    unsigned hash =
        HashText(HashText(HashText(2166136261u ^ static_cast<unsigned>(kind), path), section),
                 reg ? "" : key);
    unsigned mask = kRecordIndexSize - 1;
    for (unsigned at = hash & mask;; at = (at + 1) & mask) {
        int *cell = &record->index[at];
        if (*cell == 0)
            return cell;
        const RecordItem &item = record->items[*cell - 1];
        if (item.kind == kind && SameText(item.path, path) && SameText(item.section, section) &&
            (reg || SameText(item.key, key)))
            return cell;
    }
}

// Makes the index again from the items.
void IndexItems(InstallRecord *record)
{
    memset(record->index, 0, sizeof record->index);
    for (int i = 0; i < record->count; ++i) {
        const RecordItem &item = record->items[i];
        *IndexCell(record, item.kind, item.path, item.section, item.key) = i + 1;
    }
    record->indexed = record->count;
}

// A complete path the uninstaller may act on: a drive or a share, and no
// component that climbs out (two or more dots alone).
bool CompletePath(const char *path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                 path[1] == ':' && path[2] == '\\';
    bool share = path[0] == '\\' && path[1] == '\\';
    if (!drive && !share)
        return false;
    const char *component = path;
    for (const char *p = path;; ++p) {
        if (*p == '/' || (*p == ':' && p != path + 1))
            return false;
        if (*p == '\\' || !*p) {
            size_t length = static_cast<size_t>(p - component);
            bool dots = length >= 2 && strspn(component, ".") >= length;
            if (dots)
                return false;
            if (!*p)
                return true;
            component = p + 1;
        }
    }
}

// A registry key the uninstaller may act on: HKLM\ or HKCU\ and names
// joined by single backslashes.
bool RegistryPath(const char *path)
{
    if (strncmp(path, "HKLM\\", 5) != 0 && strncmp(path, "HKCU\\", 5) != 0)
        return false;
    const char *names = path + 5;
    size_t length = strlen(names);
    return length > 0 && names[0] != '\\' && names[length - 1] != '\\' && !strstr(names, "\\\\");
}

bool IsRegistryKind(int kind)
{
    return kind == RECORD_REG || kind == RECORD_REGKEY;
}

// The kinds a version 2 record cannot hold.
bool IsVersion3Kind(int kind)
{
    return IsRegistryKind(kind) || kind == RECORD_RESTART;
}

bool CopyField(char *dest, const char *source, size_t length)
{
    if (length >= kRecordFieldSize)
        return false;
    memcpy(dest, source, length);
    dest[length] = 0;
    return PlainText(dest);
}

bool ReadDecimal(const char *text, uint64_t *value)
{
    size_t length = strlen(text);
    if (length == 0 || length > 9 || (length > 1 && text[0] == '0'))
        return false;
    *value = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        *value = *value * 10 + static_cast<uint64_t>(*p - '0');
    }
    return true;
}

int SplitLine(char *line, char **fields)
{
    return SplitFields(line, fields, kMaxFields);
}

int KindOf(const char *name)
{
    for (int kind = RECORD_FILE; kind <= RECORD_RESTART; ++kind) {
        if (strcmp(name, kKindNames[kind]) == 0)
            return kind;
    }
    return 0;
}

// One item line: its kind's name and exactly the fields that kind has.
bool ReadItem(InstallRecord *record, char **fields, int count)
{
    int kind = KindOf(fields[0]);
    if (kind == RECORD_FILE || kind == RECORD_LINK) {
        uint64_t size = 0;
        uint64_t written = 0;
        return count == 4 && ReadHex(fields[1], &size) && ReadHex(fields[2], &written) &&
               AddRecordItem(record, kind, fields[3], size, written);
    }
    if (kind == RECORD_INI)
        return count == 4 && AddRecordItem(record, kind, fields[1], 0, 0, fields[2], fields[3]);
    if (kind == RECORD_REG) {
        // The count first: the fields past it are not there.
        if (count != 5)
            return false;
        bool string = strcmp(fields[1], "sz") == 0;
        return (string || strcmp(fields[1], "dword") == 0) &&
               AddRecordItem(record, kind, fields[2], string ? kRegString : kRegNumber, 0,
                             fields[3], fields[4]);
    }
    return kind != 0 && count == 2 && AddRecordItem(record, kind, fields[1], 0, 0);
}

// Empties the record, touching only what was used: a record's room is large.
void ClearRecord(InstallRecord *record)
{
    size_t used = offsetof(InstallRecord, items) +
                  sizeof(RecordItem) * static_cast<size_t>(record->count > 0 ? record->count : 0);
    memset(record, 0, used);
    record->indexed = -1; // the index is made again at the next add
}

RecordRead Damaged(InstallRecord *record, RecordRead why)
{
    ClearRecord(record);
    return why;
}

bool Put(char *out, size_t size, size_t *used, const char *text)
{
    return PutText(out, size, used, text);
}

// `value` in hex, at least `digits` digits, into a buffer of 24 bytes.
void FormatHex(char *out, uint64_t value, int digits)
{
    char reversed[17];
    int count = 0;
    do {
        reversed[count++] = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while ((value != 0 || count < digits) && count < 16);
    for (int i = 0; i < count; ++i)
        out[i] = reversed[count - 1 - i];
    out[count] = 0;
}

void FormatDecimal(char *out, unsigned value)
{
    char reversed[12];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < count; ++i)
        out[i] = reversed[count - 1 - i];
    out[count] = 0;
}

bool PutLine(char *out, size_t size, size_t *used, const char *const *fields, int count)
{
    for (int i = 0; i < count; ++i) {
        if ((i > 0 && !Put(out, size, used, "\t")) || !Put(out, size, used, fields[i]))
            return false;
    }
    return Put(out, size, used, "\r\n");
}

} // namespace

bool IsCompleteRecordPath(const char *path)
{
    return CompletePath(path);
}

uint32_t RecordCheck(const char *text, size_t length)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 16777619u;
    }
    return hash;
}

bool SetRecordField(char *field, const char *text)
{
    field[0] = 0;
    if (!FitsField(text))
        return false;
    memcpy(field, text, strlen(text) + 1);
    return true;
}

bool AddRecordItem(InstallRecord *record, int kind, const char *path, uint64_t size,
                   uint64_t written, const char *section, const char *key)
{
    bool ini = kind == RECORD_INI;
    bool reg = kind == RECORD_REG;
    if (kind < RECORD_FILE || kind > RECORD_RESTART || !FitsField(path) ||
        !(IsRegistryKind(kind) ? RegistryPath(path) : CompletePath(path)) ||
        (ini && (!section[0] || !key[0] || !FitsField(section) || !FitsField(key))) ||
        (reg &&
         (!FitsField(section) || !FitsField(key) || (size != kRegString && size != kRegNumber))))
        return false;
    if (!ini && !reg)
        section = key = "";
    if (record->indexed != record->count)
        IndexItems(record);
    int *cell = IndexCell(record, kind, path, section, key);
    if (*cell) {
        RecordItem &item = record->items[*cell - 1];
        item.size = size;
        item.written = written;
        if (reg)
            SetRecordField(item.key, key); // the data written last
        return true;
    }
    if (record->count >= kRecordMaxItems)
        return false;
    *cell = record->count + 1;
    record->indexed = record->count + 1;
    RecordItem &item = record->items[record->count++];
    item.kind = kind;
    bool sized = kind == RECORD_FILE || kind == RECORD_LINK;
    item.size = sized || reg ? size : 0;
    item.written = sized ? written : 0;
    SetRecordField(item.path, path);
    SetRecordField(item.section, section);
    SetRecordField(item.key, key);
    return true;
}

RecordRead ParseRecord(const char *text, size_t length, InstallRecord *record)
{
    ClearRecord(record);
    if (length > kRecordMaxBytes)
        return RECORD_TOO_LARGE;
    char *const header[] = {record->product, record->name, record->version, record->publisher,
                            record->folder};
    int headerLines = 0;
    bool version3 = false;
    size_t at = 0;
    while (at < length) {
        const char *start = text + at;
        size_t rest = length - at;
        const char *end = static_cast<const char *>(memchr(start, '\n', rest));
        size_t lineLength = end ? static_cast<size_t>(end - start) : rest;
        if (!end || lineLength == 0 || start[lineLength - 1] != '\r' ||
            lineLength - 1 > kRecordLineMax)
            return Damaged(record, headerLines == 0 ? RECORD_BAD_HEADER
                                   : !end           ? RECORD_NO_END
                                                    : RECORD_BAD_LINE);
        char line[kRecordLineMax + 1];
        memcpy(line, start, lineLength - 1);
        line[lineLength - 1] = 0;
        size_t next = at + lineLength + 1;
        // Every byte of the line must be text: a terminator inside would hide the rest.
        if (strlen(line) != lineLength - 1)
            return Damaged(record, RECORD_BAD_LINE);

        if (at == 0) {
            version3 = strcmp(line, kFirstLine3) == 0;
            if (strcmp(line, kFirstLine) != 0 && !version3)
                return Damaged(record, RECORD_BAD_HEADER);
            at = next;
            continue;
        }
        char *fields[kMaxFields + 1] = {};
        int count = SplitLine(line, fields);
        if (headerLines < 5) {
            if (count != 2 || strcmp(fields[0], kHeaderNames[headerLines]) != 0 ||
                !CopyField(header[headerLines], fields[1], strlen(fields[1])))
                return Damaged(record, RECORD_BAD_HEADER);
            ++headerLines;
        } else if (strcmp(fields[0], "end") == 0) {
            uint64_t items = 0;
            uint64_t check = 0;
            if (count != 3 || !ReadDecimal(fields[1], &items) || !ReadHex(fields[2], &check, 8) ||
                items != static_cast<uint64_t>(record->count) || check != RecordCheck(text, at) ||
                next != length)
                return Damaged(record, RECORD_BAD_END);
            if (!CompletePath(record->folder) || !record->product[0])
                return Damaged(record, RECORD_BAD_HEADER);
            return RECORD_OK;
        } else {
            int before = record->count;
            // Version 2 knows no registry or restart lines.
            if (!version3 && IsVersion3Kind(KindOf(fields[0])))
                return Damaged(record, RECORD_BAD_LINE);
            if (!ReadItem(record, fields, count))
                return Damaged(record, record->count >= kRecordMaxItems ? RECORD_TOO_MANY
                                                                        : RECORD_BAD_LINE);
            // The writer never repeats an item; a repeat is not its work.
            if (record->count == before)
                return Damaged(record, RECORD_BAD_LINE);
        }
        at = next;
    }
    return Damaged(record, headerLines < 5 ? RECORD_BAD_HEADER : RECORD_NO_END);
}

const char *RecordReadMeaning(RecordRead result)
{
    switch (result) {
    case RECORD_OK:
        return "the record is whole";
    case RECORD_TOO_LARGE:
        return "the record is too large";
    case RECORD_BAD_HEADER:
        return "the record does not start as one";
    case RECORD_BAD_LINE:
        return "a line of the record is damaged";
    case RECORD_TOO_MANY:
        return "the record lists too many items";
    case RECORD_NO_END:
        return "the record is cut short";
    case RECORD_BAD_END:
        return "the record's count or check does not match its lines";
    }
    return "the record cannot be read";
}

size_t FormatRecord(const InstallRecord *record, char *out, size_t size)
{
    size_t used = 0;
    if (size == 0)
        return 0;
    out[0] = 0;
    const char *const header[] = {record->product, record->name, record->version, record->publisher,
                                  record->folder};
    bool version3 = false;
    for (int i = 0; i < record->count && i < kRecordMaxItems; ++i)
        version3 = version3 || IsVersion3Kind(record->items[i].kind);
    if (!Put(out, size, &used, version3 ? kFirstLine3 : kFirstLine) ||
        !Put(out, size, &used, "\r\n"))
        return 0;
    for (int i = 0; i < 5; ++i) {
        if (!FitsField(header[i]))
            return 0;
        const char *line[] = {kHeaderNames[i], header[i]};
        if (!PutLine(out, size, &used, line, 2))
            return 0;
    }
    for (int i = 0; i < record->count && i < kRecordMaxItems; ++i) {
        const RecordItem &item = record->items[i];
        if (item.kind < RECORD_FILE || item.kind > RECORD_RESTART)
            return 0;
        char sizeText[24];
        char timeText[24];
        FormatHex(sizeText, item.size, 1);
        FormatHex(timeText, item.written, 1);
        const char *fileLine[] = {kKindNames[item.kind], sizeText, timeText, item.path};
        const char *iniLine[] = {"ini", item.path, item.section, item.key};
        const char *plainLine[] = {kKindNames[item.kind], item.path};
        const char *regLine[] = {"reg", item.size == kRegString ? "sz" : "dword", item.path,
                                 item.section, item.key};
        bool sized = item.kind == RECORD_FILE || item.kind == RECORD_LINK;
        bool put = sized                     ? PutLine(out, size, &used, fileLine, 4)
                   : item.kind == RECORD_INI ? PutLine(out, size, &used, iniLine, 4)
                   : item.kind == RECORD_REG ? PutLine(out, size, &used, regLine, 5)
                                             : PutLine(out, size, &used, plainLine, 2);
        if (!put)
            return 0;
    }
    char count[24];
    char check[24];
    FormatDecimal(count, static_cast<unsigned>(record->count));
    FormatHex(check, RecordCheck(out, used), 8);
    const char *endLine[] = {"end", count, check};
    return PutLine(out, size, &used, endLine, 3) ? used : 0;
}
