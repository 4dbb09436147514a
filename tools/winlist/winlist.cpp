// winlist.exe: the Windows side of the end-to-end test bench. It runs under
// the same Wine prefix and display as setup.exe and looks at, talks to and
// starts windows and programs there. One command per run; every answer is
// one JSON object per line on stdout, plain ASCII (other characters are
// written as \uXXXX escapes).
//
//   winlist list                          every top-level window of every process
//                                         and, depth first, all of its children
//   winlist send HWND MSG WPARAM LPARAM [TIMEOUT_MS]
//                                         SendMessage (with a time limit, 10 s by
//                                         default); prints {"result": N}
//   winlist post HWND MSG WPARAM LPARAM   PostMessage; prints {"posted": 1 or 0}
//   winlist click HWND X Y                posts a left press and release at X,Y of
//                                         the window's client area
//   winlist command HWND ID               posts WM_COMMAND (BN_CLICKED of control ID)
//                                         to a dialog, as a press of that button
//   winlist engine SECONDS                a hidden top-level window of class
//                                         "KARVELOENGINE" for SECONDS (or until killed)
//   winlist witness SECONDS               a visible window that prints the input and
//                                         system commands it gets; default handling,
//                                         so Alt+F4 closes it (proves keys arrive)
//   winlist hold PATH SECONDS             opens the file PATH for reading and writing,
//                                         sharing neither its removal nor its renaming,
//                                         prints {"ready": 1} and keeps it open SECONDS
//                                         seconds (or until killed): a file in use
//   winlist screen                        size, colour depth and palette size
//   winlist launch                        starts the command line held in the
//                                         environment variable WINLIST_CMDLINE, exactly
//                                         as written, in the folder WINLIST_CWD (if set),
//                                         without standard handles, waits for it and
//                                         exits with its exit code
//   winlist processes [SECONDS]           every process: pid, parent, program, and the
//                                         command line and current folder read from its
//                                         process parameters; with SECONDS, watches that
//                                         long and prints each new process once, as soon
//                                         as its parameters can be read ("gone": 1 for
//                                         one that ended before)
//
// Numbers are decimal or 0x hex; HWND is hex with or without 0x.
#include <windows.h>
#include <tlhelp32.h>

#include "jsonline.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

// ---------------------------------------------------------------------------
// JSON output: one line per answer, written whole (tools/jsonline).

void AddAnsi(JsonLine &line, const char *key, const char *value)
{
    int size = MultiByteToWideChar(CP_ACP, 0, value, -1, nullptr, 0);
    wchar_t *wide = static_cast<wchar_t *>(calloc(size > 0 ? size : 1, sizeof(wchar_t)));
    if (!wide || size <= 0 || !MultiByteToWideChar(CP_ACP, 0, value, -1, wide, size)) {
        if (wide)
            wide[0] = 0;
    }
    JsonWide(line, key, wide ? wide : L"");
    free(wide);
}

void AddRect(JsonLine &line, const char *key, const RECT &rect)
{
    char numbers[96];
    snprintf(numbers, sizeof numbers, "[%ld, %ld, %ld, %ld]", rect.left, rect.top, rect.right,
             rect.bottom);
    JsonKey(line, key);
    JsonRaw(line, numbers);
}

void Print(JsonLine &line)
{
    fputs(JsonEnd(line), stdout);
    fflush(stdout);
}

void PrintError(const char *text)
{
    JsonLine line;
    JsonBegin(line);
    AddAnsi(line, "error", text);
    Print(line);
}

// ---------------------------------------------------------------------------
// Arguments.

// A number in decimal or 0x hex, possibly negative. Returns false for text
// that is not a whole number.
bool ParseNumber(const char *text, long long *value)
{
    char *end = nullptr;
    *value = strtoll(text, &end, 0);
    return end != text && *end == 0;
}

// A window handle in hex, with or without the 0x.
bool ParseHandle(const char *text, HWND *window)
{
    char *end = nullptr;
    unsigned long value = strtoul(text, &end, 16);
    *window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
    return end != text && *end == 0;
}

// ---------------------------------------------------------------------------
// list

// The window's text. WM_GETTEXT is marshalled across processes, unlike the
// plain GetWindowText of another process's control; a hung owner is given
// up on after a short wait, and the text the system keeps is used instead.
// Returns the whole text in memory that the caller frees.
wchar_t *WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length))
        length = 4095;
    int size = static_cast<int>(length) + 1;
    wchar_t *text = static_cast<wchar_t *>(calloc(size, sizeof(wchar_t)));
    if (!text)
        return nullptr;
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, size, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 1000, &copied)) {
        text[size - 1] = 0;
        return text;
    }
    InternalGetWindowText(window, text, size);
    return text;
}

