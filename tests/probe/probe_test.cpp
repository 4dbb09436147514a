// The probe module of the end-to-end bench, called directly, against a window
// of our own that stands in for the shell's main window. Only what would let
// a scenario pass wrongly is checked here: what the probe logs of its calls, a
// title it must write past the shell's limit, the fields of its requests, the
// sender's delay and how it was released. A probe that fails to act at all
// makes its scenarios fail by themselves.
#include "module.h"
#include "setupmodule.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

// What the stand-in main window received.
struct Received {
    std::vector<UINT> messages;
    std::vector<LPARAM> lParams;
    CopyRequest copy;
    DWORD replyTick;
};

Received g_received;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case SM_ADDCOPYENTRY:
        memcpy(&g_received.copy, reinterpret_cast<void *>(lParam), sizeof(CopyRequest));
        break;
    case SM_SENDERREPLY:
        g_received.replyTick = GetTickCount();
        break;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
    g_received.messages.push_back(message);
    g_received.lParams.push_back(lParam);
    return 7; // not a result the shell gives, so that the log is seen to carry it
}

using InitModuleFn = int(WINAPI *)(HWND, char *, char *, HMODULE);
using PlainFn = int(WINAPI *)();

class Probe : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_received = Received{};
        ASSERT_TRUE(CopyFileA((testfs::ExeFolder() + "probe.dll").c_str(),
                              (folder_ + "probe.dll").c_str(), FALSE));
        window_ = StandInWindow("PROBE_TEST_MAIN", MainProc, "stand-in");
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
        DestroyWindow(window_);
    }

    void WriteIni(const std::string &text)
    {
        ASSERT_TRUE(testfs::WriteWhole(folder_ + "probe.ini", text));
    }

    void Load()
    {
        module_ = LoadLibraryA((folder_ + "probe.dll").c_str());
        ASSERT_NE(module_, nullptr);
    }

    template <typename Fn> Fn Hook(const char *name) { return ExportOf<Fn>(module_, name); }

    // Calls InitModule with the stand-in window, as the shell does.
    int Init(char *title)
    {
        char source[] = "C:\\Source\\";
        return Hook<InitModuleFn>("InitModule")(window_, source, title, module_);
    }

    // Writes `ini`, loads the module and calls InitModule with a title buffer of its own.
    void Start(const std::string &ini)
    {
        WriteIni(ini);
        Load();
        char title[1024] = {};
        Init(title);
    }

    std::vector<std::string> Log()
    {
        std::vector<std::string> lines;
        std::string text = testfs::ReadWhole(folder_ + "probe.log"); // no lines when missing
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    // How many log lines hold every one of `parts`.
    size_t Count(std::initializer_list<const char *> parts) { return Lines(parts).size(); }

    // The log lines that hold every one of `parts`.
    std::vector<std::string> Lines(std::initializer_list<const char *> parts)
    {
        std::vector<std::string> found;
        for (const std::string &line : Log()) {
            bool all = true;
            for (const char *part : parts)
                all = all && line.find(part) != std::string::npos;
            if (all)
                found.push_back(line);
        }
        return found;
    }

    // A folder of its own per test, with a copy of probe.dll: the module
    // reads its INI file and writes its log beside itself.
    testfs::TempTree tree_{std::string("probe_test_") +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    std::string folder_ = tree_.Path() + "\\";
    HWND window_ = nullptr;
    HMODULE module_ = nullptr;
};

TEST_F(Probe, InitModuleLogsWhatItWasGiven)
{
    WriteIni("");
    Load();
    char title[SETUP_MODULE_TITLE_SIZE] = {};
    Init(title);
    std::vector<std::string> init = Lines({"\"hook\": \"InitModule\"", "\"event\": \"call\""});
    ASSERT_EQ(init.size(), 1u);
    EXPECT_NE(init[0].find("\"class\": \"PROBE_TEST_MAIN\""), std::string::npos) << init[0];
    EXPECT_NE(init[0].find("\"sourceDir\": \"C:\\\\Source\\\\\""), std::string::npos) << init[0];
    EXPECT_NE(init[0].find("\"titleZero\": 1"), std::string::npos) << init[0];
    EXPECT_NE(init[0].find("\"ownHandle\": 1"), std::string::npos) << init[0];
    EXPECT_NE(init[0].find("\"caption\": \"stand-in\""), std::string::npos) << init[0];

    // A title buffer with one byte set, and another module's handle.
    title[SETUP_MODULE_TITLE_SIZE - 1] = 'x';
    char source[] = "C:\\Source\\";
    Hook<InitModuleFn>("InitModule")(window_, source, title, GetModuleHandleA(nullptr));
    std::vector<std::string> second = Lines({"\"hook\": \"InitModule\"", "\"n\": 2"});
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second[0].find("\"titleZero\": 0"), std::string::npos) << second[0];
    EXPECT_NE(second[0].find("\"ownHandle\": 0"), std::string::npos) << second[0];
}

