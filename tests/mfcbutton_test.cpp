// The image button: its settings text, its settings reaching a bound object through a dialog's
// initialisation data, and what it draws (normal, hot, disabled image over the parent's background), its
// hover tracking, cursor and click.
#include <gtest/gtest.h>

#include <thread>

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/Framework.h"
#include "tests/support/GdiplusSession.h"
#include "tests/support/Player.h"

namespace {

// tests/mfcbutton_test.rc
constexpr UINT kButtonDialog = 3001;
constexpr int kBoundButton = 1006;
constexpr int kUnboundButton = 1012;
constexpr UINT kNormalImage = 401, kHotImage = 402, kDisabledImage = 403, kNotAnImage = 404;
// The fixture images: 16 x 8, left half opaque in these colours, right half fully transparent.
constexpr COLORREF kNormalColour = RGB(255, 0, 0);
constexpr COLORREF kHotColour = RGB(0, 0, 255);
constexpr COLORREF kDisabledColour = RGB(255, 255, 0);
constexpr POINT kOpaquePixel{6, 6};  // outside the image were it drawn at half size
constexpr POINT kClearPixel{12, 5};
// The test dialog's background: the launcher's colour key.
constexpr COLORREF kBackground = RGB(0, 255, 0);

class TestApp : public CWinApp {};
TestApp theTestApp;

::testing::Environment* const gdiplusSession = ::testing::AddGlobalTestEnvironment(new GdiplusSession);

std::string SettingsText(const char* imageType, const char* fullText)
{
    const char* tags[][2] = {{"Style", "6"},          {"Autosize", "FALSE"},    {"Tooltip", ""},
                             {"FullTextTool", fullText}, {"CursorType", "12"},  {"ImageType", imageType},
                             {"ImageOnTop", "FALSE"},  {"ImageOnRight", "FALSE"}};
    std::string text;
    for (auto& tag : tags) text += std::string("<MFCButton_") + tag[0] + ">" + tag[1] + "</MFCButton_" + tag[0] + ">";
    return text;
}

bool SameSettings(const MFCButtonSettings& a, const MFCButtonSettings& b)
{
    return a.style == b.style && a.autosize == b.autosize && a.tooltip == b.tooltip &&
           a.fullTextTooltip == b.fullTextTooltip && a.cursorType == b.cursorType && a.imageType == b.imageType &&
           a.imageOnTop == b.imageOnTop && a.imageOnRight == b.imageOnRight;
}

TEST(MFCButtonSettingsTest, ReadsTheTemplateTexts)
{
    struct Case {
        const char* imageType;
        const char* fullText;
        size_t length;
        int expectedImageType;
        bool expectedFullText;
    };
    const Case cases[] = {
        {"10", "FALSE", 371, 10, false},
        {"8", "FALSE", 370, 8, false},
        {"8", "TRUE", 369, 8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.imageType) + "/" + c.fullText);
        std::string text = SettingsText(c.imageType, c.fullText);
        ASSERT_EQ(text.size(), c.length);
        MFCButtonSettings s;
        s.Parse(text.data(), text.size());
        EXPECT_EQ(s.style, kMFCButtonStyleBorderless);
        EXPECT_FALSE(s.autosize);
        EXPECT_TRUE(s.tooltip.IsEmpty());
        EXPECT_EQ(s.fullTextTooltip, c.expectedFullText);
        EXPECT_EQ(s.cursorType, kMFCButtonCursorHand);
        EXPECT_EQ(s.imageType, c.expectedImageType);
        EXPECT_FALSE(s.imageOnTop);
        EXPECT_FALSE(s.imageOnRight);
    }

    MFCButtonSettings s;
    std::string tooltip = "<MFCButton_Tooltip>Home page</MFCButton_Tooltip><MFCButton_Autosize>TRUE</MFCButton_Autosize>";
    s.Parse(tooltip.data(), tooltip.size());
    EXPECT_STREQ(s.tooltip, L"Home page");
    EXPECT_TRUE(s.autosize);
}

TEST(MFCButtonSettingsTest, MalformedEntriesKeepTheirDefaults)
{
    const MFCButtonSettings defaults;
    const std::string cases[] = {
        "",
        "garbage \x01\xff<<>>",
        "<MFCButton_Style>",
        "<MFCButton_Style>6",
        "</MFCButton_Style>6<MFCButton_Style>",
        "<MFCButton_Style>abc</MFCButton_Style>",
        "<MFCButton_Style>-6</MFCButton_Style>",
        "<MFCButton_Style> 6</MFCButton_Style>",
        "<MFCButton_Style></MFCButton_Style>",
        "<MFCButton_CursorType>99999999999999999999</MFCButton_CursorType>",
        std::string("<MFCButton_CursorType>12\0</MFCButton_CursorType>", 45),
        "<MFCButton_Autosize>yes</MFCButton_Autosize><MFCButton_FullTextTool>true</MFCButton_FullTextTool>",
        "<mfcbutton_style>6</mfcbutton_style>",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        MFCButtonSettings s;
        s.Parse(text.data(), text.size());
        EXPECT_TRUE(SameSettings(s, defaults));
    }
    MFCButtonSettings s;
    s.Parse(nullptr, 371);
    EXPECT_TRUE(SameSettings(s, defaults));
}