void PrintWindow(HWND window, HWND top, int depth)
{
    wchar_t className[256];
    if (!GetClassNameW(window, className, 256))
        className[0] = 0;
    wchar_t *text = WindowText(window);

    LONG style = GetWindowLongA(window, GWL_STYLE);
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(window, &pid);
    RECT frame = {};
    GetWindowRect(window, &frame);
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT *>(&client), 2);

    JsonLine line;
    JsonBegin(line);
    JsonHandle(line, "hwnd", window);
    JsonHandle(line, "parent", (style & WS_CHILD) ? GetAncestor(window, GA_PARENT) : nullptr);
    JsonHandle(line, "owner", GetWindow(window, GW_OWNER));
    JsonHandle(line, "top", top);
    JsonInt(line, "depth", depth);
    JsonInt(line, "pid", pid);
    JsonInt(line, "tid", tid);
    JsonInt(line, "id", (style & WS_CHILD) ? GetDlgCtrlID(window) : 0);
    JsonWide(line, "class", className);
    JsonWide(line, "text", text ? text : L"");
    free(text);
    JsonInt(line, "style", static_cast<DWORD>(style));
    JsonInt(line, "exstyle", static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    AddRect(line, "rect", frame);
    AddRect(line, "client", client);
    JsonInt(line, "visible", IsWindowVisible(window) ? 1 : 0);
    JsonInt(line, "enabled", IsWindowEnabled(window) ? 1 : 0);
    Print(line);
}

void PrintTree(HWND window, HWND top, int depth)
{
    PrintWindow(window, top, depth);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        PrintTree(child, top, depth + 1);
}

// EnumWindows first, printing after: printing sends messages to other
// processes, and the list should be one snapshot.
struct TopList {
    HWND windows[4096];
    int count;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param)
{
    TopList *list = reinterpret_cast<TopList *>(param);
    if (list->count < static_cast<int>(sizeof list->windows / sizeof list->windows[0]))
        list->windows[list->count++] = window;
    return TRUE;
}

int ListWindows()
{
    static TopList list;
    list.count = 0;
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&list));
    for (int i = 0; i < list.count; ++i)
        if (IsWindow(list.windows[i]))
            PrintTree(list.windows[i], list.windows[i], 0);
    return 0;
}

// ---------------------------------------------------------------------------
// send, post, click, command

struct MessageArgs {
    HWND window;
    long long message;
    long long wParam;
    long long lParam;
};

bool ParseMessageArgs(char **argv, MessageArgs *args)
{
    return ParseHandle(argv[0], &args->window) && ParseNumber(argv[1], &args->message) &&
           ParseNumber(argv[2], &args->wParam) && ParseNumber(argv[3], &args->lParam);
}

int SendCommand(int argc, char **argv)
{
    MessageArgs args;
    long long timeout = 10000;
    if (argc < 4 || !ParseMessageArgs(argv, &args) ||
        (argc > 4 && !ParseNumber(argv[4], &timeout))) {
        PrintError("usage: send HWND MSG WPARAM LPARAM [TIMEOUT_MS]");
        return 2;
    }
    DWORD_PTR result = 0;
    LRESULT sent = SendMessageTimeoutA(
        args.window, static_cast<UINT>(args.message), static_cast<WPARAM>(args.wParam),
        static_cast<LPARAM>(args.lParam), SMTO_NORMAL, static_cast<UINT>(timeout), &result);
    JsonLine line;
    JsonBegin(line);
    if (sent) {
        JsonInt(line, "result", static_cast<LONG>(result));
    } else {
        AddAnsi(line, "error", IsWindow(args.window) ? "timeout" : "no such window");
        JsonInt(line, "code", GetLastError());
    }
    Print(line);
    return sent ? 0 : 1;
}

int PostCommand(int argc, char **argv)
{
    MessageArgs args;
    if (argc < 4 || !ParseMessageArgs(argv, &args)) {
        PrintError("usage: post HWND MSG WPARAM LPARAM");
        return 2;
    }
    BOOL posted = PostMessageA(args.window, static_cast<UINT>(args.message),
                               static_cast<WPARAM>(args.wParam), static_cast<LPARAM>(args.lParam));
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "posted", posted ? 1 : 0);
    Print(line);
    return posted ? 0 : 1;
}

