// Code pages: UTF-8 to and from the ANSI code page, and the same-name rule.
#include "common/codepage.h"

#include "common/textout.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#endif

namespace
{

// Reads one UTF-8 character at `at`; false for a byte that starts none, a
// cut or overlong sequence, a surrogate or a value past U+10FFFF.
bool NextUtf8(const std::string &text, size_t *at, char32_t *code)
{
    unsigned char c = static_cast<unsigned char>(text[*at]);
    int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (more < 0 || *at + more >= text.size() + (more == 0))
        return false;
    char32_t value = more == 0 ? c : c & (0x3F >> more);
    for (int i = 1; i <= more; ++i) {
        unsigned char next = static_cast<unsigned char>(text[*at + i]);
        if ((next & 0xC0) != 0x80)
            return false;
        value = value << 6 | (next & 0x3F);
    }
    static const char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
        return false;
    *at += more + 1;
    *code = value;
    return true;
}

std::string Utf8Of(char32_t code)
{
    std::string text;
    AppendUtf8(text, code);
    return text;
}

#ifdef _WIN32
bool Encode(const std::string &utf8, int codePage, std::string *out)
{
    out->clear();
    if (utf8.empty())
        return true;
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                   static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0)
        return false;
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], wide);
    if (codePage == CP_UTF8) {
        *out = utf8;
        return true;
    }
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0,
                                   nullptr, &lossy);
    if (size <= 0 || lossy)
        return false;
    out->resize(size);
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), wide, &(*out)[0], size,
                        nullptr, &lossy);
    return !lossy;
}

std::u32string DecodeWhole(const std::string &bytes, int codePage)
{
    std::u32string codes;
    if (bytes.empty())
        return codes;
    int wide =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(wide > 0 ? wide : 0, L'\0');
    if (wide > 0)
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                            wide);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
        }
        codes += c;
    }
    return codes;
}

bool Known(int codePage)
{
    return IsValidCodePage(codePage) != 0;
}
#else
std::string IconvName(int codePage)
{
    if (codePage == 65001)
        return "UTF-8";
    if (codePage == 20127)
        return "ASCII";
    return "CP" + std::to_string(codePage);
}

// Converts with iconv; false on any character the target cannot hold.
bool Convert(const std::string &from, const std::string &to, const std::string &in,
             std::string *out)
{
    out->clear();
    iconv_t state = iconv_open(to.c_str(), from.c_str());
    if (state == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string source = in;
    char *inAt = &source[0];
    size_t inLeft = source.size();
    bool ok = true;
    while (inLeft > 0 && ok) {
        char chunk[1024];
        char *outAt = chunk;
        size_t outLeft = sizeof chunk;
        size_t done = iconv(state, &inAt, &inLeft, &outAt, &outLeft);
        out->append(chunk, outAt - chunk);
        ok = done != static_cast<size_t>(-1) || errno == E2BIG;
    }
    if (ok) {
        char chunk[64];
        char *outAt = chunk;
        size_t outLeft = sizeof chunk;
        ok = iconv(state, nullptr, nullptr, &outAt, &outLeft) != static_cast<size_t>(-1);
        out->append(chunk, outAt - chunk);
    }
    iconv_close(state);
    return ok;
}

bool Encode(const std::string &utf8, int codePage, std::string *out)
{
    return Convert("UTF-8", IconvName(codePage), utf8, out);
}

std::u32string DecodeWhole(const std::string &bytes, int codePage)
{
    std::string utf32;
    std::u32string codes;
    if (!Convert(IconvName(codePage), "UTF-32LE", bytes, &utf32)) {
        // One byte at a time: what does not decode stands as U+FFFD.
        for (char c : bytes) {
            std::string one;
            codes +=
                Convert(IconvName(codePage), "UTF-32LE", std::string(1, c), &one) && one.size() == 4
                    ? DecodeWhole(std::string(1, c), codePage)[0]
                    : U'\xFFFD';
        }
        return codes;
    }
    for (size_t i = 0; i + 4 <= utf32.size(); i += 4) {
        const unsigned char *b = reinterpret_cast<const unsigned char *>(&utf32[i]);
        codes += static_cast<char32_t>(b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24);
    }
    return codes;
}

bool Known(int codePage)
{
    iconv_t state = iconv_open(IconvName(codePage).c_str(), "UTF-8");
    if (state == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(state);
    return true;
}
#endif

// A single-byte code page decodes byte by byte: one table per code page.
const std::u32string *ByteTable(int codePage)
{
    static std::mutex lock;
    static std::map<int, std::u32string> tables;
    std::lock_guard<std::mutex> hold(lock);
    auto found = tables.find(codePage);
    if (found != tables.end())
        return found->second.empty() ? nullptr : &found->second;
    std::u32string table;
    std::string all;
    for (int c = 0x20; c < 0x80; ++c)
        all += static_cast<char>(c);
    bool single = codePage != 65001 && DecodeWhole(all, codePage).size() == all.size();
    for (int c = 0; c < 256 && single; ++c) {
        std::u32string one = DecodeWhole(std::string(1, static_cast<char>(c)), codePage);
        table += one.size() == 1 ? one[0] : U'\xFFFD';
    }
    // A lead byte of a double-byte code page decodes to nothing on its own.
    if (codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950)
        table.clear();
    tables[codePage] = table;
    return table.empty() ? nullptr : &tables[codePage];
}

} // namespace

bool KnownCodePage(int codePage)
{
    return codePage > 0 && codePage < 65536 && Known(codePage);
}

bool FromUtf8(const std::string &utf8, int codePage, std::string *out, std::string *why)
{
    if (Encode(utf8, codePage, out))
        return true;
    // Named character by character: the first that fails is the one to fix.
    for (size_t at = 0; at < utf8.size();) {
        char32_t code;
        if (!NextUtf8(utf8, &at, &code)) {
            char byte[8];
            snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(utf8[at]));
            *why = std::string("is not UTF-8 (byte ") + byte + "): save it as UTF-8";
            return false;
        }
        std::string one;
        if (!Encode(Utf8Of(code), codePage, &one)) {
            char number[16];
            snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
            *why = "holds \"" + Utf8Of(code) + "\" (" + number + "), which code page " +
                   std::to_string(codePage) + " cannot hold";
            return false;
        }
    }
    *why = "cannot be written in code page " + std::to_string(codePage);
    return false;
}

