// The game window, run modally the way the hand-over runs it: its title, frame and icons, the keys as the
// modal loop's pre-translation sees them, full screen, hiding to the notification area and coming back, the
// exit prompt and the hand-back, and a window whose browser could not be made.
#include "tests/support/BrowserStandIn.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/HandOver.h"
#include "game/ZuGameDlg.h"
#include "tests/support/ImportHook.h"
#include "tests/support/Player.h"

namespace {

const wchar_t kPromptCaption[] = L"退出游戏";
const wchar_t kHint[] = L"  【F5刷新】【F11全屏】【F12最小托盘】";
constexpr UINT kTrayMessage = WM_USER + 1;

// ---- the notification area, observed (and made to refuse an icon) at the import of the code under test ----

struct TrayCall {
    DWORD message;
    NOTIFYICONDATAW record;
};
std::vector<TrayCall> g_trayCalls;
bool g_refuseAdd = false;
ImportHook* g_trayHook = nullptr;

using NotifyIconFn = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);

BOOL WINAPI RecordingNotifyIcon(DWORD message, PNOTIFYICONDATAW record)
{
    TrayCall call{message, {}};
    std::memcpy(&call.record, record, std::min<size_t>(record->cbSize, sizeof call.record));
    g_trayCalls.push_back(call);
    if (message == NIM_ADD && g_refuseAdd) return FALSE;
    return g_trayHook->Original<NotifyIconFn>()(message, record);
}

class TrayRecorder {
public:
    explicit TrayRecorder(bool refuseAdd = false)
        : m_hook("shell32.dll", "Shell_NotifyIconW", reinterpret_cast<void*>(&RecordingNotifyIcon))
    {
        g_trayCalls.clear();
        g_refuseAdd = refuseAdd;
        g_trayHook = &m_hook;
    }
    ~TrayRecorder() { g_refuseAdd = false; }
    bool Installed() const { return m_hook.Installed(); }

private:
    ImportHook m_hook;
};

size_t CountTrayCalls(DWORD message)
{
    size_t n = 0;
    for (const TrayCall& c : g_trayCalls) n += c.message == message;
    return n;
}

// ---- an application that runs the game window as the hand-over does and records the hand-back ----

class GameHost : public CWinApp, public IHandOver {
public:
    void LaunchGame(CString gameUrl, CString serverLabel) override
    {
        CZuGameDlg game(nullptr);
        m_pMainWnd = &game;
        game.SetGameParams(gameUrl, serverLabel);
        game.DoModal();
        if (m_pMainWnd == &game) m_pMainWnd = nullptr;
    }

    // Stands in for the next launcher: the game window is retired as the real hand-back does it, and the
    // run ends once the retired window is gone.
    void ReturnToLauncher() override
    {
        ++returns;
        HWND game = m_pMainWnd->m_hWnd;
        windowAliveAtReturn = ::IsWindowVisible(game) != FALSE;
        trayCallsAtReturn = g_trayCalls;
        ::PostMessageW(game, WM_CLOSE, 0, 0);
        m_pMainWnd->Detach();
        m_pMainWnd = nullptr;
        gameGone = PumpUntil([&] { return !::IsWindow(game); });
        secondPrompt = FindThreadDialog(kPromptCaption) != nullptr;
        ::PostQuitMessage(0);
    }

    CZuGameDlg* Game() const { return dynamic_cast<CZuGameDlg*>(m_pMainWnd); }

    int returns = 0;
    bool windowAliveAtReturn = false;
    bool gameGone = false;
    bool secondPrompt = false;
    std::vector<TrayCall> trayCallsAtReturn;
};

HWND BrowserWindow(HWND game) { return ::GetDlgItem(game, CDHtmlDialog::kBrowserId); }

void PressKey(HWND target, WPARAM key) { ::PostMessageW(target, WM_KEYDOWN, key, 1); }

DWORD Style(HWND window) { return static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)); }

