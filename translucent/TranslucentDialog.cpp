#include "translucent/TranslucentDialog.h"

#include <cstdint>
#include <cstring>

#include "translucent/ImageLoader.h"

static const MessageEntry CTranslucentDialog_messageEntries[] = {
    msgmap::OnCreate<&CTranslucentDialog::OnCreate>(),
    msgmap::OnEraseBkgnd<&CTranslucentDialog::OnEraseBkgnd>(),
    msgmap::OnMove<&CTranslucentDialog::OnMove>(),
    msgmap::OnSize<&CTranslucentDialog::OnSize>(),
    msgmap::OnLButtonDown<&CTranslucentDialog::OnLButtonDown>(),
};
const MessageMap CTranslucentDialog::messageMap{&CDialog::messageMap, CTranslucentDialog_messageEntries};

namespace {

// SC_MOVE with HTCAPTION: the system's move loop, as if the caption had been pressed.
constexpr WPARAM kSysCommandDragMove = 0xF012;

using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);

}  // namespace

POINT CentreInWorkArea(const RECT& work, SIZE outer)
{
    // C++ division truncates toward zero, which is the placement wanted for windows larger than the area.
    return {(work.right - work.left - outer.cx) / 2 + work.left, (work.bottom - work.top - outer.cy) / 2 + work.top};
}

CTranslucentDialog::CTranslucentDialog(UINT templateId, UINT imageId, const wchar_t* imageType,
                                       HMODULE resourceModule, CWnd* parent)
    : CDialog(templateId, parent), m_pImage(LoadImageFromResource(imageId, imageType, resourceModule))
{
}

CTranslucentDialog::~CTranslucentDialog()
{
    delete m_pStandardDlg;  // takes its window down first if it is still up
    m_pStandardDlg = nullptr;
    delete m_pImage;
    m_pImage = nullptr;
    m_widgets.clear();  // the widgets are their owner's
}

SIZE CTranslucentDialog::ImageSize() const
{
    if (!m_pImage) return {0, 0};
    // Sizes beyond what a window can have are treated as no picture rather than wrapped into negatives.
    UINT width = m_pImage->GetWidth(), height = m_pImage->GetHeight();
    if (width > 0x7FFF || height > 0x7FFF) return {0, 0};
    return {static_cast<LONG>(width), static_cast<LONG>(height)};
}

int CTranslucentDialog::OnCreate(LPCREATESTRUCTW cs)
{
    POINT at{cs->x, cs->y};
    if (m_bCentreOnCreate) {
        // Measured with the template's style, caption included, although the caption is removed below.
        SIZE image = ImageSize();
        RECT framed{0, 0, image.cx, image.cy};
        ::AdjustWindowRect(&framed, GetStyle(), FALSE);
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        at = CentreInWorkArea(work, {framed.right - framed.left, framed.bottom - framed.top});
    }
    SIZE size = ImageSize();

    if (CDialog::OnCreate(cs) == -1) return -1;

    m_pStandardDlg = CreateStandardDialog();
    if (m_pStandardDlg) m_pStandardDlg->CreateAndShow();

    ModifyStyle(WS_CAPTION, WS_POPUP);
    // The move and size reach OnMove and OnSize, which lay the companion over the picture.
    MoveWindow(at.x, at.y, size.cx, size.cy, TRUE);
    return 0;
}

BOOL CTranslucentDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_blend.BlendOp = AC_SRC_OVER;
    m_blend.BlendFlags = 0;
    m_blend.SourceConstantAlpha = 255;
    m_blend.AlphaFormat = AC_SRC_ALPHA;
    OnInitChildWidgets();
    UpdateView();
    return TRUE;
}

void CTranslucentDialog::OnRenderRequest(void*) { UpdateView(); }

