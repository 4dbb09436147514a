// What kvlship finds wrong, in one form for every verb: a severity, the
// place at fault (a data-file key, a file name, MANIFEST:LINE, a folder, a
// step of a trial) and what is wrong. A verb adds them to one sink; the text
// report prints each as "error: PLACE TEXT" and --json writes the same records.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

enum class Severity { Warning, Error };

struct Diagnostic {
    Severity severity;
    std::string place; // cbItemNN, a file name, MANIFEST:LINE, or the part concerned
    std::string text;
};

// How a report shows a text taken from the distribution (its code page,
// control characters escaped); nullptr: as it is.
using ShownText = std::string (*)(const std::string &);

// Where a verb's problems go, in the order found. With an echo each one is
// also printed there as it is added, for a verb that tells as it goes.
class Diagnostics
{
  public:
    explicit Diagnostics(FILE *echo = nullptr, ShownText shown = nullptr);

    void Add(Severity severity, const std::string &place, const std::string &text);
    void Error(const std::string &place, const std::string &text);
    void Warning(const std::string &place, const std::string &text);
    // Every record of `other`, after these (not echoed again).
    void Take(const Diagnostics &other);

    const std::vector<Diagnostic> &All() const { return records_; }
    bool Empty() const { return records_.empty(); }
    int ErrorCount() const;
    // 0 without problems, 1 with warnings only, 2 with an error.
    int Status() const;

  private:
    FILE *echo_;
    ShownText shown_;
    std::vector<Diagnostic> records_;
};

// "error: PLACE TEXT" on a line of its own.
void PrintDiagnostic(FILE *out, const Diagnostic &diagnostic, ShownText shown);

// {"severity": "error", "key": PLACE, "text": TEXT}, each text through
// `utf8` (which turns it into UTF-8) and JSON-quoted.
std::string DiagnosticJson(const Diagnostic &diagnostic, ShownText utf8);
