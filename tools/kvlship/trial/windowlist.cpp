// Reading winlist's lines (see windowlist.h).
#include "trial/windowlist.h"

#include "common/hostfs.h"
#include "common/lines.h"
#include "common/textout.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace
{

bool StartsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

class JsonReader
{
  public:
    explicit JsonReader(const std::string &text) : text_(text) {}

    bool Object(JsonFields *fields)
    {
        if (!Take('{'))
            return false;
        if (Take('}'))
            return true;
        do {
            std::string key;
            if (!String(&key) || !Take(':') || !Value(key, fields))
                return false;
        } while (Take(','));
        return Take('}');
    }

  private:
    void Blanks()
    {
        while (at_ < text_.size() && isspace(static_cast<unsigned char>(text_[at_])))
            ++at_;
    }
    bool Take(char c)
    {
        Blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Hex4(unsigned *value)
    {
        if (at_ + 4 > text_.size())
            return false;
        *value = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text_[at_++];
            int digit = isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : (c >= 'a' && c <= 'f')               ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F')               ? c - 'A' + 10
                                                               : -1;
            if (digit < 0)
                return false;
            *value = *value * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    bool Escape(std::string *out)
    {
        if (at_ >= text_.size())
            return false;
        static const char kNames[] = "\"\\/bfnrt";
        static const char kMeanings[] = "\"\\/\b\f\n\r\t";
        char c = text_[at_++];
        if (c != 'u') {
            const char *name = c ? strchr(kNames, c) : nullptr;
            if (!name)
                return false;
            *out += kMeanings[name - kNames];
            return true;
        }
        unsigned code;
        if (!Hex4(&code))
            return false;
        if (code >= 0xD800 && code < 0xDC00 && text_.compare(at_, 2, "\\u") == 0) {
            size_t back = at_;
            unsigned low;
            at_ += 2;
            if (Hex4(&low) && low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(*out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            at_ = back;
        }
        AppendUtf8(*out, code >= 0xD800 && code < 0xE000 ? 0xFFFD : code);
        return true;
    }
    bool String(std::string *out)
    {
        if (!Take('"'))
            return false;
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c == '"')
                return true;
            if (c != '\\')
                *out += c;
            else if (!Escape(out))
                return false;
        }
        return false;
    }
    bool Number(long long *value)
    {
        Blanks();
        const char *start = text_.c_str() + at_;
        char *end = nullptr;
        errno = 0;
        *value = strtoll(start, &end, 10);
        if (end == start || errno)
            return false;
        at_ += static_cast<size_t>(end - start);
        return true;
    }
    bool Value(const std::string &key, JsonFields *fields)
    {
        Blanks();
        if (at_ >= text_.size())
            return false;
        if (text_[at_] == '"')
            return String(&fields->texts[key]);
        if (!Take('['))
            return Number(&fields->numbers[key]);
        std::vector<long long> &list = fields->lists[key];
        if (Take(']'))
            return true;
        do {
            long long value;
            if (!Number(&value))
                return false;
            list.push_back(value);
        } while (Take(','));
        return Take(']');
    }

    const std::string &text_;
    size_t at_ = 0;
};

} // namespace

bool ParseJsonLine(const std::string &line, JsonFields *fields)
{
    return !line.empty() && line[0] == '{' && JsonReader(line).Object(fields);
}

bool IsButton(const Window &window)
{
    return Lowered(window.className) == "button";
}

bool IsStatic(const Window &window)
{
    return Lowered(window.className) == "static";
}

std::string WithoutAmpersands(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

std::vector<TopWindow> ParseWindows(const std::string &listing)
{
    std::vector<TopWindow> tops;
    for (const std::string &line : SplitLines(listing)) {
        JsonFields fields;
        if (ParseJsonLine(line, &fields) && fields.Has("hwnd")) {
            Window w;
            w.hwnd = fields.Text("hwnd");
            w.top = fields.Text("top");
            w.owner = fields.Text("owner");
            w.depth = static_cast<int>(fields.Number("depth"));
            w.id = static_cast<int>(fields.Number("id"));
            w.pid = fields.Number("pid");
            w.style = fields.Number("style");
            w.visible = fields.Number("visible") != 0;
            w.className = fields.Text("class");
            w.text = fields.Text("text");
            if (w.depth == 0)
                tops.push_back(TopWindow{w, {}});
            else if (!tops.empty() && tops.back().frame.hwnd == w.top)
                tops.back().inner.push_back(w);
        }
    }
    return tops;
}

bool IsWineHelper(const JsonFields &process)
{
    static const char *const kHelpers[] = {"winemenubuilder.exe", "conhost.exe",  "services.exe",
                                           "winedevice.exe",      "plugplay.exe", "svchost.exe",
                                           "rpcss.exe",           "wineboot.exe"};
    std::string exe = Lowered(process.Text("exe"));
    // A process caught as it starts has its image path before its name.
    if (exe.empty())
        exe = Lowered(process.Text("image")).substr(process.Text("image").rfind('\\') + 1);
    if (exe == "explorer.exe")
        return Lowered(process.Text("cmdline")).find("/desktop") != std::string::npos;
    for (const char *helper : kHelpers)
        if (exe == helper)
            return true;
    return false;
}

bool IsShellDemo(const std::string &commandLine, std::string folder)
{
    while (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    bool quoted = StartsWith(commandLine, "\"");
    size_t end = quoted ? commandLine.find('"', 1) : commandLine.find(' ');
    if (end == std::string::npos)
        return false;
    std::string program = commandLine.substr(quoted ? 1 : 0, end - (quoted ? 1 : 0));
    std::string rest = commandLine.substr(end + (quoted ? 1 : 0));
    std::string below = Lowered(folder + "\\");
    return !folder.empty() && StartsWith(Lowered(program), below) &&
           StartsWith(Lowered(rest), " " + below + "demos\\");
}
