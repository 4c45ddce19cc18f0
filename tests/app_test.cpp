// The application object: GDI+ started and shut down exactly once, InitInstance running the launcher as the
// main window and returning only when it has ended, the framework's own message loop never running.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <string>
#include <vector>

#include "app/TranslucentApp.h"
#include "game/ZuGameDlg.h"
#include "launcher/ZuTranslucentDlg.h"
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

class CountingGdiplus {
public:
    CountingGdiplus()
        : m_startup("gdiplus.dll", "GdiplusStartup", reinterpret_cast<void*>(&CountingStartup)),
          m_shutdown("gdiplus.dll", "GdiplusShutdown", reinterpret_cast<void*>(&CountingShutdown))
    {
        g_startups = g_shutdowns = 0;
        g_startupHook = &m_startup;
        g_shutdownHook = &m_shutdown;
    }

private:
    ImportHook m_startup;
    ImportHook m_shutdown;
};

TEST(AppTest, ClosingTheLauncherEndsTheProgramWithOneGdiplusShutdown)
{
    CountingGdiplus gdiplus;

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

    EXPECT_TRUE(player.Done()) << "the launcher never came up";
    EXPECT_NE(launcher, nullptr);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(app.runs, 0);  // InitInstance returned FALSE: no message loop of the application's own
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_FALSE(::IsWindow(launcher));
    EXPECT_EQ(g_startups, 1);
    EXPECT_EQ(g_shutdowns, 1);
    DrainMessages();
}

// A first launcher whose window cannot be made (here: resources without its template) ends the program at
// once, the normal way: no loop of the application's own, GDI+ shut down once, no dangling main window.
TEST(AppTest, ALauncherThatCannotComeUpEndsTheProgramCleanly)
{
    CountingGdiplus gdiplus;
    CountingApp app;
    AfxSetResourceHandle(::GetModuleHandleW(L"kernel32.dll"));
    int exitCode = AfxWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    AfxSetResourceHandle(nullptr);

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(app.runs, 0);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(g_startups, 1);
    EXPECT_EQ(g_shutdowns, 1);
    DrainMessages();
}

// Launcher to game and back, k times, then the launcher closed: every nested loop unwinds, the program
// ends, and nothing of the old windows' own close handling ever ran.
TEST(AppTest, RoundTripsNestAndUnwindWhenTheLauncherFinallyCloses)
{
    constexpr int kRoundTrips = 3;
    CountingGdiplus gdiplus;
    CountingApp app;
    std::vector<HWND> launchers, games;
    int prompts = 0;
    const wchar_t* caption = L"退出游戏";

    ScriptedPlayer player;
    for (int i = 0; i < kRoundTrips; ++i) {
        player.Then([&] {
            launchers.push_back(app.m_pMainWnd->m_hWnd);
            // As the login page does: from inside a handler of the launcher.
            AfxGetHandOver()->LaunchGame(L"http://game.example/play?s=" + std::to_wstring(launchers.size()), L"S12");
        });
        player.ThenWhen([&] { return !::IsWindow(launchers.back()); }, [&] {
            auto* game = dynamic_cast<CZuGameDlg*>(app.m_pMainWnd);
            ASSERT_NE(game, nullptr);
            games.push_back(game->m_hWnd);
            EXPECT_EQ(::GetWindow(game->m_hWnd, GW_OWNER), nullptr);
            EXPECT_EQ(game->GameUrl(), CString((L"http://game.example/play?s=" + std::to_wstring(launchers.size())).c_str()));
            EXPECT_EQ(game->ServerLabel(), CString(L"S12"));
            ::PostMessageW(game->m_hWnd, WM_CLOSE, 0, 0);
        });
        player.ThenWhen([&] { return FindThreadDialog(caption) != nullptr; }, [&] {
            ++prompts;
            HWND box = FindThreadDialog(caption);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        });
        player.ThenWhen([&] { return !::IsWindow(games.back()); }, [&] {
            EXPECT_NE(dynamic_cast<CZuTranslucentDlg*>(app.m_pMainWnd), nullptr);
        });
    }
    player.Then([&] {
        EXPECT_EQ(FindThreadDialog(caption), nullptr);  // no second prompt from the detached game window
        ::SendMessageW(app.m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
    });
    player.Start();

    int exitCode = AfxWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);

    EXPECT_TRUE(player.Done());
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(prompts, kRoundTrips);
    EXPECT_EQ(launchers.size(), static_cast<size_t>(kRoundTrips));
    EXPECT_EQ(games.size(), static_cast<size_t>(kRoundTrips));
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(g_startups, 1);
    EXPECT_EQ(g_shutdowns, 1);
    EXPECT_EQ(GameTrayIconRecord().hWnd, games.back());
    DrainMessages();
}

}  // namespace
