// probe.dll: the setup module of the end-to-end tests. It exports every hook,
// writes each call with its arguments to a log, answers as its configuration
// says, and can send any service message to the main window from any hook.
// One DLL serves every scenario: the test copies it under whatever name the
// scenario needs and writes probe.ini beside it.
//
// probe.ini lives in the probe's own folder and is read afresh at every call,
// so a test may change it while setup runs. The platform's profile reader
// drops blanks around a value; quote the whole value ("...") to keep them.
//
//   [probe]
//   log=probe.log        file of the log; a relative name is taken from the probe's folder
//   syscommands=1        InitModule hooks the shell's thread (WH_CBT) and logs every system
//                        command that reaches the platform's default processing: one that a
//                        window procedure swallowed never shows up
//
//   [<hook>]             one section per hook: InitModule, Present, SetDestDir, ...
//   answer=1,0,4         results, one per call, the last one repeating;
//                        default 1 for every hook, 0 for DemoQuery
//   do1=<action>         actions, run in order do1, do2, ... up to the first missing one,
//   do2=<action>         after the hook has written its buffers and before it answers
//   title=<text>         InitModule: written into the title buffer as given, even past the
//                        175 characters a module may use (that is how the shell's guard is
//                        tried); at most 1000 characters
//   titleFill=<n>        InitModule: n characters 'T' instead (n at most 1000)
//   destDir=<text>       SetDestDir: replaces the destination folder
//   program=<text>       DemoQuery: written into the program buffer
//   document=<text>      DemoQuery: written into the document buffer
//
//   [<hook>#<n>]         do1=... for the n-th call of that hook only; when this section
//                        has a do1, it replaces the actions of [<hook>] for that call
//
//   [sender]
//   register=1           InitModule registers the window class "sender" under the
//                        shell's instance, for the shell's SM_STARTSENDER
//   reply=0x8000         lParam of the SM_SENDERREPLY that answers message 1204
//   delay=0              milliseconds to wait (on a timer) before replying
//   repeat=1             how many times the reply is sent
//   exit=1               the sender's window procedure sends SM_EXIT instead of replying,
//                        and logs "sender-exit" once that call has returned into it
//
// Actions. The fields of copy, addin and shortcut are key=value pairs separated
// by '|'; a field left out is empty or 0; a text longer than its field is cut.
//   send MSG WPARAM LPARAM       any message to the main window (numbers: decimal or 0x hex)
//   copy source=..|dest=..|sub=..|windows=N|spare1=N|overwrite=N|spare2=N|size=N|absolute=N
//                                SM_ADDCOPYENTRY with a CopyRequest
//   copyunterminated dest=..|..  the same, with sourceName filling all 264 bytes, no terminator
//   addin description=..|file=..|parameters=..
//                                SM_ADDADDIN with an AddInRequest
//   filelist NAME                SM_ADDFILELIST
//   shortcut description=..|name=..|folder=..|file=..|targetFolder=..|arguments=..|csidl=N
//                                SM_CREATESHORTCUT; with csidl the request carries the item
//                                id list of that special folder and useItemIdList 1
//   repaint | exit | startsender SM_REPAINT, SM_EXIT, SM_STARTSENDER
//   sleep MS                     blocks the shell's thread
//   pump MS                      runs a message loop for MS ms, or until the main window is
//                                gone: the setup holds in this hook but its windows still
//                                answer, as under a module's own dialog
//   exists PATH                  logs whether the file or folder exists
//   caption                      logs the main window's caption, visibility and enabled state
//   installed                    logs every item SM_GETINSTALLED gives ("installed" lines)
//   crash                        writes through a null pointer: how the bench is tried on a
//                                setup that dies
//
// Log: one JSON object per line, opened, appended and closed for each line so
// that the test can read it while setup runs. Every line has "event" and "t"
// (GetTickCount). Bytes above 127 are written as \u00XX of the byte.
//   attach {path}                 the probe was loaded; path is its own file
//   detach {freed}                1: released with FreeLibrary; 0: at the end of the process
//   call {hook, n, arguments...}  n counts the calls of that hook from 1
//   write {hook, field, value}    the probe wrote a buffer of the shell's
//   action {hook, action, args, result, ...}
//   return {hook, n, result}
//   register {result}             the "sender" class was registered
//   sender {hwnd, parent, message, wParam, lParam}  the sender window got a message
//   reply {lParam, result}        the sender answered its parent
//   syscommand {command, active}  a system command is about to be carried out by the default
//                                 processing; active is the caption of the active window
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "jsonline.h"
#include "setupmodule.h"

