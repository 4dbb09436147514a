// Reading a distribution folder as setup.exe will: the plan of what lands
// where, and every mistake that would make the installation differ from
// what its author meant.
#pragma once

#include <string>
#include <vector>

enum class Severity { Warning, Error };

struct Problem {
    Severity severity;
    std::string key; // cbItemNN, a file name, or the part of the distribution
    std::string text;
};

struct PlannedFile {
    std::string key;        // the line that listed it
    std::string storedName; // name in the distribution folder
    std::string installed;  // Windows path it gets
    long long size;         // installed size in bytes
    bool compressed;
    bool replace; // replaces an existing file without asking
};

struct CheckOptions {
    std::string distribution;
    std::string destination;         // empty: the default setup.exe would offer
    std::string module = "defsetup"; // setup.exe's command line
};

struct CheckResult {
    std::string title;       // [GENERAL] cbTitle
    std::string destination; // the destination the plan is made for
    std::vector<PlannedFile> files;
    std::vector<std::string> hooks; // hooks the module exports
    std::vector<Problem> problems;
};

void CheckDistribution(const CheckOptions &options, CheckResult *result);

// 0 without problems, 1 with warnings only, 2 with an error.
int CheckStatus(const CheckResult &result);

void PrintCheck(const CheckResult &result, bool json);

// The default destination when the data file's stock settings name no folder.
constexpr char kDefaultDestination[] = "C:\\Program Files\\KarveloEngine";
constexpr char kWindowsFolder[] = "C:\\windows";
constexpr char kDataFileName[] = "kvlsetup.dat";
constexpr char kLicenceName[] = "modlic.tx_";
// The uninstaller a module copies into the product's folder, from setup's.
constexpr char kUninstallerName[] = "uninst.exe";
// The single-file package's stub, which kvlship takes from the engine's folder.
constexpr char kPackageStubName[] = "kvlpack.exe";
// What the last build wrote into the folder, so that the next one replaces
// that and nothing else.
constexpr char kBuildRecordName[] = "kvlbuild.lst";
constexpr size_t kLicenceLimit = 15999; // the agreement box shows no more
