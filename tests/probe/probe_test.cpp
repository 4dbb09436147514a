// The probe module of the end-to-end bench, called directly: every scenario
// trusts what it logs, answers, writes and sends, so those are checked here
// against a window of our own that stands in for the shell's main window.
#include "module.h"
#include "setupmodule.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kRawMessage = WM_USER + 900;

// What the stand-in main window received.
struct Received {
    std::vector<UINT> messages;
    std::vector<LPARAM> lParams;
    CopyRequest copy;
    AddInRequest addIn;
    ShortcutRequest shortcut;
    char shortcutTarget[MAX_PATH];
    char fileList[MAX_PATH];
    DWORD replyTick;
};

Received g_received;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case SM_ADDCOPYENTRY:
        memcpy(&g_received.copy, reinterpret_cast<void *>(lParam), sizeof(CopyRequest));
        break;
    case SM_ADDADDIN:
        memcpy(&g_received.addIn, reinterpret_cast<void *>(lParam), sizeof(AddInRequest));
        break;
    case SM_ADDFILELIST:
        lstrcpynA(g_received.fileList, reinterpret_cast<char *>(lParam), MAX_PATH);
        break;
    case SM_CREATESHORTCUT:
        memcpy(&g_received.shortcut, reinterpret_cast<void *>(lParam), sizeof(ShortcutRequest));
        g_received.shortcutTarget[0] = 0;
        if (g_received.shortcut.itemIdList)
            SHGetPathFromIDListA(g_received.shortcut.itemIdList, g_received.shortcutTarget);
        break;
    case SM_SENDERREPLY:
        g_received.replyTick = GetTickCount();
        break;
    default:
        if (message < kRawMessage)
            return DefWindowProcA(window, message, wParam, lParam);
    }
    g_received.messages.push_back(message);
    g_received.lParams.push_back(lParam);
    // Distinct results, so that the log can be seen to carry them.
    return message == kRawMessage ? static_cast<LRESULT>(wParam + lParam) : 7;
}

using InitModuleFn = int(WINAPI *)(HWND, char *, char *, HMODULE);
using PlainFn = int(WINAPI *)();
using TextFn = int(WINAPI *)(char *);
using TextsFn = int(WINAPI *)(char *, char *);

class Probe : public ::testing::Test {
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