namespace
{

enum Hook {
    kInitModule,
    kPresent,
    kSetDestDir,
    kFileConflict,
    kGetAddInList,
    kStartCopy,
    kUserCancel,
    kCriticError,
    kNonCriticError,
    kEndCopy,
    kCreateShortcuts,
    kGenIniFiles,
    kGetAddInOff,
    kEndSetup,
    kDemoQuery,
    kHookCount
};

const char *const kHookNames[kHookCount] = {
    "InitModule",      "Present",     "SetDestDir",  "FileConflict",   "GetAddInList",
    "StartCopy",       "UserCancel",  "CriticError", "NonCriticError", "EndCopy",
    "CreateShortcuts", "GenIniFiles", "GetAddInOff", "EndSetup",       "DemoQuery"};

constexpr size_t kValueSize = 4096;
constexpr size_t kTitleLimit = 1000;
constexpr UINT_PTR kReplyTimer = 1;

HMODULE g_self;
HHOOK g_cbtHook;         // with syscommands=1: sees the system commands the shell lets through
char g_folder[MAX_PATH]; // the probe's own folder, with its trailing backslash
char g_ini[MAX_PATH];
HWND g_mainWindow;
int g_calls[kHookCount];

// ---------------------------------------------------------------------------
// Text

// Copies as much of `source` as fits into `dest` of `size` bytes, always
// terminated: the probe cuts what the harness gives it, the shell must not.
void Put(char *dest, size_t size, const char *source)
{
    if (size == 0)
        return;
    size_t length = strlen(source);
    if (length >= size)
        length = size - 1;
    memcpy(dest, source, length);
    dest[length] = 0;
}

long ParseNumber(const char *text)
{
    return static_cast<long>(strtoll(text, nullptr, 0));
}

// ---------------------------------------------------------------------------
// Configuration

// The value of `key` in `section` of probe.ini, or `fallback`.
void Setting(const char *section, const char *key, char *value, size_t size,
             const char *fallback = "")
{
    GetPrivateProfileStringA(section, key, fallback, value, static_cast<DWORD>(size), g_ini);
}

long NumberSetting(const char *section, const char *key, long fallback)
{
    char value[64];
    Setting(section, key, value, sizeof value);
    return value[0] ? ParseNumber(value) : fallback;
}

// The answer for call `n` of `hook`: the n-th of the listed results, the last
// one once the list is used up, or the default when nothing is listed.
int Answer(Hook hook, int n)
{
    char list[kValueSize];
    Setting(kHookNames[hook], "answer", list, sizeof list);
    int answer = hook == kDemoQuery ? 0 : 1;
    char *cursor = list;
    for (int i = 1; *cursor; ++i) {
        char *end = nullptr;
        long value = strtol(cursor, &end, 0);
        if (end == cursor)
            break;
        answer = static_cast<int>(value);
        if (i == n)
            break;
        while (*end == ' ' || *end == ',')
            ++end;
        cursor = end;
    }
    return answer;
}

// The value of field `key` in "key=value|key=value", cut to `size`.
// Returns false (and an empty value) when the field is not there.
bool Field(const char *fields, const char *key, char *value, size_t size)
{
    size_t keyLength = strlen(key);
    const char *piece = fields;
    while (*piece) {
        const char *end = strchr(piece, '|');
        size_t length = end ? static_cast<size_t>(end - piece) : strlen(piece);
        if (length > keyLength && piece[keyLength] == '=' && !strncmp(piece, key, keyLength)) {
            size_t valueLength = length - keyLength - 1;
            if (valueLength >= size)
                valueLength = size - 1;
            memcpy(value, piece + keyLength + 1, valueLength);
            value[valueLength] = 0;
            return true;
        }
        if (!end)
            break;
        piece = end + 1;
    }
    if (size)
        value[0] = 0;
    return false;
}

int NumberField(const char *fields, const char *key)
{
    char value[64];
    return Field(fields, key, value, sizeof value) ? static_cast<int>(ParseNumber(value)) : 0;
}

// ---------------------------------------------------------------------------
// Log lines

void Begin(JsonLine &line, const char *event)
{
    JsonBegin(line);
    JsonText(line, "event", event);
    JsonInt(line, "t", GetTickCount());
}

void BeginHook(JsonLine &line, const char *event, Hook hook)
{
    Begin(line, event);
    JsonText(line, "hook", kHookNames[hook]);
}

// Appends the line to the log file, opening and closing it around the write.
void Log(JsonLine &line)
{
    JsonEnd(line);
    char name[MAX_PATH];
    char path[2 * MAX_PATH];
    Setting("probe", "log", name, sizeof name, "probe.log");
    bool absolute = name[0] == '\\' || (name[0] && name[1] == ':');
    Put(path, sizeof path, absolute ? "" : g_folder);
    size_t used = strlen(path);
    Put(path + used, sizeof path - used, name);

    HANDLE file =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.text, static_cast<DWORD>(line.used), &written, nullptr);
    CloseHandle(file);
}