bool Framed(HWND window)
{
    return (Style(window) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW && !(Style(window) & WS_POPUP);
}

bool FullScreenPopup(HWND window)
{
    return (Style(window) & WS_POPUP) && !(Style(window) & (WS_CAPTION | WS_THICKFRAME));
}

std::wstring Title(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// The last steps of every run: a close request answered Yes hands back to the launcher.
void ThenCloseWithYes(ScriptedPlayer& player, std::function<HWND()> window)
{
    player.Then([window] { ::PostMessageW(window(), WM_CLOSE, 0, 0); });
    player.ThenWhen([] { return FindThreadDialog(kPromptCaption) != nullptr; }, [] {
        ::PostMessageW(FindThreadDialog(kPromptCaption), WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    });
}

// Runs the game window until it hands back, failing a run that never ends rather than hanging.
void RunGame(GameHost& host, ScriptedPlayer& player, const std::wstring& gameUrl = L"http://127.0.0.1:9/game",
             const std::wstring& label = L"S12")
{
    Watchdog watchdog([] { ADD_FAILURE() << "the run did not finish"; });
    player.Start();
    host.LaunchGame(gameUrl.c_str(), label.c_str());
}

class GameWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(standIn.Registered());
        ASSERT_TRUE(tray.Installed());
    }

    HWND GameWindow() const { return host.Game() ? host.Game()->m_hWnd : nullptr; }

    void ThenCloseWithYes() { ::ThenCloseWithYes(player, [this] { return GameWindow(); }); }

    void Run(const std::wstring& gameUrl, const std::wstring& label = L"S12")
    {
        RunGame(host, player, gameUrl, label);
        player.Stop();
        EXPECT_TRUE(player.Done());
        EXPECT_EQ(1, host.returns);
        EXPECT_TRUE(host.gameGone);
        EXPECT_FALSE(host.secondPrompt);
        DrainMessages();
    }

    BrowserStandIn standIn;
    TrayRecorder tray;
    GameHost host;
    ScriptedPlayer player;
};

TEST(GameTitle, NameAndHintWithTheServerSegmentOnlyForAServerText)
{
    const std::wstring name = L"Velmora";
    struct Case { const wchar_t* serverText; std::wstring title; };
    const Case cases[] = {
        {L"", name + kHint},
        {L"12", name + L"s12服" + kHint},
        {L"S12", name + L"S12服" + kHint},
        {L"s1", name + L"s1服" + kHint},
        {L"双线3区", name + L"s双线3区服" + kHint},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.serverText));
        EXPECT_EQ(c.title, std::wstring(CZuGameDlg::ComposeTitle(c.serverText).str()));
    }
}

TEST_F(GameWindowTest, OpensMaximisedFramedWithIconsTitleTrayIconAndTheGamePage)
{
    LoopbackServer server(LoopbackServer::Pages{{"/game", "<title>game</title>"}});
    const std::wstring gameUrl = server.Url(L"/game");
    player.ThenWhen([&] { return standIn.Logged("event 252 " + Utf8(gameUrl) + " frame=top"); }, [&] {
        HWND game = GameWindow();
        ASSERT_NE(nullptr, game);
        EXPECT_TRUE(::IsWindowVisible(game));
        EXPECT_TRUE(::IsZoomed(game));
        // The frame is added to the template's popup style, not swapped for it.
        EXPECT_EQ(static_cast<DWORD>(WS_OVERLAPPEDWINDOW), Style(game) & WS_OVERLAPPEDWINDOW);
        EXPECT_TRUE(Style(game) & WS_POPUP);
        auto big = reinterpret_cast<HICON>(::SendMessageW(game, WM_GETICON, ICON_BIG, 0));
        auto small = reinterpret_cast<HICON>(::SendMessageW(game, WM_GETICON, ICON_SMALL, 0));
        EXPECT_NE(nullptr, big);
        EXPECT_EQ(big, small);
        // Whatever label the page handed over, the title is the name and the hint.
        EXPECT_EQ(std::wstring(L"Velmora") + kHint, Title(game));
        EXPECT_EQ(CString(L"S12"), host.Game()->ServerLabel());

        ASSERT_EQ(1u, g_trayCalls.size());
        const TrayCall& add = g_trayCalls[0];
        EXPECT_EQ(static_cast<DWORD>(NIM_ADD), add.message);
        EXPECT_EQ(offsetof(NOTIFYICONDATAW, hBalloonIcon), add.record.cbSize);
        EXPECT_EQ(game, add.record.hWnd);
        EXPECT_EQ(155u, add.record.uID);
        EXPECT_EQ(7u, add.record.uFlags);
        EXPECT_EQ(1025u, add.record.uCallbackMessage);
        EXPECT_NE(nullptr, add.record.hIcon);
        EXPECT_EQ(L'\0', add.record.szTip[0]);

        // The browser fills the client area and went from the placeholder page to the game.
        RECT client, browser;
        ::GetClientRect(game, &client);
        ::GetClientRect(BrowserWindow(game), &browser);
        EXPECT_EQ(client.right, browser.right);
        EXPECT_EQ(client.bottom, browser.bottom);
        std::vector<std::string> navigations;
        for (const std::string& line : standIn.Log())
            if (line.rfind("navigate ", 0) == 0) navigations.push_back(line.substr(9));
        ASSERT_EQ(2u, navigations.size());
        EXPECT_EQ(0u, navigations[0].rfind("res://", 0));
        EXPECT_EQ("/106", navigations[0].substr(navigations[0].size() - 4));
        EXPECT_EQ(Utf8(gameUrl), navigations[1]);
    });
    ThenCloseWithYes();
    Run(gameUrl);
}

