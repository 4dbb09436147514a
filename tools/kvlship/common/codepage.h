// The vendor writes UTF-8; setup.exe reads and names files in the ANSI code
// page of the machine it runs on. The distribution is laid out for one such
// code page (the manifest's [package] codepage, 1252 unless it says), and
// check reads it as setup under that code page would.
#pragma once

#include <string>

constexpr int kDefaultCodePage = 1252;

// True when this host can convert to and from `codePage`.
bool KnownCodePage(int codePage);

// `utf8` in `codePage`. False, with `*why` saying what (the character and
// its number), when `utf8` is no UTF-8 or holds a character the code page
// cannot hold; nothing is ever replaced by a look-alike.
bool FromUtf8(const std::string &utf8, int codePage, std::string *out, std::string *why);

// `bytes` of `codePage` as UTF-8; a byte the code page leaves undefined
// becomes U+FFFD.
std::string ToUtf8(const std::string &bytes, int codePage);

// The characters of `bytes` in `codePage` (U+FFFD for what does not decode).
std::u32string Decode(const std::string &bytes, int codePage);

// The upper-case form of a character as the file system compares names:
// ASCII, Latin-1 and Latin Extended-A, Greek and Cyrillic letters.
char32_t Upcase(char32_t c);

// A host's name (UTF-8 on Linux, the tool's own ANSI code page on Windows)
// as setup.exe under `codePage` sees it: a character the code page cannot
// hold reads as '?', as the platform's ANSI directory search returns it.
std::string HostNameIn(const std::string &host, int codePage);

// A name of `codePage` as the host names the file that carries it (UTF-8 on
// Linux, the tool's own ANSI code page on Windows).
std::string HostNameOf(const std::string &name, int codePage);

// True when setup under `codePage` takes `a` and `b` for the same name (or
// path): character by character, case ignored as Upcase does. The one rule
// for "do two lines install one file", in build and in check alike.
bool SameName(const std::string &a, const std::string &b, int codePage);

// `name` as SameName compares it: same names, same folded names. A key for
// finding a name among many.
std::u32string FoldedName(const std::string &name, int codePage);

// A UTF-8 path from the manifest as the host opens it, and a host path as
// the manifest writes it: the same text on Linux; on Windows, converted from
// and to the tool's own ANSI code page.
std::string HostPath(const std::string &utf8);
std::string Utf8Path(const std::string &host);
