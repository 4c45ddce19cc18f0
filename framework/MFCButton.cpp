#include "framework/MFCButton.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/ControlHosting.h"
#include "framework/WinApp.h"

using namespace Gdiplus;

const CRuntimeClass CMFCButton::runtimeClass{"CMFCButton", &CButton::runtimeClass, &CreateObjectOf<CMFCButton>};

// ---------------------------------------------------------------------------------------------------------
// Settings text

namespace {

// The value between `<tag>` and the first `</tag>` after it; false when either is missing.
bool FindTagValue(const char* text, std::size_t size, const char* tag, std::string* value)
{
    const std::string open = std::string("<") + tag + ">";
    const std::string close = std::string("</") + tag + ">";
    const char* end = text + size;
    const char* at = std::search(text, end, open.begin(), open.end());
    if (at == end) return false;
    const char* first = at + open.size();
    const char* last = std::search(first, end, close.begin(), close.end());
    if (last == end) return false;
    value->assign(first, last);
    return true;
}

// Small decimal numbers only: anything else (signs, blanks, more digits than an int holds) is malformed.
bool ParseNumber(const std::string& text, int* out)
{
    if (text.empty() || text.size() > 9) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    *out = value;
    return true;
}

bool ParseFlag(const std::string& text, bool* out)
{
    if (text == "TRUE") { *out = true; return true; }
    if (text == "FALSE") { *out = false; return true; }
    return false;
}

// The text is eight-bit in the system's ANSI code page, as the resource editor writes it.
CString FromAnsi(const std::string& text)
{
    if (text.empty() || text.size() > 0x7FFFFFFF) return CString();
    int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return CString();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return CString(wide);
}

}  // namespace

void MFCButtonSettings::Parse(const void* data, std::size_t size)
{
    if (!data) return;
    const char* text = static_cast<const char*>(data);
    std::string value;
    auto number = [&](const char* tag, int* out) {
        if (FindTagValue(text, size, tag, &value)) ParseNumber(value, out);
    };
    auto flag = [&](const char* tag, bool* out) {
        if (FindTagValue(text, size, tag, &value)) ParseFlag(value, out);
    };
    number("MFCButton_Style", &style);
    flag("MFCButton_Autosize", &autosize);
    if (FindTagValue(text, size, "MFCButton_Tooltip", &value)) tooltip = FromAnsi(value);
    flag("MFCButton_FullTextTool", &fullTextTooltip);
    number("MFCButton_CursorType", &cursorType);
    number("MFCButton_ImageType", &imageType);
    flag("MFCButton_ImageOnTop", &imageOnTop);
    flag("MFCButton_ImageOnRight", &imageOnRight);
}

// ---------------------------------------------------------------------------------------------------------
// The window class

namespace {

const wchar_t kClassName[] = L"MfcButton";
// The settings a window of the class was sent before an object bound it.
const wchar_t kSettingsProperty[] = L"MfcButton.Settings";
WNDPROC g_buttonProc = nullptr;

MFCButtonSettings* StoredSettings(HWND hwnd) { return static_cast<MFCButtonSettings*>(::GetPropW(hwnd, kSettingsProperty)); }

LRESULT CALLBACK MfcButtonClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MFC_INITCTRL: {
        MFCButtonSettings* settings = StoredSettings(hwnd);
        if (!settings) {
            settings = new MFCButtonSettings();
            if (!::SetPropW(hwnd, kSettingsProperty, settings)) {
                delete settings;
                return FALSE;
            }
        }
        settings->Parse(reinterpret_cast<const void*>(lParam), static_cast<std::size_t>(wParam));
        return TRUE;
    }
    case WM_NCDESTROY:
        delete static_cast<MFCButtonSettings*>(::RemovePropW(hwnd, kSettingsProperty));
        break;
    }
    return ::CallWindowProcW(g_buttonProc, hwnd, message, wParam, lParam);
}

}  // namespace

void AfxRegisterMFCButtonClass()
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
if (!::GetClassInfoExW(nullptr, L"Button", &wc)) return;
    g_buttonProc = wc.lpfnWndProc;
    wc.lpfnWndProc = &MfcButtonClassProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = kClassName;
    // Global: the dialog manager looks control classes up under the module a template is created for,
    // which need not be the one that registered the class. No parent DC: the button paints only itself.
    wc.style = (wc.style | CS_GLOBALCLASS) & ~CS_PARENTDC;
    registered = ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// ---------------------------------------------------------------------------------------------------------
// Images