// ---------------------------------------------------------------------------
// Actions

void LogAction(Hook hook, const char *action, const char *args, long long result)
{
    JsonLine line;
    BeginHook(line, "action", hook);
    JsonText(line, "action", action);
    JsonText(line, "args", args);
    JsonInt(line, "result", result);
    Log(line);
}

LRESULT SendToMain(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(g_mainWindow, message, wParam, lParam);
}

void SendAction(Hook hook, const char *args)
{
    char *end = nullptr;
    long message = strtol(args, &end, 0);
    long wParam = strtol(end, &end, 0);
    long lParam = strtol(end, &end, 0);
    LRESULT result = SendToMain(static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                                static_cast<LPARAM>(lParam));
    LogAction(hook, "send", args, result);
}

void CopyAction(Hook hook, const char *args, bool unterminated)
{
    CopyRequest request = {};
    if (unterminated)
        memset(request.sourceName, 'S', sizeof request.sourceName);
    else
        Field(args, "source", request.sourceName, sizeof request.sourceName);
    Field(args, "dest", request.destName, sizeof request.destName);
    Field(args, "sub", request.subFolder, sizeof request.subFolder);
    request.toWindowsFolder = NumberField(args, "windows");
    request.spareFlag1 = NumberField(args, "spare1");
    request.overwrite = NumberField(args, "overwrite");
    request.spareFlag2 = NumberField(args, "spare2");
    request.size = NumberField(args, "size");
    request.absolutePaths = NumberField(args, "absolute");
    LRESULT result = SendToMain(SM_ADDCOPYENTRY, 0, reinterpret_cast<LPARAM>(&request));
    LogAction(hook, unterminated ? "copyunterminated" : "copy", args, result);
}

void AddInAction(Hook hook, const char *args)
{
    AddInRequest request = {};
    Field(args, "description", request.description, sizeof request.description);
    Field(args, "file", request.fileName, sizeof request.fileName);
    Field(args, "parameters", request.parameters, sizeof request.parameters);
    LRESULT result = SendToMain(SM_ADDADDIN, 0, reinterpret_cast<LPARAM>(&request));
    LogAction(hook, "addin", args, result);
}

void FileListAction(Hook hook, const char *args)
{
    char name[MAX_PATH];
    Put(name, sizeof name, args);
    LRESULT result = SendToMain(SM_ADDFILELIST, 0, reinterpret_cast<LPARAM>(name));
    LogAction(hook, "filelist", args, result);
}

