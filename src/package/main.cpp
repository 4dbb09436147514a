// The single-file package's stub (kvlpack.exe): the program a customer
// downloads. kvlship appends the whole distribution folder to it as one
// payload (package/payload.h). On start it checks the payload's hash, makes a
// fresh private folder under the user's temporary folder, expands the
// distribution there, runs its setup.exe with the package's own arguments,
// waits, removes the folder and ends with setup's exit code.
#include <windows.h>

#include <stdarg.h>

#include "package/folder.h"
#include "package/payload.h"
#include "setupexit.h"
#include "util/cmdline.h"
#include "util/lateload.h"
#include "util/logfile.h"
#include "util/paths.h"
#include "util/text.h"

// Filled in by kvlship when it appends the payload; all zero in the bare stub.
extern "C" __attribute__((section(".kvlpak"), used))
const PackageLocator g_packageLocator = {{'K', 'V', 'L', 'L', 'O', 'C', '0', '1'}, 0, 0};

namespace
{

constexpr char kCaption[] = "Setup";
constexpr char kDamaged[] = "The setup file is damaged. Download it again.";
constexpr size_t kCommandSize = 32768; // CreateProcess's limit

const char *ArgumentsOf(const char *commandLine)
{
    const char *p = commandLine;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"')
            quoted = !quoted;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// What the package's own command line asks of it: quiet with /SILENT or
// /VERYSILENT (setup's switches, which it hands on), and setup's /LOG= file.
struct Quietness {
    bool quiet;
    char log[kPathSize];
};

Quietness ReadQuietness(const char *arguments)
{
    Quietness q = {};
    for (const char *p = arguments; *p;) {
        if (static_cast<unsigned char>(*p) <= ' ') {
            ++p;
            continue;
        }
        Switch read;
        p = ReadSwitch(p, &read);
        const SwitchParts &s = read.parts;
        if (IsSwitchNamed(s.name, s.length, "SILENT") ||
            IsSwitchNamed(s.name, s.length, "VERYSILENT"))
            q.quiet = true;
        else if (IsSwitchNamed(s.name, s.length, "LOG") && s.value && read.whole)
            CopyText(q.log, s.value);
    }
    return q;
}

// A problem that ends the package: a message box, or with /SILENT or
// /VERYSILENT a line in setup's /LOG= file (nothing without one).
void Tell(const Quietness &q, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (!q.quiet) {
        char text[512];
        wvsprintfA(text, format, args);
        MessageBoxA(nullptr, text, kCaption, MB_OK | MB_ICONERROR);
    } else if (q.log[0] && OpenLogFile(q.log)) {
        WriteLogLine(format, args);
        CloseLogFile();
    }
    va_end(args);
}

// The package's own file, read at offsets within the payload only.
struct OwnFile {
    HANDLE handle;
    uint64_t offset;
};

bool ReadOwn(void *context, uint64_t at, void *into, size_t size)
{
    auto *own = static_cast<OwnFile *>(context);
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(own->offset + at);
    if (!SetFilePointerEx(own->handle, position, nullptr, FILE_BEGIN))
        return false;
    auto *bytes = static_cast<unsigned char *>(into);
    while (size > 0) {
        DWORD take = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size), read = 0;
        if (!ReadFile(own->handle, bytes, take, &read, nullptr) || read == 0)
            return false;
        bytes += read;
        size -= read;
    }
    return true;
}

// The files land in the private folder, each created new.
struct FolderSink {
    const char *folder;
    HANDLE file;
};

bool BeginFile(void *context, const char *name, uint32_t)
{
    auto *sink = static_cast<FolderSink *>(context);
    char path[kPathSize];
    if (!JoinPath(path, sink->folder, name))
        return false;
    sink->file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return sink->file != INVALID_HANDLE_VALUE;
}

bool WriteBytes(void *context, const void *bytes, size_t size)
{
    auto *sink = static_cast<FolderSink *>(context);
    auto *p = static_cast<const unsigned char *>(bytes);
    while (size > 0) {
        DWORD take = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size), written = 0;
        if (!WriteFile(sink->file, p, take, &written, nullptr) || written == 0)
            return false;
        p += written;
        size -= written;
    }
    return true;
}

