#include "problems.h"

#include "check.h"

void PrintProblem(FILE *out, const Problem &problem, std::string (*shown)(const std::string &))
{
    fprintf(out, "%s: %s %s\n", problem.severity == Severity::Error ? "error" : "warning",
            shown(problem.key).c_str(), shown(problem.text).c_str());
}

std::string WhyPathTooLong(const std::string &path)
{
    size_t slash = path.rfind('\\');
    size_t folder = slash == std::string::npos ? 0 : slash;
    if (path.size() > SETUP_PATH_LIMIT)
        return "is " + std::to_string(path.size()) + " characters long; setup writes paths of " +
               std::to_string(SETUP_PATH_LIMIT) + " characters at most";
    if (folder > SETUP_FOLDER_LIMIT)
        return "goes into a folder of " + std::to_string(folder) +
               " characters; the platform makes folders of " + std::to_string(SETUP_FOLDER_LIMIT) +
               " characters at most";
    return "";
}

std::string DefaultDestinationX86(const std::string &folder)
{
    return std::string(kProgramFilesX86) + "\\" + (folder.empty() ? SETUP_PRODUCT_FOLDER : folder);
}

std::string DefaultDestination(const std::string &folder)
{
    return std::string(kProgramFiles) + "\\" + (folder.empty() ? SETUP_PRODUCT_FOLDER : folder);
}
