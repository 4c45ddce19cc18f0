// The launcher as the application runs it: the skin with its controls in place, the link buttons handing
// the configured pages to the shell at each click, the buttons' images and hover, the close prompt,
// minimise, Enter and Escape, and the login page the companion asks its browser for. The shell, the message
// box and ShowWindow are observed at this executable's imports; the browser is the in-process stand-in.
#include <gtest/gtest.h>

#include <windows.h>
#include <exdisp.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/HandOver.h"
#include "framework/Framework.h"
#include "framework/OleControlSite.h"
#include "launcher/ZuStandardDlg.h"
#include "launcher/ZuTranslucentDlg.h"
#include "tests/fakebrowser/FakeBrowser.h"
#include "tests/support/ImportHook.h"
#include "tests/support/Player.h"
#include "translucent/ImageLoader.h"

namespace {

constexpr COLORREF kKey = RGB(0, 255, 0);
constexpr SIZE kSkinSize{1257, 877};
constexpr POINT kFarAway{1900, 1060};  // off the launcher, which is centred on the test screen
const wchar_t kPromptCaption[] = L"退出游戏";
const wchar_t kPromptText[] = L"即将退出Velmora，是否继续？";

// ---------------------------------------------------------------------------------------------------------
// What the launcher asks of the system, recorded at the executable's imports

struct ShellCall {
    HWND owner;
    std::optional<std::wstring> verb, file, parameters, directory;
    INT show;
};
struct BoxCall {
    HWND owner;
    std::wstring text, caption;
    UINT type;
};

std::vector<ShellCall> g_shellCalls;
std::vector<BoxCall> g_boxCalls;
std::vector<std::pair<HWND, int>> g_showCalls;
ImportHook* g_boxHook = nullptr;
ImportHook* g_showHook = nullptr;

std::optional<std::wstring> Text(const wchar_t* text)
{
    if (!text) return std::nullopt;
    return std::wstring(text);
}

// Nothing is opened: the test sees exactly what the shell would have been handed.
HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show)
{
    g_shellCalls.push_back({owner, Text(verb), Text(file), Text(parameters), Text(directory), show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));  // above 32: what success looks like
}

// The box still comes up: the tests find it on the screen and answer it.
int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    g_boxCalls.push_back({owner, text ? text : L"", caption ? caption : L"", type});
    using Fn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
    return g_boxHook->Original<Fn>()(owner, text, caption, type);
}

BOOL WINAPI RecordShowWindow(HWND window, int command)
{
    g_showCalls.emplace_back(window, command);
    using Fn = BOOL(WINAPI*)(HWND, int);
    return g_showHook->Original<Fn>()(window, command);
}

// ---------------------------------------------------------------------------------------------------------
// The process as the application sets it up

class TestApp : public CWinApp, public IHandOver {
public:
    void LaunchGame(CString, CString) override { ++handOvers; }
    void ReturnToLauncher() override { ++handOvers; }
    int handOvers = 0;
};
TestApp theTestApp;

std::wstring TempPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"velmora-launcher-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + name;
}

std::wstring BrowserLogPath() { return TempPath(L"browser.log"); }

class LauncherEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&m_gdiplus, &input, nullptr);
        ASSERT_TRUE(AfxOleInit());
        AfxEnableControlContainer();
        ::SetEnvironmentVariableW(kFakeBrowserLogVariable, BrowserLogPath().c_str());
        // Classes registered in the process come before the registry: the companion's template gets the
        // stand-in, which loads nothing from the network.
        ASSERT_EQ(S_OK, ::CoRegisterClassObject(CLSID_WebBrowser, FakeBrowserClassFactory(), CLSCTX_INPROC_SERVER,
                                                REGCLS_MULTIPLEUSE, &m_registration));
        m_shell = std::make_unique<ImportHook>("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&RecordShellExecute));
        m_box = std::make_unique<ImportHook>("user32.dll", "MessageBoxW", reinterpret_cast<void*>(&RecordMessageBox));
        m_show = std::make_unique<ImportHook>("user32.dll", "ShowWindow", reinterpret_cast<void*>(&RecordShowWindow));
        ASSERT_TRUE(m_shell->Installed());
        ASSERT_TRUE(m_box->Installed());
        ASSERT_TRUE(m_show->Installed());
        g_boxHook = m_box.get();
        g_showHook = m_show.get();
    }
    void TearDown() override
    {
        m_show.reset();
        m_box.reset();
        m_shell.reset();
        ::CoRevokeClassObject(m_registration);
        ::DeleteFileW(BrowserLogPath().c_str());
        ::OleUninitialize();
        Gdiplus::GdiplusShutdown(m_gdiplus);
    }