// Logs every item SM_GETINSTALLED gives, one "installed" line each.
void InstalledAction(Hook hook)
{
    int n = 0;
    for (;; ++n) {
        InstalledItem item = {};
        item.size = sizeof item;
        if (!SendToMain(SM_GETINSTALLED, n, reinterpret_cast<LPARAM>(&item)))
            break;
        JsonLine line;
        BeginHook(line, "installed", hook);
        JsonInt(line, "kind", item.kind);
        JsonText(line, "path", item.path);
        JsonInt(line, "bytes", item.sizeLow);
        JsonInt(line, "stamped", item.written.dwLowDateTime || item.written.dwHighDateTime);
        Log(line);
    }
    LogAction(hook, "installed", "", n);
}

void ShortcutAction(Hook hook, const char *args)
{
    ShortcutRequest request = {};
    Field(args, "description", request.description, sizeof request.description);
    Field(args, "name", request.linkName, sizeof request.linkName);
    Field(args, "folder", request.linkFolder, sizeof request.linkFolder);
    Field(args, "file", request.targetFile, sizeof request.targetFile);
    Field(args, "targetFolder", request.targetFolder, sizeof request.targetFolder);
    Field(args, "arguments", request.arguments, sizeof request.arguments);
    char csidl[32];
    LPITEMIDLIST list = nullptr;
    if (Field(args, "csidl", csidl, sizeof csidl) &&
        SUCCEEDED(
            SHGetSpecialFolderLocation(nullptr, static_cast<int>(ParseNumber(csidl)), &list))) {
        request.itemIdList = list;
        request.useItemIdList = 1;
    }
    LRESULT result = SendToMain(SM_CREATESHORTCUT, 0, reinterpret_cast<LPARAM>(&request));
    if (list)
        ILFree(list);
    LogAction(hook, "shortcut", args, result);
}

// Runs the thread's messages for `milliseconds`, like a module's own modal
// loop would. Returns 1 when it stopped early because the main window went
// away or the quit message came (which is posted again for the shell's loop).
int Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return 1;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (!IsWindow(g_mainWindow))
            return 1;
        DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return 0;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

void CaptionAction(Hook hook)
{
    char caption[1024] = "";
    GetWindowTextA(g_mainWindow, caption, sizeof caption);
    JsonLine line;
    BeginHook(line, "action", hook);
    JsonText(line, "action", "caption");
    JsonText(line, "caption", caption);
    JsonInt(line, "visible", IsWindowVisible(g_mainWindow) ? 1 : 0);
    JsonInt(line, "enabled", IsWindowEnabled(g_mainWindow) ? 1 : 0);
    JsonInt(line, "result", IsWindow(g_mainWindow) ? 1 : 0);
    Log(line);
}

void RunAction(Hook hook, char *action)
{
    char *args = action;
    while (*args && *args != ' ')
        ++args;
    if (*args)
        *args++ = 0;
    while (*args == ' ')
        ++args;

    if (!strcmp(action, "send")) {
        SendAction(hook, args);
    } else if (!strcmp(action, "copy")) {
        CopyAction(hook, args, false);
    } else if (!strcmp(action, "copyunterminated")) {
        CopyAction(hook, args, true);
    } else if (!strcmp(action, "addin")) {
        AddInAction(hook, args);
    } else if (!strcmp(action, "filelist")) {
        FileListAction(hook, args);
    } else if (!strcmp(action, "shortcut")) {
        ShortcutAction(hook, args);
    } else if (!strcmp(action, "repaint")) {
        LogAction(hook, action, args, SendToMain(SM_REPAINT, 0, 0));
    } else if (!strcmp(action, "exit")) {
        LogAction(hook, action, args, SendToMain(SM_EXIT, 0, 0));
    } else if (!strcmp(action, "startsender")) {
        LogAction(hook, action, args, SendToMain(SM_STARTSENDER, 0, 0));
    } else if (!strcmp(action, "sleep")) {
        Sleep(static_cast<DWORD>(ParseNumber(args)));
        LogAction(hook, action, args, 0);
    } else if (!strcmp(action, "pump")) {
        LogAction(hook, action, args, Pump(static_cast<DWORD>(ParseNumber(args))));
    } else if (!strcmp(action, "exists")) {
        LogAction(hook, action, args, GetFileAttributesA(args) != INVALID_FILE_ATTRIBUTES);
    } else if (!strcmp(action, "installed")) {
        InstalledAction(hook);
    } else if (!strcmp(action, "caption")) {
        CaptionAction(hook);
    } else if (!strcmp(action, "crash")) {
        LogAction(hook, action, args, 0);
        *static_cast<volatile int *>(nullptr) = 1;
    } else {
        LogAction(hook, action, args, -1);
    }
}

