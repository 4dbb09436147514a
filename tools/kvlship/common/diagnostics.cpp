// The one sink of kvlship's problems and their two printed forms.
#include "common/diagnostics.h"

#include "common/textout.h"

namespace
{

std::string AsIs(const std::string &text)
{
    return text;
}

} // namespace

Diagnostics::Diagnostics(FILE *echo, ShownText shown) : echo_(echo), shown_(shown ? shown : AsIs) {}

void Diagnostics::Add(Severity severity, const std::string &place, const std::string &text)
{
    records_.push_back({severity, place, text});
    if (echo_)
        PrintDiagnostic(echo_, records_.back(), shown_);
}

void Diagnostics::Error(const std::string &place, const std::string &text)
{
    Add(Severity::Error, place, text);
}

void Diagnostics::Warning(const std::string &place, const std::string &text)
{
    Add(Severity::Warning, place, text);
}

void Diagnostics::Take(const Diagnostics &other)
{
    records_.insert(records_.end(), other.records_.begin(), other.records_.end());
}

int Diagnostics::ErrorCount() const
{
    int count = 0;
    for (const Diagnostic &record : records_)
        count += record.severity == Severity::Error;
    return count;
}

int Diagnostics::Status() const
{
    if (ErrorCount())
        return 2;
    return records_.empty() ? 0 : 1;
}

void PrintDiagnostic(FILE *out, const Diagnostic &diagnostic, ShownText shown)
{
    if (!shown)
        shown = AsIs;
    fprintf(out, "%s: %s %s\n", diagnostic.severity == Severity::Error ? "error" : "warning",
            shown(diagnostic.place).c_str(), shown(diagnostic.text).c_str());
}

std::string DiagnosticJson(const Diagnostic &diagnostic, ShownText utf8)
{
    if (!utf8)
        utf8 = AsIs;
    return std::string("{\"severity\": \"") +
           (diagnostic.severity == Severity::Error ? "error" : "warning") +
           "\", \"key\": " + JsonString(utf8(diagnostic.place)) +
           ", \"text\": " + JsonString(utf8(diagnostic.text)) + "}";
}
