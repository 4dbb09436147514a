// The check verb's driver: the distribution read part by part, in the order
// setup.exe meets it, into one result.
#include "check/check.h"

#include "check/filelist.h"
#include "check/licence.h"
#include "check/module.h"
#include "check/shipped.h"
#include "check/stockcheck.h"
#include "common/codepage.h"
#include "common/hostfs.h"
#include "common/profile.h"
#include "common/winpath.h"
#include "formats/signing.h"

#include <stdlib.h>

namespace
{

// The code page the build laid the distribution out for ([GENERAL] cbCodePage).
int DataFileCodePage(const Profile &data)
{
    int codePage = atoi(ReadProfileValue(data, "GENERAL", "cbCodePage", 16).c_str());
    return KnownCodePage(codePage) ? codePage : kDefaultCodePage;
}

// setup.exe and the data file it reads; `data` empty when it cannot be read.
void ReadDataFile(const CheckOptions &options, Profile *data, std::string *text,
                  CheckResult *result)
{
    PathKind setup = KindOf(JoinHost(options.distribution, "setup.exe"));
    if (setup != PathKind::File)
        result->problems.Error("setup.exe",
                               setup == PathKind::Missing ? "is missing" : "is not a plain file");
    std::string why = ReadShipped(options, kDataFileName, kDataFileReadLimit, text);
    if (!why.empty())
        result->problems.Error(kDataFileName, why + ": setup will install nothing");
    ParseProfile(*text, data);
}

} // namespace

void CheckDistribution(const CheckOptions &options, CheckResult *result)
{
    *result = CheckResult();
    if (!IsFolder(options.distribution)) {
        result->problems.Error(options.distribution, "is not a folder");
        return;
    }
    std::string text;
    Profile data;
    ReadDataFile(options, &data, &text, result);
    result->title = ReadProfileValue(data, "GENERAL", "cbTitle", 260);
    result->codePage = options.codePage > 0 ? options.codePage : DataFileCodePage(data);
    result->destination =
        !options.destination.empty() ? options.destination : StockDestination(data);
    result->destination64 = Wow64Destination(result->destination);
    std::string moduleFile =
        (options.module.empty() ? SETUP_DEFAULT_MODULE : options.module) + ".dll";
    ReadFileList(options, data, moduleFile, result);
    if (!FindSection(data, "FILELIST") && !text.empty())
        result->problems.Error(kDataFileName,
                               "has no [FILELIST] section: setup will install nothing");
    CheckStockSettings(data, result);
    CheckRemoval(options, data, moduleFile, result);
    CheckLicence(options, result);
    CheckModule(options, moduleFile, result);
    CheckSignatures(options.distribution, options.caFile, &result->problems, &result->notes);
    result->destinationKnown = DestinationKnown(options, moduleFile, *result);
    if (FindSection(data, SETUP_STORED_SECTION) && !ExportsHook(*result, "AddFiles"))
        result->problems.Error(SETUP_STORED_SECTION,
                               "lists files, but " + moduleFile +
                                   " has no AddFiles hook to install them (the stock module has)");
}

int CheckStatus(const CheckResult &result)
{
    return result.problems.Status();
}