private:
    ULONG_PTR m_gdiplus = 0;
    DWORD m_registration = 0;
    std::unique_ptr<ImportHook> m_shell, m_box, m_show;
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LauncherEnvironment);

// ---------------------------------------------------------------------------------------------------------
// config.ini beside this executable

std::wstring ConfigPath()
{
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1) + L"config.ini";
}

void WriteConfig(const std::string& bytes)
{
    HANDLE f = ::CreateFileW(ConfigPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
    ASSERT_EQ(written, bytes.size());
}

void RemoveConfig() { ::DeleteFileW(ConfigPath().c_str()); }

// ---------------------------------------------------------------------------------------------------------
// Pixels

// What the window draws when asked to print its client area into a memory DC, row by row.
std::vector<COLORREF> PrintedPixels(HWND hwnd, SIZE size)
{
    std::vector<COLORREF> pixels;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, size.cx, size.cy);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) pixels.push_back(::GetPixel(memory, x, y));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// A skin image as a button of `size` should show it over the companion: the image's opaque pixels at the
// top-left, the key colour (through which the skin shows) wherever the image is clear or absent. The
// button images are either fully opaque or fully clear at each pixel.
std::vector<COLORREF> ExpectedButtonPixels(UINT imageId, SIZE size)
{
    std::unique_ptr<Gdiplus::Image> image(LoadImageFromResource(imageId, L"PNG", nullptr));
    const INT width = static_cast<INT>(image->GetWidth()), height = static_cast<INT>(image->GetHeight());
    EXPECT_GT(width, 0);
    Gdiplus::Bitmap canvas(width > 0 ? width : 1, height > 0 ? height : 1, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&canvas);
        graphics.DrawImage(image.get(), 0, 0, width, height);
    }
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size.cy; ++y) {
        for (int x = 0; x < size.cx; ++x) {
            Gdiplus::Color c;
            if (x < width && y < height && canvas.GetPixel(x, y, &c) == Gdiplus::Ok && c.GetA() == 255)
                pixels.push_back(RGB(c.GetR(), c.GetG(), c.GetB()));
            else
                pixels.push_back(kKey);
        }
    }
    return pixels;
}

// Pixels that differ by more than rounding; the first one is described in `where`.
int CountDifferences(const std::vector<COLORREF>& shown, const std::vector<COLORREF>& expected, SIZE size, std::string* where)
{
    int differences = 0;
    for (size_t i = 0; i < shown.size() && i < expected.size(); ++i) {
        auto close = [](int a, int b) { return a - b <= 2 && b - a <= 2; };
        COLORREF s = shown[i], e = expected[i];
        if (close(GetRValue(s), GetRValue(e)) && close(GetGValue(s), GetGValue(e)) && close(GetBValue(s), GetBValue(e))) continue;
        if (differences++ == 0) {
            char text[96];
            std::snprintf(text, sizeof text, "first at (%d, %d): shown %06lx, expected %06lx", static_cast<int>(i % size.cx),
                          static_cast<int>(i / size.cx), static_cast<unsigned long>(s), static_cast<unsigned long>(e));
            *where = text;
        }
    }
    return differences;
}

SIZE ClientSize(HWND hwnd)
{
    RECT r;
    ::GetClientRect(hwnd, &r);
    return SIZE{r.right, r.bottom};
}