int ClickCommand(int argc, char **argv)
{
    HWND window;
    long long x, y;
    if (argc < 3 || !ParseHandle(argv[0], &window) || !ParseNumber(argv[1], &x) ||
        !ParseNumber(argv[2], &y)) {
        PrintError("usage: click HWND X Y");
        return 2;
    }
    LPARAM where = MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
    BOOL posted = PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where) &&
                  PostMessageA(window, WM_LBUTTONUP, 0, where);
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "posted", posted ? 1 : 0);
    Print(line);
    return posted ? 0 : 1;
}

int CommandCommand(int argc, char **argv)
{
    HWND dialog;
    long long id;
    if (argc < 2 || !ParseHandle(argv[0], &dialog) || !ParseNumber(argv[1], &id)) {
        PrintError("usage: command HWND ID");
        return 2;
    }
    HWND control = GetDlgItem(dialog, static_cast<int>(id));
    BOOL posted = PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                               reinterpret_cast<LPARAM>(control));
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "posted", posted ? 1 : 0);
    Print(line);
    return posted ? 0 : 1;
}

// ---------------------------------------------------------------------------
// engine and witness: windows of our own, kept for a number of seconds.

constexpr UINT_PTR kLifeTimer = 1;

void PrintEvent(const char *name, HWND window, WPARAM wParam, LPARAM lParam)
{
    JsonLine line;
    JsonBegin(line);
    AddAnsi(line, "event", name);
    JsonHandle(line, "hwnd", window);
    JsonInt(line, "wParam", static_cast<long long>(wParam));
    JsonInt(line, "lParam", static_cast<long long>(lParam));
    Print(line);
}

LRESULT CALLBACK EngineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK WitnessProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        PrintEvent("keydown", window, wParam, lParam);
        break;
    case WM_SYSKEYDOWN:
        PrintEvent("syskeydown", window, wParam, lParam);
        break;
    case WM_SYSCOMMAND:
        PrintEvent("syscommand", window, wParam, lParam);
        break;
    case WM_LBUTTONDOWN:
        PrintEvent("lbuttondown", window, wParam, lParam);
        break;
    case WM_CLOSE:
        PrintEvent("close", window, wParam, lParam);
        break;
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PrintEvent("destroy", window, wParam, lParam);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Creates a top-level window of `className` that lives `seconds` seconds
// and runs its message loop. Prints {"ready": hwnd} once the window exists.
int RunOwnWindow(int argc, char **argv, const char *className, WNDPROC procedure, bool visible)
{
    long long seconds;
    if (argc < 1 || !ParseNumber(argv[0], &seconds) || seconds <= 0) {
        PrintError("usage: engine|witness SECONDS");
        return 2;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass)) {
        PrintError("cannot register the window class");
        return 1;
    }
    HWND window =
        CreateWindowExA(0, className, visible ? "winlist witness" : "KARVELO ENGINE",
                        WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, nullptr, nullptr, instance, nullptr);
    if (!window) {
        PrintError("cannot create the window");
        return 1;
    }
    SetTimer(window, kLifeTimer, static_cast<UINT>(seconds * 1000), nullptr);
    if (visible) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        SetForegroundWindow(window);
    }
    JsonLine line;
    JsonBegin(line);
    JsonHandle(line, "ready", window);
    Print(line);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// hold

int HoldCommand(int argc, char **argv)
{
    long long seconds;
    if (argc < 2 || !ParseNumber(argv[1], &seconds) || seconds <= 0) {
        PrintError("usage: hold PATH SECONDS");
        return 2;
    }
    // As a running program or an open document holds it: others may read and
    // write, but not delete.
    HANDLE file =
        CreateFileA(argv[0], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        PrintError("cannot open the file");
        return 1;
    }
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "ready", 1);
    Print(line);
    Sleep(static_cast<DWORD>(seconds * 1000));
    CloseHandle(file);
    return 0;
}

// ---------------------------------------------------------------------------
// screen, launch

int ScreenCommand()
{
    HDC screen = GetDC(nullptr);
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "width", GetSystemMetrics(SM_CXSCREEN));
    JsonInt(line, "height", GetSystemMetrics(SM_CYSCREEN));
    JsonInt(line, "bits", GetDeviceCaps(screen, BITSPIXEL));
    JsonInt(line, "palette", GetDeviceCaps(screen, SIZEPALETTE));
    JsonInt(line, "caption", GetSystemMetrics(SM_CYCAPTION));
    JsonInt(line, "border", GetSystemMetrics(SM_CYBORDER));
    Print(line);
    ReleaseDC(nullptr, screen);
    return 0;
}

