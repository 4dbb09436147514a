#include "copy/copywnd.h"

#include "copy/conflicts.h"
#include "copy/copylist.h"
#include "copytest_module.h"
#include "core/context.h"
#include "core/deferred.h"
#include "core/hooks.h"
#include "core/protocol.h"
#include "module.h"
#include "shell/mainwnd.h"
#include "tempdir.h"
#include "util/text.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

const COLORREF kBlue = RGB(0, 0, 127);
const COLORREF kGrey = RGB(127, 127, 127);
const COLORREF kWhite = RGB(255, 255, 255);

// What the stand-in main window was told.
struct MainSaw {
    int repaints;
    int repaintFoundCopyWindow;
    int repaintFoundLabels;
    int started;
    DWORD startedAt;
    int done;
    WPARAM doneWParam;
    LPARAM doneLParam;
    int copyWindowAliveAtDone; // sent from inside its handler, not posted after its end
    DWORD doneAt;
    int cancelOnStart; // post a cancel request as soon as the copy starts
};
MainSaw g_saw;

void OnTestRepaint(HWND window)
{
    ++g_saw.repaints;
    HWND copy = FindWindowExA(window, nullptr, kCopyClass, nullptr);
    if (copy) {
        ++g_saw.repaintFoundCopyWindow;
        if (GetWindow(copy, GW_CHILD))
            ++g_saw.repaintFoundLabels;
    }
}

void OnTestCopyDone(HWND window, WPARAM wParam, LPARAM lParam)
{
    ++g_saw.done;
    g_saw.doneWParam = wParam;
    g_saw.doneLParam = lParam;
    g_saw.copyWindowAliveAtDone = IsWindow(g_setup.copyWindow) ? 1 : 0;
    g_saw.doneAt = GetTickCount();
    // What the real main window does on a cancel: the setup ends here.
    if (lParam)
        DestroyWindow(window);
}

// Stands in for the main window: counts the 55 ms ticks into the deferred
// post and records what the copy window reports.
LRESULT CALLBACK TestMainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        Tick();
        return 0;
    case SM_REPAINT:
        OnTestRepaint(window);
        return 0;
    case SM_COPYSTARTED:
        ++g_saw.started;
        g_saw.startedAt = GetTickCount();
        if (g_saw.cancelOnStart)
            PostMessageA(g_setup.copyWindow, CM_CANCELREQUEST, 0, 0);
        return 0;
    case SM_COPYDONE:
        OnTestCopyDone(window, wParam, lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Height of the dark-blue part of the bar as it is on the screen.
int MeasuredFill(HWND copy)
{
    HDC dc = GetDC(copy);
    int blue = 0;
    for (int y = kBarTop; y < kBarBottom; ++y)
        blue += GetPixel(dc, (kBarLeft + kBarRight) / 2, y) == kBlue;
    ReleaseDC(copy, dc);
    return blue;
}

// Saves what `dc` shows in a rectangle as a 24-bit BMP file.
void SaveBmp(HDC dc, int x, int y, int width, int height, const std::string &path)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP shot = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    GdiFlush();
    DWORD rowBytes = (width * 3 + 3) & ~3u;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + rowBytes * height;
    std::string out(reinterpret_cast<char *>(&file), sizeof file);
    out.append(reinterpret_cast<char *>(&info.bmiHeader), sizeof info.bmiHeader);
    out.append(static_cast<char *>(bits), rowBytes * height);
    testfs::WriteWhole(path, out);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(shot);
}