// A window's rectangle in the client coordinates of `reference`.
RECT RectIn(HWND window, HWND reference)
{
    RECT r;
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

// ---------------------------------------------------------------------------------------------------------
// The launcher's controls

struct ImageButton {
    const char* name;
    int id;
    CMFCButton CZuStandardDlg::*member;
    UINT normalImage, hotImage;
    RECT place;  // in the companion's client area
};
const ImageButton kImageButtons[] = {
    {"home", 1006, &CZuStandardDlg::m_btnHome, 139, 140, {363, 305, 363 + 165, 305 + 48}},
    {"recharge", 1008, &CZuStandardDlg::m_btnRecharge, 143, 144, {528, 305, 528 + 165, 305 + 48}},
    {"service", 1009, &CZuStandardDlg::m_btnService, 145, 147, {696, 305, 696 + 165, 305 + 48}},
    {"forum", 1010, &CZuStandardDlg::m_btnForum, 141, 142, {858, 305, 858 + 166, 305 + 48}},
    {"close", 1004, &CZuStandardDlg::m_btnClose, 138, 137, {1018, 249, 1018 + 58, 249 + 88}},
    {"minimise", 1012, &CZuStandardDlg::m_btnMinimize, 159, 160, {962, 237, 962 + 62, 237 + 59}},
};
constexpr RECT kBrowserPlace{364, 371, 364 + 656, 371 + 360};

struct LinkButton {
    int id;
    const char* key;
    const wchar_t* builtInPathAndQuery;  // of the built-in page, after its host
};
const LinkButton kLinkButtons[] = {
    {1006, "home_url", L""},
    {1008, "recharge_url", L"/index.php?module=pay&gamename=pexo"},
    {1009, "service_url", L"/service.php"},
    {1010, "forum_url", L"/forum-213-1.html"},
};

// An http address on some host followed by exactly `pathAndQuery` ("" also allows a bare "/").
bool IsBuiltInPage(const std::wstring& address, const std::wstring& pathAndQuery)
{
    const std::wstring scheme = L"http://";
    if (address.compare(0, scheme.size(), scheme) != 0) return false;
    size_t hostEnd = address.find_first_of(L"/?#", scheme.size());
    std::wstring host = address.substr(scheme.size(), hostEnd == std::wstring::npos ? std::wstring::npos : hostEnd - scheme.size());
    std::wstring rest = hostEnd == std::wstring::npos ? L"" : address.substr(hostEnd);
    if (host.empty() || host.find(L'.') == std::wstring::npos) return false;
    return rest == pathAndQuery || (pathAndQuery.empty() && rest == L"/");
}

std::vector<std::string> BrowserLog()
{
    std::ifstream in(BrowserLogPath().c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty()) return L"";
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

// ---------------------------------------------------------------------------------------------------------
// Running a launcher

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveConfig();
        ::DeleteFileW(BrowserLogPath().c_str());
        ::SetCursorPos(kFarAway.x, kFarAway.y);
        g_shellCalls.clear();
        g_boxCalls.clear();
        g_showCalls.clear();
        theTestApp.handOvers = 0;
    }
    void TearDown() override
    {
        RemoveConfig();
        DrainMessages();
        EXPECT_EQ(theTestApp.handOvers, 0);
        EXPECT_EQ(FakeBrowserLiveObjects(), 0);  // the companion released its browser
    }

    // Runs a launcher as the application does, with `player` as the user, until it ends. A launcher still
    // up after the watchdog's time is closed so that the failure shows instead of a hang.
    void RunLauncher(ScriptedPlayer& player)
    {
        CZuTranslucentDlg launcher(158, L"PNG", nullptr, nullptr);
        m_launcher = &launcher;
        s_running = &launcher;
        s_timedOut = false;
        theTestApp.m_pMainWnd = &launcher;
        UINT_PTR watchdog = ::SetTimer(nullptr, 0, 30000, &LauncherTest::Watchdog);
        player.Start();
        launcher.DoModal();
        player.Stop();
        ::KillTimer(nullptr, watchdog);
        MSG quit;
        m_quitPosted = ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
        m_mainWindowCleared = theTestApp.m_pMainWnd == nullptr;
        if (theTestApp.m_pMainWnd == &launcher) theTestApp.m_pMainWnd = nullptr;
        m_launcher = nullptr;
        s_running = nullptr;
        DrainMessages();
        EXPECT_FALSE(s_timedOut) << "the launcher had to be closed by the watchdog";
        EXPECT_TRUE(player.Done());
    }

    // Valid inside player steps.
    HWND Background() const { return m_launcher->m_hWnd; }
    CZuStandardDlg& Companion() const { return *static_cast<CZuStandardDlg*>(m_launcher->GetStandardDialog()); }
    HWND Control(int id) const { return ::GetDlgItem(Companion().m_hWnd, id); }
    void CloseLauncher() const { ::SendMessageW(Background(), WM_CLOSE, 0, 0); }

    // Exactly one shell call since the last look, with the launcher's fixed arguments around `file`.
    static void ExpectOpened(const std::wstring& file)
    {
        ASSERT_EQ(g_shellCalls.size(), 1u);
        const ShellCall& call = g_shellCalls.front();
        EXPECT_EQ(call.owner, nullptr);
        EXPECT_EQ(call.verb, std::optional<std::wstring>(L"open"));
        EXPECT_EQ(call.file, std::optional<std::wstring>(file));
        EXPECT_EQ(call.parameters, std::nullopt);
        EXPECT_EQ(call.directory, std::nullopt);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        g_shellCalls.clear();
    }

    // As above, the file being a built-in page: an http address ending in `pathAndQuery` after its host.
    static void ExpectOpenedBuiltIn(const std::wstring& pathAndQuery)
    {
        ASSERT_EQ(g_shellCalls.size(), 1u);
        const std::wstring file = g_shellCalls.front().file.value_or(L"(none)");
        EXPECT_TRUE(IsBuiltInPage(file, pathAndQuery)) << file;
        ExpectOpened(file);
    }

    CZuTranslucentDlg* m_launcher = nullptr;
    bool m_quitPosted = false;
    bool m_mainWindowCleared = false;

private:
    static void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD)
    {
        if (!s_running || !s_running->m_hWnd) return;
        s_timedOut = true;
        if (HWND box = FindThreadDialog(kPromptCaption)) ::PostMessageW(box, WM_COMMAND, IDNO, 0);
        ::PostMessageW(s_running->m_hWnd, WM_CLOSE, 0, 0);
    }
    static inline CZuTranslucentDlg* s_running = nullptr;
    static inline bool s_timedOut = false;
};

