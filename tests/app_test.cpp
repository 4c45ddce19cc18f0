// The application object: GDI+ started and shut down exactly once, InitInstance running the launcher as the
// main window and returning only when it has ended, the framework's own message loop never running.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "app/TranslucentApp.h"
#include "tests/support/ImportHook.h"
#include "tests/support/Player.h"

namespace {

int g_startups = 0;
int g_shutdowns = 0;
ImportHook* g_startupHook = nullptr;
ImportHook* g_shutdownHook = nullptr;

using StartupFn = Gdiplus::Status(WINAPI*)(ULONG_PTR*, const Gdiplus::GdiplusStartupInput*, Gdiplus::GdiplusStartupOutput*);
using ShutdownFn = void(WINAPI*)(ULONG_PTR);

Gdiplus::Status WINAPI CountingStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* in, Gdiplus::GdiplusStartupOutput* out)
{
    ++g_startups;
    EXPECT_EQ(in->GdiplusVersion, 1u);
    EXPECT_EQ(in->DebugEventCallback, nullptr);
    EXPECT_FALSE(in->SuppressBackgroundThread);
    EXPECT_FALSE(in->SuppressExternalCodecs);
    EXPECT_EQ(out, nullptr);
    return g_startupHook->Original<StartupFn>()(token, in, out);
}

void WINAPI CountingShutdown(ULONG_PTR token)
{
    ++g_shutdowns;
    g_shutdownHook->Original<ShutdownFn>()(token);
}

class CountingApp : public CTranslucentApp {
public:
    int Run() override
    {
        ++runs;
        return CTranslucentApp::Run();
    }
    int runs = 0;
};

TEST(AppTest, ClosingTheLauncherEndsTheProgramWithOneGdiplusShutdown)
{
    ImportHook startup("gdiplus.dll", "GdiplusStartup", reinterpret_cast<void*>(&CountingStartup));
    ImportHook shutdown("gdiplus.dll", "GdiplusShutdown", reinterpret_cast<void*>(&CountingShutdown));
    ASSERT_TRUE(startup.Installed());
    ASSERT_TRUE(shutdown.Installed());
    g_startupHook = &startup;
    g_shutdownHook = &shutdown;

    CountingApp app;
    HWND launcher = nullptr;
    ScriptedPlayer player;
    player.Then([&] {
        ASSERT_NE(app.m_pMainWnd, nullptr);
        launcher = app.m_pMainWnd->m_hWnd;
        EXPECT_EQ(::GetWindow(launcher, GW_OWNER), nullptr);
        ::SendMessageW(launcher, WM_CLOSE, 0, 0);
    });
    player.Start();

    int exitCode = AfxWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(app.runs, 0);  // InitInstance returned FALSE: no message loop of the application's own
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_FALSE(::IsWindow(launcher));
    EXPECT_EQ(g_startups, 1);
    EXPECT_EQ(g_shutdowns, 1);
    DrainMessages();
}

}  // namespace
