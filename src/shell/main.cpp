// setup.exe: installs one product from its distribution folder, led by the
// product's setup module.
#include <windows.h>

#include "core/context.h"
#include "shell/mainwnd.h"
#include "shell/startup.h"
#include "util/text.h"
#include "util/window.h"

namespace {

bool RegisterMainClass()
{
    WNDCLASSA mainClass = {};
    mainClass.style = CS_HREDRAW | CS_VREDRAW;
    mainClass.lpfnWndProc = WndProc;
    mainClass.hInstance = g_setup.instance;
    mainClass.hIcon = LoadIconA(g_setup.instance, "SETUPICO");
    mainClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // Nothing is ever erased: the paint covers the whole client area.
    mainClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    mainClass.lpszClassName = kMainClass;
    return RegisterClassA(&mainClass) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (FindWindowA("KARVELOENGINE", nullptr)) {
        TellUser(nullptr, "Please exit the KARVELO ENGINE before running setup", "KARVELO SETUP");
        return 0;
    }

    g_setup.instance = instance;
    // The CRT's own argument split differs in which blanks it skips; take the
    // arguments from the raw command line instead.
    if (CopyText(g_setup.commandLine, ArgumentsOf(GetCommandLineA())) < 0)
        g_setup.commandLineTooLong = 1;
    g_setup.tileBitmap = LoadBitmapA(instance, "IDB_BACKGRND");

    if (!RegisterMainClass())
        return 0;

    HWND window = CreateWindowExA(0, kMainClass, "KARVELO - Setup", WS_CAPTION, 0, 0, kMainWidth,
                                  kMainHeight, nullptr, nullptr, instance, nullptr);
    CenterWindow(window, 0, 0, 0, 0);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