// A PNG resource decoded by GDI+ from a private copy of its bytes, so it stays valid whatever becomes of
// the resource. GDI+ must have been started by the application.
class CMFCButton::Picture {
public:
    static std::unique_ptr<Picture> FromResource(HMODULE module, UINT id);
    ~Picture() { DllExports::GdipDisposeImage(m_image); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    UINT Width() const
    {
        UINT width = 0;
        return DllExports::GdipGetImageWidth(m_image, &width) == Ok ? width : 0;
    }
    UINT Height() const
    {
        UINT height = 0;
        return DllExports::GdipGetImageHeight(m_image, &height) == Ok ? height : 0;
    }

    // At the top-left corner, pixel for pixel: an explicit size, because GDI+ would otherwise scale by the
    // resolution recorded in the file.
    void Draw(HDC dc) const
    {
        GpGraphics* graphics = nullptr;
        if (DllExports::GdipCreateFromHDC(dc, &graphics) != Ok) return;
        DllExports::GdipDrawImageRectI(graphics, m_image, 0, 0, static_cast<INT>(Width()), static_cast<INT>(Height()));
        DllExports::GdipDeleteGraphics(graphics);
    }

private:
    explicit Picture(GpImage* image) : m_image(image) {}
    GpImage* m_image;
};

std::unique_ptr<CMFCButton::Picture> CMFCButton::Picture::FromResource(HMODULE module, UINT id)
{
    if (id == 0) return nullptr;
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) return nullptr;
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;

    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    void* target = ::GlobalLock(copy);
    if (!target) {
        ::GlobalFree(copy);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(copy);

    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        ::GlobalFree(copy);
        return nullptr;
    }
    // The image keeps its own reference to the stream (and so to the copy) for as long as it needs it.
    GpImage* image = nullptr;
    Status status = DllExports::GdipLoadImageFromStream(stream, &image);
    stream->Release();
    if (status != Ok || !image) return nullptr;
    return std::unique_ptr<Picture>(new Picture(image));
}

// ---------------------------------------------------------------------------------------------------------
// The button

static const MessageEntry CMFCButton_messageEntries[] = {
    msgmap::OnVoidMessage<&CMFCButton::OnPaint>(WM_PAINT),
    msgmap::OnEraseBkgnd<&CMFCButton::OnEraseBkgnd>(),
    msgmap::OnMessage<&CMFCButton::OnPrintClient>(WM_PRINTCLIENT),
    msgmap::OnMouseMove<&CMFCButton::OnMouseMove>(),
    msgmap::OnMouseLeave<&CMFCButton::OnMouseLeave>(),
    msgmap::OnMessage<&CMFCButton::OnPointerMayHaveLeft>(WM_CAPTURECHANGED),
    msgmap::OnMessage<&CMFCButton::OnPointerMayHaveLeft>(WM_KILLFOCUS),
    msgmap::OnMessage<&CMFCButton::OnPointerMayHaveLeft>(WM_CANCELMODE),
    msgmap::OnMessage<&CMFCButton::OnHoverWatch>(WM_TIMER),
    msgmap::OnSetCursor<&CMFCButton::OnSetCursor>(),
    msgmap::OnMessage<&CMFCButton::OnSetStyle>(BM_SETSTYLE),
    msgmap::OnMessage<&CMFCButton::OnEnable>(WM_ENABLE),
    msgmap::OnMessage<&CMFCButton::OnInitCtrl>(WM_MFC_INITCTRL),
};
const MessageMap CMFCButton::messageMap{&CWnd::messageMap, CMFCButton_messageEntries};

CMFCButton::CMFCButton() = default;
CMFCButton::~CMFCButton()
{
    // A window that outlives its object goes back to being the push button it was: owner-drawn with no
    // object to draw it, it would show nothing.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        DWORD style = GetStyle();
        ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>((style & ~static_cast<DWORD>(BS_TYPEMASK)) | m_originalType));
        Invalidate();
    }
}

void CMFCButton::PreSubclassWindow()
{
    if (const MFCButtonSettings* stored = StoredSettings(m_hWnd)) m_settings = *stored;
    m_bHot = false;
    MakeOwnerDrawn();
    Invalidate(FALSE);
}

void CMFCButton::MakeOwnerDrawn()
{
    DWORD style = GetStyle();
    if ((style & BS_TYPEMASK) == BS_OWNERDRAW) return;
    m_originalType = style & BS_TYPEMASK;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>((style & ~static_cast<DWORD>(BS_TYPEMASK)) | BS_OWNERDRAW));
}

void CMFCButton::SetImage(UINT normalId, UINT hotId, UINT disabledId)
{
    HMODULE module = AfxGetResourceHandle();
    m_normal = Picture::FromResource(module, normalId);
    m_hot = Picture::FromResource(module, hotId);
    m_disabled = Picture::FromResource(module, disabledId);
    if (!m_hWnd) return;
    if (m_settings.autosize && m_normal && m_normal->Width() && m_normal->Height())
        SetWindowPos(nullptr, 0, 0, static_cast<int>(m_normal->Width()), static_cast<int>(m_normal->Height()),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Invalidate(FALSE);
}

const CMFCButton::Picture* CMFCButton::CurrentPicture() const
{
    if (!::IsWindowEnabled(m_hWnd) && m_disabled) return m_disabled.get();
    if (m_bHot && m_hot) return m_hot.get();
    return m_normal.get();
}

// ---- drawing

void CMFCButton::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(&client);
    if (dc && client.right > 0 && client.bottom > 0) {
        // Composed off-screen and copied in one go, so the background never shows alone between frames.
        HDC memory = ::CreateCompatibleDC(dc);
        HBITMAP bitmap = memory ? ::CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
        if (bitmap) {
            HGDIOBJ old = ::SelectObject(memory, bitmap);
            Draw(memory);
            ::BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
        } else {
            Draw(dc);
        }
        if (memory) ::DeleteDC(memory);
    }
    ::EndPaint(m_hWnd, &ps);
}