    template <typename Fn>
    Fn Hook(const char *name)
    {
        return ExportOf<Fn>(module_, name);
    }

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

TEST_F(Probe, ExportsEveryHookUndecorated)
{
    WriteIni("");
    Load();
    for (const char *name :
         {"InitModule", "Present", "SetDestDir", "FileConflict", "GetAddInList", "StartCopy",
          "UserCancel", "CriticError", "NonCriticError", "EndCopy", "CreateShortcuts",
          "GenIniFiles", "GetAddInOff", "EndSetup", "DemoQuery"})
        EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
}

TEST_F(Probe, AnswersDefaultToConsentAndNoDemonstration)
{
    WriteIni("");
    Load();
    char a[MAX_PATH] = "", b[MAX_PATH] = "";
    EXPECT_EQ(Hook<TextFn>("Present")(a), 1);
    EXPECT_EQ(Hook<TextsFn>("FileConflict")(a, b), 1);
    EXPECT_EQ(Hook<PlainFn>("UserCancel")(), 1);
    EXPECT_EQ(Hook<TextsFn>("DemoQuery")(a, b), 0);
}

TEST_F(Probe, AnswerListIsUsedCallByCallAndItsLastRepeats)
{
    WriteIni("[StartCopy]\r\nanswer=1, 0,0x4,-1\r\n[FileConflict]\r\nanswer=2\r\n");
    Load();
    auto startCopy = Hook<PlainFn>("StartCopy");
    std::vector<int> answers;
    for (int i = 0; i < 6; ++i)
        answers.push_back(startCopy());
    EXPECT_EQ(answers, (std::vector<int>{1, 0, 4, -1, -1, -1}));
    char a[MAX_PATH] = "D:\\x", b[MAX_PATH] = "C:\\y";
    EXPECT_EQ(Hook<TextsFn>("FileConflict")(a, b), 2);
    EXPECT_EQ(Hook<TextsFn>("FileConflict")(a, b), 2);
    EXPECT_EQ(Count({"\"event\": \"return\"", "\"hook\": \"StartCopy\"", "\"n\": 4",
                     "\"result\": -1"}),
              1u);
}

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

TEST_F(Probe, WritesTheConfiguredBuffers)
{
    WriteIni("[InitModule]\r\ntitle=\"  Caf\xe9 \"\r\n"
             "[SetDestDir]\r\ndestDir=E:\\Moved Here\r\n"
             "[DemoQuery]\r\nprogram=bin\\demo.exe\r\ndocument=" +
             std::string(300, 'd') + "\r\n");
    Load();
    char title[1024];
    memset(title, 'z', sizeof title);
    Init(title);
    EXPECT_STREQ(title, "  Caf\xe9 ");
    EXPECT_EQ(Count({"\"field\": \"title\"", "\"value\": \"  Caf\\u00e9 \""}), 1u);

    char destDir[SETUP_PATH_SIZE] = "C:\\Program Files\\KarveloEngine";
    Hook<TextFn>("SetDestDir")(destDir);
    EXPECT_STREQ(destDir, "E:\\Moved Here");
    EXPECT_EQ(Count({"\"event\": \"call\"", "\"destDir\": \"C:\\\\Program Files"}), 1u);

    char program[SETUP_PATH_SIZE], document[SETUP_PATH_SIZE + 64];
    memset(document, 'q', sizeof document);
    Hook<TextsFn>("DemoQuery")(program, document);
    EXPECT_STREQ(program, "bin\\demo.exe");
    EXPECT_EQ(strlen(document), SETUP_PATH_SIZE - 1); // cut to the 260-byte buffer
    EXPECT_EQ(document[SETUP_PATH_SIZE], 'q');
}

TEST_F(Probe, OverLongTitleIsWrittenPastTheBuffer)
{
    WriteIni("[InitModule]\r\ntitleFill=300\r\n");
    Load();
    char title[1024];
    memset(title, 0, sizeof title);
    title[301] = 'z';
    Init(title);
    EXPECT_EQ(strlen(title), 300u);
    EXPECT_EQ(title[301], 'z');
}

TEST_F(Probe, ActionsOfTheNthCallReplaceTheHookActions)
{
    Start("[Present]\r\ndo1=send 0x784 1 2\r\ndo2=send 0x784 10 20\r\n"
          "[Present#2]\r\ndo1=send 0x784 100 200\r\n");
    char scratch[MAX_PATH];
    for (int i = 0; i < 3; ++i)
        Hook<TextFn>("Present")(scratch);
    EXPECT_EQ(g_received.lParams, (std::vector<LPARAM>{2, 20, 200, 2, 20}));
    // The window's result reaches the log.
    EXPECT_EQ(Count({"\"action\": \"send\"", "\"args\": \"0x784 100 200\"", "\"result\": 300"}),
              1u);
}

TEST_F(Probe, CopyRequestsCarryTheirFields)
{
    Start("[GetAddInList]\r\n"
          "do1=copy source=A B.TX_|dest=A B.TXT|sub=Data\\Sub|windows=1|spare1=1|overwrite=1|"
          "spare2=1|size=1234|absolute=0\r\n"
          "do2=copy source=" +
          std::string(400, 's') + "\r\n");
    Hook<PlainFn>("GetAddInList")();
    ASSERT_EQ(g_received.messages.size(), 2u);
    // The first request was overwritten by the second in g_received; check the log for it.
    EXPECT_EQ(Count({"\"action\": \"copy\"", "\"args\": \"source=A B.TX_|dest=A B.TXT",
                     "\"result\": 7"}),
              1u);
    // The second: a name longer than its field is cut and terminated.
    EXPECT_EQ(strlen(g_received.copy.sourceName), sizeof g_received.copy.sourceName - 1);
    EXPECT_EQ(g_received.copy.destName[0], 0);
    EXPECT_EQ(g_received.copy.size, 0);

    WriteIni("[StartCopy]\r\ndo1=copy source=A B.TX_|dest=A B.TXT|sub=Data\\Sub|windows=1|"
             "spare1=2|overwrite=3|spare2=4|size=1234|absolute=5\r\n");
    Hook<PlainFn>("StartCopy")();
    EXPECT_STREQ(g_received.copy.sourceName, "A B.TX_");
    EXPECT_STREQ(g_received.copy.destName, "A B.TXT");
    EXPECT_STREQ(g_received.copy.subFolder, "Data\\Sub");
    EXPECT_EQ(g_received.copy.toWindowsFolder, 1);
    EXPECT_EQ(g_received.copy.spareFlag1, 2);
    EXPECT_EQ(g_received.copy.overwrite, 3);
    EXPECT_EQ(g_received.copy.spareFlag2, 4);
    EXPECT_EQ(g_received.copy.size, 1234);
    EXPECT_EQ(g_received.copy.absolutePaths, 5);
}

TEST_F(Probe, UnterminatedCopyRequestFillsItsSourceName)
{
    Start("[StartCopy]\r\ndo1=copyunterminated dest=x.txt\r\n");
    Hook<PlainFn>("StartCopy")();
    EXPECT_EQ(memchr(g_received.copy.sourceName, 0, sizeof g_received.copy.sourceName), nullptr);
    EXPECT_EQ(g_received.copy.sourceName[0], 'S');
    EXPECT_STREQ(g_received.copy.destName, "x.txt");
}

TEST_F(Probe, AddInFileListAndShortcutRequests)
{
    Start("[EndCopy]\r\n"
          "do1=addin description=Tool|file=tool.exe|parameters=-q -r\r\n"
          "do2=filelist extra.lst\r\n"
          "do3=shortcut description=D|name=Link|folder=C:\\L|file=a.exe|targetFolder=C:\\T|"
          "arguments=-x\r\n"
          "do4=shortcut name=Folder|csidl=0x24\r\n");
    Hook<PlainFn>("EndCopy")();
    EXPECT_EQ(g_received.messages, (std::vector<UINT>{SM_ADDADDIN, SM_ADDFILELIST,
                                                      SM_CREATESHORTCUT, SM_CREATESHORTCUT}));
    EXPECT_STREQ(g_received.addIn.description, "Tool");
    EXPECT_STREQ(g_received.addIn.fileName, "tool.exe");
    EXPECT_STREQ(g_received.addIn.parameters, "-q -r");
    EXPECT_STREQ(g_received.fileList, "extra.lst");
    // The last shortcut: only a name and the item id list of the Windows folder.
    EXPECT_STREQ(g_received.shortcut.linkName, "Folder");
    EXPECT_EQ(g_received.shortcut.useItemIdList, 1);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_STRCASEEQ(g_received.shortcutTarget, windows);
    EXPECT_EQ(Count({"\"action\": \"shortcut\"", "\"args\": \"description=D|name=Link"}), 1u);
}

TEST_F(Probe, SenderAnswersMessage1204AfterItsDelay)
{
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

TEST_F(Probe, PumpEndsWhenTheMainWindowGoes)
{
    Start("[Present]\r\ndo1=pump 20000\r\n");
    PostMessageA(window_, WM_CLOSE, 0, 0); // DefWindowProc destroys it
    DWORD start = GetTickCount();
    char scratch[MAX_PATH];
    Hook<TextFn>("Present")(scratch);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(Count({"\"action\": \"pump\"", "\"result\": 1"}), 1u);
}

TEST_F(Probe, LogsBeingReleased)
{
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

TEST_F(Probe, LogFileCanBeNamedInTheConfiguration)
{
    WriteIni("[probe]\r\nlog=other.log\r\n");
    Load();
    Hook<PlainFn>("EndSetup")();
    EXPECT_TRUE(Log().empty());
    EXPECT_NE(GetFileAttributesA((folder_ + "other.log").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA((folder_ + "other.log").c_str());
}

} // namespace