// Keys are posted to the browser's window, where the page would have them, or to the dialog itself.
TEST_F(GameWindowTest, FullScreenSwitchesWithF11AndLeavesWithEscWhileEnterAndEscNeverClose)
{
    HWND game = nullptr, browser = nullptr;
    player.Then([&] {
        game = GameWindow();
        browser = BrowserWindow(game);
        ASSERT_NE(nullptr, browser);
        PressKey(browser, VK_F11);
    });
    player.Then([&] {
        EXPECT_EQ(1, host.Game()->FullScreenFlag());
        EXPECT_TRUE(FullScreenPopup(game));
        EXPECT_TRUE(::IsZoomed(game));
        PressKey(browser, VK_F11);
    });
    player.Then([&] {
        EXPECT_EQ(0, host.Game()->FullScreenFlag());
        EXPECT_TRUE(Framed(game)) << "the template's popup bit is gone after a round trip";
        EXPECT_TRUE(::IsZoomed(game));
    });
    // Each key on its own, so that two wrong switches cannot cancel out.
    for (HWND* target : {&browser, &game}) {
        for (WPARAM key : {WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}}) {
            player.Then([&, target, key] { PressKey(*target, key); });
            player.Then([&, key] {
                SCOPED_TRACE(key);
                EXPECT_TRUE(::IsWindowVisible(game));
                EXPECT_TRUE(Framed(game));
                EXPECT_TRUE(::IsZoomed(game));
                EXPECT_EQ(0, host.Game()->FullScreenFlag());
                EXPECT_EQ(nullptr, FindThreadDialog(kPromptCaption));
            });
        }
    }
    player.Then([&] { PressKey(game, VK_F11); });
    player.Then([&] {
        EXPECT_TRUE(FullScreenPopup(game));
        PressKey(browser, VK_RETURN);
    });
    player.Then([&] {
        EXPECT_TRUE(FullScreenPopup(game));
        EXPECT_EQ(1, host.Game()->FullScreenFlag());
        PressKey(browser, VK_ESCAPE);
    });
    player.Then([&] {
        EXPECT_TRUE(::IsWindowVisible(game));
        EXPECT_EQ(0, host.Game()->FullScreenFlag());
        EXPECT_TRUE(Framed(game));
        EXPECT_TRUE(::IsZoomed(game));
        EXPECT_EQ(0, host.returns);
    });
    ThenCloseWithYes();
    Run(L"http://127.0.0.1:9/game");
}

TEST_F(GameWindowTest, F12HidesAndALeftButtonReleaseOnTheIconBringsItBackInItsMode)
{
    HWND game = nullptr;
    auto tray = [&](WPARAM id, LPARAM mouse) { return ::SendMessageW(game, kTrayMessage, id, mouse); };
    player.Then([&] {
        game = GameWindow();
        PressKey(BrowserWindow(game), VK_F12);
    });
    player.Then([&] {
        EXPECT_FALSE(::IsWindowVisible(game));
        // Another icon's callbacks are answered 1 and ignored; right button, double click and press do nothing.
        EXPECT_EQ(1, tray(154, WM_LBUTTONUP));
        for (LPARAM mouse : {LPARAM{WM_RBUTTONUP}, LPARAM{WM_RBUTTONDOWN}, LPARAM{WM_LBUTTONDBLCLK},
                             LPARAM{WM_LBUTTONDOWN}, LPARAM{WM_MOUSEMOVE}})
            EXPECT_EQ(0, tray(155, mouse));
        EXPECT_FALSE(::IsWindowVisible(game));
        EXPECT_EQ(0, tray(155, WM_LBUTTONUP));
        EXPECT_TRUE(::IsWindowVisible(game));
        EXPECT_TRUE(::IsZoomed(game));
        EXPECT_EQ(0, host.Game()->FullScreenFlag());
        EXPECT_EQ(static_cast<DWORD>(WS_OVERLAPPEDWINDOW), Style(game) & WS_OVERLAPPEDWINDOW);
        PressKey(game, VK_F11);
    });
    player.Then([&] { PressKey(BrowserWindow(game), VK_F12); });
    player.Then([&] {
        EXPECT_FALSE(::IsWindowVisible(game));
        EXPECT_EQ(1, host.Game()->FullScreenFlag());
        tray(155, WM_LBUTTONUP);
        EXPECT_TRUE(::IsWindowVisible(game));
        EXPECT_TRUE(::IsZoomed(game));
        EXPECT_TRUE(FullScreenPopup(game)) << "comes back as the full-screen popup";
        PressKey(BrowserWindow(game), VK_ESCAPE);
    });
    player.Then([&] {
        EXPECT_EQ(0, host.Game()->FullScreenFlag());
        EXPECT_TRUE(Framed(game));
    });
    ThenCloseWithYes();
    Run(L"http://127.0.0.1:9/game");
}

