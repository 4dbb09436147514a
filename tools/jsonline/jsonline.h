// One JSON object per line, for the test bench's programs (the window lister
// and the probe module) that the harness reads while they run. A line is
// built in memory that grows as needed and written whole, so a reader never
// sees half a line and no value is ever cut.
#pragma once

#include <stddef.h>
#include <wchar.h>

struct JsonLine {
    char *text = nullptr;
    size_t used = 0;
    size_t room = 0;
    bool first = true;
    ~JsonLine();
};

// Starts a new object in `line` ("{").
void JsonBegin(JsonLine &line);

// Appends text as it stands (numbers, brackets).
void JsonRaw(JsonLine &line, const char *text);

// Appends `"key": `, with the comma that separates it from the field before.
void JsonKey(JsonLine &line, const char *key);

// A string field of `length` bytes; bytes outside printable ASCII are
// written as \u00XX of the byte.
void JsonBytes(JsonLine &line, const char *key, const char *value, size_t length);
void JsonText(JsonLine &line, const char *key, const char *value);

// A string field of UTF-16 text; characters outside printable ASCII as \uXXXX.
void JsonWide(JsonLine &line, const char *key, const wchar_t *value);

void JsonInt(JsonLine &line, const char *key, long long value);

// A handle or address as the string "0x...".
void JsonHandle(JsonLine &line, const char *key, const void *handle);

// Closes the object ("}\n") and returns the whole line; `line.used` is its length.
const char *JsonEnd(JsonLine &line);
