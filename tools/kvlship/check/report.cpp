// Printing the check's report, as text or as JSON.
#include "check/report.h"

#include "common/codepage.h"
#include "common/textout.h"

#include <algorithm>

namespace
{

// The code page of the report being printed, for the converters below,
// which a Diagnostics record is printed through (function pointers, no state).
int g_shownIn = kDefaultCodePage;

std::string AsUtf8(const std::string &ansi)
{
    return ToUtf8(ansi, g_shownIn);
}

std::string Shown(const std::string &ansi)
{
    return Printable(ToUtf8(ansi, g_shownIn));
}

std::string Json(const std::string &ansi)
{
    return JsonString(AsUtf8(ansi));
}

void PrintJson(FILE *out, const CheckResult &result)
{
    fprintf(out,
            "{\"title\": %s, \"destination\": %s, \"destination64\": %s, "
            "\"destinationKnown\": %s, \"files\": [",
            Json(result.title).c_str(), Json(result.destination).c_str(),
            Json(result.destination64).c_str(), result.destinationKnown ? "true" : "false");
    for (size_t i = 0; i < result.files.size(); ++i) {
        const PlannedFile &file = result.files[i];
        fprintf(out,
                "%s{\"key\": %s, \"stored\": %s, \"installed\": %s, \"size\": %lld, "
                "\"compressed\": %s, \"replace\": %s}",
                i ? ", " : "", Json(file.key).c_str(), Json(file.storedName).c_str(),
                Json(file.installed).c_str(), file.size, file.compressed ? "true" : "false",
                file.replace ? "true" : "false");
    }
    fprintf(out, "], \"hooks\": [%s", JsonItems(result.hooks).c_str());
    fprintf(out, "], \"problems\": [");
    const std::vector<Diagnostic> &problems = result.problems.All();
    for (size_t i = 0; i < problems.size(); ++i)
        fprintf(out, "%s%s", i ? ", " : "", DiagnosticJson(problems[i], AsUtf8).c_str());
    fprintf(out, "], \"notes\": [");
    for (size_t i = 0; i < result.notes.size(); ++i)
        fprintf(out, "%s%s", i ? ", " : "", JsonString(AnsiToUtf8(result.notes[i])).c_str());
    fprintf(out, "], \"status\": %d}\n", result.problems.Status());
}

// "TITLE installs into DESTINATION (on 64-bit Windows DESTINATION64):".
void PrintDestination(FILE *out, const CheckResult &result)
{
    std::string title = result.title.empty() ? "The product" : Shown(result.title);
    const char *chosen = result.destinationKnown
                             ? ""
                             : " a folder chosen by the module at run time; the paths below "
                               "stand for it with";
    bool wow64 = !result.destination64.empty();
    fprintf(out, "%s installs into%s %s%s%s%s:\n", title.c_str(), chosen,
            Shown(result.destination).c_str(), wow64 ? " (on 64-bit Windows " : "",
            Shown(result.destination64).c_str(), wow64 ? ")" : "");
}

void PrintFiles(FILE *out, const CheckResult &result)
{
    size_t storedWidth = 0, installedWidth = 0;
    std::vector<std::string> stored, installed;
    for (const PlannedFile &file : result.files) {
        stored.push_back(Shown(file.storedName));
        installed.push_back(Shown(file.installed));
        storedWidth = std::max(storedWidth, stored.back().size());
        installedWidth = std::max(installedWidth, installed.back().size());
    }
    for (size_t i = 0; i < result.files.size(); ++i) {
        const PlannedFile &file = result.files[i];
        fprintf(out, "  %-9s %-*s -> %-*s %10lld  %-10s %s\n", Shown(file.key).c_str(),
                static_cast<int>(storedWidth), stored[i].c_str(), static_cast<int>(installedWidth),
                installed[i].c_str(), file.size, file.compressed ? "compressed" : "plain",
                file.replace ? "replace" : "ask");
    }
}

void PrintText(FILE *out, const CheckResult &result)
{
    PrintDestination(out, result);
    PrintFiles(out, result);
    fprintf(out, "%zu files. Module hooks:", result.files.size());
    for (const std::string &hook : result.hooks)
        fprintf(out, " %s", Shown(hook).c_str());
    fprintf(out, result.hooks.empty() ? " none\n" : "\n");
    for (const Diagnostic &problem : result.problems.All())
        PrintDiagnostic(out, problem, Shown);
    for (const std::string &note : result.notes)
        fprintf(out, "note: %s\n", Shown(note).c_str());
    int status = result.problems.Status();
    fprintf(out, "%s\n",
            status == 0   ? "No problems found."
            : status == 1 ? "Warnings only: setup will run, but look at them."
                          : "Errors: this distribution will not install as meant.");
}

} // namespace

void PrintCheck(const CheckResult &result, bool json, FILE *out)
{
    g_shownIn = result.codePage;
    if (json)
        PrintJson(out, result);
    else
        PrintText(out, result);
}
