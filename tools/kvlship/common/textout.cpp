// UTF-8 out of code page 1252, JSON strings and lists, text a terminal may show.
#include "common/textout.h"

#include <ctype.h>
#include <stdio.h>

namespace
{

// What code page 1252 puts at 0x80..0x9F; the rest of its upper half is Latin-1.
constexpr unsigned short kUpperAnsi[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

void AppendUtf8(std::string &text, unsigned code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

unsigned AnsiCode(unsigned char c)
{
    return c >= 0x80 && c < 0xA0 ? kUpperAnsi[c - 0x80] : c;
}

std::string AnsiToUtf8(const std::string &ansi)
{
    std::string text;
    for (unsigned char c : ansi)
        AppendUtf8(text, AnsiCode(c));
    return text;
}

std::string Lowered(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool HasControl(const std::string &text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

namespace
{

// Length of the well-formed UTF-8 sequence at `text[at]`; 0 when there is none.
size_t Utf8Length(const std::string &text, size_t at)
{
    unsigned char c = static_cast<unsigned char>(text[at]);
    size_t length = c < 0x80             ? 1
                    : (c & 0xe0) == 0xc0 ? 2
                    : (c & 0xf0) == 0xe0 ? 3
                    : (c & 0xf8) == 0xf0 ? 4
                                         : 0;
    if (length == 0 || c == 0xc0 || c == 0xc1 || at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xc0) != 0x80)
            return 0;
    }
    return length;
}

} // namespace

std::string Printable(const std::string &text)
{
    std::string out;
    char escape[8];
    for (size_t at = 0; at < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        size_t length = Utf8Length(text, at);
        // Control characters, the C1 ones (U+0080..U+009F) that some terminals
        // obey too, and bytes that are no UTF-8 at all.
        bool control = length == 1 ? c < 0x20 || c == 0x7f
                                   : length == 2 && c == 0xc2 &&
                                         static_cast<unsigned char>(text[at + 1]) < 0xa0;
        if (length == 0 || control) {
            unsigned char shown = length == 2 ? static_cast<unsigned char>(text[at + 1]) : c;
            snprintf(escape, sizeof escape, "\\x%02x", shown);
            out += escape;
            at += length ? length : 1;
            continue;
        }
        out.append(text, at, length);
        at += length;
    }
    return out;
}

std::string JsonItems(const std::vector<std::string> &texts)
{
    std::string items;
    for (size_t i = 0; i < texts.size(); ++i)
        items += (i ? ", " : "") + JsonString(texts[i]);
    return items;
}