// The actions for call `n` of `hook`: those of [<hook>#<n>] when it has any,
// else those of [<hook>].
void RunActions(Hook hook, int n)
{
    char section[64];
    snprintf(section, sizeof section, "%s#%d", kHookNames[hook], n);
    char action[kValueSize];
    Setting(section, "do1", action, sizeof action);
    if (!action[0])
        Put(section, sizeof section, kHookNames[hook]);
    for (int i = 1;; ++i) {
        char key[16];
        snprintf(key, sizeof key, "do%d", i);
        Setting(section, key, action, sizeof action);
        if (!action[0])
            break;
        RunAction(hook, action);
    }
}

// ---------------------------------------------------------------------------
// Hook frame

int Enter(Hook hook)
{
    return ++g_calls[hook];
}

int Leave(Hook hook, int n)
{
    RunActions(hook, n);
    int result = Answer(hook, n);
    JsonLine line;
    BeginHook(line, "return", hook);
    JsonInt(line, "n", n);
    JsonInt(line, "result", result);
    Log(line);
    return result;
}

void BeginCall(JsonLine &line, Hook hook, int n)
{
    BeginHook(line, "call", hook);
    JsonInt(line, "n", n);
}

// Logs a call that has no arguments, runs its actions and answers.
int PlainHook(Hook hook)
{
    int n = Enter(hook);
    JsonLine line;
    BeginCall(line, hook, n);
    Log(line);
    return Leave(hook, n);
}

// Logs a call with one path argument, runs its actions and answers.
int PathHook(Hook hook, const char *name, const char *path)
{
    int n = Enter(hook);
    JsonLine line;
    BeginCall(line, hook, n);
    JsonText(line, name, path);
    Log(line);
    return Leave(hook, n);
}

// Writes the configured text `key` of `hook` into a buffer of the shell's, if
// one is configured, and logs it.
void WriteBuffer(Hook hook, const char *key, char *buffer, size_t size)
{
    char value[kValueSize];
    Setting(kHookNames[hook], key, value, sizeof value);
    if (!value[0])
        return;
    Put(buffer, size, value);
    JsonLine line;
    BeginHook(line, "write", hook);
    JsonText(line, "field", key);
    JsonText(line, "value", buffer);
    Log(line);
}

// InitModule's title: the configured text or a run of 'T's, written past the
// 176 bytes when configured so.
void WriteTitle(char *title)
{
    char value[kValueSize];
    long fill = NumberSetting("InitModule", "titleFill", 0);
    if (fill > 0) {
        size_t count = static_cast<size_t>(fill) < kTitleLimit ? fill : kTitleLimit;
        memset(value, 'T', count);
        value[count] = 0;
    } else {
        Setting("InitModule", "title", value, sizeof value);
        if (!value[0])
            return;
        value[kTitleLimit] = 0;
    }
    memcpy(title, value, strlen(value) + 1);
    JsonLine line;
    BeginHook(line, "write", kInitModule);
    JsonText(line, "field", "title");
    JsonText(line, "value", value);
    Log(line);
}

// ---------------------------------------------------------------------------
// The sender window