// ---------------------------------------------------------------------------------------------------------
// Tests

TEST_F(LauncherTest, SkinAndControlsSitAtTheirLayoutPlaces)
{
    ScriptedPlayer player;
    player.Then([&] {
        HWND companion = Companion().m_hWnd;
        ASSERT_TRUE(::IsWindowVisible(Background()));
        ASSERT_TRUE(::IsWindowVisible(companion));
        RECT background, over;
        ::GetWindowRect(Background(), &background);
        ::GetWindowRect(companion, &over);
        EXPECT_EQ(Describe(background), Describe(RECT{background.left, background.top, background.left + kSkinSize.cx,
                                                      background.top + kSkinSize.cy}));
        EXPECT_EQ(Describe(over), Describe(background));
        // No frame: the client area is the picture, pixel for pixel.
        EXPECT_EQ(Describe(RectIn(companion, companion)), Describe(RECT{0, 0, kSkinSize.cx, kSkinSize.cy}));
        // The colour the buttons draw around their images is the one the system shows the skin through.
        COLORREF key = 0;
        DWORD flags = 0;
        ASSERT_TRUE(::GetLayeredWindowAttributes(companion, &key, nullptr, &flags));
        EXPECT_EQ(key, kKey);
        EXPECT_TRUE(flags & LWA_COLORKEY);

        for (const ImageButton& b : kImageButtons) {
            SCOPED_TRACE(b.name);
            HWND button = Control(b.id);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ((Companion().*b.member).m_hWnd, button);
            EXPECT_TRUE(::IsWindowVisible(button));
            EXPECT_EQ(Describe(RectIn(button, companion)), Describe(b.place));
        }
        ASSERT_NE(Companion().m_browser.m_hWnd, nullptr);
        EXPECT_EQ(Describe(RectIn(Companion().m_browser.m_hWnd, companion)), Describe(kBrowserPlace));
        // The control's site reports the same place to the control, so that asking for it again (as a
        // control does when it is activated anew) keeps the browser where it was put.
        ASSERT_NE(Companion().m_browser.m_pCtrlSite, nullptr);
        IOleObject* object = nullptr;
        ASSERT_EQ(S_OK, Companion().m_browser.m_pCtrlSite->QueryControl(IID_IOleObject, reinterpret_cast<void**>(&object)));
        IOleClientSite* client = nullptr;
        IOleInPlaceSite* inPlace = nullptr;
        if (SUCCEEDED(object->GetClientSite(&client)) && client)
            client->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace));
        ASSERT_NE(inPlace, nullptr);
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position{}, clip{};
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof frameInfo;
        EXPECT_EQ(S_OK, inPlace->GetWindowContext(&frame, &document, &position, &clip, &frameInfo));
        EXPECT_EQ(Describe(position), Describe(kBrowserPlace));
        EXPECT_EQ(Describe(clip), Describe(kBrowserPlace));
        if (frame) frame->Release();
        if (document) document->Release();
        inPlace->Release();
        client->Release();
        object->Release();
        EXPECT_EQ(Companion().m_btnDefault.m_hWnd, Control(104));
        EXPECT_FALSE(::IsWindowVisible(Control(104)));
        CloseLauncher();
    });
    RunLauncher(player);
}

