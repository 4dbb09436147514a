// The sample product's demonstration program (installed as DEMO.EXE).
//
// setup.exe starts it at the end of an installation with the document path
// as its argument. It shows the document in a window, and appends its
// command line and working directory to "demo-launch.txt" beside itself, so
// that a test or a curious user can see how it was started.
#include <windows.h>
#include <string.h>

namespace
{

constexpr int kTextSize = 32768;

void RecordLaunch()
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    char *slash = strrchr(self, '\\');
    if (length == 0 || length >= sizeof self || !slash ||
        static_cast<size_t>(slash - self) + 17 >= sizeof self)
        return;
    lstrcpynA(slash + 1, "demo-launch.txt", static_cast<int>(sizeof self - (slash + 1 - self)));
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);

    HANDLE file =
        CreateFileA(self, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const char *parts[] = {"command=", GetCommandLineA(), "\r\ncwd=", cwd, "\r\n"};
    for (const char *part : parts) {
        DWORD written;
        WriteFile(file, part, static_cast<DWORD>(strlen(part)), &written, nullptr);
    }
    CloseHandle(file);
}

// The argument part of the command line: the document's path.
const char *DocumentPath()
{
    const char *p = GetCommandLineA();
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {
        }
        if (*p)
            ++p;
    } else {
        while (*p && *p != ' ')
            ++p;
    }
    while (*p == ' ')
        ++p;
    return p;
}

void LoadDocument(HWND edit)
{
    static char text[kTextSize];
    HANDLE file = CreateFileA(DocumentPath(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetWindowTextA(edit, "The demonstration document could not be opened.");
        return;
    }
    DWORD count = 0;
    ReadFile(file, text, kTextSize - 1, &count, nullptr);
    text[count] = 0;
    CloseHandle(file);
    SetWindowTextA(edit, text);
}

LRESULT CALLBACK DemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        HWND edit =
            CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0,
                            0, 0, window, reinterpret_cast<HMENU>(1), nullptr, nullptr);
        SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), 0);
        LoadDocument(edit);
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, 1), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    RecordLaunch();
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DemoProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = "HarbourAtlasDemo";
    RegisterClassA(&cls);
    HWND window =
        CreateWindowExA(0, cls.lpszClassName, "Harbour Atlas - Demonstration", WS_OVERLAPPEDWINDOW,
                        120, 90, 480, 320, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
