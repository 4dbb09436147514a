// The module's checks: its file, its hooks, its imports, its registration.
#include "check/module.h"

#include "check/shipped.h"
#include "check/wording.h"
#include "common/hostfs.h"
#include "formats/pe.h"
#include "stock/settings.h"

#include <algorithm>

namespace
{

const char kMissingModule[] = "setup will stop with \"Error: Missing module. Setup must exit.\"";

void ReportExports(const PeModule &module, const std::string &moduleFile, CheckResult *result)
{
    for (const std::string &name : module.exports) {
        const char *hook;
        switch (MatchHook(name, &hook)) {
        case HookMatch::Exact:
            result->hooks.push_back(name);
            break;
        case HookMatch::Decorated:
            result->problems.Error(
                moduleFile, "exports " + Quoted(name) + ", but setup looks up " + Quoted(hook) +
                                ": export it undecorated (-Wl,--kill-at or a .def file)");
            break;
        case HookMatch::Misspelled:
            result->problems.Error(moduleFile, "exports " + Quoted(name) +
                                                   ", which setup never calls: did you mean " +
                                                   Quoted(hook) + "?");
            break;
        case HookMatch::None:
            break;
        }
    }
}

void ReportImports(const CheckOptions &options, const PeModule &module,
                   const std::string &moduleFile, CheckResult *result)
{
    for (const std::string &dll : module.imports) {
        if (IsSystemDll(dll))
            continue;
        bool shipped = IsFile(JoinHost(options.distribution, dll));
        result->problems.Error(
            moduleFile,
            "needs " + dll + ", which is not a system DLL" +
                (shipped ? " (shipping it beside does not help: setup" : "; setup") +
                " loads libraries from the system folder only, so the module will not load: link "
                "it with -static");
    }
}

// The stock module's settings that registration reads: [PRODUCT] cbId and
// the two Add/Remove Programs shows beside it.
void ReportStockRegistration(const CheckOptions &options, const Profile &data,
                             const std::string &moduleFile, CheckResult *result)
{
    if (!FindSection(data, "PRODUCT"))
        return;
    if (ReadProfileValue(data, "PRODUCT", "cbId", 260).empty()) {
        result->problems.Warning(
            "PRODUCT cbId",
            "is missing: " + moduleFile +
                " registers no removal without it, so the product cannot be uninstalled (give "
                "the manifest's [package] an id, a version and a publisher)");
        return;
    }
    for (const char *key : {"cbVersion", "cbPublisher"}) {
        if (ReadProfileValue(data, "PRODUCT", key, 260).empty())
            result->problems.Warning(
                std::string("PRODUCT ") + key,
                "is missing: Add/Remove Programs shows the product without it");
    }
    if (!IsFile(JoinHost(options.distribution, kUninstallerName)))
        result->problems.Error(kUninstallerName, "is missing: " + moduleFile +
                                                     " cannot register the product for removal "
                                                     "and says so");
}

} // namespace

void CheckModule(const CheckOptions &options, const std::string &moduleFile, CheckResult *result)
{
    std::string bytes;
    std::string why = ReadShipped(options, moduleFile.c_str(), kModuleReadLimit, &bytes);
    if (!why.empty()) {
        result->problems.Error(moduleFile, why + ": " + kMissingModule);
        return;
    }
    PeModule module;
    ReadPeModule(bytes, &module);
    if (!module.problem.empty()) {
        result->problems.Error(moduleFile, "is " + module.problem + "; " + kMissingModule);
        return;
    }
    ReportExports(module, moduleFile, result);
    ReportImports(options, module, moduleFile, result);
}

// Registration is the module's: the stock module, or one over the stock kit,
// registers the product under [PRODUCT] cbId; a module of its own through the
// registration kit, or not at all. Its file tells which (the setting's key,
// the Add/Remove Programs key), and the finding names that module.
void CheckRemoval(const CheckOptions &options, const Profile &data, const std::string &moduleFile,
                  CheckResult *result)
{
    std::string bytes;
    if (!ReadShipped(options, moduleFile.c_str(), kModuleReadLimit, &bytes).empty())
        return; // told by CheckModule
    bool readsId = bytes.find("cbId") != std::string::npos;
    bool registers = readsId || bytes.find("CurrentVersion\\Uninstall") != std::string::npos;
    if (!registers) {
        result->problems.Warning(
            moduleFile,
            "registers no removal: the product cannot be uninstalled. To make it removable, call "
            "the registration kit's RegisterProduct (setupkit.h) from EndSetup and ship " +
                std::string(kUninstallerName) + ", or install with the stock module");
        return;
    }
    if (readsId) {
        ReportStockRegistration(options, data, moduleFile, result);
        return;
    }
    if (!IsFile(JoinHost(options.distribution, kUninstallerName)))
        result->problems.Error(kUninstallerName, "is missing: " + moduleFile +
                                                     " cannot register the product for removal");
}

bool ExportsHook(const CheckResult &result, const char *hook)
{
    return std::find(result.hooks.begin(), result.hooks.end(), hook) != result.hooks.end();
}

// Given (--dest), left to setup (no SetDestDir), or the stock module's
// cbFolder. A module of its own that exports SetDestDir chooses it while
// setup runs.
bool DestinationKnown(const CheckOptions &options, const std::string &moduleFile,
                      const CheckResult &result)
{
    if (!options.destination.empty() || !ExportsHook(result, "SetDestDir"))
        return true;
    std::string bytes;
    return ReadShipped(options, moduleFile.c_str(), kModuleReadLimit, &bytes).empty() &&
           bytes.find(STOCK_MODULE_MARK) != std::string::npos;
}
