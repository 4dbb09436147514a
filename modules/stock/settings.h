// The stock module's settings: which sections and keys it reads from
// kvlsetup.dat, the values it knows, how it takes an item apart and which
// paths it accepts. This is the one statement of those rules: the stock kit
// (and so stock.dll) installs by it, and `kvlship check` judges a
// distribution by it. Platform-free: no Windows header, no allocation; the
// caller reads the file through a StockReader.
#pragma once

#include <stddef.h>

// The stock module carries this text, so that `kvlship check` tells it from a
// module of its own: only the stock module is known to take its destination
// from [PRODUCT] cbFolder.
#define STOCK_MODULE_MARK "KARVELO stock module: the destination is [PRODUCT] cbFolder"

// In a namespace of its own: the engine's util/paths has a StaysBelow with
// a looser rule, and both are linked into the kit and the tool.
namespace stock
{

// Reads `key` of `section` into `buffer` (`size` bytes) as the platform's
// profile functions do: without regard to case, one pair of quotes dropped,
// cut to size - 1 characters. Returns the length read, or -1 when the key is
// missing.
typedef int (*StockProfileRead)(void *context, const char *section, const char *key, char *buffer,
                                size_t size);

struct StockReader {
    StockProfileRead read; // null: no settings at all
    void *context;
};

constexpr int kStockLineSize = 1024; // a setting is read into this many bytes
constexpr int kStockMissing = -1;
constexpr int kStockTooLong = -2;      // filled the line: perhaps cut, so never used
constexpr int kStockMostItems = 100;   // cbItem00 to cbItem99
constexpr int kStockGroupFields = 5;   // name | target | arguments | work folder | description
constexpr int kStockIniFields = 4;     // file | section | key | value
constexpr size_t kStockTextSize = 260; // a path or text of an item, its terminator included
constexpr size_t kStockTitleSize = 176;
constexpr char kStockDestToken[] = "%DEST%"; // exactly so: another case is written as it stands
constexpr int kStockLinkFields = 5;          // [DESKTOP] cbLink: as a [GROUP] item
constexpr int kStockRegistryFields = 5;      // root | key | value name | type | value
constexpr int kStockAssocFields = 5;         // extension | type name | description | program | icon

// Length of the value, kStockMissing or kStockTooLong; `line` holds the value
// (empty unless a length is returned).
int StockRead(const StockReader &reader, const char *section, const char *key,
              char (&line)[kStockLineSize]);

// "cbItem%02d": cbItem00 ... cbItem99.
void StockItemKey(int index, char (&key)[16]);

// ---------------------------------------------------------------------------
// What the module knows

struct StockKey {
    const char *section;
    const char *key;    // "cbItemNN" stands for the numbered list
    const char *effect; // what the module does with it, for the vendor
};

// Every key the module reads, section by section; ends with a null section.
extern const StockKey kStockKeys[];

// True for the sections the module reads: PRODUCT, GROUP, INI, DESKTOP,
// REGISTRY, ASSOC.
bool IsStockSection(const char *section);

// The known key `key` is in `section` (cbItemNN for any two-digit number in
// GROUP and INI), or null.
const StockKey *FindStockKey(const char *section, const char *key);

// The known key of `section` nearest to an unknown `key` (a misspelling: at
// most two letters off, or the same letters in another case), or null.
const StockKey *NearestStockKey(const char *section, const char *key);

// cbConflict: what happens to a file that exists already.
enum class StockConflict { Ask, Replace, Keep };
// cbFileError: what happens after a file could not be installed.
enum class StockFileError { Stop, Continue };
// [GROUP] cbFor: whose Start menu gets the group.
enum class StockGroupFor { Auto, All, User };

// Each reads a value as the module does (without regard to case); `known`
// says whether the value was one the module knows. A missing or empty value
// is known and gives the default (ask, stop, auto).
StockConflict ParseConflict(const char *value, bool *known);
StockFileError ParseFileError(const char *value, bool *known);
StockGroupFor ParseGroupFor(const char *value, bool *known);
// cbAskFolder: 1 shows the folder dialog after the agreement; 0, missing or
// empty does not.
bool ParseAskFolder(const char *value, bool *known);

// [DESKTOP] cbChecked: yes or no (missing or empty: yes).
bool ParseChecked(const char *value, bool *known);

// The words each setting knows, for messages: "ask, replace or keep".
extern const char kStockConflictWords[];
extern const char kStockFileErrorWords[];
extern const char kStockGroupForWords[];
extern const char kStockAskFolderWords[];
extern const char kStockCheckedWords[];

// ---------------------------------------------------------------------------
// Paths

// One name of a path: not empty, not only dots and blanks (which the file
// system reads as "here" or "up"), and no character a name cannot hold.
bool IsSafeName(const char *name, size_t length);

// Names joined by \ or / that stay below the folder they are joined to: no
// drive, no share, no leading, doubled or trailing separator.
bool StaysBelow(const char *path);

// cbFolder: names joined by backslashes, each a plain one (Vendor\Product).
bool IsStockFolder(const char *folder);

// cbDemoProgram: what the shell can start (.exe, .com, .bat, .cmd); another
// file (README.TXT) would start nothing.
bool IsProgramName(const char *name);

// ---------------------------------------------------------------------------
// Items

// Splits `line` in place at "|" into exactly `count` fields, the last taking
// the rest, blanks around each dropped. False when the line has fewer fields;
// `*found` (if given) receives how many it has.
bool SplitFields(char *line, char **fields, int count, int *found = nullptr);

// Why an item is skipped whole; kStockItemUsable when it is not.
enum StockItemFault {
    kStockItemUsable,
    kStockItemFewFields,    // fewer "|" than fields
    kStockItemBadName,      // GROUP: the link name is no plain name
    kStockItemBadTarget,    // GROUP: the target leaves the destination
    kStockItemBadWork,      // GROUP: the working folder leaves the destination
    kStockItemBadFile,      // INI: the settings file leaves the destination
    kStockItemNoSection,    // INI: the section or the key is empty
    kStockItemLongText,     // a field is longer than 259 characters
    kStockItemBadStored,    // STORED: the stored name is no plain name
    kStockItemBadPath,      // STORED: the installed path is not names joined by backslashes
    kStockItemBadRoot,      // REGISTRY: the root is neither HKLM nor HKCU
    kStockItemBadKey,       // REGISTRY: the key is not one of the product's own
    kStockItemBadType,      // REGISTRY: the type is neither string nor number
    kStockItemBadNumber,    // REGISTRY: a number that is not 0 to 4294967295 in decimal
    kStockItemBadExtension, // ASSOC: not a dot and a plain name (.tdw)
    kStockItemBadTypeName,  // ASSOC: the type name is no plain name, or a system one
    kStockItemBadProgram,   // ASSOC: the program leaves the destination or is no program
};

// A [GROUP] item taken apart. Its texts point into the line it was read into.
struct StockLinkItem {
    const char *name; // the link file's name, without .lnk
    const char *target;
    const char *arguments;
    const char *workFolder; // "" for the destination itself
    const char *description;
};

struct StockIniItem {
    const char *file;
    const char *section;
    const char *key;
    const char *value; // %DEST% not yet replaced
};

// A [STORED] item: "stored name|installed path below the destination|replace",
// replace 1 to replace a file there without asking (a missing third field is 0).
struct StockStoredItem {
    const char *stored;
    const char *subFolder; // "" for the destination itself
    const char *name;
    bool replace;
};

// A [REGISTRY] item: "HKLM|Software\\Vendor\\Product|InstallDir|string|%DEST%".
struct StockRegistryItem {
    bool machine;      // HKLM; false: HKCU
    const char *key;   // below Software, and not below Software\Microsoft, \Classes,
                       // \Policies or \Wow6432Node
    const char *name;  // "" for the key's default value
    bool number;       // REG_DWORD; false: REG_SZ
    const char *value; // %DEST% not yet replaced (strings only)
    unsigned long numberValue;
};

// An [ASSOC] item: ".tdw|Tidewatch.Chart|Tidewatch chart|TIDE.EXE|TIDE.EXE,0".
struct StockAssocItem {
    const char *extension;   // with its dot
    const char *typeName;    // the program identifier below Software\Classes
    const char *description; // what Explorer calls such a file
    const char *program;     // below the destination: opens the file ("%1")
    const char *icon;        // below the destination with ",index"; "" for the program's first
};

StockItemFault ParseLinkItem(char *line, StockLinkItem *item);
StockItemFault ParseRegistryItem(char *line, StockRegistryItem *item);
StockItemFault ParseAssocItem(char *line, StockAssocItem *item);

// A key below Software the product may write: names joined by backslashes,
// not below Microsoft, Classes, Policies or Wow6432Node, which belong to the
// system (an association is written through [ASSOC]).
bool IsProductKey(const char *key);
StockItemFault ParseIniItem(char *line, StockIniItem *item);
StockItemFault ParseStoredItem(char *line, StockStoredItem *item);

// What a fault means, in a few words ("the link name is no plain name").
const char *StockItemFaultText(StockItemFault fault);

// Reads cbItem<index> of `section` (GROUP or INI) into `line`. Returns false
// at the end of the list (the first missing number); `*length` receives
// StockRead's result.
bool StockReadItem(const StockReader &reader, const char *section, int index,
                   char (&line)[kStockLineSize], int *length);

// Copies `value` into `dest` with every %DEST% replaced by `destDir`; false
// when the result does not fit.
bool StockExpandValue(char *dest, size_t size, const char *value, const char *destDir);

// True when `value` holds %DEST% in another case (%dest%), which is written
// as it stands.
bool HasMiscasedToken(const char *value);

// ---------------------------------------------------------------------------
// Bounded text

bool CopyWhole(char *dest, size_t size, const char *source);
bool AppendWhole(char *dest, size_t size, const char *source);
// folder + "\" + name, only when it fits.
bool JoinWhole(char *dest, size_t size, const char *folder, const char *name);

// The destination with its last name replaced by `folder` (cbFolder), when
// the folder is one the module accepts and the result fits in `size`.
bool MoveToFolder(char *destDir, size_t size, const char *folder);

} // namespace stock