TEST(MFCButtonSettingsTest, ReadsOnlyTheGivenLength)
{
    // Every cut of the text, with the rest still in memory right behind it: an entry counts only when its
    // closing tag lies within the length given.
    const std::string text = SettingsText("10", "TRUE");
    const std::string styleEnd = "</MFCButton_Style>", cursorEnd = "</MFCButton_CursorType>", fullEnd = "</MFCButton_FullTextTool>";
    const size_t styleComplete = text.find(styleEnd) + styleEnd.size();
    const size_t cursorComplete = text.find(cursorEnd) + cursorEnd.size();
    const size_t fullComplete = text.find(fullEnd) + fullEnd.size();
    for (size_t length = 0; length <= text.size(); ++length) {
        SCOPED_TRACE(length);
        MFCButtonSettings s;
        s.Parse(text.data(), length);
        EXPECT_EQ(s.style, length >= styleComplete ? 6 : 0);
        EXPECT_EQ(s.cursorType, length >= cursorComplete ? 12 : 0);
        EXPECT_EQ(s.fullTextTooltip, length >= fullComplete);
    }
}

// A dialog on the test template whose background brush is known; it binds button 1006 and counts clicks.
class ButtonDialog : public CDialog {
public:
    ButtonDialog() : CDialog(kButtonDialog) { m_background.CreateSolidBrush(kBackground); }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kBoundButton, m_button); }
    HBRUSH OnCtlColor(HDC dc, CWnd* control, UINT type)
    {
        if (type == CTLCOLOR_DLG) return m_background;
        return CWnd::OnCtlColor(dc, control, type);
    }
    void OnBoundClicked() { boundClicks++; }
    void OnUnboundClicked() { unboundClicks++; }

    CMFCButton m_button;
    CBrush m_background;
    int boundClicks = 0, unboundClicks = 0;
};
const MessageEntry buttonDialogEntries[] = {
    msgmap::OnCtlColor<&ButtonDialog::OnCtlColor>(),
    msgmap::OnCommand<&ButtonDialog::OnBoundClicked>(kBoundButton),
    msgmap::OnCommand<&ButtonDialog::OnUnboundClicked>(kUnboundButton),
};
const MessageMap ButtonDialog::messageMap{&CDialog::messageMap, buttonDialogEntries};

// What the window shows at this client point, painted through its own WM_PAINT.
COLORREF ShownPixel(HWND hwnd, POINT at)
{
    ::UpdateWindow(hwnd);
    HDC dc = ::GetDC(hwnd);
    COLORREF colour = ::GetPixel(dc, at.x, at.y);
    ::ReleaseDC(hwnd, dc);
    return colour;
}

// What the window draws at this client point when asked to print itself into a memory DC.
COLORREF PrintedPixel(HWND hwnd, POINT at)
{
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 64, 64);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    COLORREF colour = ::GetPixel(memory, at.x, at.y);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return colour;
}

POINT ScreenPoint(HWND hwnd, POINT at)
{
    ::ClientToScreen(hwnd, &at);
    return at;
}

class MFCButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::SetCursorPos(1500, 1000);  // away from every window
        ASSERT_TRUE(dialog.Create(kButtonDialog));
        ASSERT_NE(dialog.m_button.m_hWnd, nullptr);
        button = dialog.m_button.m_hWnd;
    }
    void TearDown() override
    {
        if (dialog.m_hWnd) dialog.DestroyWindow();
        DrainMessages();
    }

    // As the launcher skins its buttons.
    void Skin(UINT normal = kNormalImage, UINT hot = kHotImage, UINT disabled = 0)
    {
        dialog.m_button.SetImage(normal, hot, disabled);
        dialog.m_button.m_bTransparent = TRUE;
        dialog.m_button.MoveWindow(20, 20, 16, 8, TRUE);
    }

    // The pointer enters the button as the system reports it.
    void Enter()
    {
        POINT at{4, 4};
        ::SetCursorPos(ScreenPoint(button, at).x, ScreenPoint(button, at).y);
        ::PostMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        ASSERT_TRUE(PumpUntil([&] { return dialog.m_button.IsHot(); }, 2000));
    }

    ButtonDialog dialog;
    HWND button = nullptr;
};

