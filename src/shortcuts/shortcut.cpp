#include "shortcuts/shortcut.h"

#include "core/log.h"
#include "record/aside.h"
#include "util/paths.h"
#include "util/text.h"

namespace
{

// The class and the two interfaces of the shell link object, defined here:
// taken from the platform's uuid library they would bring some 35 KB of
// identifiers that nothing uses into the program.
const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; // IShellLinkA
const IID kPersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

template <size_t N> bool Terminated(const char (&field)[N])
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
    if (!request || !FieldsTerminated(request)) {
        LogLine("shortcut: refused, a text does not end within its field");
        return 1;
    }
    char linkPath[kPathSize];
    if (!JoinPath(linkPath, request->linkFolder, request->linkName) ||
        AppendText(linkPath, ".lnk") < 0) {
        LogLine("shortcut %.259s: refused, its path is too long", request->linkName);
        return 1;
    }

    // A shortcut written over another keeps the old one aside, as a file does.
    if (!PrepareToWrite(linkPath)) {
        LogLine("shortcut %.259s: refused, it cannot be journaled", linkPath);
        return 1;
    }
    HRESULT result = E_INVALIDARG;
    if (request->useItemIdList) {
        result = CreateShortcutFile(request->itemIdList, TargetMode::ItemIdList, request->arguments,
                                    linkPath, request->description);
    } else {
        char targetPath[kPathSize];
        bool fits = request->targetFile[0] ? JoinPath(targetPath, request->targetFolder,
                                                      request->targetFile) != nullptr
                                           : CopyText(targetPath, request->targetFolder) >= 0;
        if (fits)
            result = CreateShortcutFile(targetPath, TargetMode::Path, request->arguments, linkPath,
                                        request->description);
    }
    LogLine("shortcut %.259s: %s", linkPath, SUCCEEDED(result) ? "written" : "failed");
    return 1;
}

HRESULT CreateShortcutFile(const void *target, TargetMode mode, const char *arguments,
                           const char *linkPath, const char *description)
{
    CoInitialize(nullptr);
    IShellLinkA *link = nullptr;
    HRESULT result =
        CoCreateInstance(kShellLinkClass, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         kShellLinkInterface, reinterpret_cast<void **>(&link));
    if (result == S_OK) {
        if (mode == TargetMode::ItemIdList)
            link->SetIDList(static_cast<LPCITEMIDLIST>(target));
        else
            link->SetPath(static_cast<const char *>(target));
        link->SetDescription(description);
        if (arguments)
            link->SetArguments(arguments);

        IPersistFile *file = nullptr;
        result = link->QueryInterface(kPersistFileInterface, reinterpret_cast<void **>(&file));
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