// Each button shows its normal image with the skin's key colour around it, the hot image while the pointer
// is over it and the normal one again once the system reports that the pointer left; and the hand cursor.
TEST_F(LauncherTest, ButtonsShowTheirImagesAndFollowThePointer)
{
    ScriptedPlayer player;
    for (const ImageButton& b : kImageButtons) {
        auto button = [this, &b] { return &(Companion().*b.member); };
        auto expectShown = [this, &b, button](UINT image) {
            SCOPED_TRACE(std::string(b.name) + ", image " + std::to_string(image));
            SIZE size = ClientSize(button()->m_hWnd);
            std::string where;
            EXPECT_EQ(CountDifferences(PrintedPixels(button()->m_hWnd, size), ExpectedButtonPixels(image, size), size, &where), 0)
                << where;
        };
        player.Then([=] {
            expectShown(b.normalImage);
            ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
            HWND hwnd = button()->m_hWnd;
            ::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND)) << b.name;

            // Into the button's middle, as the system reports the pointer's arrival.
            POINT local{(b.place.right - b.place.left) / 2, (b.place.bottom - b.place.top) / 2};
            POINT at{b.place.left + local.x, b.place.top + local.y};
            ::ClientToScreen(Companion().m_hWnd, &at);
            ::SetCursorPos(at.x, at.y);
            ::PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(local.x, local.y));
        });
        player.ThenWhen([=] { return button()->IsHot(); }, [=] {
            expectShown(b.hotImage);
            ::SetCursorPos(kFarAway.x, kFarAway.y);
        });
        player.ThenWhen([=] { return !button()->IsHot(); }, [=] { expectShown(b.normalImage); });
    }
    player.Then([&] { CloseLauncher(); });
    RunLauncher(player);
}

