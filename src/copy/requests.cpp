// The records a module passes with SM_ADDCOPYENTRY and SM_ADDADDIN. They are
// read within their fields only: a text that does not end inside its field
// refuses the whole record, and nothing past the field is ever read.
#include "copy/copylist.h"

#include "setupmodule.h"
#include "util/text.h"

namespace
{

template <size_t N> bool Terminated(const char (&field)[N])
{
    return BoundedLength(field, N) >= 0;
}

} // namespace

int AddCopyRequest(const CopyRequest *request)
{
    // The texts are checked before anything else of the record is touched,
    // so a record cut short behind an unterminated name is never read further.
    if (!request || !Terminated(request->sourceName) || !Terminated(request->destName) ||
        !Terminated(request->subFolder))
        return -1;
    return AddCopyEntry(request->sourceName, request->destName, request->subFolder,
                        request->toWindowsFolder, request->spareFlag1, request->overwrite,
                        request->spareFlag2, request->size, request->absolutePaths);
}

int AddAddIn(const AddInRequest *request)
{
    if (!request || !Terminated(request->description) || !Terminated(request->fileName) ||
        !Terminated(request->parameters))
        return -1;
    return AddAddInEntry(request->description, request->fileName, request->parameters);
}
