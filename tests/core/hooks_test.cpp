#include "core/hooks.h"

#include "core/context.h"
#include "module.h"

#include <gtest/gtest.h>
#include <string.h>

namespace
{

LRESULT CALLBACK EndingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1) {
        ReleaseModule(); // what WM_DESTROY of the main window does
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class HookCalls : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        memset(&g_setup, 0, sizeof g_setup);
        g_setup.mainWindow = StandInWindow("HookTestWindow", EndingWindowProc);
        ASSERT_TRUE(LoadSetupModule("hooktest.dll"));
    }
    void TearDown() override
    {
        ReleaseModule();
        DestroyWindow(g_setup.mainWindow);
    }
};

} // namespace

TEST_F(HookCalls, MissingHookTakesTheCallersDefault)
{
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_GetAddInList, 1), 1);
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_GetAddInList, 0), 0);
    char text[8] = "x";
    EXPECT_EQ(CallHookWithText(SETUP_HOOK_ID_Present, text, 5), 5);
    EXPECT_EQ(CallHookWithTexts(SETUP_HOOK_ID_DemoQuery, text, text, 0), 0);
}

TEST_F(HookCalls, ExportedHooksAreCalledEveryTime)
{
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_StartCopy, 0), 1);
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_StartCopy, 0), 2);
    char dest[kPathSize] = "C:\\Program Files\\KarveloEngine";
    EXPECT_EQ(CallHookWithText(SETUP_HOOK_ID_SetDestDir, dest, 1), 0);
    EXPECT_STREQ(dest, "D:\\Moved");
    char a[] = "C:\\a", b[] = "C:\\b", c[] = "D:\\c";
    EXPECT_EQ(CallHookWithTexts(SETUP_HOOK_ID_FileConflict, a, b, 1), 2);
    EXPECT_EQ(CallHookWithTexts(SETUP_HOOK_ID_FileConflict, a, c, 1), 4);
}

TEST_F(HookCalls, NoModuleMeansEveryHookIsMissing)
{
    ReleaseModule();
    ASSERT_EQ(g_setup.moduleHandle, nullptr);
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_StartCopy, 9), 9);
    CallInitModule(); // must not crash
}

TEST_F(HookCalls, OverlongTitleIsCutAndHarmsNoOtherField)
{
    strcpy(g_setup.setupTitle, "kept");
    CallInitModule();
    EXPECT_EQ(strlen(g_setup.moduleTitle), kModuleTitleSize - 1);
    EXPECT_STREQ(g_setup.setupTitle, "kept");
}

TEST_F(HookCalls, ModuleEndingTheSetupInsideAHookIsReleasedAfterIt)
{
    CallInitModule();
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_EndCopy, 0),
              42); // returned into a module that was still loaded
    EXPECT_EQ(g_setup.moduleHandle, nullptr);
    EXPECT_EQ(GetModuleHandleA("hooktest.dll"), nullptr);
    EXPECT_EQ(CallHook(SETUP_HOOK_ID_StartCopy, 7), 7);
}