TEST_F(Probe, OverLongTitleIsWrittenWholePastTheModuleLimit)
{
    // How the scenarios try the shell's guard on the title: a probe that cut
    // the title itself would let a shell without the guard pass.
    WriteIni("[InitModule]\r\ntitle=" + std::string(300, 'T') + "\r\n");
    Load();
    char title[1024];
    memset(title, 0, sizeof title);
    title[301] = 'z';
    Init(title);
    EXPECT_EQ(strlen(title), 300u);
    EXPECT_EQ(title[301], 'z');
    EXPECT_EQ(Count({"\"field\": \"title\"", std::string(300, 'T').c_str()}), 1u);
}

TEST_F(Probe, CopyRequestCarriesEachFieldInItsPlaceAndItsResultIsLogged)
{
    // A field in the wrong place would let a scenario pass on the wrong
    // request (a duplicate by destination taken for one by source).
    Start("[StartCopy]\r\ndo1=copy source=A B.TX_|dest=A B.TXT|sub=Data\\Sub|windows=1|"
          "spare1=2|overwrite=3|spare2=4|size=1234|absolute=5\r\n");
    Hook<PlainFn>("StartCopy")();
    ASSERT_EQ(g_received.messages, (std::vector<UINT>{SM_ADDCOPYENTRY}));
    EXPECT_STREQ(g_received.copy.sourceName, "A B.TX_");
    EXPECT_STREQ(g_received.copy.destName, "A B.TXT");
    EXPECT_STREQ(g_received.copy.subFolder, "Data\\Sub");
    EXPECT_EQ(g_received.copy.toWindowsFolder, 1);
    EXPECT_EQ(g_received.copy.spareFlag1, 2);
    EXPECT_EQ(g_received.copy.overwrite, 3);
    EXPECT_EQ(g_received.copy.spareFlag2, 4);
    EXPECT_EQ(g_received.copy.size, 1234);
    EXPECT_EQ(g_received.copy.absolutePaths, 5);
    EXPECT_EQ(Count({"\"action\": \"copy\"", "\"result\": 7"}), 1u);
}

TEST_F(Probe, SenderAnswersMessage1204AfterItsDelay)
{
    // A reply sent at once would let the scenario of a reply after the start pass untried.
    Start("[sender]\r\nregister=1\r\nreply=0x1234\r\ndelay=150\r\n");
    ASSERT_EQ(Count({"\"event\": \"register\"", "\"result\": 1"}), 1u);
    // What the shell does on SM_STARTSENDER, with our instance standing in for its own.
    HWND sender = CreateWindowExA(0, "sender", nullptr, WS_CHILD, 0, 0, 0, 0, window_, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(sender, nullptr);
    DWORD posted = GetTickCount();
    PostMessageA(sender, SENDER_START, 0, 0);
    MSG message;
    while (!g_received.replyTick && GetTickCount() - posted < 5000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    ASSERT_NE(g_received.replyTick, 0u);
    EXPECT_GE(g_received.replyTick - posted, 140u);
    EXPECT_EQ(g_received.lParams.back(), 0x1234);
    EXPECT_EQ(Count({"\"event\": \"sender\"", "\"message\": 1204"}), 1u);
    EXPECT_EQ(Count({"\"event\": \"reply\"", "\"lParam\": 4660", "\"result\": 7"}), 1u);
    DestroyWindow(sender);
}

TEST_F(Probe, LogsBeingReleased)
{
    // Scenarios tell by these lines which file was loaded and that the shell freed it.
    WriteIni("");
    Load();
    FreeLibrary(module_);
    module_ = nullptr;
    std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("\"event\": \"attach\""), std::string::npos);
    EXPECT_NE(log[0].find("probe.dll"), std::string::npos);
    EXPECT_NE(log[1].find("\"event\": \"detach\""), std::string::npos);
    EXPECT_NE(log[1].find("\"freed\": 1"), std::string::npos);
}

} // namespace
