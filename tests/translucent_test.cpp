// The translucent window pair: the picture loader, the colour-keyed companion and the layered background,
// on real windows under a real modal loop; what reaches the screen is read back from it.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "framework/Framework.h"
#include "tests/support/GdiplusSession.h"
#include "tests/support/ImportHook.h"
#include "tests/support/ScreenShot.h"
#include "tests/support/Player.h"
#include "translucent/ImageLoader.h"
#include "translucent/StandardDialog.h"
#include "translucent/TranslucentDialog.h"

namespace {

// tests/translucent_test.rc
constexpr UINT kBackgroundWithCaption = 3001;
constexpr UINT kBackgroundPopup = 3002;
constexpr UINT kCompanionWithControls = 3003;
constexpr UINT kCompanionPlain = 3004;
constexpr UINT kPicture = 3010;  // 41 x 31 PNG: x < 14 opaque, x < 28 half transparent, the rest transparent
constexpr UINT kBitmap = 3011;   // 8 x 6 bitmap in one colour
constexpr UINT kMissing = 3999;
constexpr int kEdit = 3101;
constexpr int kStatic = 3102;
constexpr COLORREF kKey = RGB(0, 255, 0);
constexpr SIZE kPictureSize{41, 31};
constexpr POINT kOpaquePixel{5, 15}, kHalfPixel{20, 15}, kClearPixel{35, 15};

class TestApp : public CWinApp {};
TestApp theTestApp;

const auto* const gdiplusSession = ::testing::AddGlobalTestEnvironment(new GdiplusSession);

// An image's pixel as GDI+ decodes it (non-premultiplied ARGB).
Gdiplus::ARGB PixelOf(Gdiplus::Image* image, int x, int y)
{
    Gdiplus::Bitmap canvas(static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()), PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&canvas);
        graphics.DrawImage(image, 0, 0, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
    }
    Gdiplus::Color colour;
    canvas.GetPixel(x, y, &colour);
    return colour.GetValue();
}

// A global block still allocated (a fixed block is a heap pointer of the process heap).
bool BlockAlive(HGLOBAL block) { return ::HeapValidate(::GetProcessHeap(), 0, block) != FALSE; }

// ---------------------------------------------------------------------------------------------------------
// The loader

TEST(ImageLoader, DecodesPngResourceWithItsAlpha)
{
    Gdiplus::Image* image = LoadImageFromResource(kPicture, L"PNG", nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 41u);
    EXPECT_EQ(image->GetHeight(), 31u);
    EXPECT_EQ(PixelOf(image, kOpaquePixel.x, kOpaquePixel.y), 0xFFC81E3Cu);
    EXPECT_EQ(PixelOf(image, kHalfPixel.x, kHalfPixel.y) >> 24, 128u);
    EXPECT_EQ(PixelOf(image, kClearPixel.x, kClearPixel.y) >> 24, 0u);
    delete image;
}

TEST(ImageLoader, BitmapResourceGoesThroughTheBitmapLoader)
{
    Gdiplus::Image* image = LoadImageFromResource(kBitmap, RT_BITMAP, ::GetModuleHandleW(nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 8u);
    EXPECT_EQ(image->GetHeight(), 6u);
    EXPECT_EQ(PixelOf(image, 3, 3), 0xFF0A78E6u);
    delete image;
}

TEST(ImageLoader, OnlyTheLowSixteenBitsOfTheIdCount)
{
    Gdiplus::Image* image = LoadImageFromResource(0x10000u + kPicture, L"PNG", nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 41u);
    delete image;
}

TEST(ImageLoader, AnythingUnloadableGivesAnImageThatReadsZeroByZero)
{
    struct Case { const char* what; UINT id; const wchar_t* type; HMODULE module; };
    const Case cases[] = {
        {"missing id", kMissing, L"PNG", nullptr},
        {"wrong type", kPicture, L"JPEG", nullptr},
        {"not a picture", kCompanionPlain, RT_DIALOG, nullptr},
        {"missing bitmap", kMissing, RT_BITMAP, ::GetModuleHandleW(nullptr)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Gdiplus::Image* image = LoadImageFromResource(c.id, c.type, c.module);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->GetWidth(), 0u);
        EXPECT_EQ(image->GetHeight(), 0u);
        delete image;
    }
}

TEST(ImageLoader, EachLoadOwnsItsBlockUntilTheImageIsDeleted)
{
    HGLOBAL firstBlock = nullptr, secondBlock = nullptr;
    Gdiplus::Image* first = imageloader_detail::LoadImageThroughStream(kPicture, L"PNG", nullptr, &firstBlock);
    Gdiplus::Image* second = imageloader_detail::LoadImageThroughStream(kPicture, L"PNG", nullptr, &secondBlock);
    ASSERT_TRUE(first && second && firstBlock && secondBlock);
    EXPECT_NE(firstBlock, secondBlock);
    HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kPicture), L"PNG");
    EXPECT_EQ(::GlobalSize(firstBlock), ::SizeofResource(nullptr, resource));
    EXPECT_TRUE(BlockAlive(firstBlock));

    delete first;
    EXPECT_FALSE(BlockAlive(firstBlock));
    // The other image still has its own bytes and still draws.
    EXPECT_TRUE(BlockAlive(secondBlock));
    EXPECT_EQ(PixelOf(second, kOpaquePixel.x, kOpaquePixel.y), 0xFFC81E3Cu);
    delete second;
    EXPECT_FALSE(BlockAlive(secondBlock));
}