// One launcher, one table: each row rewrites config.ini before its click, so every click also shows that
// the file is read at that moment and not at an earlier one.
TEST_F(LauncherTest, LinkButtonsOpenTheConfiguredPageAtEachClick)
{
    enum Outcome { kNothing, kBuiltIn, kAsWritten };
    struct Row {
        const char* name;
        const char* line;  // the button's key line, or null for none
        Outcome outcome;
        const wchar_t* opened;
    };
    const Row rows[] = {
        {"switched off", "=##", kNothing, nullptr},
        {"address", "=http://pages.example/a?b=1&c=2", kAsWritten, L"http://pages.example/a?b=1&c=2"},
        {"error", "=error", kBuiltIn, nullptr},
        {"number signs within", "=a##b", kAsWritten, L"a##b"},
        {"missing", nullptr, kBuiltIn, nullptr},
        {"empty", "=", kAsWritten, L""},
        {"ERROR is a value", "=ERROR", kAsWritten, L"ERROR"},
        {"switched off again", "=##", kNothing, nullptr},
    };

    ScriptedPlayer player;
    player.Then([&] {
        // No file at all: every button opens its built-in page.
        for (const LinkButton& link : kLinkButtons) {
            SCOPED_TRACE(link.key);
            ::SendMessageW(Control(link.id), BM_CLICK, 0, 0);
            ExpectOpenedBuiltIn(link.builtInPathAndQuery);
        }
        for (const LinkButton& link : kLinkButtons) {
            for (const Row& row : rows) {
                SCOPED_TRACE(std::string(link.key) + ": " + row.name);
                // The other buttons' keys hold addresses of their own: a button that read the wrong key shows.
                std::string file = "[pexo]\r\n";
                for (const LinkButton& other : kLinkButtons) {
                    if (other.id != link.id) file += std::string(other.key) + "=http://other.example/" + other.key + "\r\n";
                    else if (row.line) file += std::string(link.key) + row.line + "\r\n";
                }
                WriteConfig(file);
                ::SendMessageW(Control(link.id), BM_CLICK, 0, 0);
                if (row.outcome == kNothing) {
                    EXPECT_TRUE(g_shellCalls.empty());
                    g_shellCalls.clear();
                } else if (row.outcome == kBuiltIn) {
                    ExpectOpenedBuiltIn(link.builtInPathAndQuery);
                } else {
                    ExpectOpened(row.opened);
                }
            }
        }
        // The command alone does it too, as the dialog manager sends it.
        WriteConfig("[pexo]\r\nforum_url=http://forum.example/\r\n");
        ::SendMessageW(Companion().m_hWnd, WM_COMMAND, MAKEWPARAM(1010, BN_CLICKED), reinterpret_cast<LPARAM>(Control(1010)));
        ExpectOpened(L"http://forum.example/");
        EXPECT_TRUE(g_boxCalls.empty());
        CloseLauncher();
    });
    RunLauncher(player);
}

// Whatever the file holds goes to the shell as the file service returns it, and the launcher carries on.
TEST_F(LauncherTest, BadLinkValuesReachTheShellAndBreakNothing)
{
    std::string garbage;
    unsigned seed = 12345;
    while (garbage.size() < 700) {
        seed = seed * 1103515245u + 12345u;
        char c = static_cast<char>('!' + (seed >> 16) % 94);  // printable, no blanks
        if (c != '"' && c != '\'') garbage += c;
    }
    const std::wstring garbage511(garbage.begin(), garbage.begin() + 511);
    struct Row {
        const char* name;
        std::string value;
        std::wstring opened;
    };
    const Row rows[] = {
        {"700 characters of garbage, cut to 511", garbage, garbage511},
        {"exactly 511 characters", garbage.substr(0, 511), garbage511},
        {"quotes and spaces inside", "say \"hello\" to 'all' of   them", L"say \"hello\" to 'all' of   them"},
        {"a quoted value loses its quotes", "\"http://q.example/a b\"", L"http://q.example/a b"},
        {"format directives", "%s%n%x%p%%%1", L"%s%n%x%p%%%1"},
        {"not an address", "just some words; and = signs [pexo]", L"just some words; and = signs [pexo]"},
        {"a command line", "cmd.exe /c echo hi", L"cmd.exe /c echo hi"},
    };

    ScriptedPlayer player;
    player.Then([&] {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            WriteConfig("[pexo]\r\nservice_url=" + row.value + "\r\n");
            ::SendMessageW(Control(1009), BM_CLICK, 0, 0);
            ExpectOpened(row.opened);
        }
    });
    player.Then([&] {
        // Still the launcher it was: both windows up, and the next click works as ever.
        EXPECT_TRUE(::IsWindowVisible(Background()));
        EXPECT_TRUE(::IsWindowVisible(Companion().m_hWnd));
        EXPECT_EQ(theTestApp.m_pMainWnd, m_launcher);
        WriteConfig("[pexo]\r\nservice_url=http://help.example/\r\n");
        ::SendMessageW(Control(1009), BM_CLICK, 0, 0);
        ExpectOpened(L"http://help.example/");
        CloseLauncher();
    });
    RunLauncher(player);
}