class CopyWindow : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        memset(&g_setup, 0, sizeof g_setup);
        memset(&g_saw, 0, sizeof g_saw);
        g_deferredPost = {};
        g_copyProgress = {};
        ResetCopyList();
        g_setup.instance = GetModuleHandleA(nullptr);
        src_ = tree_.Folder("src");
        dst_ = tree_.Folder("dst");
        CopyText(g_setup.sourceDir, (src_ + "\\").c_str());
        CopyText(g_setup.destDir, dst_.c_str());
        CopyText(g_setup.windowsDir, tree_.Folder("win").c_str());

        RegisterCopyClass(); // as the main window does when it is created

        WNDCLASSA mainClass = {};
        mainClass.lpfnWndProc = TestMainProc;
        mainClass.hInstance = g_setup.instance;
        mainClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        mainClass.lpszClassName = "CopyTestMain";
        RegisterClassA(&mainClass);
        g_setup.mainWindow =
            CreateWindowExA(0, "CopyTestMain", "copy test", WS_POPUP | WS_VISIBLE, 0, 0, 600, 420,
                            nullptr, nullptr, g_setup.instance, nullptr);
        ASSERT_NE(g_setup.mainWindow, nullptr);
        SetTimer(g_setup.mainWindow, kTickTimerId, kTickMilliseconds, nullptr);
    }
    void TearDown() override
    {
        if (IsWindow(g_setup.mainWindow))
            DestroyWindow(g_setup.mainWindow);
        ReleaseModule();
        Pump(50);
    }

    // A source file in the source folder.
    void Source(const char *name, const std::string &content)
    {
        ASSERT_TRUE(testfs::WriteWhole(src_ + "\\" + name, content));
    }
    void CompressedSource(const char *name)
    {
        ASSERT_TRUE(
            CopyFileA(testfs::Fixture("sample.bin_").c_str(), (src_ + "\\" + name).c_str(), FALSE));
    }
    int Add(const char *source, const char *dest, int overwrite = 0, const char *sub = "")
    {
        return AddCopyEntry(source, dest, sub, 0, 0, overwrite, 0, 0, 0);
    }
    // A source file and the entry that copies it under its own name.
    void Listed(const char *name, const std::string &content)
    {
        Source(name, content);
        Add(name, name);
    }
    std::string Dest(const char *name) const { return dst_ + "\\" + name; }

    // Serves messages for `ms` milliseconds.
    static void Pump(DWORD ms)
    {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < ms)
            PumpOnce();
    }
    static void PumpOnce()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }

    void Create()
    {
        g_setup.copyWindow = CreateCopyWindow();
        ASSERT_NE(g_setup.copyWindow, nullptr);
    }

    // Creates the copy window and serves messages until it reports, noting
    // each new fill of the bar with its height on the screen.
    void RunCopy()
    {
        Create();
        RunToTheEnd();
    }
    void RunToTheEnd()
    {
        DWORD start = GetTickCount();
        int last = g_copyProgress.percent;
        while (!g_saw.done && GetTickCount() - start < 30000) {
            MSG msg;
            if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (g_copyProgress.percent != last && IsWindow(g_setup.copyWindow)) {
                last = g_copyProgress.percent;
                percents_.push_back(last);
                fills_.push_back(MeasuredFill(g_setup.copyWindow));
                if (last == 66)
                    OnMidCopy();
            }
        }
        ASSERT_EQ(g_saw.done, 1) << "the copy window never reported";
    }
    virtual void OnMidCopy() {}

    testfs::TempTree tree_{"kvlcopywnd"};
    std::string src_, dst_;
    std::vector<int> percents_, fills_;
};

// ---------------------------------------------------------------------------

TEST(PacingTenths, CountsWholeTenthsAcrossTheWrapOfTheTickCount)
{
    EXPECT_EQ(PacingTenths(1099, 1000), 0u);
    EXPECT_EQ(PacingTenths(1100, 1000), 1u);
    EXPECT_EQ(PacingTenths(1000 + 12345, 1000), 123u);
    // The tick count passes its maximum between the two readings.
    EXPECT_EQ(PacingTenths(0x00000050u, 0xFFFFFFF0u), 0u);  // 96 ms
    EXPECT_EQ(PacingTenths(0x00000054u, 0xFFFFFFF0u), 1u);  // 100 ms
    EXPECT_EQ(PacingTenths(0x000007CCu, 0xFFFFFF9Cu), 20u); // 2000 ms
    // Only 16 bits of tenths are kept: 65536 tenths read as none.
    EXPECT_EQ(PacingTenths(6553600u, 0), 0u);
    EXPECT_EQ(PacingTenths(6553700u, 0), 1u);
}

TEST(CopyPercent, FullListAdvancesByWholePercents)
{
    const int expected[] = {0, 1, 2, 3, 3, 4, 5};
    for (int handled = 1; handled <= 7; ++handled)
        EXPECT_EQ(CopyPercent(handled, 128), expected[handled - 1]) << handled;
    EXPECT_EQ(CopyPercent(128, 128), 100);
    EXPECT_EQ(BarFill(0), 0);
    EXPECT_EQ(BarFill(100), 108);
}