// The command line comes from the environment rather than from our own
// arguments, because Wine quotes arguments that hold blanks: a test must be
// able to give setup.exe any command line, trailing blanks and quotes included.
int LaunchCommand()
{
    static char commandLine[32768];
    static char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("WINLIST_CMDLINE", commandLine, sizeof commandLine);
    if (length == 0 || length >= sizeof commandLine) {
        PrintError("WINLIST_CMDLINE is not set");
        return 2;
    }
    length = GetEnvironmentVariableA("WINLIST_CWD", folder, sizeof folder);
    bool haveFolder = length > 0 && length < sizeof folder;

    // No standard handles for the program: ours carry the launch's answers,
    // which nothing it runs may write into.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        haveFolder ? folder : nullptr, &startup, &process)) {
        JsonLine line;
        JsonBegin(line);
        AddAnsi(line, "error", "CreateProcess failed");
        JsonInt(line, "code", GetLastError());
        Print(line);
        return 255;
    }
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "pid", process.dwProcessId);
    AddAnsi(line, "cmdline", commandLine);
    Print(line);

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    JsonBegin(line);
    JsonInt(line, "exit", exitCode);
    Print(line);
    return static_cast<int>(exitCode);
}

// ---------------------------------------------------------------------------
// processes

// What a process was started with, read from its memory: the process
// parameters hold the command line as given to CreateProcess and the current
// folder as the process keeps it. The layouts are those of 32-bit processes.
struct BasicInfo {
    LONG exitStatus;
    ULONG_PTR pebAddress;
    ULONG_PTR affinity;
    LONG basePriority;
    ULONG_PTR processId;
    ULONG_PTR parentId;
};

struct CountedText { // UNICODE_STRING
    USHORT length;
    USHORT maximum;
    DWORD buffer;
};

constexpr DWORD kPebParameters = 0x10;
constexpr DWORD kParamFlags = 0x08;
constexpr DWORD kParamFolder = 0x24;
constexpr DWORD kParamImage = 0x38;
constexpr DWORD kParamCommandLine = 0x40;
constexpr DWORD kParamsNormalized = 1; // buffers are addresses, not offsets

using QueryProcess = LONG(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);

struct ProcessFacts {
    wchar_t *image = nullptr;
    wchar_t *commandLine = nullptr;
    wchar_t *folder = nullptr;
    ~ProcessFacts()
    {
        free(image);
        free(commandLine);
        free(folder);
    }
};

bool ReadRemote(HANDLE process, DWORD address, void *buffer, DWORD size)
{
    SIZE_T got = 0;
    return address &&
           ReadProcessMemory(process, reinterpret_cast<void *>(address), buffer, size, &got) &&
           got == size;
}

// One UNICODE_STRING of the parameters at `base`; null when it cannot be read.
wchar_t *ReadCountedText(HANDLE process, DWORD base, DWORD offset, bool normalized)
{
    CountedText field;
    if (!ReadRemote(process, base + offset, &field, sizeof field) || field.length % 2 ||
        field.length > field.maximum)
        return nullptr;
    DWORD address = normalized ? field.buffer : base + field.buffer;
    wchar_t *text = static_cast<wchar_t *>(calloc(field.length / 2 + 1, sizeof(wchar_t)));
    if (text && field.length && !ReadRemote(process, address, text, field.length)) {
        free(text);
        return nullptr;
    }
    return text;
}

// False while the process is too young (or too foreign) to be read.
bool ReadProcessFacts(DWORD pid, ProcessFacts *facts)
{
    // Through void (*)(void), the type GCC accepts as "any function".
    static QueryProcess query = reinterpret_cast<QueryProcess>(reinterpret_cast<void (*)(void)>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process || !query)
        return false;
    BasicInfo basic = {};
    DWORD params = 0;
    DWORD flags = 0;
    bool read = query(process, 0, &basic, sizeof basic, nullptr) >= 0 &&
                ReadRemote(process, static_cast<DWORD>(basic.pebAddress) + kPebParameters, &params,
                           sizeof params) &&
                ReadRemote(process, params + kParamFlags, &flags, sizeof flags);
    if (read) {
        bool normalized = (flags & kParamsNormalized) != 0;
        facts->image = ReadCountedText(process, params, kParamImage, normalized);
        facts->commandLine = ReadCountedText(process, params, kParamCommandLine, normalized);
        facts->folder = ReadCountedText(process, params, kParamFolder, normalized);
        read = facts->commandLine && facts->commandLine[0] && facts->folder;
    }
    CloseHandle(process);
    return read;
}