void Reply(HWND sender)
{
    HWND parent = GetParent(sender);
    if (NumberSetting("sender", "exit", 0)) {
        LRESULT result = SendMessageA(parent, SM_EXIT, 0, 0);
        JsonLine line;
        Begin(line, "sender-exit");
        JsonInt(line, "result", result);
        Log(line);
        return;
    }
    long lParam = NumberSetting("sender", "reply", 0x8000);
    for (long i = NumberSetting("sender", "repeat", 1); i > 0; --i) {
        LRESULT result = SendMessageA(parent, SM_SENDERREPLY, 0, lParam);
        JsonLine line;
        Begin(line, "reply");
        JsonInt(line, "lParam", lParam);
        JsonInt(line, "result", result);
        Log(line);
    }
}

void OnSenderCreate(HWND sender)
{
    JsonLine line;
    Begin(line, "sender-created");
    JsonHandle(line, "hwnd", sender);
    JsonHandle(line, "parent", GetParent(sender));
    Log(line);
}

void OnSenderStart(HWND sender, UINT message, WPARAM wParam, LPARAM lParam)
{
    JsonLine line;
    Begin(line, "sender");
    JsonHandle(line, "hwnd", sender);
    JsonHandle(line, "parent", GetParent(sender));
    JsonInt(line, "message", message);
    JsonInt(line, "wParam", static_cast<long long>(wParam));
    JsonInt(line, "lParam", lParam);
    Log(line);
    long delay = NumberSetting("sender", "delay", 0);
    if (delay > 0)
        SetTimer(sender, kReplyTimer, static_cast<UINT>(delay), nullptr);
    else
        Reply(sender);
}

LRESULT CALLBACK SenderProc(HWND sender, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnSenderCreate(sender);
        return 0;
    case SENDER_START:
        OnSenderStart(sender, message, wParam, lParam);
        return 0;
    case WM_TIMER:
        KillTimer(sender, kReplyTimer);
        Reply(sender);
        return 0;
    default:
        return DefWindowProcA(sender, message, wParam, lParam);
    }
}

// Registers "sender" under the shell's instance, so that the shell's
// CreateWindow with its own instance finds it.
void RegisterSender(HWND mainWindow)
{
    WNDCLASSA senderClass = {};
    senderClass.lpfnWndProc = SenderProc;
    senderClass.hInstance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(mainWindow, GWLP_HINSTANCE));
    senderClass.lpszClassName = "sender";
    ATOM atom = RegisterClassA(&senderClass);
    JsonLine line;
    Begin(line, "register");
    JsonHandle(line, "instance", senderClass.hInstance);
    JsonInt(line, "result", atom != 0);
    Log(line);
}

// HCBT_SYSCOMMAND comes from the default window procedure just before it
// carries a system command out; a command the window procedure handled
// itself never gets there.
LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_SYSCOMMAND) {
        char caption[256] = "";
        GetWindowTextA(GetActiveWindow(), caption, sizeof caption);
        JsonLine line;
        Begin(line, "syscommand");
        JsonInt(line, "command", static_cast<long long>(wParam));
        JsonText(line, "active", caption);
        Log(line);
    }
    return CallNextHookEx(g_cbtHook, code, wParam, lParam);
}