// ---------------------------------------------------------------------------------------------------------
// Centring

TEST(Centring, TruncatesTowardZeroInTheWorkArea)
{
    struct Case { RECT work; SIZE outer; POINT expected; };
    const Case cases[] = {
        {{0, 0, 1920, 1040}, {1263, 906}, {328, 67}},
        {{0, 0, 1024, 738}, {1263, 906}, {-119, -84}},  // floor division would give -120
        {{100, 40, 1920, 1080}, {1263, 906}, {378, 107}},  // a work area that does not start at the origin
    };
    for (const Case& c : cases) {
        POINT at = CentreInWorkArea(c.work, c.outer);
        EXPECT_EQ(at.x, c.expected.x) << c.work.right << " x " << c.work.bottom;
        EXPECT_EQ(at.y, c.expected.y) << c.work.right << " x " << c.work.bottom;
    }
}

// ---------------------------------------------------------------------------------------------------------
// The window pair

class TestCompanion : public CStandardDialog {
public:
    // `deletionLog` must outlive the companion; `log` only has to last while the companion is in use.
    TestCompanion(UINT templateId, CWnd* parent, std::vector<std::string>* log, std::vector<std::string>* deletionLog)
        : CStandardDialog(templateId, kKey, parent), m_log(log), m_deletionLog(deletionLog) {}
    ~TestCompanion() override
    {
        if (m_deletionLog) m_deletionLog->push_back("companion deleted");
    }
    void OnCancel() override
    {
        if (m_log) m_log->push_back("companion cancel");
        CStandardDialog::OnCancel();
    }

private:
    std::vector<std::string>* m_log;
    std::vector<std::string>* m_deletionLog;
};

class TestWidget : public CTranslucentWidget {
public:
    TestWidget(char name, std::string* log, bool visible) : m_name(name), m_log(log) { m_bVisible = visible; }
    void Render(Gdiplus::Graphics*) override { *m_log += m_name; }

private:
    char m_name;
    std::string* m_log;
};

