#include "copy/space.h"

#include <windows.h>

#include <string.h>

#include "codec/szdd.h"
#include "copy/conflicts.h"
#include "copy/copylist.h"
#include "copy/filelist.h"
#include "core/context.h"
#include "core/log.h"
#include "setupdist.h"
#include "setupmodule.h"
#include "util/files.h"
#include "util/text.h"

namespace
{

constexpr uint64_t kLargest = ~static_cast<uint64_t>(0);

// The data file's files are in the copy list for SM_GETSPACE's count.
bool g_preListed;

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool SameRoot(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        if (Upper(*a) != Upper(*b))
            return false;
    }
    return *a == *b;
}

// Digits of `value` into `text` from its end; returns where they start.
char *Digits(char *end, uint64_t value, bool commas)
{
    char *p = end;
    *p = 0;
    int put = 0;
    do {
        if (commas && put && put % 3 == 0)
            *--p = ',';
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
        ++put;
    } while (value);
    return p;
}

// The allocation unit and the free space of the volume at `root`.
void ReadVolume(VolumeSpace *volume)
{
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (GetDiskFreeSpaceA(volume->root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                          &clusters))
        volume->cluster = sectorsPerCluster * bytesPerSector;
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExA(volume->root, &available, nullptr, nullptr)) {
        volume->free = available.QuadPart;
        volume->freeKnown = 1;
    }
}

// The volume of `path` in the table, read from the system when it is new.
VolumeSpace *KnownVolumeOf(SpaceTable *table, const char *path)
{
    int before = table->count;
    VolumeSpace *volume = VolumeOf(table, path);
    if (volume && table->count > before)
        ReadVolume(volume);
    return volume;
}

// Counts one entry's file on its volume, when the copy will write it.
void CountEntry(SpaceTable *table, const CopyEntry *entry)
{
    CopyPaths paths;
    if (!BuildCopyPaths(entry, &paths))
        return;
    // An existing file the entry does not replace stays as it is.
    if (!entry->overwrite && FileExists(paths.dest))
        return;
    uint64_t size = 0;
    // A source that cannot be read fails its copy, before anything is written.
    if (!InstalledSize(paths.source, &size))
        return;
    VolumeSpace *volume = KnownVolumeOf(table, paths.dest);
    if (!volume) {
        ++table->unplaced;
        return;
    }
    volume->needed = AddSaturating(volume->needed, RoundToCluster(size, volume->cluster));
}

HANDLE OpenToRead(const char *path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

} // namespace

bool VolumeRoot(char *root, size_t size, const char *path)
{
    char found[kPathSize] = {};
    if (size)
        root[0] = 0;
    if (path[0] && path[1] == ':' && IsSeparator(path[2])) {
        const char drive[4] = {Upper(path[0]), ':', '\\', 0};
        return CopyText(root, size, drive) >= 0;
    }
    if (!IsSeparator(path[0]) || !IsSeparator(path[1]))
        return false;
    // \\server\share\: both names, neither empty.
    size_t length = 2;
    found[0] = found[1] = '\\';
    const char *p = path + 2;
    for (int part = 0; part < 2; ++part) {
        const char *name = p;
        while (*p && !IsSeparator(*p)) {
            if (length >= sizeof found - 2)
                return false;
            found[length++] = *p++;
        }
        if (p == name)
            return false;
        found[length++] = '\\';
        if (*p)
            ++p;
    }
    return CopyText(root, size, found) >= 0;
}

uint64_t AddSaturating(uint64_t a, uint64_t b)
{
    return a > kLargest - b ? kLargest : a + b;
}

uint64_t RoundToCluster(uint64_t bytes, uint32_t cluster)
{
    if (cluster == 0 || cluster > kLargestCluster || bytes % cluster == 0)
        return bytes;
    return AddSaturating(bytes - bytes % cluster, cluster);
}

VolumeSpace *VolumeOf(SpaceTable *table, const char *path)
{
    char root[kPathSize];
    if (!VolumeRoot(root, sizeof root, path))
        return nullptr;
    for (int i = 0; i < table->count; ++i) {
        if (SameRoot(table->volumes[i].root, root))
            return &table->volumes[i];
    }
    if (table->count >= kSpaceVolumes)
        return nullptr;
    VolumeSpace *volume = &table->volumes[table->count++];
    memset(volume, 0, sizeof *volume);
    CopyText(volume->root, root);
    return volume;
}

const VolumeSpace *FirstShortVolume(const SpaceTable *table)
{
    for (int i = 0; i < table->count; ++i) {
        const VolumeSpace &volume = table->volumes[i];
        if (volume.freeKnown && volume.free < volume.needed)
            return &volume;
    }
    return nullptr;
}

void FormatBytes(char *text, size_t size, uint64_t bytes)
{
    char digits[32];
    CopyText(text, size, Digits(digits + sizeof digits - 1, bytes, true));
}

