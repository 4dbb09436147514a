#include "jsonline.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

JsonLine::~JsonLine()
{
    free(text);
}

namespace
{

void Grow(JsonLine &line, size_t more)
{
    if (line.used + more + 1 <= line.room)
        return;
    size_t room = line.room ? line.room : 1024;
    while (line.used + more + 1 > room)
        room *= 2;
    char *grown = static_cast<char *>(realloc(line.text, room));
    if (!grown) {
        // A bench program that cannot log cannot report: stop loudly.
        fputs("jsonline: out of memory\n", stderr);
        abort();
    }
    line.text = grown;
    line.room = room;
}

void Escaped(JsonLine &line, unsigned code)
{
    char piece[8];
    if (code == '"' || code == '\\')
        snprintf(piece, sizeof piece, "\\%c", static_cast<char>(code));
    else if (code >= 0x20 && code < 0x7F)
        snprintf(piece, sizeof piece, "%c", static_cast<char>(code));
    else
        snprintf(piece, sizeof piece, "\\u%04x", code & 0xFFFF);
    JsonRaw(line, piece);
}

} // namespace

void JsonBegin(JsonLine &line)
{
    line.used = 0;
    line.first = true;
    JsonRaw(line, "{");
}

void JsonRaw(JsonLine &line, const char *text)
{
    size_t length = strlen(text);
    Grow(line, length);
    memcpy(line.text + line.used, text, length + 1);
    line.used += length;
}

void JsonKey(JsonLine &line, const char *key)
{
    if (!line.first)
        JsonRaw(line, ", ");
    line.first = false;
    JsonRaw(line, "\"");
    JsonRaw(line, key);
    JsonRaw(line, "\": ");
}

void JsonBytes(JsonLine &line, const char *key, const char *value, size_t length)
{
    JsonKey(line, key);
    JsonRaw(line, "\"");
    for (size_t i = 0; i < length; ++i)
        Escaped(line, static_cast<unsigned char>(value[i]));
    JsonRaw(line, "\"");
}

void JsonText(JsonLine &line, const char *key, const char *value)
{
    JsonBytes(line, key, value, strlen(value));
}

void JsonWide(JsonLine &line, const char *key, const wchar_t *value)
{
    JsonKey(line, key);
    JsonRaw(line, "\"");
    for (const wchar_t *p = value; *p; ++p)
        Escaped(line, static_cast<unsigned short>(*p));
    JsonRaw(line, "\"");
}

void JsonInt(JsonLine &line, const char *key, long long value)
{
    char number[32];
    snprintf(number, sizeof number, "%lld", value);
    JsonKey(line, key);
    JsonRaw(line, number);
}

void JsonHandle(JsonLine &line, const char *key, const void *handle)
{
    char number[32];
    snprintf(number, sizeof number, "\"0x%lx\"",
             static_cast<unsigned long>(reinterpret_cast<size_t>(handle)));
    JsonKey(line, key);
    JsonRaw(line, number);
}

const char *JsonEnd(JsonLine &line)
{
    JsonRaw(line, "}\n");
    return line.text;
}
