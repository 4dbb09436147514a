#include "stored.h"

#include <string.h>

#include "settings.h"
#include "setupdist.h"
#include "setupkit.h"
#include "setupmodule.h"

namespace
{

constexpr int kStoredLineSize = 1024;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// `text` without the blanks around it, in place.
char *Trimmed(char *text)
{
    while (IsBlank(*text))
        ++text;
    size_t length = strlen(text);
    while (length > 0 && IsBlank(text[length - 1]))
        text[--length] = 0;
    return text;
}

bool CopyField(char *dest, size_t size, const char *text)
{
    size_t length = strlen(text);
    if (length >= size)
        return false;
    memcpy(dest, text, length + 1);
    return true;
}

// The request for "stored|installed path|replace"; false when it is unusable.
bool StoredRequest(char *line, CopyRequest *request)
{
    char *second = strchr(line, '|');
    if (!second)
        return false;
    *second++ = 0;
    char *third = strchr(second, '|');
    if (third)
        *third++ = 0;
    const char *stored = Trimmed(line);
    char *installed = Trimmed(second);
    const char *replace = third ? Trimmed(third) : "";
    // Backslashes only: the installed path is split at the last one.
    if (!stock::IsSafeName(stored, strlen(stored)) || strchr(installed, '/') ||
        !stock::StaysBelow(installed))
        return false;
    char *slash = strrchr(installed, '\\');
    const char *name = installed;
    if (slash) {
        *slash = 0;
        name = slash + 1;
    }
    *request = CopyRequest{};
    request->overwrite = strcmp(replace, "1") == 0;
    return CopyField(request->sourceName, sizeof request->sourceName, stored) &&
           CopyField(request->destName, sizeof request->destName, name) &&
           CopyField(request->subFolder, sizeof request->subFolder, slash ? installed : "");
}

int SourceSize(const char *sourceDir, const char *name)
{
    char path[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    size_t folder = strlen(sourceDir);
    bool slash = folder > 0 && sourceDir[folder - 1] != '\\';
    size_t length = strlen(name);
    if (folder + (slash ? 1 : 0) + length + 1 > sizeof path)
        return 0;
    memcpy(path, sourceDir, folder);
    if (slash)
        path[folder++] = '\\';
    memcpy(path + folder, name, length + 1);
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) || data.nFileSizeHigh)
        return 0;
    return static_cast<int>(data.nFileSizeLow);
}

} // namespace

int AddStoredFiles(HWND mainWindow, const char *dataPath, const char *sourceDir)
{
    if (!dataPath || !dataPath[0])
        return 1;
    for (int i = 0; i < SETUP_COPY_SLOTS; ++i) {
        char key[24];
        wsprintfA(key, SETUP_ITEM_KEY, i);
        char line[kStoredLineSize];
        DWORD length =
            GetPrivateProfileStringA(SETUP_STORED_SECTION, key, "", line, sizeof line, dataPath);
        if (length == 0)
            break;
        CopyRequest request;
        if (length >= sizeof line - 1 || !StoredRequest(line, &request)) {
            KitLog(mainWindow, "stored file %s skipped: not \"stored name|installed path|replace\"",
                   key);
            continue;
        }
        request.size = SourceSize(sourceDir, request.sourceName);
        SendMessageA(mainWindow, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&request));
    }
    return 1;
}
