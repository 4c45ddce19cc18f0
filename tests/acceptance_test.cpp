// The program as a player meets it: started from its own folder, seen and answered from outside its process.
// ctest runs this executable in a Wine prefix whose web browser control is the stand-in browser (see
// acceptance.sh), so that a login page served here can hand over to the game.
#include <winsock2.h>
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LoopbackServer.h"
#include "tests/support/ProgramDriver.h"
#include "tests/support/ScreenShot.h"

namespace {

const wchar_t kExitText[] = L"即将退出Velmora，是否继续？";
const wchar_t kExitCaption[] = L"退出游戏";
const wchar_t kGameTitle[] = L"Velmora  【F5刷新】【F11全屏】【F12最小托盘】";
const int kSkinWidth = 1257, kSkinHeight = 877;
// Where the companion's controls lie over the picture: the skin shows only around them.
const RECT kControlsArea{360, 230, 1080, 735};

std::wstring ProgramUnderTest() { return driver::ExeDirectory() + L"..\\Velmora.exe"; }

std::wstring TempPath(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return temp + name;
}

// Wine's own translation of a Windows path into the Unix one, for the Unix programs that Wine starts.
std::string UnixPath(const std::wstring& windowsPath)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unix = toUnix(windowsPath.c_str());
    if (!unix) return {};
    std::string path(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return path;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool IsLayered(HWND hwnd) { return (::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

bool IsLauncher(const driver::WindowInfo& w) { return w.title == L"Velmora" && IsLayered(w.hwnd); }

// The launcher's pair, as a player sees it: the picture and the companion that carries the controls.
struct Launcher {
    HWND background = nullptr;
    HWND companion = nullptr;
};

Launcher WaitForLauncher(const driver::Program& program)
{
    Launcher launcher;
    launcher.background = program.WaitForWindow(IsLauncher);
    if (!launcher.background) return launcher;
    launcher.companion = program.WaitForWindow(
        [&](const driver::WindowInfo& w) { return w.owner == launcher.background && w.title.empty(); });
    return launcher;
}

std::vector<HWND> VisibleWindows(const driver::Program& program)
{
    std::vector<HWND> visible;
    for (const driver::WindowInfo& w : program.Windows())
        if (w.visible) visible.push_back(w.hwnd);
    return visible;
}

// Presses a button of the companion. Posted, so that a prompt the click opens does not hold this thread.
void Click(const Launcher& launcher, int id) { ::PostMessageW(::GetDlgItem(launcher.companion, id), BM_CLICK, 0, 0); }

HWND WaitForExitPrompt(const driver::Program& program)
{
    return program.WaitForWindow(
        [](const driver::WindowInfo& w) { return w.className == L"#32770" && w.title == kExitCaption; });
}

bool Near(DWORD a, DWORD b, int tolerance = 2)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

// A pixel of the skin picture: where it is and what it is (0xAARRGGBB, not premultiplied).
struct SkinPixel {
    int x, y;
    DWORD argb;
};

// Sample pixels of the launcher's picture away from the companion's controls, decoded here from the same
// PNG the program carries: the fully opaque ones and the fully transparent ones.
void SampleSkin(std::vector<SkinPixel>* opaque, std::vector<SkinPixel>* clear)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    {
        HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(158), L"PNG");
        ASSERT_NE(found, nullptr);
        DWORD size = ::SizeofResource(nullptr, found);
        const void* data = ::LockResource(::LoadResource(nullptr, found));
        HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
        memcpy(::GlobalLock(copy), data, size);
        ::GlobalUnlock(copy);
        IStream* stream = nullptr;
        ASSERT_EQ(::CreateStreamOnHGlobal(copy, TRUE, &stream), S_OK);
        Gdiplus::Bitmap picture(stream);
        ASSERT_EQ(picture.GetWidth(), static_cast<UINT>(kSkinWidth));
        ASSERT_EQ(picture.GetHeight(), static_cast<UINT>(kSkinHeight));
        for (int y = 3; y < kSkinHeight; y += 29) {
            for (int x = 5; x < kSkinWidth; x += 31) {
                POINT p{x, y};
                if (::PtInRect(&kControlsArea, p)) continue;
                Gdiplus::Color c;
                picture.GetPixel(x, y, &c);
                if (c.GetA() == 255) opaque->push_back({x, y, c.GetValue()});
                if (c.GetA() == 0) clear->push_back({x, y, c.GetValue()});
            }
        }
        stream->Release();
    }
    Gdiplus::GdiplusShutdown(token);
}

// Points Wine's winebrowser, which opens the addresses given to the shell, at our recorder for as long as
// it lives; the value it had is put back.
class ShellRecorder {
public:
    explicit ShellRecorder(const std::wstring& logPath) : m_log(logPath)
    {
        ::DeleteFileW(m_log.c_str());
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, &m_key, nullptr);
        DWORD size = 0;
        m_hadValue = ::RegGetValueW(m_key, nullptr, L"Browsers", RRF_RT_REG_SZ, nullptr, nullptr, &size) ==
                     ERROR_SUCCESS;
        if (m_hadValue) {
            std::wstring old(size / sizeof(wchar_t) + 1, L'\0');
            size = static_cast<DWORD>(old.size() * sizeof(wchar_t));
            m_hadValue = ::RegGetValueW(m_key, nullptr, L"Browsers", RRF_RT_REG_SZ, nullptr, &old[0], &size) ==
                         ERROR_SUCCESS;
            m_oldValue = old.c_str();
        }
        // winebrowser splits the value into a command line (and at commas into alternatives).
        SetValue(L"\"" + Widen(VELMORA_SOURCE_DIR "/tests/support/record-shell.sh") + L"\" \"" +
                 Widen(UnixPath(m_log)) + L"\"");
    }
    ~ShellRecorder()
    {
        if (m_hadValue) SetValue(m_oldValue);
        else ::RegDeleteValueW(m_key, L"Browsers");
        ::RegCloseKey(m_key);
        ::DeleteFileW(m_log.c_str());
    }
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;

    std::vector<std::string> Opened() const { return Lines(driver::ReadFileBytes(m_log)); }

    // Waits until `count` addresses have been opened; the ones opened so far.
    std::vector<std::string> WaitForOpened(size_t count) const
    {
        driver::WaitFor([&] { return Opened().size() >= count; });
        return Opened();
    }

private:
    // Unix paths are UTF-8.
    static std::wstring Widen(const std::string& s)
    {
        std::wstring wide(s.size(), L'\0');
        int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &wide[0],
                                      static_cast<int>(wide.size()));
        wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return wide;
    }
    void SetValue(const std::wstring& value)
    {
        ::RegSetValueExW(m_key, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring m_log;
    HKEY m_key = nullptr;
    bool m_hadValue = false;
    std::wstring m_oldValue;
};

// The game's site: the login page hands over to the game the first time it is served and is an ordinary
// page afterwards, so that a fresh launcher stays up.
std::optional<std::string> GameSite(const std::string& path, int timesRequested)
{
    if (path == "/login.html")
        return timesRequested == 1
                   ? "<html><body><script>window.external.outLink(\"S1\", \"$ORIGIN/game.html\");</script></body></html>"
                   : "<html><body>login</body></html>";
    if (path == "/game.html") return "<html><body>game</body></html>";
    return std::nullopt;
}

// True when this prefix creates the stand-in browser for the web browser control (see acceptance.sh).
bool StandInBrowserMapped()
{
    wchar_t server[MAX_PATH];
    DWORD size = sizeof server;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE,
                       L"Software\\Classes\\CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32", nullptr,
                       RRF_RT_REG_SZ, nullptr, server, &size) != ERROR_SUCCESS)
        return false;
    std::wstring path(server);
    std::transform(path.begin(), path.end(), path.begin(), ::towlower);
    return path.find(L"fakebrowser.dll") != std::wstring::npos;
}