class TestDialog : public CTranslucentDialog {
public:
    struct Options {
        UINT templateId = kBackgroundPopup;
        UINT imageId = kPicture;
        UINT companionTemplate = kCompanionWithControls;  // 0: no companion
        bool failBaseCreate = false;
        // Where the companion reports, its deletion included; if null, it reports to the dialog's log and
        // its deletion goes unrecorded.
        std::vector<std::string>* companionLog = nullptr;
    };
    explicit TestDialog(Options options)
        : CTranslucentDialog(options.templateId, options.imageId, L"PNG", nullptr), m_options(options) {}
    TestDialog() : TestDialog(Options{}) {}

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    CStandardDialog* CreateStandardDialog() override
    {
        log.push_back("create companion");
        if (!m_options.companionTemplate) return nullptr;
        // The base deletes the companion after this class's members are gone, so its deletion can only be
        // recorded in a log the test keeps outside the dialog.
        return new TestCompanion(m_options.companionTemplate, this, m_options.companionLog ? m_options.companionLog : &log,
                                 m_options.companionLog);
    }
    void OnInitChildWidgets() override
    {
        log.push_back("init widgets");
        for (CTranslucentWidget* w : widgets) m_widgets.push_back(w);
    }
    void OnOK() override { log.push_back("ok"); CTranslucentDialog::OnOK(); }
    void OnCancel() override { log.push_back("cancel"); CTranslucentDialog::OnCancel(); }
    void OnLButtonDown(UINT flags, POINT at)
    {
        presses++;
        CTranslucentDialog::OnLButtonDown(flags, at);
    }
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_CREATE && m_options.failBaseCreate) return -1;
        return CTranslucentDialog::DefWindowProc(message, wParam, lParam);
    }
    void OnMove(int x, int y)
    {
        CTranslucentDialog::OnMove(x, y);
        if (CStandardDialog* companion = GetStandardDialog())
            if (companion->m_hWnd) moves.push_back({WindowRectOf(m_hWnd), WindowRectOf(companion->m_hWnd)});
    }
    void OnMouseMove(UINT, POINT) { pointerMoves++; }
    LRESULT OnEnterSizeMove(WPARAM, LPARAM) { sizeMoveLoops++; return 0; }
    LRESULT OnExitSizeMove(WPARAM, LPARAM) { sizeMoveLoopsEnded++; return 0; }
    void SetCentreOnCreate(bool centre) { m_bCentreOnCreate = centre; }
    static RECT WindowRectOf(HWND hwnd)
    {
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        return r;
    }

    std::vector<std::pair<RECT, RECT>> moves;  // picture and companion, as each move was handled

    std::vector<std::string> log;
    std::vector<CTranslucentWidget*> widgets;
    int presses = 0;
    int pointerMoves = 0;        // the pointer as the window saw it
    int sizeMoveLoops = 0;       // the system's move loop began ...
    int sizeMoveLoopsEnded = 0;  // ... and ended

private:
    Options m_options;
};
const MessageEntry testDialogEntries[] = {
    msgmap::OnLButtonDown<&TestDialog::OnLButtonDown>(),
    msgmap::OnMove<&TestDialog::OnMove>(),
    msgmap::OnMouseMove<&TestDialog::OnMouseMove>(),
    msgmap::OnMessage<&TestDialog::OnEnterSizeMove>(WM_ENTERSIZEMOVE),
    msgmap::OnMessage<&TestDialog::OnExitSizeMove>(WM_EXITSIZEMOVE),
};
const MessageMap TestDialog::messageMap{&CTranslucentDialog::messageMap, testDialogEntries};

RECT WindowRect(HWND hwnd)
{
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r;
}

// Runs `dialog` modally as the main window, with the steps of `script` played from inside its loop.
// Steps that make X input need the slower pace: Wine reads the X server's events only while the loop waits,
// so each step must leave the loop a wait before the next one is due.
constexpr UINT kPaceForXInput = 250;
INT_PTR RunWithScript(TestDialog& dialog, const std::vector<std::function<void()>>& script, UINT paceMs = 40)
{
    ScriptedPlayer player(paceMs);
    for (const auto& step : script) player.Then(step);
    player.Then([&] { if (dialog.m_hWnd) ::PostMessageW(dialog.m_hWnd, WM_CLOSE, 0, 0); });  // never hang
    theTestApp.m_pMainWnd = &dialog;
    player.Start();
    INT_PTR result = dialog.DoModal();
    player.Stop();
    theTestApp.m_pMainWnd = nullptr;
    DrainMessages();
    return result;
}

// A plain window of one colour that counts the presses it gets: the known ground under the pair.
class Backdrop {
public:
    explicit Backdrop(COLORREF colour) : m_brush(::CreateSolidBrush(colour))
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Backdrop::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelmoraTestBackdrop";
        wc.hbrBackground = m_brush;
        ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
        ::RegisterClassW(&wc);
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, work.left, work.top,
                                 work.right - work.left, work.bottom - work.top, nullptr, nullptr, wc.hInstance, nullptr);
        ::UpdateWindow(hwnd);
        presses() = 0;
    }
    ~Backdrop()
    {
        ::DestroyWindow(hwnd);
        ::DeleteObject(m_brush);
    }
    Backdrop(const Backdrop&) = delete;
    Backdrop& operator=(const Backdrop&) = delete;

    static int& presses()
    {
        static int count = 0;
        return count;
    }
    HWND hwnd;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        if (m == WM_LBUTTONDOWN) presses()++;
        return ::DefWindowProcW(h, m, w, l);
    }
    HBRUSH m_brush;
};

// Lets the display catch up with what the windows did.
void Settle(DWORD ms = 150)
{
    DWORD until = ::GetTickCount() + ms;
    PumpUntil([&] { return ::GetTickCount() >= until; });
}