void CTranslucentDialog::UpdateView()
{
    if (!m_hWnd) return;
    SIZE size = ImageSize();
    if (!(GetExStyle() & WS_EX_LAYERED))
        ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(GetExStyle() | WS_EX_LAYERED));

    HDC windowDC = ::GetDC(m_hWnd);
    HDC memoryDC = ::CreateCompatibleDC(windowDC);
    RECT placed{};
    GetWindowRect(&placed);
    POINT destination{placed.left, placed.top};  // the window stays where it is

    // Rows bottom-up, 32 bits per pixel with the alpha in the top byte: what UpdateLayeredWindow blends.
    const std::uint64_t byteCount = std::uint64_t{4} * static_cast<std::uint64_t>(size.cx) * static_cast<std::uint64_t>(size.cy);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(byteCount);
    void* bits = nullptr;
    // A zero-sized picture makes no section, and so no frame.
    HBITMAP section = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);

    if (section && bits) {
        std::memset(bits, 0, static_cast<size_t>(byteCount));  // every pixel starts fully transparent
        HGDIOBJ previous = ::SelectObject(memoryDC, section);
        {
            // The Graphics draws straight into the section's premultiplied pixels (rows bottom-up, like the
            // section's), which spares GDI+ the detour through a device context. It must be gone (flushed
            // and released) before the section is taken apart.
            const INT stride = -4 * static_cast<INT>(size.cx);
            BYTE* firstRow = static_cast<BYTE*>(bits) + static_cast<size_t>(byteCount) - static_cast<size_t>(4 * size.cx);
            Gdiplus::Bitmap target(size.cx, size.cy, stride, PixelFormat32bppPARGB, firstRow);
            Gdiplus::Graphics graphics(&target);
            graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
            if (m_pImage) DrawPictureOnto(graphics, size);
            for (CTranslucentWidget* widget : m_widgets)
                if (widget && widget->m_bVisible) widget->Render(&graphics);
        }

        // Looked up at run time so that the program still starts where layered windows are unknown.
        if (HMODULE user32 = ::LoadLibraryW(L"User32.DLL")) {
            auto updateLayeredWindow = reinterpret_cast<UpdateLayeredWindowFn>(
                reinterpret_cast<void (*)()>(::GetProcAddress(user32, "UpdateLayeredWindow")));
            POINT source{0, 0};
            if (updateLayeredWindow)
                updateLayeredWindow(m_hWnd, windowDC, &destination, &size, memoryDC, &source, 0, &m_blend, ULW_ALPHA);
            ::FreeLibrary(user32);
        }
        ::SelectObject(memoryDC, previous);
    }
    if (section) ::DeleteObject(section);
    ::DeleteDC(memoryDC);
    ::ReleaseDC(m_hWnd, windowDC);
}

void CTranslucentDialog::DrawPictureOnto(Gdiplus::Graphics& graphics, SIZE size) const
{
    // The picture covers the whole zeroed frame at its own size, so blending it over the zeros gives exactly
    // its pixels: copying them instead, with no filtering and pixel centres on whole coordinates, draws the
    // same frame while sparing GDI+ the blend and the filter.
    graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.DrawImage(m_pImage, 0, 0, static_cast<INT>(size.cx), static_cast<INT>(size.cy));
    // Widgets are drawn over the picture, so they get the usual blending and filtering back.
    graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeDefault);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeDefault);
}

BOOL CTranslucentDialog::OnEraseBkgnd(HDC) { return TRUE; }

void CTranslucentDialog::OnMove(int x, int y)
{
    CDialog::OnMove(x, y);
    // For the caption-less popup the client origin is the window's corner.
    if (m_pStandardDlg) ::SetWindowPos(m_pStandardDlg->m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CTranslucentDialog::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    if (m_pStandardDlg) ::SetWindowPos(m_pStandardDlg->m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
}

void CTranslucentDialog::OnLButtonDown(UINT flags, POINT at)
{
    // The system's move loop runs inside this call until the button is released.
    if (m_bDragEnabled) SendMessage(WM_SYSCOMMAND, kSysCommandDragMove, 0);
    CDialog::OnLButtonDown(flags, at);
}

BOOL CTranslucentDialog::PreTranslateMessage(MSG* msg)
{
    // Enter and Escape go straight to their window and never to the dialog manager, which would turn them
    // into the dialog's OK and Cancel.
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
        ::TranslateMessage(msg);
        ::DispatchMessageW(msg);
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}
