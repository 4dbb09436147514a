// Reading winlist's answers (tools/winlist, run under Wine): its JSON lines
// of windows and processes, and what the trial makes of them: the shell's
// dialogs, Wine's own helper programs, the demonstration's launch. Portable;
// the running of winlist is winlisttool.h's.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "setupcontrols.h"

// The shell's windows, as its resources make them.
constexpr char kDialogClass[] = "#32770";
constexpr char kCopyClass[] = "COPYINGWND";
constexpr char kStatusCaption[] = SETUP_DIALOG_CAPTION;
constexpr int kAgreeButton = IDC_AGREE;
constexpr int kStatusText = IDC_STATUS;

// One of winlist's JSON lines: a flat object of strings, numbers and number lists.
struct JsonFields {
    std::map<std::string, std::string> texts;
    std::map<std::string, long long> numbers;
    std::map<std::string, std::vector<long long>> lists;

    bool Has(const std::string &key) const { return texts.count(key) || numbers.count(key); }
    std::string Text(const std::string &key) const
    {
        auto found = texts.find(key);
        return found == texts.end() ? std::string() : found->second;
    }
    long long Number(const std::string &key, long long fallback = 0) const
    {
        auto found = numbers.find(key);
        return found == numbers.end() ? fallback : found->second;
    }
};

// Reads one line; false for anything that is not a whole object.
bool ParseJsonLine(const std::string &line, JsonFields *fields);

// Windows as winlist lists them.
struct Window {
    std::string hwnd, top, owner;
    int depth = 0;
    int id = 0;
    long long pid = 0;
    long long style = 0;
    bool visible = false;
    std::string className, text;
};

bool IsButton(const Window &window);
bool IsStatic(const Window &window);
std::string WithoutAmpersands(std::string text);

// A top-level window and the windows inside it, in winlist's order.
struct TopWindow {
    Window frame;
    std::vector<Window> inner;

    const Window *Control(int id) const
    {
        for (const Window &w : inner)
            if (w.id == id)
                return &w;
        return nullptr;
    }
    std::vector<const Window *> Buttons() const
    {
        std::vector<const Window *> buttons;
        for (const Window &w : inner)
            if (IsButton(w))
                buttons.push_back(&w);
        return buttons;
    }
    std::string StaticTexts() const
    {
        std::string text;
        for (const Window &w : inner) {
            if (!IsStatic(w) || w.text.empty())
                continue;
            if (!text.empty())
                text += '\n';
            text += w.text;
        }
        return text;
    }
    bool IsDialog() const { return frame.className == kDialogClass; }
    // True when this window or one inside it of `className` is visible.
    bool Shows(const char *className) const
    {
        if (frame.className == className)
            return frame.visible;
        for (const Window &w : inner)
            if (w.className == className && w.visible)
                return true;
        return false;
    }
    bool IsPresentation() const
    {
        const Window *agree = Control(kAgreeButton);
        return IsDialog() && agree && IsButton(*agree);
    }
    // True when it is the status dialog saying `words` (SETUP_PREPARING_TEXT,
    // SETUP_SHORTCUTS_TEXT).
    bool IsStatus(const char *words) const
    {
        const Window *status = Control(kStatusText);
        return IsDialog() && frame.text == kStatusCaption && status &&
               status->text.find(words) != std::string::npos;
    }
};

// winlist's listing, top-level windows with the windows inside each.
std::vector<TopWindow> ParseWindows(const std::string &listing);

// Programs Wine starts for itself from whichever program comes first: the
// desktop's explorer and the services. None of them is a demonstration.
bool IsWineHelper(const JsonFields &process);

// True when a program setup.exe started is the demonstration as the shell
// starts it: in the destination folder, as "<folder>\<program>", quoted
// when it holds a blank, then " <folder>\Demos\<document>". A program the
// module starts from its hooks is a child of setup.exe as well.
bool IsShellDemo(const std::string &commandLine, std::string folder);
