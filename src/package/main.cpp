// The single-file package's stub (kvlpack.exe): the program a customer
// downloads. kvlship appends the whole distribution folder to it as one
// payload (package/payload.h). On start it checks the payload's hash, makes a
// fresh private folder under the user's temporary folder, expands the
// distribution there, runs its setup.exe with the package's own arguments,
// waits, removes the folder and ends with setup's exit code, once setup's log
// shows that setup ended by itself. Sizes and offsets are 64-bit throughout:
// a file or a package may pass 4 GiB.
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
const PackageLocator g_packageLocator = {{'K', 'V', 'L', 'L', 'O', 'C', '0', '2'}, 0, 0};

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

bool BeginFile(void *context, const char *name, uint64_t)
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
        static_cast<uint64_t>(fileSize.QuadPart) < offset ||
        static_cast<uint64_t>(fileSize.QuadPart) - offset < size)
        return false;
    own->offset = offset;
    source->context = own;
    source->size = size;
    source->read = ReadOwn;
    return true;
}

// setup.exe's log, read after its end: a setup that ends by itself says so
// in its last line, with its exit code. One ended from outside does not (and
// under Wine its exit code is then 0, which reads "complete").
struct LogWatch {
    const char *path; // the /LOG= file the package was given, or its own
    DWORD start;      // the log's size before setup started: older lines are not this run's
};

// The log's size, modulo 4 GiB: only what a run appends is measured by it.
DWORD LogSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA seen;
    return GetFileAttributesExA(path, GetFileExInfoStandard, &seen) ? seen.nFileSizeLow : 0;
}

// True when this run's part of the log ends with setup's own last line for
// `code` ("2024-01-31 12:00:00.000 setup ended: exit code 0, ...").
__attribute__((noinline)) bool EndedByItself(const LogWatch &watch, int code)
{
    // Without a log (its path did not fit) nothing can be told.
    if (!watch.path[0])
        return true;
    DWORD appended = LogSize(watch.path) - watch.start;
    // Nothing at all: setup could not write the log, which it ends for with its code.
    if (appended == 0)
        return code == SETUP_EXIT_BAD_SWITCH;
    char tail[1100]; // more than a line setup writes
    DWORD take = appended < sizeof tail ? appended : sizeof tail, read = 0;
    HANDLE log = CreateFileA(watch.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (SetFilePointer(log, -static_cast<LONG>(take), nullptr, FILE_END) ==
            INVALID_SET_FILE_POINTER ||
        !ReadFile(log, tail, take, &read, nullptr))
        read = 0;
    CloseHandle(log);
    // The last line, after its time stamp of 24 characters.
    while (read > 0 && (tail[read - 1] == '\r' || tail[read - 1] == '\n'))
        --read;
    DWORD line = read;
    while (line > 0 && tail[line - 1] != '\n')
        --line;
    char expected[48];
    int length = wsprintfA(expected, "setup ended: exit code %d,", code);
    line += 24;
    for (int i = 0; i < length; ++i, ++line) {
        if (line >= read || tail[line] != expected[i])
            return false;
    }
    return true;
}

// Runs the folder's setup.exe with `arguments` (its own log first, when
// `ownLog` names one); its exit code, or SETUP_EXIT_CANNOT_RUN when it did
// not end by itself. With a `mark` it holds the folder's mark too, and is
// told its handle last on its command line (/FROMPACKAGE=, after the
// caller's own switches): setup may then prove its source folder a
// package's, to be removed after it, by the handle's own path.
int RunSetup(const char *folder, const char *arguments, const char *ownLog, void *mark,
             const Quietness &q)
{
    static char command[kCommandSize];
    char program[kPathSize], markSwitch[32] = "";
    if (mark)
        wsprintfA(markSwitch, " /FROMPACKAGE=%lu",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(mark)));
    if (!JoinPath(program, folder, "setup.exe") || CopyText(command, "\"") < 0 ||
        AppendText(command, program) < 0 || AppendText(command, "\" ") < 0 ||
        (ownLog[0] && (AppendText(command, "/LOG=\"") < 0 || AppendText(command, ownLog) < 0 ||
                       AppendText(command, "\" ") < 0)) ||
        AppendText(command, arguments) < 0 || AppendText(command, markSwitch) < 0) {
        Tell(q, "The command line is too long.");
        return SETUP_EXIT_BAD_SWITCH;
    }
    LogWatch watch = {ownLog[0] ? ownLog : q.log, 0};
    watch.start = LogSize(watch.path);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, command, nullptr, nullptr, mark ? TRUE : FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        Tell(q, "Setup could not be started (error %lu).", GetLastError());
        return SETUP_EXIT_CANNOT_RUN;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = SETUP_EXIT_CANNOT_RUN;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    if (!EndedByItself(watch, static_cast<int>(code))) {
        Tell(q, "Setup was ended before it finished; the installation may be incomplete.");
        return SETUP_EXIT_CANNOT_RUN;
    }
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
    void *mark = MarkPrivateFolder(folder);
    // Folders that earlier packages could not remove (ended from outside) go
    // too; this one's mark is held already.
    RemoveStaleFolders(base);
    FolderSink sink = {folder, INVALID_HANDLE_VALUE};
    PayloadSink files = {&sink, BeginFile, WriteBytes, EndFile};
    status = UnpackPayload(&source, &index, &files);
    if (sink.file != INVALID_HANDLE_VALUE)
        CloseHandle(sink.file);
    CloseHandle(own.handle);
    FreePayloadIndex(&index);
    int code = SETUP_EXIT_CANNOT_RUN;
    if (status == PACKAGE_OK) {
        // Without a /LOG= file of the caller's, setup writes one into the folder.
        char ownLog[kPathSize] = "";
        if (!q.log[0])
            JoinPath(ownLog, folder, "setup.log");
        code = RunSetup(folder, arguments, ownLog, mark, q);
    } else if (status == PACKAGE_SINK_FAILED)
        Tell(q, "The setup files could not be written to %.259s.", folder);
    else if (status == PACKAGE_NO_MEMORY)
        Tell(q, "There is not enough memory to run setup.");
    else
        Tell(q, kDamaged);
    ReleaseFolderMark(mark);
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
