// The login page's ways into the game, through the whole program: the page's call of outLink and a
// navigation that carries the marker each close the launcher without a prompt and run the game window on the
// right address; bad calls are refused; a spent bridge ignores later triggers; and the round trip back to a
// fresh launcher ends cleanly. The launcher's browser is the stand-in, fed by a loopback server.
#include "tests/support/BrowserStandIn.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Config.h"
#include "app/TranslucentApp.h"
#include "game/ZuGameDlg.h"
#include "launcher/ZuStandardDlg.h"
#include "launcher/ZuTranslucentDlg.h"
#include "tests/support/ImportHook.h"
#include "tests/support/Player.h"

namespace {

const wchar_t kPromptCaption[] = L"退出游戏";

// config.ini beside this executable, for one test.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& text) : m_path((GetModuleDirectory() + L"config.ini").str())
    {
        HANDLE file = ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    ~ConfigFile() { ::DeleteFileW(m_path.c_str()); }
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;

private:
    std::wstring m_path;
};

std::string LoginConfig(const std::wstring& loginPage, const char* extra = "")
{
    return "[pexo]\r\nclient_web=" + Utf8(loginPage) + "\r\n" + extra;
}

CZuTranslucentDlg* Launcher(CWinApp& app) { return dynamic_cast<CZuTranslucentDlg*>(app.m_pMainWnd); }
CZuGameDlg* Game(CWinApp& app) { return dynamic_cast<CZuGameDlg*>(app.m_pMainWnd); }
CZuStandardDlg* Companion(CWinApp& app)
{
    CZuTranslucentDlg* launcher = Launcher(app);
    return launcher ? dynamic_cast<CZuStandardDlg*>(launcher->GetStandardDialog()) : nullptr;
}

// Dialog windows of this thread (launcher pair, game window, message boxes), hidden ones included.
std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> found;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            wchar_t cls[32];
            ::GetClassNameW(hwnd, cls, 32);
            if (lstrcmpW(cls, L"#32770") == 0) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The launcher pair as it stood before the page was asked to do anything.
struct LauncherWindows {
    HWND background = nullptr;
    HWND companion = nullptr;
    HWND browser = nullptr;
    CZuStandardDlg* companionObject = nullptr;  // alive until the launcher object that owns it goes

