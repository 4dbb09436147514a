// What kvlship finds wrong, in one form for build and check: a severity, the
// key at fault (a data-file key, a file name, MANIFEST:LINE, a folder) and
// what is wrong, printed as one line "error: KEY TEXT".
#pragma once

#include <stdio.h>

#include <string>

enum class Severity { Warning, Error };

struct Problem {
    Severity severity;
    std::string key; // cbItemNN, a file name, MANIFEST:LINE, or the part of the distribution
    std::string text;
};

// One line for `problem`; `shown` turns its texts into what a terminal may
// show (control characters escaped).
void PrintProblem(FILE *out, const Problem &problem, std::string (*shown)(const std::string &));

// Why the copy cannot write a file at the full path `path`, or "" when it
// can: the path or its folder is longer than the platform allows.
std::string WhyPathTooLong(const std::string &path);

// The default destinations of a product whose folder below Program Files is
// `folder` (empty: the engine's own), the longer (64-bit Windows) first.
std::string DefaultDestinationX86(const std::string &folder);
std::string DefaultDestination(const std::string &folder);
