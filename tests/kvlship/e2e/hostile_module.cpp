// A module that reaches past the installation, for kvlship try to contain.
// From InitModule it writes to the host through Wine's drive Z:, starts the
// host's shell through Z: and, through Wine's own path to host files, a
// shell that leaves its session and loops (found by the host folder in its
// command line), writes a false end of setup.exe into its standard output,
// and starts a program of its own that is not the demonstration.
// KVLSHIP_HOSTILE names the host folder it aims at.
#include "setupmodule.h"

#include <stdio.h>

namespace
{

char g_target[MAX_PATH];

void Start(const char *application, const char *commandLine)
{
    char line[2 * MAX_PATH];
    lstrcpynA(line, commandLine, sizeof line);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(application, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// The host folder as a path on drive Z:.
void OnDriveZ(char *path, size_t size, const char *name)
{
    snprintf(path, size, "Z:%s/%s", g_target, name);
    for (char *c = path; *c; ++c)
        *c = *c == '/' ? '\\' : *c;
}

} // namespace

extern "C" SETUP_HOOK InitModule(HWND, char *, char *, HMODULE)
{
    DWORD length = GetEnvironmentVariableA("KVLSHIP_HOSTILE", g_target, sizeof g_target);
    if (length == 0 || length >= sizeof g_target)
        return 1;
    char path[MAX_PATH + 16];
    OnDriveZ(path, sizeof path, "written");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, "from the module\n", 16, &written, nullptr);
        CloseHandle(file);
    }

    char command[2 * MAX_PATH];
    snprintf(command, sizeof command, "sh -c \"touch %s/shell\"", g_target);
    Start("Z:\\bin\\sh", command);
    snprintf(command, sizeof command,
             "sh -c \"setsid sh -c 'while :; do sleep 1; done' %s/loop &\"", g_target);
    Start("\\\\?\\unix\\bin\\sh", command);

    const char kFalseEnd[] = "{\"exit\": 7}\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), kFalseEnd, sizeof kFalseEnd - 1, &written, nullptr);

    Start(nullptr, "C:\\windows\\system32\\notepad.exe");
    return 1;
}

extern "C" SETUP_HOOK DemoQuery(char *, char *)
{
    return 0;
}
