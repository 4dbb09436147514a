// A message box blocks the thread that shows it. In these tests a helper
// thread finds every dialog box of this process on the (virtual) display,
// notes what it says and how it looks, and presses OK for the user.
#pragma once

#include <windows.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
    std::string caption;
    std::string text;
    HWND owner;
    int buttons; // visible push buttons
    int icons;   // visible icon statics
};

class BoxWatcher
{
  public:
    BoxWatcher() : thread_([this] { Run(); }) {}
    ~BoxWatcher()
    {
        stop_ = true;
        thread_.join();
    }
    std::vector<SeenBox> Seen()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return seen_;
    }
    void Forget()
    {
        std::lock_guard<std::mutex> hold(lock_);
        seen_.clear();
    }

  private:
    static BOOL CALLBACK FindOurs(HWND window, LPARAM found)
    {
        char cls[32] = "";
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        GetClassNameA(window, cls, sizeof cls);
        if (process == GetCurrentProcessId() && strcmp(cls, "#32770") == 0 &&
            IsWindowVisible(window)) {
            *reinterpret_cast<HWND *>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    static HICON IconOf(HWND iconStatic)
    {
        DWORD_PTR icon = 0;
        SendMessageTimeoutA(iconStatic, STM_GETICON, 0, 0, SMTO_BLOCK, 1000, &icon);
        return reinterpret_cast<HICON>(icon);
    }
    static BOOL CALLBACK Describe(HWND child, LPARAM seen)
    {
        SeenBox &box = *reinterpret_cast<SeenBox *>(seen);
        if (!IsWindowVisible(child))
            return TRUE;
        char cls[32] = "";
        char text[512] = "";
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (_stricmp(cls, "Button") == 0)
            ++box.buttons;
        else if (_stricmp(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
            box.icons += IconOf(child) ? 1 : 0; // the template's icon place may stay empty
        else if (_stricmp(cls, "Static") == 0 && text[0])
            box.text = text;
        return TRUE;
    }
    void Run()
    {
        while (!stop_) {
            HWND box = nullptr;
            EnumWindows(FindOurs, reinterpret_cast<LPARAM>(&box));
            if (!box) {
                Sleep(5);
                continue;
            }
            SeenBox seen = {};
            char caption[256] = "";
            GetWindowTextA(box, caption, sizeof caption);
            seen.caption = caption;
            seen.owner = GetWindow(box, GW_OWNER);
            EnumChildWindows(box, Describe, reinterpret_cast<LPARAM>(&seen));
            {
                std::lock_guard<std::mutex> hold(lock_);
                seen_.push_back(seen);
            }
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            while (IsWindow(box) && !stop_)
                Sleep(2);
        }
    }

    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<SeenBox> seen_;
    std::thread thread_;
};