std::u32string Decode(const std::string &bytes, int codePage)
{
    if (const std::u32string *table = ByteTable(codePage)) {
        std::u32string codes;
        for (unsigned char c : bytes)
            codes += (*table)[c];
        return codes;
    }
    return DecodeWhole(bytes, codePage);
}

std::string ToUtf8(const std::string &bytes, int codePage)
{
    std::string text;
    for (char32_t c : Decode(bytes, codePage))
        AppendUtf8(text, c);
    return text;
}

char32_t Upcase(char32_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 32 : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c == 0xB5)
        return 0x39C;
    if (c == 0x3C2)
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    // Latin Extended-A pairs upper and lower case as even and odd, except
    // between U+0138 and U+0148 and from U+0179 on, where odd is upper.
    if ((c >= 0x100 && c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177))
        return c & ~1u;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : c - 1;
    return c;
}

namespace
{

// `utf8` in `codePage`, each character it cannot hold as '?'.
std::string Lossy(const std::string &utf8, int codePage)
{
    std::string name, why;
    if (FromUtf8(utf8, codePage, &name, &why))
        return name;
    name.clear();
    for (size_t at = 0; at < utf8.size();) {
        char32_t code;
        std::string one;
        if (!NextUtf8(utf8, &at, &code)) {
            ++at;
            name += '?';
        } else {
            name += Encode(Utf8Of(code), codePage, &one) ? one : "?";
        }
    }
    return name;
}

} // namespace

std::string HostNameIn(const std::string &host, int codePage)
{
#ifdef _WIN32
    // The tool's own ANSI names; the same code page needs no conversion.
    if (static_cast<int>(GetACP()) == codePage)
        return host;
    return Lossy(ToUtf8(host, static_cast<int>(GetACP())), codePage);
#else
    return Lossy(host, codePage);
#endif
}

std::string HostNameOf(const std::string &name, int codePage)
{
#ifdef _WIN32
    if (static_cast<int>(GetACP()) == codePage)
        return name;
    return Lossy(ToUtf8(name, codePage), static_cast<int>(GetACP()));
#else
    return ToUtf8(name, codePage);
#endif
}

bool SameName(const std::string &a, const std::string &b, int codePage)
{
    return FoldedName(a, codePage) == FoldedName(b, codePage);
}

std::u32string FoldedName(const std::string &name, int codePage)
{
    std::u32string folded = Decode(name, codePage);
    for (char32_t &c : folded)
        c = Upcase(c);
    return folded;
}

#ifdef _WIN32
std::string HostPath(const std::string &utf8)
{
    return GetACP() == CP_UTF8 ? utf8 : Lossy(utf8, static_cast<int>(GetACP()));
}

std::string Utf8Path(const std::string &host)
{
    return GetACP() == CP_UTF8 ? host : ToUtf8(host, static_cast<int>(GetACP()));
}
#else
// The host's names are UTF-8 already.
std::string HostPath(const std::string &utf8)
{
    return utf8;
}

std::string Utf8Path(const std::string &host)
{
    return host;
}
#endif