TEST_F(LauncherTest, CloseAsksFirstNoKeepsTheLauncherYesEndsIt)
{
    HWND background = nullptr, companion = nullptr;
    RECT placeBefore{};
    auto clickClose = [&] {
        ::PostMessageW(companion, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), reinterpret_cast<LPARAM>(Control(1004)));
    };
    auto answer = [&](int button) {
        HWND box = FindThreadDialog(kPromptCaption);
        wchar_t text[128] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 128);  // the message box's text control
        EXPECT_STREQ(text, kPromptText);
        EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
        EXPECT_NE(::GetDlgItem(box, IDNO), nullptr);
        EXPECT_EQ(::GetDlgItem(box, IDCANCEL), nullptr);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    };

    ScriptedPlayer player;
    player.Then([&] {
        background = Background();
        companion = Companion().m_hWnd;
        ::GetWindowRect(background, &placeBefore);
        clickClose();
    });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) != nullptr; }, [&] { answer(IDNO); });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) == nullptr; }, [&] {
        // Exactly as it was.
        EXPECT_TRUE(::IsWindowVisible(background));
        EXPECT_TRUE(::IsWindowVisible(companion));
        EXPECT_TRUE(::IsWindowEnabled(companion));
        EXPECT_TRUE(::IsWindowEnabled(background));
        RECT place;
        ::GetWindowRect(background, &place);
        EXPECT_EQ(Describe(place), Describe(placeBefore));
        EXPECT_EQ(theTestApp.m_pMainWnd, m_launcher);
        clickClose();
    });
    player.ThenWhen([&] { return FindThreadDialog(kPromptCaption) != nullptr; }, [&] { answer(IDYES); });
    RunLauncher(player);

    // Yes ended the launcher's own loop and, it being the main window, the program.
    EXPECT_FALSE(::IsWindow(background));
    EXPECT_FALSE(::IsWindow(companion));
    EXPECT_TRUE(m_quitPosted);
    EXPECT_TRUE(m_mainWindowCleared);
    ASSERT_EQ(g_boxCalls.size(), 2u);
    for (const BoxCall& call : g_boxCalls) {
        EXPECT_EQ(call.owner, companion);
        EXPECT_EQ(call.text, kPromptText);
        EXPECT_EQ(call.caption, kPromptCaption);
        EXPECT_EQ(call.type, static_cast<UINT>(MB_YESNO));  // no icon, no other option
    }
    EXPECT_TRUE(g_shellCalls.empty());
}

TEST_F(LauncherTest, MinimiseTakesTheCompanionFirstThenTheBackground)
{
    ScriptedPlayer player;
    player.Then([&] {
        g_showCalls.clear();
        ::SendMessageW(Control(1012), BM_CLICK, 0, 0);
        std::vector<std::pair<HWND, int>> minimised;
        for (const auto& call : g_showCalls)
            if (call.second == SW_MINIMIZE) minimised.push_back(call);
        ASSERT_EQ(minimised.size(), 2u);
        EXPECT_EQ(minimised[0].first, Companion().m_hWnd);
        EXPECT_EQ(minimised[1].first, Background());
        EXPECT_TRUE(::IsIconic(Background()));
        EXPECT_TRUE(g_boxCalls.empty());
        EXPECT_TRUE(g_shellCalls.empty());
        CloseLauncher();
    });
    RunLauncher(player);
}