// The whole client area is painted in WM_PAINT.
BOOL CMFCButton::OnEraseBkgnd(HDC) { return TRUE; }

LRESULT CMFCButton::OnPrintClient(WPARAM dc, LPARAM)
{
    if (dc) Draw(reinterpret_cast<HDC>(dc));
    return 0;
}

void CMFCButton::Draw(HDC dc)
{
    RECT client;
    GetClientRect(&client);
    DrawBackground(dc, client);
    if (const Picture* picture = CurrentPicture()) picture->Draw(dc);
    if (m_settings.style != kMFCButtonStyleBorderless) {
        bool pressed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        ::DrawEdge(dc, &client, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }
}

void CMFCButton::DrawBackground(HDC dc, const RECT& client)
{
    HWND parent = ::GetParent(m_hWnd);
    if (!m_bTransparent || !parent) {
        ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    // The parent paints its own background into our DC, shifted so that its client coordinates land where
    // they are on screen: first its erase (a dialog fills with its WM_CTLCOLORDLG brush), then whatever it
    // draws for WM_PRINTCLIENT.
    POINT origin{0, 0};
    ::MapWindowPoints(m_hWnd, parent, &origin, 1);
    int saved = ::SaveDC(dc);
    ::OffsetViewportOrgEx(dc, -origin.x, -origin.y, nullptr);
    ::SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    ::RestoreDC(dc, saved);
}

// ---- hover

void CMFCButton::SetHot(bool hot)
{
    if (m_bHot == hot) return;
    m_bHot = hot;
    // While hot, a watch also catches what brings no message to the button: its application deactivated
    // with the pointer standing still, or the pointer gone while a leave report was lost.
    if (hot) ::SetTimer(m_hWnd, kHoverWatchTimer, kHoverWatchMs, nullptr);
    else ::KillTimer(m_hWnd, kHoverWatchTimer);
    Invalidate(FALSE);
}

LRESULT CMFCButton::OnHoverWatch(WPARAM id, LPARAM)
{
    if (id != kHoverWatchTimer) return Default();
    HWND foreground = ::GetForegroundWindow();
    bool otherApplicationActive = foreground && ::GetWindowThreadProcessId(foreground, nullptr) != ::GetCurrentThreadId();
    if (!m_bHot) ::KillTimer(m_hWnd, kHoverWatchTimer);  // made normal behind SetHot's back (disabled)
    else if (otherApplicationActive || !PointerIsOver()) SetHot(false);
    return 0;
}

bool CMFCButton::PointerIsOver() const
{
    POINT at;
    return ::GetCursorPos(&at) && ::WindowFromPoint(at) == m_hWnd;
}

void CMFCButton::OnMouseMove(UINT flags, POINT at)
{
    RECT client;
    GetClientRect(&client);
    // While the button holds the capture (pressed and dragged) moves arrive from outside it too.
    bool inside = ::PtInRect(&client, at) != FALSE;
    if (inside && !m_bHot) {
        // Ask for WM_MOUSELEAVE: however fast the pointer goes, the system reports that it left.
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = m_hWnd;
        ::TrackMouseEvent(&track);
    }
    SetHot(inside);
    CWnd::OnMouseMove(flags, at);
}

void CMFCButton::OnMouseLeave()
{
    SetHot(false);
    Default();
}

// Capture or focus taken away, or a modal window about to appear: the pointer may be over another window
// now (one that covered the button, or another application), and no leave report need follow.
LRESULT CMFCButton::OnPointerMayHaveLeft(WPARAM, LPARAM)
{
    if (m_bHot && !PointerIsOver()) SetHot(false);
    return Default();
}

BOOL CMFCButton::OnSetCursor(HWND window, UINT hitTest, UINT)
{
    if (m_settings.cursorType == kMFCButtonCursorHand && window == m_hWnd && hitTest == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    return static_cast<BOOL>(Default());
}

// ---- state kept by the system button

// The dialog manager restyles push buttons as the default one moves; the button stays owner-drawn.
LRESULT CMFCButton::OnSetStyle(WPARAM style, LPARAM redraw)
{
    WPARAM kept = (style & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
    LRESULT result = DefWindowProc(BM_SETSTYLE, kept, redraw);
    if (redraw) Invalidate(FALSE);
    return result;
}

LRESULT CMFCButton::OnEnable(WPARAM enabled, LPARAM)
{
    if (!enabled) m_bHot = false;  // a disabled window gets no mouse messages, the leave report included
    LRESULT result = Default();
    Invalidate(FALSE);
    return result;
}

// Settings that arrive after the object is bound.
LRESULT CMFCButton::OnInitCtrl(WPARAM size, LPARAM data)
{
    m_settings.Parse(reinterpret_cast<const void*>(data), static_cast<std::size_t>(size));
    Default();
    Invalidate(FALSE);
    return TRUE;
}