// Real pointer input through the X server (xdotool, run as a Unix program): unlike input injected inside
// Wine, it is routed by the X server, which knows the layered windows' shapes, so clicks on transparent
// pixels reach the window below as they would on the desktop. False when xdotool cannot be run.
bool XPointer(const std::string& arguments)
{
    std::wstring command = L"start.exe /wait /unix /usr/bin/xdotool " + std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::WaitForSingleObject(process.hProcess, 5000);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code == 0;
}

std::string At(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }

POINT OnScreen(HWND hwnd, POINT picturePixel)
{
    RECT r = WindowRect(hwnd);
    return {r.left + picturePixel.x, r.top + picturePixel.y};
}

class PairTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        theTestApp.m_pMainWnd = nullptr;
        DrainMessages();
    }
};

TEST_F(PairTest, CreationLaysThePictureAndCompanionOutAndRendersVisibleWidgetsInOrder)
{
    std::string rendered;
    TestWidget a('A', &rendered, true), hidden('B', &rendered, false), c('C', &rendered, true);
    std::vector<std::string> log, companionLog;
    bool checked = false;
    {
        TestDialog::Options options;
        options.companionLog = &companionLog;
        TestDialog dialog(options);
        dialog.widgets = {&a, &hidden, &c};
        INT_PTR result = RunWithScript(dialog, {[&] {
            HWND hwnd = dialog.m_hWnd;
            RECT work{};
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            POINT centre = CentreInWorkArea(work, kPictureSize);
            RECT r = WindowRect(hwnd);
            EXPECT_EQ(r.left, centre.x);
            EXPECT_EQ(r.top, centre.y);
            EXPECT_EQ(r.right - r.left, kPictureSize.cx);
            EXPECT_EQ(r.bottom - r.top, kPictureSize.cy);
            EXPECT_EQ(dialog.GetStyle() & WS_CAPTION, 0u);
            EXPECT_NE(dialog.GetStyle() & WS_POPUP, 0u);
            EXPECT_NE(dialog.GetExStyle() & WS_EX_LAYERED, 0u);
            EXPECT_TRUE(::IsWindowVisible(hwnd));

            CStandardDialog* companion = dialog.GetStandardDialog();
            ASSERT_NE(companion, nullptr);
            RECT cr = WindowRect(companion->m_hWnd);
            EXPECT_TRUE(::EqualRect(&cr, &r));
            EXPECT_TRUE(::IsWindowVisible(companion->m_hWnd));
            EXPECT_EQ(::GetWindow(companion->m_hWnd, GW_OWNER), hwnd);

            EXPECT_EQ(rendered, "AC");
            dialog.OnRenderRequest(nullptr);
            EXPECT_EQ(rendered, "ACAC");
            checked = true;
        }});
        EXPECT_EQ(result, IDCANCEL);  // the close request
        log = dialog.log;
    }
    EXPECT_TRUE(checked);
    const std::vector<std::string> expected{"create companion", "init widgets", "cancel"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(companionLog, std::vector<std::string>{"companion deleted"});
}

TEST_F(PairTest, CentringUsesTheWorkAreaAndTheTemplatesFrame)
{
    RECT saved{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
    // Smaller than the picture, so that truncation toward zero shows: (20 - 41) / 2 = -10, (20 - 31) / 2 = -5.
    RECT small{10, 20, 30, 40};
    ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &small, 0);
    RECT now{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &now, 0);
    if (!::EqualRect(&now, &small)) {
        ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
        GTEST_SKIP() << "the work area cannot be set here";
    }

    RECT popup{}, framed{}, uncentred{};
    {
        TestDialog dialog;
        RunWithScript(dialog, {[&] { popup = WindowRect(dialog.m_hWnd); }});
    }
    {
        TestDialog::Options options;
        options.templateId = kBackgroundWithCaption;
        TestDialog dialog(options);
        RunWithScript(dialog, {[&] { framed = WindowRect(dialog.m_hWnd); }});
    }
    {
        TestDialog dialog;
        dialog.SetCentreOnCreate(false);
        RunWithScript(dialog, {[&] { uncentred = WindowRect(dialog.m_hWnd); }});
    }
    ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);

    EXPECT_EQ(popup.left, 0);
    EXPECT_EQ(popup.top, 15);
    // Measured with caption and frame, but placed without them: left of and above the exact centre.
    EXPECT_LT(framed.left, popup.left);
    EXPECT_LT(framed.top, popup.top);
    EXPECT_EQ(framed.right - framed.left, kPictureSize.cx);
    // Not centred: the template's own position, the picture's size.
    EXPECT_EQ(uncentred.left, 0);
    EXPECT_EQ(uncentred.top, 0);
    EXPECT_EQ(uncentred.bottom - uncentred.top, kPictureSize.cy);
}