// Enter does nothing wherever the focus is among the buttons. Escape in a button, like a close request to
// the companion, closes the pair without a prompt: only the close button asks.
TEST_F(LauncherTest, EnterDoesNothingEscapeAndCloseRequestEndThePairWithoutAPrompt)
{
    struct Way {
        const char* name;
        std::function<void(HWND companion, HWND button)> close;
    };
    const Way ways[] = {
        {"Escape in a button", [](HWND, HWND button) {
             ::SetFocus(button);
             ASSERT_EQ(::GetFocus(), button);
             ::PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 1);
         }},
        {"close request to the companion", [](HWND companion, HWND) { ::PostMessageW(companion, WM_CLOSE, 0, 0); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        HWND background = nullptr, companion = nullptr;
        ScriptedPlayer player;
        for (const ImageButton& b : kImageButtons) {
            player.Then([&, id = b.id] {
                ::SetFocus(Control(id));
                ::PostMessageW(Control(id), WM_KEYDOWN, VK_RETURN, 1);
                ::PostMessageW(Control(id), WM_KEYUP, VK_RETURN, 0xC0000001);
            });
        }
        player.Then([&] {
            // What Enter may turn into, sent directly: the OK command and the hidden default button's command.
            ::SendMessageW(Companion().m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            ::SendMessageW(Companion().m_hWnd, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), reinterpret_cast<LPARAM>(Control(104)));
        });
        player.Then([&] {
            background = Background();
            companion = Companion().m_hWnd;
            EXPECT_TRUE(::IsWindowVisible(background));
            EXPECT_TRUE(::IsWindowVisible(companion));
            EXPECT_TRUE(g_shellCalls.empty());
            EXPECT_TRUE(g_boxCalls.empty());
            way.close(companion, Control(1006));
        });
        RunLauncher(player);

        EXPECT_FALSE(::IsWindow(background));
        EXPECT_FALSE(::IsWindow(companion));
        EXPECT_TRUE(m_quitPosted);
        EXPECT_TRUE(g_boxCalls.empty());
        EXPECT_TRUE(g_shellCalls.empty());
    }
}

// The companion navigates its browser once, to the configured login page or the built-in one, then
// silences it. Each case is a launcher of its own: the address is read when the companion starts.
TEST_F(LauncherTest, LoginPageComesFromTheConfigurationWhenTheLauncherStarts)
{
    struct Case {
        const char* name;
        const char* file;  // null: no config.ini
        const wchar_t* expected;  // null: the built-in page
    };
    const Case cases[] = {
        {"no file", nullptr, nullptr},
        {"error", "[pexo]\r\nclient_web=error\r\n", nullptr},
        {"## is an address here", "[pexo]\r\nclient_web=##\r\n", L"##"},
        {"configured", "[pexo]\r\nclient_web=http://127.0.0.1:9/login.html?x=1\r\n", L"http://127.0.0.1:9/login.html?x=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveConfig();
        ::DeleteFileW(BrowserLogPath().c_str());
        if (c.file) WriteConfig(c.file);

        auto navigations = [] {
            std::vector<std::wstring> addresses;
            for (const std::string& line : BrowserLog())
                if (line.rfind("navigate ", 0) == 0) addresses.push_back(Widen(line.substr(9)));
            return addresses;
        };
        ScriptedPlayer player;
        player.ThenWhen([&] { return !navigations().empty(); }, [&] {
            // A change now is for the next launcher: this one does not navigate again.
            WriteConfig("[pexo]\r\nclient_web=http://127.0.0.1:9/changed.html\r\n");
            CloseLauncher();
        });
        RunLauncher(player);

        std::vector<std::wstring> addresses = navigations();
        ASSERT_EQ(addresses.size(), 1u);
        if (c.expected)
            EXPECT_EQ(addresses[0], c.expected);
        else
            EXPECT_TRUE(IsBuiltInPage(addresses[0], L"/gamelogin_wd_wdlogin_pexo.html")) << addresses[0];
        std::vector<std::string> log = BrowserLog();
        auto navigated = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("navigate ", 0) == 0; });
        EXPECT_NE(std::find(navigated, log.end(), "silent true"), log.end()) << "silenced after navigating";
    }
}

}  // namespace