bool EndFile(void *context)
{
    auto *sink = static_cast<FolderSink *>(context);
    bool closed = CloseHandle(sink->file) != 0;
    sink->file = INVALID_HANDLE_VALUE;
    return closed;
}

// Opens the package's own file and finds its payload through the locator.
bool OpenPayload(OwnFile *own, PayloadSource *source)
{
    const volatile PackageLocator *locator = &g_packageLocator;
    uint64_t offset = locator->payloadOffset, size = locator->payloadSize;
    char self[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self || offset == 0)
        return false;
    own->handle = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (own->handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER fileSize;
    // A download cut short ends before the payload does.
    if (!GetFileSizeEx(own->handle, &fileSize) ||
        static_cast<uint64_t>(fileSize.QuadPart) < offset + size)
        return false;
    own->offset = offset;
    source->context = own;
    source->size = size;
    source->read = ReadOwn;
    return true;
}

// Runs the folder's setup.exe with `arguments`; its exit code.
int RunSetup(const char *folder, const char *arguments, const Quietness &q)
{
    static char command[kCommandSize];
    char program[kPathSize];
    if (!JoinPath(program, folder, "setup.exe") || CopyText(command, "\"") < 0 ||
        AppendText(command, program) < 0 || AppendText(command, "\" ") < 0 ||
        AppendText(command, arguments) < 0) {
        Tell(q, "The command line is too long.");
        return SETUP_EXIT_BAD_SWITCH;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        Tell(q, "Setup could not be started (error %lu).", GetLastError());
        return SETUP_EXIT_CANNOT_RUN;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = SETUP_EXIT_CANNOT_RUN;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int Run(const char *arguments)
{
    Quietness q = ReadQuietness(arguments);
    OwnFile own = {INVALID_HANDLE_VALUE, 0};
    PayloadSource source = {};
    PayloadIndex index = {};
    PackageStatus status = PACKAGE_DAMAGED;
    if (OpenPayload(&own, &source)) {
        status = ReadPayloadIndex(&source, &index);
        if (status == PACKAGE_OK)
            status = CheckPayload(&source, &index);
    }
    if (status != PACKAGE_OK) {
        if (own.handle != INVALID_HANDLE_VALUE)
            CloseHandle(own.handle);
        FreePayloadIndex(&index);
        Tell(q,
             status == PACKAGE_NO_MEMORY ? "There is not enough memory to run setup." : kDamaged);
        return SETUP_EXIT_CANNOT_RUN;
    }
    char base[kPathSize], folder[kPathSize];
    DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length >= sizeof base ||
        !MakePrivateFolder(base, SystemRandom, nullptr, folder)) {
        CloseHandle(own.handle);
        FreePayloadIndex(&index);
        Tell(q, "No folder for the setup files could be made in %.259s.", base);
        return SETUP_EXIT_CANNOT_RUN;
    }
    FolderSink sink = {folder, INVALID_HANDLE_VALUE};
    PayloadSink files = {&sink, BeginFile, WriteBytes, EndFile};
    status = UnpackPayload(&source, &index, &files);
    if (sink.file != INVALID_HANDLE_VALUE)
        CloseHandle(sink.file);
    CloseHandle(own.handle);
    FreePayloadIndex(&index);
    int code = SETUP_EXIT_CANNOT_RUN;
    if (status == PACKAGE_OK)
        code = RunSetup(folder, arguments, q);
    else if (status == PACKAGE_SINK_FAILED)
        Tell(q, "The setup files could not be written to %.259s.", folder);
    else if (status == PACKAGE_NO_MEMORY)
        Tell(q, "There is not enough memory to run setup.");
    else
        Tell(q, kDamaged);
    RemovePrivateFolder(folder);
    return code;
}

} // namespace

void LateBindingFailed()
{
    ExitProcess(SETUP_EXIT_CANNOT_RUN);
}

// The stub starts here, without the C runtime's start-up: it has no static
// constructors and leaves through ExitProcess.
extern "C" void PackageStart()
{
    RestrictDllSearch();
    ExitProcess(static_cast<UINT>(Run(ArgumentsOf(GetCommandLineA()))));
}