TEST_F(PairTest, ScreenShowsThePictureOverWhatLiesBelowAndClicksPassItsClearPixels)
{
    constexpr COLORREF kGround = RGB(250, 250, 0);
    Backdrop backdrop(kGround);
    TestDialog::Options options;
    options.companionTemplate = kCompanionPlain;
    TestDialog dialog(options);
    RECT area{};
    DWORD opaque = 0, half = 0, clear = 0;
    bool sawKey = false;
    int dialogPressesOnOpaque = -1;
    bool pointerWorks = false;
    RunWithScript(dialog, {
        [&] { Settle(300); },
        [&] {
            area = WindowRect(dialog.m_hWnd);
            ScreenShot shot(area);
            opaque = shot.At(area.left + kOpaquePixel.x, area.top + kOpaquePixel.y);
            half = shot.At(area.left + kHalfPixel.x, area.top + kHalfPixel.y);
            clear = shot.At(area.left + kClearPixel.x, area.top + kClearPixel.y);
            for (DWORD p : shot.pixels) sawKey = sawKey || (p & 0xFFFFFF) == 0x00FF00;
        },
        // The picture first: a press on the backdrop activates it, which raises it over the pair.
        [&] { pointerWorks = XPointer("mousemove " + At(OnScreen(dialog.m_hWnd, kOpaquePixel)) + " click 1"); },
        [&] { Settle(); },
        [&] {
            dialogPressesOnOpaque = dialog.presses;
            XPointer("mousemove " + At(OnScreen(dialog.m_hWnd, kClearPixel)) + " click 1");
        },
        [&] { Settle(); },
        [&] { Settle(); },
    }, kPaceForXInput);

    EXPECT_EQ(opaque, 0xC81E3Cu) << "opaque picture pixel";
    EXPECT_EQ(clear, 0xFAFA00u) << "transparent picture pixel shows the ground";
    // Half-transparent blue: blended with the yellow ground where the display composes layered windows; on
    // an X server without a compositor the frame's premultiplied colour shows as it is (blue at half).
    const bool blended = std::abs(static_cast<int>(half >> 16 & 0xFF) - 125) <= 12 && (half & 0xFF) >= 243;
    const bool premultiplied = (half & 0xFFFF00) == 0 && std::abs(static_cast<int>(half & 0xFF) - 128) <= 2;
    EXPECT_TRUE(blended || premultiplied) << std::hex << half;
    EXPECT_FALSE(sawKey) << "the companion's key colour shows";
    if (!pointerWorks) GTEST_SKIP() << "no X pointer input (xdotool) here";
    EXPECT_EQ(dialogPressesOnOpaque, 1) << "a press on an opaque pixel reaches the picture through the companion";
    EXPECT_EQ(Backdrop::presses(), 1) << "a press on a transparent pixel reaches the window below";
    EXPECT_EQ(dialog.presses, 1);
}