TEST_F(MFCButtonTest, TemplateSettingsReachTheBoundObject)
{
    const CMFCButton& b = dialog.m_button;
    EXPECT_EQ(b.GetBorderStyle(), kMFCButtonStyleBorderless);
    EXPECT_EQ(b.GetCursorType(), kMFCButtonCursorHand);
    EXPECT_EQ(b.GetImageType(), 10);
    EXPECT_FALSE(b.IsFullTextTooltip());
    EXPECT_FALSE(b.IsAutosize());
    EXPECT_TRUE(b.GetTooltip().IsEmpty());
    EXPECT_FALSE(b.m_bTransparent);

    // The other control kept its own record until an object binds it later.
    HWND other = ::GetDlgItem(dialog.m_hWnd, kUnboundButton);
    {
        CMFCButton late;
        ASSERT_TRUE(late.SubclassWindow(other));
        EXPECT_EQ(late.GetImageType(), 8);
        EXPECT_TRUE(late.IsFullTextTooltip());
        EXPECT_EQ(late.GetCursorType(), kMFCButtonCursorHand);
    }
    // Its object gone, the window is the plain push button it was again, not an owner-drawn blank.
    EXPECT_EQ(::GetWindowLongW(other, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
}

TEST_F(MFCButtonTest, HoverShowsTheHotImageUntilThePointerLeaves)
{
    Skin();
    EXPECT_EQ(ShownPixel(button, kOpaquePixel), kNormalColour);
    EXPECT_EQ(ShownPixel(button, kClearPixel), kBackground);

    Enter();
    EXPECT_EQ(ShownPixel(button, kOpaquePixel), kHotColour);
    EXPECT_EQ(ShownPixel(button, kClearPixel), kBackground);

    // No message of ours: the system reports the leave because the button asked it to track the pointer.
    ::SetCursorPos(1500, 1000);
    ASSERT_TRUE(PumpUntil([&] { return !dialog.m_button.IsHot(); }, 3000));
    EXPECT_EQ(ShownPixel(button, kOpaquePixel), kNormalColour);

    // Pressed and dragged off: the captured button hears moves from outside itself.
    Enter();
    ::SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(-3), 4));
    EXPECT_FALSE(dialog.m_button.IsHot());

    // Again, with the leave report as the system posts it.
    Enter();
    EXPECT_EQ(PrintedPixel(button, kOpaquePixel), kHotColour);
    ::PostMessageW(button, WM_MOUSELEAVE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !dialog.m_button.IsHot(); }, 2000));
    EXPECT_EQ(PrintedPixel(button, kOpaquePixel), kNormalColour);
}

TEST_F(MFCButtonTest, LosingCaptureFocusOrModeEndsHoverOnlyWhenThePointerIsElsewhere)
{
    // A window that pops up over the button takes the pointer without the button being told it left.
    Skin();
    const UINT messages[] = {WM_CAPTURECHANGED, WM_KILLFOCUS, WM_CANCELMODE};
    for (UINT message : messages) {
        SCOPED_TRACE(message);
        Enter();
        ::SendMessageW(button, message, 0, 0);
        EXPECT_TRUE(dialog.m_button.IsHot());  // still under the pointer

        RECT r;
        ::GetWindowRect(button, &r);
        HWND cover = ::CreateWindowExW(WS_EX_TOPMOST, L"Button", L"", WS_POPUP | WS_VISIBLE, r.left - 5, r.top - 5,
                                       40, 30, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(cover, nullptr);
        ::SendMessageW(button, message, 0, 0);
        EXPECT_FALSE(dialog.m_button.IsHot());
        ::DestroyWindow(cover);
        EXPECT_EQ(ShownPixel(button, kOpaquePixel), kNormalColour);
    }
}

TEST_F(MFCButtonTest, AnotherApplicationActivatedEndsHoverWithThePointerStandingStill)
{
    // The pointer stays over the button; the player switches to another program (here a window of another
    // thread, which is what the button can tell apart): no mouse message reaches the button at all.
    Skin();
    Enter();
    ASSERT_TRUE(dialog.m_button.IsHot());
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        HWND window = ::CreateWindowExW(0, L"Static", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 1500, 900, 100, 80,
                                        nullptr, nullptr, nullptr, nullptr);
        ::SetForegroundWindow(window);
        ::SetEvent(ready);
        while (::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        }
        ::DestroyWindow(window);
    });
    ::WaitForSingleObject(ready, 5000);
    bool otherIsForeground = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr) != ::GetCurrentThreadId();
    bool normalAgain = PumpUntil([&] { return !dialog.m_button.IsHot(); }, 2000);
    ::SetEvent(done);
    other.join();
    ::CloseHandle(ready);
    ::CloseHandle(done);
    if (!otherIsForeground) GTEST_SKIP() << "this display gave the other thread's window no activation";
    EXPECT_TRUE(normalAgain);
    EXPECT_EQ(ShownPixel(button, kOpaquePixel), kNormalColour);
}

