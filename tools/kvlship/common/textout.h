// Text as kvlship hands it out: reports are UTF-8, the engine's files are
// in the Windows ANSI code page (1252).
#pragma once

#include <string>
#include <vector>

// Appends the UTF-8 form of the character `code`.
void AppendUtf8(std::string &text, unsigned code);

// The character that a byte of code page 1252 stands for.
unsigned AnsiCode(unsigned char c);

// `ansi` (code page 1252) as UTF-8.
std::string AnsiToUtf8(const std::string &ansi);

// `text` with its ASCII letters in lower case.
std::string Lowered(std::string text);

// A JSON string of UTF-8 `text`: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string &text);

// The items of a JSON array of UTF-8 `texts`, each a JSON string, with
// ", " between them and no brackets.
std::string JsonItems(const std::vector<std::string> &texts);

// True when `text` holds a control character (below 32, or 127).
bool HasControl(const std::string &text);

// UTF-8 `text` as a terminal may show it: control characters (C1 ones too)
// and bytes that are not UTF-8 written as \xNN, so that a name cannot move
// the cursor, clear the screen or rewrite what was printed.
std::string Printable(const std::string &text);