TEST_F(PairTest, EnterAndEscapeOnThePictureLeaveItOpenButEscapeInTheCompanionClosesBoth)
{
    TestDialog dialog;
    bool openAfterKeys = false;
    INT_PTR result = RunWithScript(dialog, {
        [&] {
            ::SetFocus(dialog.m_hWnd);
            ::PostMessageW(dialog.m_hWnd, WM_KEYDOWN, VK_RETURN, 0);
            ::PostMessageW(dialog.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
        },
        [&] {
            openAfterKeys = ::IsWindowVisible(dialog.m_hWnd) && dialog.log.size() == 2;
            HWND edit = ::GetDlgItem(dialog.GetStandardDialog()->m_hWnd, kEdit);
            ::SetFocus(edit);
            ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        },
    });
    EXPECT_TRUE(openAfterKeys) << ::testing::PrintToString(dialog.log);
    EXPECT_EQ(result, IDCANCEL);
    // The owner is closed first, then the companion ends itself.
    const std::vector<std::string> expected{"create companion", "init widgets", "companion cancel", "cancel"};
    EXPECT_EQ(dialog.log, expected);
}

TEST_F(PairTest, FailuresLeaveAWorkingOrAbsentWindowWithoutACrash)
{
    {
        SCOPED_TRACE("zero-sized picture");
        TestDialog::Options options;
        options.imageId = kMissing;
        TestDialog dialog(options);
        RECT r{1, 1, 1, 1};
        EXPECT_EQ(RunWithScript(dialog, {[&] { r = WindowRect(dialog.m_hWnd); dialog.UpdateView(); }}), IDCANCEL);
        EXPECT_EQ(r.right - r.left, 0);
        EXPECT_EQ(r.bottom - r.top, 0);
    }
    {
        SCOPED_TRACE("no companion");
        TestDialog::Options options;
        options.companionTemplate = 0;
        TestDialog dialog(options);
        RECT r{};
        EXPECT_EQ(RunWithScript(dialog, {[&] {
            dialog.MoveWindow(5, 6, 50, 40);
            r = WindowRect(dialog.m_hWnd);
        }}), IDCANCEL);
        EXPECT_EQ(r.left, 5);
        EXPECT_EQ(r.right - r.left, 50);
    }
    {
        SCOPED_TRACE("base creation refused");
        TestDialog::Options options;
        options.failBaseCreate = true;
        TestDialog dialog(options);
        EXPECT_EQ(RunWithScript(dialog, {}), -1);
        EXPECT_TRUE(dialog.log.empty());  // no companion was asked for
        EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
}

// A system whose User32 has no UpdateLayeredWindow, as seen by code that looks it up by name: the lookups are
// counted, and the sections made and deleted meanwhile are recorded.
class NoLayeredWindowUpdates {
public:
    NoLayeredWindowUpdates()
        : m_lookup("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&Lookup)),
          m_make("gdi32.dll", "CreateDIBSection", reinterpret_cast<void*>(&Make)),
          m_delete("gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&Delete))
    {
        Current() = this;
    }
    ~NoLayeredWindowUpdates() { Current() = nullptr; }
    bool Installed() const { return m_lookup.Installed() && m_make.Installed() && m_delete.Installed(); }
    int refused = 0;
    std::vector<HGDIOBJ> made, deleted;

private:
    static NoLayeredWindowUpdates*& Current()
    {
        static NoLayeredWindowUpdates* current = nullptr;
        return current;
    }
    static FARPROC WINAPI Lookup(HMODULE module, LPCSTR name)
    {
        if (!IS_INTRESOURCE(name) && std::string(name) == "UpdateLayeredWindow") {
            Current()->refused++;
            return nullptr;
        }
        return Current()->m_lookup.Original<decltype(&Lookup)>()(module, name);
    }
    static HBITMAP WINAPI Make(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset)
    {
        HBITMAP made = Current()->m_make.Original<decltype(&Make)>()(dc, info, usage, bits, section, offset);
        Current()->made.push_back(made);
        return made;
    }
    static BOOL WINAPI Delete(HGDIOBJ object)
    {
        Current()->deleted.push_back(object);
        return Current()->m_delete.Original<decltype(&Delete)>()(object);
    }
    ImportHook m_lookup, m_make, m_delete;
};

TEST_F(PairTest, WithoutLayeredWindowUpdatesNoFrameIsPushedAndEachSectionIsStillFreed)
{
    NoLayeredWindowUpdates system;
    ASSERT_TRUE(system.Installed());
    TestDialog dialog;
    bool alive = false;
    INT_PTR result = RunWithScript(dialog, {[&] {
        dialog.OnRenderRequest(nullptr);
        alive = ::IsWindow(dialog.m_hWnd) && dialog.GetStandardDialog() &&
                ::IsWindowVisible(dialog.GetStandardDialog()->m_hWnd);
    }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(alive) << "the pair keeps working";
    EXPECT_EQ(system.refused, 2) << "the first frame and the requested one each looked the function up";
    ASSERT_EQ(system.made.size(), 2u);
    for (HGDIOBJ section : system.made) {
        EXPECT_NE(section, nullptr);
        EXPECT_EQ(std::count(system.deleted.begin(), system.deleted.end(), section), 1) << "section freed once";
    }
}

// The native images GDI+ made from streams and disposed of while an ImageLifetimes object lived.
class ImageLifetimes {
public:
    ImageLifetimes()
        : m_load("gdiplus.dll", "GdipLoadImageFromStream", reinterpret_cast<void*>(&Load)),
          m_dispose("gdiplus.dll", "GdipDisposeImage", reinterpret_cast<void*>(&Dispose))
    {
        Current() = this;
    }
    ~ImageLifetimes() { Current() = nullptr; }
    bool Installed() const { return m_load.Installed() && m_dispose.Installed(); }
    std::vector<Gdiplus::GpImage*> loaded, disposed;

private:
    static ImageLifetimes*& Current()
    {
        static ImageLifetimes* current = nullptr;
        return current;
    }
    static Gdiplus::GpStatus WINGDIPAPI Load(IStream* stream, Gdiplus::GpImage** image)
    {
        Gdiplus::GpStatus status = Current()->m_load.Original<decltype(&Load)>()(stream, image);
        if (image) Current()->loaded.push_back(*image);
        return status;
    }
    static Gdiplus::GpStatus WINGDIPAPI Dispose(Gdiplus::GpImage* image)
    {
        Current()->disposed.push_back(image);
        return Current()->m_dispose.Original<decltype(&Dispose)>()(image);
    }
    ImportHook m_load, m_dispose;
};

TEST_F(PairTest, DeletingTheDialogDisposesItsPicture)
{
    ImageLifetimes images;
    ASSERT_TRUE(images.Installed());
    {
        TestDialog dialog;
        RunWithScript(dialog, {[&] { dialog.UpdateView(); }});
        ASSERT_EQ(images.loaded.size(), 1u);
        ASSERT_NE(images.loaded[0], nullptr);
        // Each frame's drawing surface is an image of its own that comes and goes; the picture must stay.
        EXPECT_EQ(std::count(images.disposed.begin(), images.disposed.end(), images.loaded[0]), 0)
            << "the picture went with the window, before the dialog";
    }
    EXPECT_EQ(std::count(images.disposed.begin(), images.disposed.end(), images.loaded[0]), 1);
}

// ---------------------------------------------------------------------------------------------------------
// The companion on its own

TEST(StandardDialog, OnlyTheDialogBackgroundIsPaintedInTheTransparentKey)
{
    std::vector<std::string> log;
    TestCompanion companion(kCompanionWithControls, nullptr, &log, nullptr);
    ASSERT_TRUE(companion.CreateAndShow());
    EXPECT_TRUE(companion.IsWindowVisible());

    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    EXPECT_NE(companion.GetExStyle() & WS_EX_LAYERED, 0u);
    ASSERT_TRUE(::GetLayeredWindowAttributes(companion.m_hWnd, &key, &alpha, &flags));
    EXPECT_EQ(key, kKey);
    EXPECT_NE(flags & LWA_COLORKEY, 0u);

    HDC dc = ::GetDC(companion.m_hWnd);
    auto brushColour = [&](UINT message, HWND control) -> COLORREF {
        auto brush = reinterpret_cast<HBRUSH>(companion.SendMessage(message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        LOGBRUSH info{};
        if (!brush || !::GetObjectW(brush, sizeof(info), &info)) return CLR_INVALID;
        return info.lbColor;
    };
    EXPECT_EQ(brushColour(WM_CTLCOLORDLG, companion.m_hWnd), kKey);
    EXPECT_NE(brushColour(WM_CTLCOLORSTATIC, ::GetDlgItem(companion.m_hWnd, kStatic)), kKey);
    EXPECT_NE(brushColour(WM_CTLCOLOREDIT, ::GetDlgItem(companion.m_hWnd, kEdit)), kKey);
    ::ReleaseDC(companion.m_hWnd, dc);

    // Without an owner, Cancel ends only the companion itself.
    companion.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(companion.IsWindowVisible());
    EXPECT_EQ(log, std::vector<std::string>{"companion cancel"});
}

// ---------------------------------------------------------------------------------------------------------
// Dragging, last: it leaves the X pointer where the drag ended.

// A step condition that also gives up after `ms`, noting that it did, so that a lost X event fails the test
// instead of hanging it.
std::function<bool()> Within(DWORD ms, std::function<bool()> condition, bool* timedOut)
{
    DWORD deadline = 0;
    return [=]() mutable {
        if (!deadline) deadline = ::GetTickCount() + ms;
        if (condition()) return true;
        if (static_cast<LONG>(::GetTickCount() - deadline) < 0) return false;
        *timedOut = true;
        return true;
    };
}

TEST_F(PairTest, DragMovesThePairStepByStep)
{
    BOOL fullDrag = FALSE;
    ::SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &fullDrag, 0);
    ::SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, TRUE, nullptr, 0);

    // Each X event is made by one step and awaited by the next: Wine turns X events into messages only
    // while a loop waits, so the player ticks (returning to the loop each time) until the window shows the
    // event's effect. Inside the system's move loop the ticks keep coming, as that loop dispatches timers.
    TestDialog dialog;
    POINT start{}, grab{};
    bool pointerWorks = false, timedOut = false;
    std::vector<POINT> stepsSeen;  // where the window was after each pointer step
    size_t movesBefore = 0;        // those of the creation, when the companion is sized after the move
    auto at = [&](int step) { return POINT{start.x + 30 * step, start.y + 20 * step}; };
    auto windowAt = [&](POINT p) { RECT r = WindowRect(dialog.m_hWnd); return r.left == p.x && r.top == p.y; };
    ScriptedPlayer player(40);
    player.Then([&] {
        RECT r = WindowRect(dialog.m_hWnd);
        start = {r.left, r.top};
        movesBefore = dialog.moves.size();
        grab = OnScreen(dialog.m_hWnd, kOpaquePixel);
        grab.y += 10;  // below the companion's controls
        // Off the window first, so that arriving over it is a motion the window must see.
        pointerWorks = XPointer("mousemove " + At({r.left - 20, r.top - 20})) && XPointer("mousemove " + At(grab));
        dialog.pointerMoves = 0;
    });
    player.ThenWhen(Within(3000, [&] { return !pointerWorks || dialog.pointerMoves > 0; }, &timedOut),
                    [&] { if (pointerWorks && !timedOut) XPointer("mousedown 1"); });
    player.ThenWhen(Within(3000, [&] { return dialog.sizeMoveLoops > 0; }, &timedOut), [] {});
    for (int step = 1; step <= 3; ++step) {
        player.Then([&, step] { if (!timedOut) XPointer("mousemove " + At({grab.x + 30 * step, grab.y + 20 * step})); });
        player.ThenWhen(Within(3000, [&, step] { return windowAt(at(step)); }, &timedOut), [&] {
            RECT r = WindowRect(dialog.m_hWnd);
            stepsSeen.push_back({r.left, r.top});
        });
    }
    player.Then([&] { if (pointerWorks) XPointer("mouseup 1"); });
    player.ThenWhen(Within(3000, [&] { return dialog.sizeMoveLoopsEnded > 0; }, &timedOut), [] {});
    // Should the release have gone astray, Escape ends the system's move loop, so the test cannot hang in it.
    player.Then([&] { if (dialog.sizeMoveLoops > dialog.sizeMoveLoopsEnded) ::PostMessageW(dialog.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0); });
    player.Then([&] { if (dialog.m_hWnd) ::PostMessageW(dialog.m_hWnd, WM_CLOSE, 0, 0); });

    theTestApp.m_pMainWnd = &dialog;
    player.Start();
    dialog.DoModal();
    player.Stop();
    ::SystemParametersInfoW(SPI_SETDRAGFULLWINDOWS, fullDrag, nullptr, 0);

    if (!pointerWorks) GTEST_SKIP() << "no X pointer input (xdotool) here";
    EXPECT_FALSE(timedOut) << "steps seen: " << stepsSeen.size() << ", presses " << dialog.presses << ", move loops "
                           << dialog.sizeMoveLoops << "/" << dialog.sizeMoveLoopsEnded;
    EXPECT_EQ(dialog.presses, 1);
    EXPECT_EQ(dialog.sizeMoveLoops, 1);
    EXPECT_EQ(dialog.sizeMoveLoopsEnded, 1);
    ASSERT_EQ(stepsSeen.size(), 3u);
    for (int step = 1; step <= 3; ++step) {
        EXPECT_EQ(stepsSeen[step - 1].x, at(step).x) << "step " << step;
        EXPECT_EQ(stepsSeen[step - 1].y, at(step).y) << "step " << step;
    }
    // Every move of the drag found the companion already over the picture.
    ASSERT_GE(dialog.moves.size() - movesBefore, 3u);
    for (size_t i = movesBefore; i < dialog.moves.size(); ++i) {
        const auto& [picture, companion] = dialog.moves[i];
        EXPECT_TRUE(::EqualRect(&picture, &companion)) << "move " << i << ": picture at " << picture.left << ","
                                                        << picture.top << ", companion at " << companion.left << ","
                                                        << companion.top;
    }
}

}  // namespace
