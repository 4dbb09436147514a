// Lines of text as kvlship reads them: the manifest, the build record,
// the sections passed on, and the listings of the programs a trial runs.
#pragma once

#include <string>
#include <vector>

// `text` without the blanks, tabs and carriage returns around it.
std::string Trim(const std::string &text);

// The lines of `text`, each without its '\n' (a '\r' before it stays); no
// line after a last '\n'.
std::vector<std::string> SplitLines(const std::string &text);

// The pieces of `text` between any of the characters of `separators`, empty
// ones too: "a//b" at "/" gives "a", "", "b"; "" gives one empty piece.
std::vector<std::string> SplitAt(const std::string &text, const char *separators);
