#include "shortcuts/shortcut.h"

#include "util/paths.h"
#include "util/text.h"

namespace {

template <size_t N>
bool Terminated(const char (&field)[N])
{
    return BoundedLength(field, N) >= 0;
}

// The texts the request's mode reads end within their fields. An item id
// list request never reads the target's path fields, so whatever they hold
// does not matter.
bool FieldsTerminated(const ShortcutRequest *request)
{
    bool common = Terminated(request->description) && Terminated(request->linkName) &&
                  Terminated(request->linkFolder) && Terminated(request->arguments);
    if (!common || request->useItemIdList)
        return common;
    return Terminated(request->targetFile) && Terminated(request->targetFolder);
}

} // namespace

int HandleShortcutRequest(const ShortcutRequest *request)
{
    if (!request || !FieldsTerminated(request))
        return 1;
    char linkPath[kPathSize];
    if (!JoinPath(linkPath, request->linkFolder, request->linkName) ||
        AppendText(linkPath, ".lnk") < 0)
        return 1;

    if (request->useItemIdList) {
        CreateShortcutFile(request->itemIdList, TargetMode::ItemIdList, request->arguments,
                           linkPath, request->description);
        return 1;
    }
    char targetPath[kPathSize];
    bool fits = request->targetFile[0]
                    ? JoinPath(targetPath, request->targetFolder, request->targetFile) != nullptr
                    : CopyText(targetPath, request->targetFolder) >= 0;
    if (fits)
        CreateShortcutFile(targetPath, TargetMode::Path, request->arguments, linkPath,
                           request->description);
    return 1;
}

HRESULT CreateShortcutFile(const void *target, TargetMode mode, const char *arguments,
                           const char *linkPath, const char *description)
{
    CoInitialize(nullptr);
    IShellLinkA *link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                          CLSCTX_LOCAL_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void **>(&link));
    if (result == S_OK) {
        if (mode == TargetMode::ItemIdList)
            link->SetIDList(static_cast<LPCITEMIDLIST>(target));
        else
            link->SetPath(static_cast<const char *>(target));
        link->SetDescription(description);
        if (arguments)
            link->SetArguments(arguments);

        IPersistFile *file = nullptr;
        result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file));
        if (SUCCEEDED(result)) {
            WCHAR widePath[kPathSize];
            if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathSize))
                result = file->Save(widePath, TRUE);
            else
                result = HRESULT_FROM_WIN32(GetLastError());
            file->Release();
        }
        link->Release();
    } else if (link) {
        link->Release();
    }
    CoUninitialize();
    return result;
}
