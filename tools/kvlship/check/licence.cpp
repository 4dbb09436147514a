// The licence agreement's checks.
#include "check/licence.h"

#include "check/shipped.h"
#include "common/hostfs.h"

bool LooksWritten(const std::string &bytes)
{
    // Stored complemented, ordinary text has its bytes above 0x80; text as
    // written has them below.
    size_t printable = 0;
    for (unsigned char c : bytes)
        printable += (c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n' || c == '\t';
    return !bytes.empty() && printable * 10 >= bytes.size() * 9;
}

void CheckLicence(const CheckOptions &options, CheckResult *result)
{
    std::string bytes;
    std::string why = ReadShipped(options, kLicenceName, kLicenceReadLimit, &bytes);
    long long size = FileSize(JoinHost(options.distribution, kLicenceName));
    if (size > static_cast<long long>(kLicenceLimit))
        result->problems.Error(kLicenceName, "holds " + std::to_string(size) +
                                                 " bytes; the agreement box shows only the first " +
                                                 std::to_string(kLicenceLimit));
    if (!why.empty()) {
        if (size <= static_cast<long long>(kLicenceLimit))
            result->problems.Error(kLicenceName, why + ": the agreement box will be empty");
        return;
    }
    if (LooksWritten(bytes))
        result->problems.Error(
            kLicenceName,
            "is plain text, not stored complemented: the agreement box will show garbage");
    else if (bytes.empty())
        result->problems.Warning(kLicenceName, "is empty: the agreement box will be empty");
}