TEST_F(GameWindowTest, F5GoesBackToTheGameAddressAfterThePageNavigatedElsewhere)
{
    LoopbackServer server({{"/game", "<script>location.href = \"/lobby\";</script>"}, {"/lobby", "lobby"}});
    const std::string game = Utf8(server.Url(L"/game")), lobby = Utf8(server.Url(L"/lobby"));
    player.ThenWhen([&] { return standIn.Logged("event 259 " + lobby + " frame=top"); }, [&] {
        EXPECT_EQ(1u, standIn.Count("navigate " + game));
        PressKey(BrowserWindow(GameWindow()), VK_F5);
    });
    player.ThenWhen([&] { return standIn.Count("event 259 " + lobby + " frame=top") == 2; }, [&] {
        EXPECT_EQ(2u, standIn.Count("navigate " + game));
        EXPECT_EQ(game, standIn.LastNavigation());
    });
    ThenCloseWithYes();
    Run(server.Url(L"/game"));
}

TEST_F(GameWindowTest, ExitPromptNoKeepsEverythingYesRemovesTheIconBeforeHandingBack)
{
    HWND game = nullptr;
    player.Then([&] {
        game = GameWindow();
        PressKey(game, VK_F11);
    });
    player.Then([&] { ::PostMessageW(game, WM_CLOSE, 0, 0); });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) != nullptr; }, [&] {
        HWND box = FindThreadDialog(kPromptCaption);
        EXPECT_EQ(game, ::GetWindow(box, GW_OWNER));
        wchar_t text[128] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 128);
        EXPECT_STREQ(L"即将退出Velmora，是否继续？", text);
        EXPECT_NE(nullptr, ::GetDlgItem(box, IDYES));
        EXPECT_NE(nullptr, ::GetDlgItem(box, IDNO));
        EXPECT_EQ(nullptr, ::GetDlgItem(box, IDCANCEL));
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) == nullptr; }, [&] {
        EXPECT_TRUE(::IsWindowVisible(game));
        EXPECT_TRUE(FullScreenPopup(game));
        EXPECT_EQ(1, host.Game()->FullScreenFlag());
        EXPECT_EQ(0u, CountTrayCalls(NIM_DELETE));
        EXPECT_EQ(0, host.returns);
    });
    ThenCloseWithYes();
    Run(L"http://127.0.0.1:9/game");

    // At the hand-back the window was still up and its icon already deleted, with the record it was added by.
    EXPECT_TRUE(host.windowAliveAtReturn);
    ASSERT_EQ(2u, host.trayCallsAtReturn.size());
    const TrayCall& removed = host.trayCallsAtReturn.back();
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), removed.message);
    EXPECT_EQ(game, removed.record.hWnd);
    EXPECT_EQ(155u, removed.record.uID);
}

// The game window ended by any other way than its prompt is destroyed through its object: its icon goes with
// it (no ghost icon outlives the program) and, being the main window, it ends the program.
TEST(GameWindowEndedDirectly, RemovesItsIconAndEndsTheProgram)
{
    BrowserStandIn standIn;
    TrayRecorder tray;
    ASSERT_TRUE(standIn.Registered());
    ASSERT_TRUE(tray.Installed());
    GameHost host;
    ScriptedPlayer player;
    HWND game = nullptr;
    player.Then([&] {
        game = host.Game()->m_hWnd;
        host.Game()->EndDialog(IDCANCEL);
    });
    RunGame(host, player);
    player.Stop();
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(0, host.returns) << "no launcher after a window that was not closed by the player";
    EXPECT_FALSE(::IsWindow(game));
    EXPECT_EQ(nullptr, host.m_pMainWnd);
    ASSERT_EQ(2u, g_trayCalls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), g_trayCalls.back().message);
    EXPECT_EQ(game, g_trayCalls.back().record.hWnd);
    EXPECT_EQ(155u, g_trayCalls.back().record.uID);
    MSG quit{};
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the program goes on without a window";
    DrainMessages();
}

