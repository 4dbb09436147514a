#include "stored.h"

#include <string.h>

#include "settings.h"
#include "setupdist.h"
#include "setupkit.h"
#include "setupmodule.h"

namespace
{

constexpr int kStoredLineSize = 1024;

// The copy request for one [STORED] item; false when the module skips it.
bool StoredRequest(char *line, CopyRequest *request)
{
    stock::StockStoredItem item;
    if (stock::ParseStoredItem(line, &item) != stock::kStockItemUsable)
        return false;
    *request = CopyRequest{};
    request->overwrite = item.replace;
    return stock::CopyWhole(request->sourceName, sizeof request->sourceName, item.stored) &&
           stock::CopyWhole(request->destName, sizeof request->destName, item.name) &&
           stock::CopyWhole(request->subFolder, sizeof request->subFolder, item.subFolder);
}

// What the file at `path` installs as: an LZ file's expanded size from its
// header (the magic, then the size at byte 10), else its own; 0 when unread.
unsigned long long InstalledBytes(const char *path)
{
    static const unsigned char kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    unsigned char header[14];
    DWORD got = 0;
    LARGE_INTEGER size = {};
    bool read = GetFileSizeEx(file, &size) && ReadFile(file, header, sizeof header, &got, nullptr);
    CloseHandle(file);
    if (!read)
        return 0;
    if (got == sizeof header && memcmp(header, kMagic, sizeof kMagic) == 0)
        return header[10] | header[11] << 8 | header[12] << 16 |
               static_cast<unsigned long long>(header[13]) << 24;
    return static_cast<unsigned long long>(size.QuadPart);
}

// Reads [STORED] item `i` into `request`: 1 usable, 0 not (a line too
// long or not in the item's form), -1 when there is no such item (the
// list ends at the first missing key).
int ReadStoredItem(const char *dataPath, int i, CopyRequest *request)
{
    char key[24];
    wsprintfA(key, SETUP_ITEM_KEY, i);
    char line[kStoredLineSize];
    DWORD length =
        GetPrivateProfileStringA(SETUP_STORED_SECTION, key, "", line, sizeof line, dataPath);
    if (length == 0)
        return -1;
    return length < sizeof line - 1 && StoredRequest(line, request) ? 1 : 0;
}

} // namespace

int CopyRequestSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return 0;
    if (data.nFileSizeHigh || data.nFileSizeLow > 0x7FFFFFFFu)
        return COPY_SIZE_MEASURED;
    return static_cast<int>(data.nFileSizeLow);
}

int AddStoredFiles(HWND mainWindow, const char *dataPath, const char *sourceDir)
{
    if (!dataPath || !dataPath[0])
        return 1;
    for (int i = 0; i < SETUP_MOST_COPY_ENTRIES; ++i) {
        CopyRequest request;
        int read = ReadStoredItem(dataPath, i, &request);
        if (read < 0)
            break;
        if (read == 0) {
            char key[24];
            wsprintfA(key, SETUP_ITEM_KEY, i);
            KitLog(mainWindow, "stored file %s skipped: not \"stored name|installed path|replace\"",
                   key);
            continue;
        }
        char path[MAX_PATH];
        request.size = stock::JoinWhole(path, sizeof path, sourceDir, request.sourceName)
                           ? CopyRequestSize(path)
                           : 0;
        SendMessageA(mainWindow, SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&request));
    }
    return 1;
}

unsigned long long StoredBytes(const char *dataPath, const char *sourceDir)
{
    unsigned long long bytes = 0;
    if (!dataPath || !dataPath[0])
        return 0;
    // As many items as AddStoredFiles reads, so that the count matches the copy.
    for (int i = 0; i < SETUP_MOST_COPY_ENTRIES; ++i) {
        CopyRequest request;
        int read = ReadStoredItem(dataPath, i, &request);
        if (read < 0)
            break;
        char path[MAX_PATH];
        if (read > 0 && stock::JoinWhole(path, sizeof path, sourceDir, request.sourceName))
            bytes += InstalledBytes(path);
    }
    return bytes;
}