void FormatSize(char *text, size_t size, uint64_t bytes, bool roundUp)
{
    static const char *const kUnits[] = {" KB", " MB", " GB", " TB"};
    char digits[32];
    if (bytes < 1024) {
        CopyText(text, size, Digits(digits + sizeof digits - 1, bytes, false)) >= 0 &&
            AppendText(text, size, bytes == 1 ? " byte" : " bytes");
        return;
    }
    // Tenths of the largest unit that leaves a whole part of at least 1.
    int unit = 0;
    uint64_t scale = 1024;
    while (unit < 3 && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    // bytes * 10 / scale, without the product's overflow.
    uint64_t tenths = bytes / scale * 10 + bytes % scale * 10 / scale;
    if (roundUp && bytes % scale * 10 % scale)
        ++tenths;
    char whole[32];
    CopyText(whole, Digits(digits + sizeof digits - 1, tenths / 10, true));
    const char point[3] = {'.', static_cast<char>('0' + tenths % 10), 0};
    if (CopyText(text, size, whole) < 0 || AppendText(text, size, point) < 0 ||
        AppendText(text, size, kUnits[unit]) < 0)
        CopyText(text, size, "");
}

bool BuildNoSpaceText(char *text, size_t size, const VolumeSpace *volume)
{
    char needed[40];
    char free[40];
    FormatSize(needed, sizeof needed, volume->needed, true);
    FormatSize(free, sizeof free, volume->free, false);
    return CopyText(text, size, "There is not enough free space on ") >= 0 &&
           AppendText(text, size, volume->root) >= 0 &&
           AppendText(text, size, " to install the product.\n\nNeeded: ") >= 0 &&
           AppendText(text, size, needed) >= 0 && AppendText(text, size, "\nFree: ") >= 0 &&
           AppendText(text, size, free) >= 0 &&
           AppendText(text, size,
                      "\n\nNothing has been copied yet. Make room on the drive and choose "
                      "Retry, or choose Cancel to end the setup.") >= 0;
}

bool InstalledSize(const char *source, uint64_t *size)
{
    HANDLE file = OpenToRead(source);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // The copy's own rule: the name with its last character replaced by '_'.
        char twin[kPathSize];
        int length = CopyText(twin, source);
        if (length <= 0 || twin[length - 1] == '_' || twin[length - 1] == '\\')
            return false;
        twin[length - 1] = '_';
        file = OpenToRead(twin);
    }
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER whole;
    unsigned char start[kSzddHeaderLength];
    DWORD got = 0;
    bool read = GetFileSizeEx(file, &whole) && ReadFile(file, start, sizeof start, &got, nullptr);
    CloseHandle(file);
    if (!read)
        return false;
    SzddHeader header;
    *size =
        SzddParseHeader(start, got, &header) ? header.size : static_cast<uint64_t>(whole.QuadPart);
    return true;
}

void CountCopyNeeds(SpaceTable *table)
{
    memset(table, 0, sizeof *table);
    // The one walk over the list's slots that this count makes.
    for (int slot = 0; slot < kCopySlots; ++slot) {
        const CopyEntry *entry = &g_copyList.slots[slot];
        if (entry->inUse)
            CountEntry(table, entry);
    }
}

bool SpaceForFolder(const char *folder, VolumeSpace *volume)
{
    char root[kPathSize];
    char destination[kPathSize];
    if (!VolumeRoot(root, sizeof root, folder) || CopyText(destination, g_setup.destDir) < 0 ||
        CopyText(g_setup.destDir, folder) < 0)
        return false;
    // Listed once, before the begin step lists them for good (it empties the
    // list first): a list that overflows tells the user once, not at each
    // question.
    if (!g_setup.listsBuilt && !g_preListed) {
        ResetCopyList();
        ReadSetupFileList(SETUP_DATA_FILE);
        g_preListed = true;
    }
    auto *table = static_cast<SpaceTable *>(HeapAlloc(GetProcessHeap(), 0, sizeof(SpaceTable)));
    if (table)
        CountCopyNeeds(table);
    CopyText(g_setup.destDir, destination);
    if (!table)
        return false;
    memset(volume, 0, sizeof *volume);
    CopyText(volume->root, root);
    const VolumeSpace *found = KnownVolumeOf(table, root);
    if (found)
        *volume = *found;
    else
        ReadVolume(volume);
    HeapFree(GetProcessHeap(), 0, table);
    return volume->freeKnown != 0;
}

int AnswerSpaceQuery(SpaceQuery *query)
{
    if (!query || query->size < static_cast<int>(sizeof(SpaceQuery)) ||
        BoundedLength(query->folder, sizeof query->folder) < 0)
        return 0;
    char folder[kPathSize];
    VolumeSpace volume;
    if (!FullFolderPath(folder, query->folder) || !SpaceForFolder(folder, &volume))
        return 0;
    CopyText(query->volume, volume.root);
    query->neededLow = static_cast<DWORD>(volume.needed);
    query->neededHigh = static_cast<DWORD>(volume.needed >> 32);
    query->freeLow = static_cast<DWORD>(volume.free);
    query->freeHigh = static_cast<DWORD>(volume.free >> 32);
    return 1;
}