// A hidden window without an icon could never come back: F12 does nothing when the icon was refused.
TEST(GameWindowWithoutTrayIcon, F12LeavesTheWindowShown)
{
    BrowserStandIn standIn;
    TrayRecorder tray(/*refuseAdd=*/true);
    GameHost host;
    ScriptedPlayer player;
    HWND game = nullptr;
    player.Then([&] {
        game = host.Game()->m_hWnd;
        EXPECT_EQ(1u, CountTrayCalls(NIM_ADD));
        PressKey(game, VK_F12);
    });
    player.Then([&] { EXPECT_TRUE(::IsWindowVisible(game)); });
    ThenCloseWithYes(player, [&] { return game; });
    RunGame(host, player);
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(1, host.returns);
    DrainMessages();
}

// When the notification area is made anew (the shell restarted, or came up late) the icon is added again,
// with the same record; a hidden window whose icon cannot be added again comes back rather than being lost.
TEST(GameWindowWithoutTrayIcon, ANewNotificationAreaGetsTheIconOrTheHiddenWindowBack)
{
    BrowserStandIn standIn;
    TrayRecorder tray(/*refuseAdd=*/true);
    GameHost host;
    ScriptedPlayer player;
    const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    HWND game = nullptr;
    player.Then([&] {
        game = host.Game()->m_hWnd;
        EXPECT_FALSE(host.Game()->TrayIconShown());
        g_refuseAdd = false;  // the shell comes up
        ::SendMessageW(game, taskbarCreated, 0, 0);
        EXPECT_EQ(2u, CountTrayCalls(NIM_ADD));
        EXPECT_EQ(game, g_trayCalls.back().record.hWnd);
        EXPECT_EQ(155u, g_trayCalls.back().record.uID);
        EXPECT_EQ(static_cast<UINT>(WM_USER + 1), g_trayCalls.back().record.uCallbackMessage);
        EXPECT_TRUE(host.Game()->TrayIconShown());
        PressKey(game, VK_F12);
    });
    player.Then([&] {
        EXPECT_FALSE(::IsWindowVisible(game)) << "with its icon back, F12 hides";
        g_refuseAdd = true;  // the shell restarts but refuses the icon
        ::SendMessageW(game, taskbarCreated, 0, 0);
        EXPECT_EQ(3u, CountTrayCalls(NIM_ADD));
        EXPECT_TRUE(::IsWindowVisible(game)) << "a hidden window without an icon comes back";
        EXPECT_TRUE(::IsZoomed(game));
    });
    ThenCloseWithYes(player, [&] { return game; });
    RunGame(host, player);
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(1, host.returns);
    DrainMessages();
}

// A browser class that cannot be instantiated.
class RefusingFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** out) override
    {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

// Without a browser the window stays up, blank: keys, refresh and the exit prompt still work.
TEST(GameWindowWithoutBrowser, StaysUpBlankAndClosesNormally)
{
    ::OleInitialize(nullptr);
    RefusingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, ::CoRegisterClassObject(CLSID_WebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                            &cookie));
    TrayRecorder tray;
    GameHost host;
    ScriptedPlayer player;
    HWND game = nullptr;
    player.Then([&] {
        game = host.Game()->m_hWnd;
        EXPECT_EQ(nullptr, BrowserWindow(game));
        EXPECT_TRUE(::IsWindowVisible(game));
        EXPECT_TRUE(::IsZoomed(game));
        EXPECT_EQ(std::wstring(L"Velmora") + kHint, Title(game));
        for (WPARAM key : {WPARAM{VK_F5}, WPARAM{VK_F11}, WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}}) PressKey(game, key);
    });
    player.Then([&] { EXPECT_TRUE(Framed(game)); });
    ThenCloseWithYes(player, [&] { return game; });
    RunGame(host, player);
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(1, host.returns);
    EXPECT_TRUE(host.gameGone);
    DrainMessages();
    ::CoRevokeClassObject(cookie);
    ::OleUninitialize();
}

}  // namespace