TEST(AcceptanceTest, StartsOnTheLauncherAndEndsWhenItCloses)
{
    driver::Program program(ProgramUnderTest(), "", L"velmora-acceptance-start");
    ASSERT_TRUE(program.Start());
    HWND launcher = program.WaitForWindow([](const driver::WindowInfo& w) { return w.title == L"Velmora"; });
    ASSERT_NE(launcher, nullptr);
    EXPECT_EQ(::GetWindow(launcher, GW_OWNER), nullptr);
    ::PostMessageW(launcher, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST(AcceptanceTest, LauncherIsTheSkinCentredInTheWorkAreaWithItsCompanionOverIt)
{
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ScreenShot desktop(work);
    std::vector<SkinPixel> opaque, clear;
    SampleSkin(&opaque, &clear);
    ASSERT_GE(opaque.size(), 20u);
    ASSERT_GE(clear.size(), 20u);

    driver::Program program(ProgramUnderTest(), "[pexo]\r\nclient_web=about:blank\r\n", L"velmora-acceptance-skin");
    ASSERT_TRUE(program.Start());
    Launcher launcher = WaitForLauncher(program);
    ASSERT_NE(launcher.background, nullptr);
    ASSERT_NE(launcher.companion, nullptr);

    LONG_PTR style = ::GetWindowLongPtrW(launcher.background, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_NE(style & WS_POPUP, 0);
    // The centring measures the template's framed window, caption and all, which the picture then replaces.
    RECT framed{0, 0, kSkinWidth, kSkinHeight};
    ::AdjustWindowRect(&framed, WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX, FALSE);
    RECT expected;
    expected.left = (work.right - work.left - (framed.right - framed.left)) / 2 + work.left;
    expected.top = (work.bottom - work.top - (framed.bottom - framed.top)) / 2 + work.top;
    expected.right = expected.left + kSkinWidth;
    expected.bottom = expected.top + kSkinHeight;
    RECT background{}, companion{};
    ::GetWindowRect(launcher.background, &background);
    ::GetWindowRect(launcher.companion, &companion);
    EXPECT_TRUE(::EqualRect(&background, &expected))
        << background.left << "," << background.top << " " << background.right - background.left << "x"
        << background.bottom - background.top << " expected at " << expected.left << "," << expected.top;
    EXPECT_TRUE(::EqualRect(&companion, &background));

    // Opaque skin pixels show the picture; fully transparent ones the desktop that was there before.
    std::string wrong;
    driver::WaitFor([&] {
        ScreenShot screen(work);
        wrong.clear();
        for (const SkinPixel& p : opaque)
            if (!Near(screen.At(background.left + p.x, background.top + p.y), p.argb & 0xFFFFFF))
                wrong += " opaque(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
        for (const SkinPixel& p : clear) {
            int x = background.left + p.x, y = background.top + p.y;
            if (!Near(screen.At(x, y), desktop.At(x, y)))
                wrong += " clear(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
        }
        return wrong.empty();
    }, 5000);
    EXPECT_EQ(wrong, "");

    ::PostMessageW(launcher.background, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST(AcceptanceTest, LinkButtonsOpenTheirConfiguredPagesThroughTheShell)
{
    ShellRecorder shell(TempPath(L"velmora-acceptance-shell.log"));
    const std::string config =
        "[pexo]\r\n"
        "client_web=about:blank\r\n"
        "home_url=http://velmora.test/home\r\n"
        "recharge_url=##\r\n"
        "service_url=http://velmora.test/help?q=##\r\n";  // forum_url missing: the built-in forum page
    driver::Program program(ProgramUnderTest(), config, L"velmora-acceptance-links");
    ASSERT_TRUE(program.Start());
    Launcher launcher = WaitForLauncher(program);
    ASSERT_NE(launcher.companion, nullptr);

    Click(launcher, 1008);  // switched off
    Click(launcher, 1006);
    Click(launcher, 1009);
    Click(launcher, 1010);
    std::vector<std::string> opened = shell.WaitForOpened(3);
    ASSERT_EQ(opened.size(), 3u) << "the shell was not asked to open three pages";
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(opened[0], "http://bbs.zuyou-games.example/forum-213-1.html");
    EXPECT_EQ(opened[1], "http://velmora.test/help?q=##");
    EXPECT_EQ(opened[2], "http://velmora.test/home");

    // The file is read at each click: a changed address takes effect without a restart.
    driver::WriteFileBytes(program.Folder() + L"config.ini", "[pexo]\r\nhome_url=http://velmora.test/new-home\r\n");
    Click(launcher, 1006);
    opened = shell.WaitForOpened(4);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[3], "http://velmora.test/new-home");

    ::PostMessageW(launcher.background, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST(AcceptanceTest, CloseButtonAsksFirstAndEndsTheProgramOnYes)
{
    driver::Program program(ProgramUnderTest(), "[pexo]\r\nclient_web=about:blank\r\n", L"velmora-acceptance-close");
    ASSERT_TRUE(program.Start());
    Launcher launcher = WaitForLauncher(program);
    ASSERT_NE(launcher.companion, nullptr);

    Click(launcher, 1004);
    HWND prompt = WaitForExitPrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(driver::DialogText(prompt), kExitText);
    EXPECT_EQ(::GetWindow(prompt, GW_OWNER), launcher.companion);
    driver::Answer(prompt, IDNO);
    EXPECT_TRUE(driver::WaitFor([&] { return !::IsWindow(prompt); }));
    EXPECT_EQ(program.WaitForExit(300), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(::IsWindowVisible(launcher.background));
    EXPECT_TRUE(::IsWindowVisible(launcher.companion));

    Click(launcher, 1004);
    prompt = WaitForExitPrompt(program);
    ASSERT_NE(prompt, nullptr);
    driver::Answer(prompt, IDYES);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST(AcceptanceTest, LoginPageStartsTheGameAndClosingTheGameComesBackToAFreshLauncher)
{
    if (!StandInBrowserMapped()) GTEST_SKIP() << "the web browser control runs no page script in this prefix";
    LoopbackServer site(GameSite);
    std::wstring browserLog = TempPath(L"velmora-acceptance-browser.log");
    ::DeleteFileW(browserLog.c_str());
    ::SetEnvironmentVariableW(L"VELMORA_FAKEBROWSER_LOG", browserLog.c_str());
    driver::Program program(ProgramUnderTest(), "[pexo]\r\nclient_web=" + site.Url("/login.html") + "\r\n",
                            L"velmora-acceptance-game");
    ASSERT_TRUE(program.Start());
    ::SetEnvironmentVariableW(L"VELMORA_FAKEBROWSER_LOG", nullptr);

    // The page's call hands over: the launcher's windows go without a prompt and the game opens maximised.
    HWND game = program.WaitForWindow([](const driver::WindowInfo& w) { return w.title == kGameTitle; });
    ASSERT_NE(game, nullptr);
    EXPECT_TRUE(::IsZoomed(game));
    EXPECT_TRUE(driver::WaitFor([&] { return VisibleWindows(program) == std::vector<HWND>{game}; }));
    EXPECT_TRUE(driver::WaitFor([&] { return site.Requests("/game.html") == 1; }));
    std::string gameUrl = site.Url("/game.html");
    EXPECT_NE(driver::ReadFileBytes(browserLog).find("navigate " + gameUrl), std::string::npos);

    // Closing the game asks, and Yes brings a launcher built afresh, which loads the login page again.
    ::PostMessageW(game, WM_CLOSE, 0, 0);
    HWND prompt = WaitForExitPrompt(program);
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(::GetWindow(prompt, GW_OWNER), game);
    driver::Answer(prompt, IDYES);
    Launcher second = WaitForLauncher(program);
    ASSERT_NE(second.companion, nullptr);
    EXPECT_TRUE(driver::WaitFor([&] { return !::IsWindow(game); }));
    EXPECT_TRUE(driver::WaitFor([&] { return site.Requests("/login.html") == 2; }));

    Click(second, 1004);
    prompt = WaitForExitPrompt(program);
    ASSERT_NE(prompt, nullptr);
    driver::Answer(prompt, IDYES);
    EXPECT_EQ(program.WaitForExit(), 0u);

    // The page's call came back only when the whole game-and-launcher round had ended.
    std::string log = driver::ReadFileBytes(browserLog);
    EXPECT_NE(log.find("call outLink(\"S1\", \"" + gameUrl + "\") -> 0x00000000"), std::string::npos) << log;
    ::DeleteFileW(browserLog.c_str());
}

}  // namespace