    void Record(CWinApp& app)
    {
        companionObject = Companion(app);
        background = app.m_pMainWnd->m_hWnd;
        companion = Companion(app)->m_hWnd;
        browser = Companion(app)->m_browser.m_hWnd;
    }
    bool AllGone() const { return !::IsWindow(background) && !::IsWindow(companion) && !::IsWindow(browser); }
    bool AllUp() const
    {
        return ::IsWindowVisible(background) && ::IsWindowVisible(companion) && ::IsWindowVisible(browser);
    }
};

int RunProgram(ScriptedPlayer& player)
{
    Watchdog watchdog([] { ADD_FAILURE() << "the program did not end"; });
    player.Start();
    int exitCode = AfxWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    player.Stop();
    DrainMessages();
    return exitCode;
}

// Without any help from the test, the program's launcher gets its browser: COM is the program's own business.
TEST(BridgeProgram, TheLauncherHostsItsBrowserWithoutTheTestSettingUpCom)
{
    ConfigFile config(LoginConfig(L"http://127.0.0.1:9/login"));
    CTranslucentApp app;
    ScriptedPlayer player;
    player.Then([&] {
        ASSERT_NE(nullptr, Companion(app));
        EXPECT_NE(nullptr, Companion(app)->m_browser.m_hWnd) << "the browser control was never created";
        ::SendMessageW(app.m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

// One run of the program on the stand-in browser, with the test site's pages.
struct Bridge {

    // The launcher comes up on a quiet page; then the player sends its browser to `page`, as a click on the
    // page would.
    void ThenLauncherShowsThenGoTo(const std::wstring& page)
    {
        player.ThenWhen([&] { return Companion(app) && standIn.Logged("event 259 " + Utf8(start) + " frame=top"); },
                        [&, page] {
                            before.Record(app);
                            Companion(app)->m_browser.Navigate(page.c_str(), nullptr, nullptr, nullptr, nullptr);
                        });
    }

    // Waits for the game window to have replaced the launcher, then checks the hand-over and ends the run.
    void ThenGameRunsWith(const std::wstring& gameUrl, const std::wstring& label,
                          std::function<void()> alsoCheck = {})
    {
        player.ThenWhen([&] { return Game(app) && before.AllGone(); }, [&, gameUrl, label, alsoCheck] {
            if (alsoCheck) alsoCheck();
            EXPECT_EQ(std::vector<HWND>{Game(app)->m_hWnd}, ThreadDialogs()) << "no launcher window, no prompt";
            EXPECT_EQ(gameUrl, Game(app)->GameUrl().str());
            EXPECT_EQ(label, Game(app)->ServerLabel().str());
        });
        player.ThenWhen([&, gameUrl] { return standIn.LastNavigation() == Utf8(gameUrl); }, [] { ::PostQuitMessage(0); });
    }

    BrowserStandIn standIn;
    LoopbackServer server{LoopbackServer::Pages{
        {"/start", "<title>login</title>"},
        {"/game", "<title>game</title>"},
        {"/label", "label"},
        {"/outlink", "<script>window.external.outLink(\"S12\", \"$ORIGIN/game\");</script>"},
        {"/swapped", "<script>window.external.outLink(\"$ORIGIN/game\", \"S12\");</script>"},
        {"/numbers", "<script>window.external.outLink(12, 3.5);</script>"},
        {"/refused",
         "<script>window.external.outLink(null, \"$ORIGIN/game\");</script>"
         "<script>window.external.outLink(\"S12\", null);</script>"
         "<script>window.external.outLink(\"S12\");</script>"
         "<script>window.external.outLink();</script>"},
        {"/undefined-label", "<script>window.external.outLink(undefined, \"$ORIGIN/game\");</script>"},
        {"/play/fullscn=1/x", "path"},
        {"/play?a=1&fullscn=1", "query"},
        {"/play", "fragment"},
        {"/play?FULLSCN=1", "capitals"},
        {"/to-path", "<script>location.href = \"/play/fullscn=1/x\";</script>"},
        {"/to-query", "<script>location.href = \"/play?a=1&fullscn=1\";</script>"},
        {"/to-fragment", "<script>location.href = \"/play#fullscn=1\";</script>"},
        {"/to-capitals", "<script>location.href = \"/play?FULLSCN=1\";</script>"},
        {"/frames", "<p>servers</p><iframe src=\"/inner?fullscn=1\"></iframe>"},
        {"/inner?fullscn=1", "inner"},
    }};
    const std::wstring start = server.Url(L"/start");
    ConfigFile config{LoginConfig(start)};
    CTranslucentApp app;
    ScriptedPlayer player;
    LauncherWindows before;
};

class BridgeTest : public ::testing::Test, public Bridge {
protected:
    void SetUp() override { ASSERT_TRUE(standIn.Registered()); }
};

// The game runs inside the page's call: the call returns to the script only once the game window is gone.
TEST_F(BridgeTest, OutLinkRunsTheGameOnTheSecondArgumentAndKeepsTheFirstAsLabel)
{
    const std::string call = "call outLink(\"S12\", \"" + Utf8(server.Url(L"/game")) + "\")";
    auto callReturned = [&] {
        for (const std::string& line : standIn.Log())
            if (line.rfind(call, 0) == 0) return line;
        return std::string();
    };
    ThenLauncherShowsThenGoTo(server.Url(L"/outlink"));
    ThenGameRunsWith(server.Url(L"/game"), L"S12",
                     [&] { EXPECT_EQ("", callReturned()) << "the call returned while the game was running"; });
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(call + " -> 0x00000000", callReturned());
}

// Undefined is a value without text: it reads as empty, and the game still starts.
TEST_F(BridgeTest, OutLinkWithAnUndefinedLabelRunsTheGameWithAnEmptyOne)
{
    ThenLauncherShowsThenGoTo(server.Url(L"/undefined-label"));
    ThenGameRunsWith(server.Url(L"/game"), L"");
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

TEST_F(BridgeTest, OutLinkWithSwappedArgumentsSendsTheGameToTheLabelText)
{
    ThenLauncherShowsThenGoTo(server.Url(L"/swapped"));
    ThenGameRunsWith(L"S12", server.Url(L"/game"));
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

TEST_F(BridgeTest, OutLinkTakesNumbersAsText)
{
    ThenLauncherShowsThenGoTo(server.Url(L"/numbers"));
    ThenGameRunsWith(L"3.5", L"12");
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

// Null and missing arguments have no text: each call fails in the script and the launcher stays as it was,
// its bridge still live.
TEST_F(BridgeTest, OutLinkWithoutTextArgumentsIsRefusedAndTheLauncherStays)
{
    const std::string refused = Utf8(server.Url(L"/refused"));
    ThenLauncherShowsThenGoTo(server.Url(L"/refused"));
    player.ThenWhen([&] { return standIn.Logged("event 259 " + refused + " frame=top"); }, [&] {
        size_t failedCalls = 0;
        for (const std::string& line : standIn.Log())
            if (line.rfind("call outLink(", 0) == 0) {
                SCOPED_TRACE(line);
                EXPECT_EQ(std::string::npos, line.find("-> 0x0")) << "the script must see the call fail";
                ++failedCalls;
            }
        EXPECT_EQ(4u, failedCalls);
        EXPECT_EQ(Launcher(app), dynamic_cast<CZuTranslucentDlg*>(CWnd::FromHandlePermanent(before.background)));
        EXPECT_TRUE(before.AllUp());
        EXPECT_EQ(nullptr, FindThreadDialog(kPromptCaption));
        Companion(app)->m_browser.Navigate(server.Url(L"/outlink").c_str(), nullptr, nullptr, nullptr, nullptr);
    });
    ThenGameRunsWith(server.Url(L"/game"), L"S12");
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

// A completed address may also come as a reference to text; it is read the same way.
TEST_F(BridgeTest, AnAddressHeldByReferenceIsReadToo)
{
    const std::wstring reached = start + L"?fullscn=1";
    player.ThenWhen([&] { return Companion(app) && standIn.Logged("event 259 " + Utf8(start) + " frame=top"); }, [&] {
        before.Record(app);
        BSTR text = ::SysAllocString(reached.c_str());
        VARIANT url;
        ::VariantInit(&url);
        url.vt = VT_BYREF | VT_BSTR;
        url.pbstrVal = &text;
        Companion(app)->OnNavigateComplete2(nullptr, &url);  // the game runs inside, as inside the event
        ::SysFreeString(text);
    });
    ThenGameRunsWith(start, reached);
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

// Arguments no script engine makes but any in-process caller can: an object without a text form, and
// references to nothing. Each is refused without being read, and the launcher stays.
TEST_F(BridgeTest, OutLinkRefusesArgumentsWithoutReadableText)
{
    player.ThenWhen([&] { return Companion(app) && standIn.Logged("event 259 " + Utf8(start) + " frame=top"); }, [&] {
        before.Record(app);
        IDispatch* external = Companion(app)->GetExternalDispatch();
        ASSERT_NE(nullptr, external);
        LPOLESTR name = const_cast<LPOLESTR>(L"outLink");
        DISPID id = DISPID_UNKNOWN;
        ASSERT_EQ(S_OK, external->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
        struct Case {
            const char* name;
            VARTYPE type;
        };
        const Case cases[] = {
            {"object without text", VT_DISPATCH},  // the launcher's own object has no value to read
            {"reference to no VARIANT", VT_BYREF | VT_VARIANT},
            {"reference to no text", VT_BYREF | VT_BSTR},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            VARIANT args[2];  // last argument first
            ::VariantInit(&args[0]);
            args[0].vt = VT_BSTR;
            args[0].bstrVal = ::SysAllocString(server.Url(L"/game").c_str());
            ::VariantInit(&args[1]);
            args[1].vt = c.type;
            if (c.type == VT_DISPATCH) {
                args[1].pdispVal = external;
                external->AddRef();
            }
            DISPPARAMS params{args, nullptr, 2, 0};
            EXPECT_TRUE(FAILED(external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                                nullptr, nullptr)));
            ::VariantClear(&args[0]);
            if (c.type == VT_DISPATCH) ::VariantClear(&args[1]);
            EXPECT_TRUE(before.AllUp());
            EXPECT_NE(nullptr, Launcher(app));
        }
        ::SendMessageW(before.background, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

// With no marker configured the default one is looked for, case-sensitively, anywhere in the address; the
// game address is the browser's top-level one and the label the address that completed.
TEST(BridgeMarker, ANavigationCarryingTheMarkerHandsOver)
{
    struct Case { const wchar_t* via; const wchar_t* reached; const wchar_t* game; bool handsOver; };
    const Case cases[] = {
        {L"/to-path", L"/play/fullscn=1/x", L"/play/fullscn=1/x", true},
        {L"/to-query", L"/play?a=1&fullscn=1", L"/play?a=1&fullscn=1", true},
        {L"/to-fragment", L"/play#fullscn=1", L"/play#fullscn=1", true},
        {L"/frames", L"/inner?fullscn=1", L"/frames", true},
        {L"/to-capitals", L"/play?FULLSCN=1", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.via));
        Bridge run;
        ASSERT_TRUE(run.standIn.Registered());
        const std::wstring reached = run.server.Url(c.reached);
        run.ThenLauncherShowsThenGoTo(run.server.Url(c.via));
        if (c.handsOver) {
            run.ThenGameRunsWith(run.server.Url(c.game), reached);
        } else {
            run.player.ThenWhen([&] { return run.standIn.Logged("event 259 " + Utf8(reached) + " frame=top"); }, [&] {
                EXPECT_TRUE(run.before.AllUp());
                EXPECT_NE(nullptr, Launcher(run.app));
                ::SendMessageW(run.before.background, WM_CLOSE, 0, 0);
            });
        }
        EXPECT_EQ(0, RunProgram(run.player));
        EXPECT_TRUE(run.player.Done());
    }
}

TEST(BridgeMarker, AnEmptyMarkerHandsOverAtTheFirstCompletedNavigation)
{
    BrowserStandIn standIn;
    LoopbackServer server(LoopbackServer::Pages{{"/start", "login"}});
    const std::wstring start = server.Url(L"/start");
    ConfigFile config(LoginConfig(start, "fullscn_key=\r\n"));
    CTranslucentApp app;
    ScriptedPlayer player;
    player.ThenWhen([&] { return Game(app) != nullptr; }, [&] {
        EXPECT_EQ(std::vector<HWND>{Game(app)->m_hWnd}, ThreadDialogs());
        EXPECT_EQ(start, Game(app)->GameUrl().str());
        EXPECT_EQ(start, Game(app)->ServerLabel().str());
        ::PostQuitMessage(0);
    });
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
}

// Once the bridge has handed over, the old page can still reach the companion object: a second outLink or
// a marker navigation must not start a second game.
TEST_F(BridgeTest, ASpentBridgeIgnoresLaterTriggers)
{
    CZuGameDlg* game = nullptr;
    ThenLauncherShowsThenGoTo(server.Url(L"/outlink"));
    player.ThenWhen([&] { return Game(app) != nullptr; }, [&] {
        game = Game(app);
        // What the dying control could still report, and the page still call, on the old companion.
        VARIANT marker, label, url;
        for (VARIANT* v : {&marker, &label, &url}) {
            ::VariantInit(v);
            v->vt = VT_BSTR;
        }
        marker.bstrVal = ::SysAllocString(server.Url(L"/play?fullscn=1").c_str());
        label.bstrVal = ::SysAllocString(L"S3");
        url.bstrVal = ::SysAllocString(server.Url(L"/label").c_str());
        before.companionObject->OnNavigateComplete2(nullptr, &marker);
        before.companionObject->outLink(&label, &url);
        for (VARIANT* v : {&marker, &label, &url}) ::VariantClear(v);
        EXPECT_EQ(game, Game(app));
    });
    player.ThenWhen([&] { return before.AllGone(); }, [&] {
        EXPECT_EQ(game, Game(app));
        EXPECT_EQ(std::vector<HWND>{game->m_hWnd}, ThreadDialogs());
        ::PostQuitMessage(0);
    });
    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
    // Only one game address was ever navigated to.
    EXPECT_EQ(1u, standIn.Count("navigate " + Utf8(server.Url(L"/game"))));
    EXPECT_EQ(0u, standIn.Count("navigate " + Utf8(server.Url(L"/label"))));
}

// ---- end to end ----

int g_gdiplusShutdowns = 0;
ImportHook* g_shutdownHook = nullptr;
using ShutdownFn = void(WINAPI*)(ULONG_PTR);
void WINAPI CountingShutdown(ULONG_PTR token)
{
    ++g_gdiplusShutdowns;
    g_shutdownHook->Original<ShutdownFn>()(token);
}

TEST_F(BridgeTest, LauncherGameLauncherAndOutEndsTheProgramCleanly)
{
    ImportHook shutdown("gdiplus.dll", "GdiplusShutdown", reinterpret_cast<void*>(&CountingShutdown));
    ASSERT_TRUE(shutdown.Installed());
    g_shutdownHook = &shutdown;
    g_gdiplusShutdowns = 0;
    const std::string startLine = "navigate " + Utf8(start);
    HWND game = nullptr;
    int prompts = 0;
    auto answerYes = [&] {
        ++prompts;
        ::PostMessageW(FindThreadDialog(kPromptCaption), WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    };

    ThenLauncherShowsThenGoTo(server.Url(L"/outlink"));
    player.ThenWhen([&] { return Game(app) && before.AllGone(); }, [&] {
        game = Game(app)->m_hWnd;
        ::PostMessageW(game, WM_CLOSE, 0, 0);
    });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) != nullptr; }, answerYes);
    // A fresh launcher, its page loaded again from the configured address.
    player.ThenWhen([&] { return Companion(app) && standIn.Count(startLine) == 2 && !::IsWindow(game); }, [&] {
        EXPECT_EQ(2u, ThreadDialogs().size());
        EXPECT_EQ(nullptr, FindThreadDialog(kPromptCaption)) << "no second prompt from the old game window";
        EXPECT_NE(before.companion, Companion(app)->m_hWnd);
        ::PostMessageW(Companion(app)->m_hWnd, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
    });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) != nullptr; }, answerYes);

    EXPECT_EQ(0, RunProgram(player));
    EXPECT_TRUE(player.Done());
    EXPECT_EQ(2, prompts);
    EXPECT_EQ(1, g_gdiplusShutdowns);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    EXPECT_TRUE(ThreadDialogs().empty());
    EXPECT_EQ(0, FakeBrowserLiveObjects());
}

}  // namespace
