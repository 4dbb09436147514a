// Lines of text as the build reads them: the manifest, its own record and
// the sections it passes on.
#pragma once

#include <string>
#include <vector>

// `text` without the blanks, tabs and carriage returns around it.
std::string Trim(const std::string &text);

// The lines of `text`, each without its '\n' (a '\r' before it stays); no
// line after a last '\n'.
std::vector<std::string> SplitLines(const std::string &text);