TEST_F(MFCButtonTest, DrawsOnlyTheImageOverTheBackground)
{
    struct Case {
        const char* name;
        UINT normal, disabled;
        BOOL transparent;
        bool enabled;
        COLORREF opaque, clear;
    };
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const Case cases[] = {
        {"transparent", kNormalImage, 0, TRUE, true, kNormalColour, kBackground},
        {"opaque face", kNormalImage, 0, FALSE, true, kNormalColour, face},
        {"no image", 0, 0, TRUE, true, kBackground, kBackground},
        {"resource that is no image", kNotAnImage, 0, TRUE, true, kBackground, kBackground},
        {"missing resource", 999, 0, TRUE, true, kBackground, kBackground},
        {"disabled with its image", kNormalImage, kDisabledImage, TRUE, false, kDisabledColour, kBackground},
        {"disabled without one", kNormalImage, 0, TRUE, false, kNormalColour, kBackground},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Skin(c.normal, kHotImage, c.disabled);
        dialog.m_button.m_bTransparent = c.transparent;
        dialog.m_button.EnableWindow(c.enabled);
        dialog.m_button.Invalidate();
        EXPECT_EQ(ShownPixel(button, kOpaquePixel), c.opaque);
        EXPECT_EQ(ShownPixel(button, kClearPixel), c.clear);
        // Beyond the image only the background: no frame, no face.
        dialog.m_button.MoveWindow(20, 20, 24, 12, TRUE);
        EXPECT_EQ(ShownPixel(button, POINT{0, 11}), c.transparent ? kBackground : face);
        EXPECT_EQ(ShownPixel(button, POINT{23, 0}), c.transparent ? kBackground : face);
    }
}

TEST_F(MFCButtonTest, ShowsTheHandCursorOverItself)
{
    Skin();
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_TRUE(::SendMessageW(button, WM_SETCURSOR, reinterpret_cast<WPARAM>(button), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));

    // A button whose settings asked for no cursor keeps the class cursor.
    HWND plain = ::CreateWindowExW(0, L"MfcButton", L"", WS_CHILD | WS_VISIBLE, 60, 20, 16, 8, dialog.m_hWnd, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    CMFCButton other;
    other.SubclassWindow(plain);
    ::SendMessageW(plain, WM_SETCURSOR, reinterpret_cast<WPARAM>(plain), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
    ::DestroyWindow(plain);
}

TEST_F(MFCButtonTest, ClicksReachTheParentAndLeaveTheImageAlone)
{
    Skin();
    ShownPixel(button, kOpaquePixel);  // painted once, so that what follows shows anything drawn over it
    ::SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.boundClicks, 1);
    // Pressing and focusing made the system button redraw: still nothing but the image.
    HDC dc = ::GetDC(button);
    EXPECT_EQ(::GetPixel(dc, kOpaquePixel.x, kOpaquePixel.y), kNormalColour);
    EXPECT_EQ(::GetPixel(dc, kClearPixel.x, kClearPixel.y), kBackground);
    ::ReleaseDC(button, dc);

    // A control of the class that no object bound is an ordinary push button.
    ::SendDlgItemMessageW(dialog.m_hWnd, kUnboundButton, BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.unboundClicks, 1);
}

TEST_F(MFCButtonTest, SettingsSentAfterBindingApply)
{
    std::string text = "<MFCButton_Style>0</MFCButton_Style><MFCButton_Autosize>TRUE</MFCButton_Autosize>";
    ::SendMessageW(button, WM_MFC_INITCTRL, text.size(), reinterpret_cast<LPARAM>(text.data()));
    EXPECT_EQ(dialog.m_button.GetBorderStyle(), 0);
    EXPECT_TRUE(dialog.m_button.IsAutosize());
    EXPECT_EQ(dialog.m_button.GetCursorType(), kMFCButtonCursorHand);  // not in this text: kept

    // Sized to its image; a button that is not borderless frames itself.
    dialog.m_button.MoveWindow(20, 20, 40, 40, TRUE);
    dialog.m_button.SetImage(kNormalImage);
    RECT client;
    dialog.m_button.GetClientRect(&client);
    EXPECT_EQ(client.right, 16);
    EXPECT_EQ(client.bottom, 8);
    EXPECT_NE(ShownPixel(button, POINT{0, 0}), kNormalColour);
    EXPECT_EQ(ShownPixel(button, POINT{4, 4}), kNormalColour);
}

}  // namespace
