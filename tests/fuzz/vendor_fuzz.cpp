// What kvlship reads from a vendor's files: any bytes as a module's PE file
// (exports, imports, the hook match) and as an INI file read the platform's
// way; a value read for a buffer never comes back longer than it holds; and
// that INI file judged as the stock module's settings.
// fuzz-sources: tools/kvlship/peinfo.cpp tools/kvlship/profile.cpp tools/kvlship/hostfs.cpp
// fuzz-sources: tools/kvlship/textout.cpp tools/kvlship/stockcheck.cpp modules/stock/settings.cpp
// fuzz-sources: tools/kvlship/codepage.cpp
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
    for (const Problem &problem : result.problems) {
        if (problem.key.empty() || problem.text.empty())
            __builtin_trap();
    }
    return 0;
}