bool AllZero(const char *buffer, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (buffer[i])
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// The hooks

extern "C" {

int WINAPI InitModule(HWND mainWindow, char *sourceDir, char *moduleTitle, HMODULE module)
{
    g_mainWindow = mainWindow;
    int n = Enter(kInitModule);
    char className[256] = "";
    GetClassNameA(mainWindow, className, sizeof className);
    char caption[1024] = "";
    GetWindowTextA(mainWindow, caption, sizeof caption);

    JsonLine line;
    BeginCall(line, kInitModule, n);
    JsonHandle(line, "window", mainWindow);
    JsonText(line, "class", className);
    JsonText(line, "caption", caption);
    JsonInt(line, "visible", IsWindowVisible(mainWindow) ? 1 : 0);
    JsonText(line, "sourceDir", sourceDir);
    JsonInt(line, "titleZero", AllZero(moduleTitle, SETUP_MODULE_TITLE_SIZE));
    JsonHandle(line, "module", module);
    JsonInt(line, "ownHandle", module == g_self);
    Log(line);

    if (NumberSetting("sender", "register", 0))
        RegisterSender(mainWindow);
    if (NumberSetting("probe", "syscommands", 0) && !g_cbtHook)
        g_cbtHook = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
    WriteTitle(moduleTitle);
    return Leave(kInitModule, n);
}

int WINAPI Present(char *scratch)
{
    int n = Enter(kPresent);
    JsonLine line;
    BeginCall(line, kPresent, n);
    JsonInt(line, "scratch", scratch != nullptr);
    Log(line);
    return Leave(kPresent, n);
}

int WINAPI SetDestDir(char *destDir)
{
    int n = Enter(kSetDestDir);
    JsonLine line;
    BeginCall(line, kSetDestDir, n);
    JsonText(line, "destDir", destDir);
    Log(line);
    WriteBuffer(kSetDestDir, "destDir", destDir, SETUP_PATH_SIZE);
    return Leave(kSetDestDir, n);
}

int WINAPI FileConflict(char *destPath, char *sourcePath)
{
    int n = Enter(kFileConflict);
    JsonLine line;
    BeginCall(line, kFileConflict, n);
    JsonText(line, "destPath", destPath);
    JsonText(line, "sourcePath", sourcePath);
    Log(line);
    return Leave(kFileConflict, n);
}

int WINAPI GetAddInList(void)
{
    return PlainHook(kGetAddInList);
}

int WINAPI StartCopy(void)
{
    return PlainHook(kStartCopy);
}

int WINAPI UserCancel(void)
{
    return PlainHook(kUserCancel);
}

int WINAPI CriticError(char *failedPath)
{
    return PathHook(kCriticError, "failedPath", failedPath);
}

int WINAPI NonCriticError(char *failedPath)
{
    return PathHook(kNonCriticError, "failedPath", failedPath);
}

int WINAPI EndCopy(void)
{
    return PlainHook(kEndCopy);
}

int WINAPI CreateShortcuts(void)
{
    return PlainHook(kCreateShortcuts);
}

int WINAPI GenIniFiles(void)
{
    return PlainHook(kGenIniFiles);
}

int WINAPI GetAddInOff(void)
{
    return PlainHook(kGetAddInOff);
}

int WINAPI EndSetup(void)
{
    return PlainHook(kEndSetup);
}

int WINAPI DemoQuery(char *program, char *document)
{
    int n = Enter(kDemoQuery);
    JsonLine line;
    BeginCall(line, kDemoQuery, n);
    Log(line);
    WriteBuffer(kDemoQuery, "program", program, SETUP_PATH_SIZE);
    WriteBuffer(kDemoQuery, "document", document, SETUP_PATH_SIZE);
    return Leave(kDemoQuery, n);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
        char path[MAX_PATH] = "";
        DWORD length = GetModuleFileNameA(instance, path, sizeof path);
        if (length == 0 || length >= sizeof path)
            path[0] = 0;
        Put(g_folder, sizeof g_folder, path);
        char *slash = strrchr(g_folder, '\\');
        if (slash)
            slash[1] = 0;
        Put(g_ini, sizeof g_ini, g_folder);
        size_t used = strlen(g_ini);
        Put(g_ini + used, sizeof g_ini - used, "probe.ini");
        JsonLine line;
        Begin(line, "attach");
        JsonText(line, "path", path);
        Log(line);
    } else if (reason == DLL_PROCESS_DETACH) {
        // The hook procedure goes away with this library.
        if (g_cbtHook)
            UnhookWindowsHookEx(g_cbtHook);
        g_cbtHook = nullptr;
        JsonLine line;
        Begin(line, "detach");
        JsonInt(line, "freed", reserved == nullptr);
        Log(line);
    }
    return TRUE;
}

} // extern "C"
