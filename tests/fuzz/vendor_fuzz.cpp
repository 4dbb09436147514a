// What kvlship reads from a vendor's files: any bytes as a module's PE file
// (exports, imports, the hook match) and as an INI file read the platform's
// way; a value read for a buffer never comes back longer than it holds; and
// that INI file judged as the stock module's settings.
// fuzz-sources: tools/kvlship/formats/pe.cpp tools/kvlship/common/profile.cpp
// fuzz-sources: tools/kvlship/common/hostfs.cpp tools/kvlship/common/textout.cpp
// fuzz-sources: tools/kvlship/check/stockcheck.cpp modules/stock/settings.cpp
// fuzz-sources: tools/kvlship/common/codepage.cpp tools/kvlship/common/diagnostics.cpp
#include "check/stockcheck.h"
#include "common/profile.h"
#include "formats/pe.h"

#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    PeModule module;
    ReadPeModule(bytes, &module);
    for (const std::string &name : module.exports) {
        const char *hook;
        HookMatch match = MatchHook(name, &hook);
        if ((match == HookMatch::None) != (hook == nullptr))
            __builtin_trap();
    }

    Profile profile;
    ParseProfile(bytes, &profile);
    size_t whole = 0;
    std::string value = ReadProfileValue(profile, "FILELIST", "cbItem00", 260, &whole);
    if (value.size() > 259 || value.size() > whole)
        __builtin_trap();

    CheckResult result;
    result.destination = StockDestination(profile);
    CheckStockSettings(profile, &result);
    for (const Diagnostic &problem : result.problems.All()) {
        if (problem.place.empty() || problem.text.empty())
            __builtin_trap();
    }
    return 0;
}