TEST(BytePercent, SharesOfFilesOfAnySizeNeverOverflow)
{
    const unsigned long long kGiB = 1ull << 30;
    EXPECT_EQ(BytePercent(0, 0), 0);
    EXPECT_EQ(BytePercent(1, 3), 33);
    // Past 4 GiB, where a 32-bit count would wrap.
    EXPECT_EQ(BytePercent(5 * kGiB, 10 * kGiB), 50);
    EXPECT_EQ(BytePercent(4 * kGiB + 1, 4 * kGiB + 2), 99);
    EXPECT_EQ(BytePercent(~0ull / 2, ~0ull), 49);
    EXPECT_EQ(BytePercent(~0ull, ~0ull), 100);
    EXPECT_EQ(BytePercent(7, 5), 100);
}

TEST_F(CopyWindow, CreationFollowsTheLayout)
{
    Create();
    HWND copy = g_setup.copyWindow;
    EXPECT_EQ(GetParent(copy), g_setup.mainWindow);
    char className[32] = "";
    GetClassNameA(copy, className, sizeof className);
    EXPECT_STREQ(className, "COPYINGWND");
    LONG style = GetWindowLongA(copy, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_DISABLED | WS_VISIBLE), WS_CHILD | WS_DISABLED | WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongA(copy, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    RECT frame;
    GetWindowRect(copy, &frame);
    MapWindowPoints(nullptr, g_setup.mainWindow, reinterpret_cast<POINT *>(&frame), 2);
    EXPECT_EQ(frame.left, 460);
    EXPECT_EQ(frame.top, 125);
    EXPECT_EQ(frame.right - frame.left, 88);
    EXPECT_EQ(frame.bottom - frame.top, 162);

    // The main window repainted once, before the labels existed.
    EXPECT_EQ(g_saw.repaints, 1);
    EXPECT_EQ(g_saw.repaintFoundCopyWindow, 1);
    EXPECT_EQ(g_saw.repaintFoundLabels, 0);

    // Each label sits about the centre of its place in the layout and holds
    // its text on one line in its own font, whatever that font measures.
    struct Label {
        const char *text;
        RECT layout;
    };
    const Label labels[] = {{"Copying Files...", {3, 137, 83, 153}},
                            {"100 %", {42, 11, 72, 29}},
                            {"0 %", {42, 118, 72, 136}}};
    RECT client;
    GetClientRect(copy, &client);
    HWND child = GetWindow(copy, GW_CHILD);
    for (const Label &label : labels) {
        ASSERT_NE(child, nullptr) << label.text;
        char text[32] = "";
        GetWindowTextA(child, text, sizeof text);
        EXPECT_STREQ(text, label.text);
        GetClassNameA(child, className, sizeof className);
        EXPECT_STREQ(className, "Static");
        RECT place;
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, copy, reinterpret_cast<POINT *>(&place), 2);
        EXPECT_LE(abs((place.left + place.right) - (label.layout.left + label.layout.right)), 2)
            << label.text << " at " << place.left;
        EXPECT_LE(abs((place.top + place.bottom) - (label.layout.top + label.layout.bottom)), 2)
            << label.text << " at " << place.top;
        EXPECT_TRUE(place.left >= 0 && place.right <= client.right) << label.text;
        EXPECT_EQ(GetWindowLongA(child, GWL_STYLE) & (WS_VISIBLE | SS_TYPEMASK),
                  WS_VISIBLE | SS_CENTER);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0));
        EXPECT_EQ(font, GetStockObject(ANSI_VAR_FONT));
        HDC dc = GetDC(child);
        HGDIOBJ old = SelectObject(dc, font);
        RECT drawn = {0, 0, place.right - place.left, place.bottom - place.top};
        int lineHeight = DrawTextA(dc, label.text, -1, &drawn, DT_CALCRECT | DT_SINGLELINE);
        RECT wrapped = {0, 0, place.right - place.left, 0};
        int wrappedHeight =
            DrawTextA(dc, label.text, -1, &wrapped, DT_CALCRECT | DT_CENTER | DT_WORDBREAK);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        EXPECT_LE(drawn.right, place.right - place.left) << label.text << " is cut";
        EXPECT_LE(lineHeight, place.bottom - place.top) << label.text << " is cut";
        EXPECT_EQ(wrappedHeight, lineHeight) << label.text << " wraps";
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);

    // The user can neither move nor close it; the screen saver is refused.
    EXPECT_EQ(SendMessageA(copy, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
    EXPECT_EQ(SendMessageA(copy, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_EQ(SendMessageA(copy, WM_SYSCOMMAND, SC_MOVE, 0), 0);
    EXPECT_TRUE(IsWindow(copy));
    RunToTheEnd();
}

class ThreeEntries : public CopyWindow
{
  protected:
    void OnMidCopy() override
    {
        HWND copy = g_setup.copyWindow;
        // A picture for the eye, and the frame and marks checked pixel by pixel.
        HDC whole = GetWindowDC(copy);
        SaveBmp(whole, 0, 0, kCopyWindowWidth, kCopyWindowHeight,
                testfs::ExeFolder() + "copywnd-midcopy.bmp");
        ReleaseDC(copy, whole);
        HDC main = GetDC(g_setup.mainWindow);
        SaveBmp(main, 0, 0, 600, 420, testfs::ExeFolder() + "copywnd-main.bmp");
        ReleaseDC(g_setup.mainWindow, main);

        HDC dc = GetDC(copy);
        midFrame_ = {GetPixel(dc, kBarLeft - 1, kBarTop - 1), GetPixel(dc, kBarLeft - 1, 100),
                     GetPixel(dc, kBarRight + 1, 60), GetPixel(dc, 24, kBarBottom + 1)};
        for (int y : {71, 89, 53, 107, 35}) {
            midMarks_.push_back(GetPixel(dc, 50, y));
            midMarks_.push_back(GetPixel(dc, 61, y));
            midMarks_.push_back(GetPixel(dc, 56, y + 1));
            midMarks_.push_back(GetPixel(dc, 62, y)); // LineTo leaves out its end point
        }
        midEmptyTop_ = GetPixel(dc, 24, kBarTop);
        ReleaseDC(copy, dc);
    }

    std::vector<COLORREF> midFrame_, midMarks_;
    COLORREF midEmptyTop_ = 0;
};

TEST_F(ThreeEntries, CopyInThreePacedStepsAndFillTheBarFromTheBottom)
{
    g_setup.criticalCopyError = 1; // left from nobody knows where: the start clears it
    Source("ONE.TXT", "first file");
    CompressedSource("TWO.BI_");
    Source("THREE.TXT", "third file");
    Add("ONE.TXT", "ONE.TXT");
    Add("TWO.BI_", "TWO.BIN");
    Add("THREE.TXT", "THREE.TXT", 0, "Docs\\Help");
    CreateDestFolders();

    RunCopy();
    EXPECT_EQ(percents_, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(fills_, (std::vector<int>{35, 71, 108}));
    EXPECT_EQ(g_saw.started, 1);
    EXPECT_EQ(g_saw.doneWParam, 1u);
    EXPECT_EQ(g_saw.doneLParam, 0);
    EXPECT_EQ(g_saw.copyWindowAliveAtDone, 0);
    EXPECT_EQ(g_setup.criticalCopyError, 0);
    EXPECT_FALSE(IsWindow(g_setup.copyWindow));
    // Three steps and the finish, each at least 100 ms after the one before.
    EXPECT_GE(g_saw.doneAt - g_saw.startedAt, 390u);

    EXPECT_EQ(testfs::ReadWhole(Dest("ONE.TXT")), "first file");
    EXPECT_TRUE(testfs::ReadWhole(Dest("TWO.BIN")) ==
                testfs::ReadWhole(testfs::Fixture("sample.bin")));
    EXPECT_EQ(testfs::ReadWhole(Dest("Docs\\Help\\THREE.TXT")), "third file");

    EXPECT_EQ(midFrame_, (std::vector<COLORREF>{kGrey, kGrey, kWhite, kWhite}));
    for (size_t i = 0; i < midMarks_.size(); i += 4) {
        EXPECT_EQ(midMarks_[i], kGrey) << i / 4;
        EXPECT_EQ(midMarks_[i + 1], kGrey) << i / 4;
        EXPECT_EQ(midMarks_[i + 2], kWhite) << i / 4;
        EXPECT_NE(midMarks_[i + 3], kGrey) << i / 4;
    }
    EXPECT_EQ(midEmptyTop_, kWhite);
}

TEST_F(CopyWindow, EmptyListFinishesWithAFullBar)
{
    RunCopy();
    EXPECT_EQ(g_copyProgress.handled, 0);
    EXPECT_EQ(g_copyProgress.percent, 100);
    EXPECT_EQ(g_saw.doneWParam, 1u);
    EXPECT_EQ(g_saw.doneLParam, 0);
    EXPECT_TRUE(testfs::List(dst_).empty());
}

TEST_F(CopyWindow, ExistingDestinationsFollowTheirOverwriteMark)
{
    Source("KEEP.TXT", "new keep");
    Source("SWAP.TXT", "new swap");
    ASSERT_TRUE(testfs::WriteWhole(Dest("KEEP.TXT"), "old keep"));
    ASSERT_TRUE(testfs::WriteWhole(Dest("SWAP.TXT"), "old swap"));
    Add("KEEP.TXT", "KEEP.TXT", 0);
    Add("SWAP.TXT", "SWAP.TXT", 1);
    RunCopy();
    EXPECT_EQ(percents_, (std::vector<int>{50, 100}));
    EXPECT_EQ(g_saw.doneLParam, 0);
    EXPECT_EQ(g_setup.criticalCopyError, 0);
    EXPECT_EQ(testfs::ReadWhole(Dest("KEEP.TXT")), "old keep");
    EXPECT_EQ(testfs::ReadWhole(Dest("SWAP.TXT")), "new swap");
}

TEST_F(CopyWindow, MissingSourceStopsTheCopyThere)
{
    Listed("ONE.TXT", "one");
    Add("GONE.TXT", "GONE.TXT");
    Listed("THREE.TXT", "three");
    RunCopy();
    EXPECT_EQ(g_saw.doneWParam, 0u);
    EXPECT_EQ(g_saw.doneLParam, 0);
    EXPECT_EQ(g_saw.copyWindowAliveAtDone, 0);
    EXPECT_EQ(g_setup.criticalCopyError, 1);
    EXPECT_EQ(std::string(g_setup.failedPath), Dest("GONE.TXT"));
    EXPECT_EQ(g_setup.failedError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(percents_, (std::vector<int>{33})); // the bar keeps its last fill
    EXPECT_FALSE(IsWindow(g_setup.copyWindow));
    EXPECT_EQ(testfs::ReadWhole(Dest("ONE.TXT")), "one");
    EXPECT_EQ(testfs::ReadWhole(Dest("THREE.TXT")), "<missing>");
}

TEST_F(CopyWindow, FailingCopyOverAnExistingFileLeavesItIntact)
{
    ASSERT_TRUE(
        CopyFileA(testfs::Fixture("short.bin_").c_str(), (src_ + "\\CUT.BI_").c_str(), FALSE));
    ASSERT_TRUE(testfs::WriteWhole(Dest("CUT.BIN"), "the installed version"));
    Add("CUT.BI_", "CUT.BIN", 1);
    RunCopy();
    EXPECT_EQ(g_setup.criticalCopyError, 1);
    EXPECT_EQ(std::string(g_setup.failedPath), Dest("CUT.BIN"));
    EXPECT_EQ(g_setup.failedError, static_cast<DWORD>(ERROR_HANDLE_EOF));
    EXPECT_EQ(testfs::ReadWhole(Dest("CUT.BIN")), "the installed version");
    EXPECT_EQ(testfs::List(dst_), (std::vector<std::string>{"CUT.BIN"}));
}

TEST_F(CopyWindow, DestinationTooLongToBuildIsAFailedCopy)
{
    Source("A.TXT", "a");
    std::string longName(250, 'n');
    Add("A.TXT", longName.c_str());
    RunCopy();
    EXPECT_EQ(g_setup.criticalCopyError, 1);
    EXPECT_EQ(std::string(g_setup.failedPath), longName);
    EXPECT_EQ(g_setup.failedError, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

// The module adds six entries when the bar shows two of three.
class GrowingList : public CopyWindow
{
  protected:
    void OnMidCopy() override
    {
        for (char c = 'A'; c < 'G'; ++c) {
            char name[] = {'A', 'D', 'D', c, '.', 'T', 'X', 'T', 0};
            Listed(name, "added");
        }
    }
};

TEST_F(GrowingList, EntriesAddedDuringTheCopyNeverTakeTheBarBack)
{
    Listed("ONE.TXT", "one");
    Listed("TWO.TXT", "two");
    Listed("THREE.TXT", "three");
    RunCopy();
    // 3 of 9 would be a third: the bar holds at 66 until the copy passes it.
    EXPECT_EQ(percents_, (std::vector<int>{33, 66, 77, 88, 100}));
    EXPECT_EQ(testfs::ReadWhole(Dest("ADDF.TXT")), "added");
}

TEST_F(CopyWindow, CancelWithoutTheHookCopiesOn)
{
    ASSERT_TRUE(LoadSetupModule("empty.dll"));
    g_saw.cancelOnStart = 1;
    Listed("A.TXT", "a");
    Listed("B.TXT", "b");
    RunCopy();
    EXPECT_EQ(g_saw.doneWParam, 1u);
    EXPECT_EQ(g_saw.doneLParam, 0);
    EXPECT_EQ(g_copyProgress.cancelPending, 0);
    EXPECT_EQ(testfs::List(dst_), (std::vector<std::string>{"A.TXT", "B.TXT"}));
}

TEST_F(CopyWindow, CancelAnsweredGoOnHoldsTheCopyWhileAskedThenResumes)
{
    ASSERT_TRUE(LoadSetupModule("copytest.dll"));
    // The module asks the user for 600 ms; ticks and pacing checks keep coming.
    ModuleExport<ScriptCancelFn>("ScriptCancel")(1, 600, &g_copyProgress.handled);
    g_saw.cancelOnStart = 1;
    Listed("A.TXT", "a");
    Listed("B.TXT", "b");
    Listed("C.TXT", "c");
    RunCopy();
    EXPECT_EQ(ModuleExport<CancelCallsFn>("CancelCalls")(), 1);
    int before = -1, after = -1;
    ModuleExport<WatchedFn>("Watched")(&before, &after);
    EXPECT_EQ(before, 0);
    EXPECT_EQ(after, 0); // no step while the question was open
    EXPECT_EQ(percents_, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(g_saw.doneWParam, 1u);
    EXPECT_EQ(g_saw.doneLParam, 0);
    EXPECT_EQ(g_copyProgress.cancelPending, 0);
    EXPECT_EQ(testfs::List(dst_).size(), 3u);
}

TEST_F(CopyWindow, CancelAnsweredStopEndsTheSetupAtOnce)
{
    ASSERT_TRUE(LoadSetupModule("copytest.dll"));
    ModuleExport<ScriptCancelFn>("ScriptCancel")(0, 0, nullptr);
    g_saw.cancelOnStart = 1;
    Listed("A.TXT", "a");
    RunCopy();
    EXPECT_EQ(g_saw.doneWParam, 0u);
    EXPECT_EQ(g_saw.doneLParam, 1);
    EXPECT_EQ(g_saw.copyWindowAliveAtDone, 1);
    EXPECT_EQ(g_copyProgress.cancelPending, 1);
    EXPECT_FALSE(IsWindow(g_setup.copyWindow)); // gone with the main window
    Pump(600);                                  // nothing comes after
    EXPECT_EQ(g_saw.done, 1);
    EXPECT_TRUE(testfs::List(dst_).empty());
}

} // namespace

// The fast pace: as many entries a step as fit its time, the bar by bytes.
class FastPace : public CopyWindow
{
  protected:
    void SetUp() override
    {
        CopyWindow::SetUp();
        g_setup.fastCopy = 1;
    }
    void TearDown() override
    {
        g_setup.fastCopy = 0;
        CopyWindow::TearDown();
    }
};

TEST_F(FastPace, SmallFilesGoInOneStepWithoutThePacedWait)
{
    for (const char *name : {"A.TXT", "B.TXT", "C.TXT"}) {
        Source(name, name);
        AddCopyEntry(name, name, "", 0, 0, 0, 0, 3ll << 31, 0);
    }
    RunCopy();
    EXPECT_EQ(percents_, (std::vector<int>{100}));
    EXPECT_EQ(g_saw.doneWParam, 1u);
    EXPECT_EQ(testfs::List(dst_), (std::vector<std::string>{"A.TXT", "B.TXT", "C.TXT"}));
}