void PrintProcess(const PROCESSENTRY32W &entry, const ProcessFacts *facts, bool gone)
{
    JsonLine line;
    JsonBegin(line);
    JsonInt(line, "pid", entry.th32ProcessID);
    JsonInt(line, "parent", entry.th32ParentProcessID);
    JsonWide(line, "exe", entry.szExeFile);
    if (facts) {
        JsonWide(line, "image", facts->image ? facts->image : L"");
        JsonWide(line, "cmdline", facts->commandLine);
        JsonWide(line, "cwd", facts->folder);
    }
    if (gone)
        JsonInt(line, "gone", 1);
    Print(line);
}

// The processes of one look, each with whether it has been printed.
struct ProcessSeen {
    PROCESSENTRY32W entry;
    bool printed;
    bool present;
};

struct ProcessTable {
    ProcessSeen items[1024];
    int count;
};

ProcessSeen *FindSeen(ProcessTable &table, DWORD pid)
{
    for (int i = 0; i < table.count; ++i)
        if (table.items[i].entry.th32ProcessID == pid)
            return &table.items[i];
    return nullptr;
}

// One look at the process list: prints every process not printed yet whose
// parameters can now be read (all of them, readable or not, when `once`),
// and those that ended before they could be.
void LookAtProcesses(ProcessTable &table, bool once)
{
    for (int i = 0; i < table.count; ++i)
        table.items[i].present = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        ProcessSeen *seen = FindSeen(table, entry.th32ProcessID);
        if (!seen && table.count < static_cast<int>(sizeof table.items / sizeof table.items[0])) {
            seen = &table.items[table.count++];
            seen->entry = entry;
            seen->printed = false;
        }
        if (!seen)
            continue;
        seen->present = true;
        if (seen->printed)
            continue;
        ProcessFacts facts;
        bool read = ReadProcessFacts(entry.th32ProcessID, &facts);
        if (read || once) {
            PrintProcess(entry, read ? &facts : nullptr, false);
            seen->printed = true;
        }
    }
    CloseHandle(snapshot);
    // A pid may come back for a new process: forget the ended ones.
    int kept = 0;
    for (int i = 0; i < table.count; ++i) {
        if (!table.items[i].present && !table.items[i].printed)
            PrintProcess(table.items[i].entry, nullptr, true);
        if (table.items[i].present)
            table.items[kept++] = table.items[i];
    }
    table.count = kept;
}

int ProcessesCommand(int argc, char **argv)
{
    long long seconds = 0;
    if (argc > 0 && (!ParseNumber(argv[0], &seconds) || seconds < 0)) {
        PrintError("usage: processes [SECONDS]");
        return 2;
    }
    if (seconds > 86400)
        seconds = 86400;
    static ProcessTable table;
    table.count = 0;
    if (seconds == 0) {
        LookAtProcesses(table, true);
        return 0;
    }
    DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(seconds * 1000)) {
        LookAtProcesses(table, false);
        Sleep(20);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Lines end in \n alone whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) {
        PrintError("usage: winlist list|send|post|click|command|engine|witness|screen|launch");
        return 2;
    }
    const char *command = argv[1];
    int restCount = argc - 2;
    char **rest = argv + 2;
    if (!strcmp(command, "list"))
        return ListWindows();
    if (!strcmp(command, "send"))
        return SendCommand(restCount, rest);
    if (!strcmp(command, "post"))
        return PostCommand(restCount, rest);
    if (!strcmp(command, "click"))
        return ClickCommand(restCount, rest);
    if (!strcmp(command, "command"))
        return CommandCommand(restCount, rest);
    if (!strcmp(command, "engine"))
        return RunOwnWindow(restCount, rest, "KARVELOENGINE", EngineProc, false);
    if (!strcmp(command, "witness"))
        return RunOwnWindow(restCount, rest, "WINLIST_WITNESS", WitnessProc, true);
    if (!strcmp(command, "hold"))
        return HoldCommand(restCount, rest);
    if (!strcmp(command, "screen"))
        return ScreenCommand();
    if (!strcmp(command, "launch"))
        return LaunchCommand();
    if (!strcmp(command, "processes"))
        return ProcessesCommand(restCount, rest);
    PrintError("unknown command");
    return 2;
}
