// How long one frame of the launcher's picture takes (CTranslucentDialog::UpdateView), beside a floor
// measured in the same run: filling a DIB section of the same size and pushing it with UpdateLayeredWindow,
// which no frame can beat. Also what a constructed launcher picture holds in memory.
//
// Uses image 158 of the program's resources; where that is not there yet, a generated picture of the same
// size with a soft alpha edge stands in, and the output says so.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/Framework.h"
#include "translucent/ImageLoader.h"
#include "translucent/TranslucentDialog.h"

namespace {

constexpr UINT kLauncherTemplate = 102;
constexpr UINT kLauncherPicture = 158;
constexpr int kWidth = 1257, kHeight = 877;
constexpr int kFrames = 40;

class BenchApp : public CWinApp {};
BenchApp theBenchApp;

// A picture of the launcher's size: opaque in the middle, fading to transparent over 40 pixels at the edges.
Gdiplus::Bitmap* GeneratedPicture()
{
    auto* picture = new Gdiplus::Bitmap(kWidth, kHeight, PixelFormat32bppARGB);
    Gdiplus::BitmapData data{};
    Gdiplus::Rect all(0, 0, kWidth, kHeight);
    picture->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < kWidth; ++x) {
            int edge = std::min(std::min(x, kWidth - 1 - x), std::min(y, kHeight - 1 - y));
            std::uint32_t alpha = static_cast<std::uint32_t>(std::min(255, edge * 255 / 40));
            row[x] = alpha << 24 | static_cast<std::uint32_t>((x * 255 / kWidth) << 16 | (y * 255 / kHeight) << 8 | 0x60);
        }
    }
    picture->UnlockBits(&data);
    return picture;
}

class BenchDialog : public CTranslucentDialog {
public:
    BenchDialog() : CTranslucentDialog(kLauncherTemplate, kLauncherPicture, L"PNG", nullptr)
    {
        if (m_pImage && m_pImage->GetWidth() > 0) return;
        generated = true;
        delete m_pImage;
        m_pImage = GeneratedPicture();
    }
    CStandardDialog* CreateStandardDialog() override { return nullptr; }
    void OnInitChildWidgets() override {}
    bool generated = false;

    // Only the picture's drawing step of a frame, into a section made beforehand.
    void DrawOnly(void* bits)
    {
        SIZE size{kWidth, kHeight};
        BYTE* firstRow = static_cast<BYTE*>(bits) + 4 * static_cast<size_t>(kWidth) * (kHeight - 1);
        Gdiplus::Bitmap target(kWidth, kHeight, -4 * kWidth, PixelFormat32bppPARGB, firstRow);
        Gdiplus::Graphics graphics(&target);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
        DrawPictureOnto(graphics, size);
    }
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <class F>
double MedianMs(F frame)
{
    std::vector<double> times;
    frame();  // warm-up
    for (int i = 0; i < kFrames; ++i) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        frame();
        ::GdiFlush();
        ::QueryPerformanceCounter(&end);
        times.push_back(Milliseconds(start, end));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The floor: a layered window of the same size, pushed from a section that is filled every frame. With
// `freshSection` each frame also makes and frees its own section, as every frame of the picture window must
// (nothing is kept between its frames): that part is the price of the design, not of drawing the picture.
double FloorMs(bool freshSection)
{
    HWND window = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                    kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    std::vector<std::uint32_t> source(static_cast<size_t>(kWidth) * kHeight, 0x80402010u);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    auto push = [&](void* bits) {
        std::memcpy(bits, source.data(), source.size() * sizeof(source[0]));
        POINT origin{0, 0};
        SIZE size{kWidth, kHeight};
        ::UpdateLayeredWindow(window, screen, &origin, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    };
    auto withSection = [&](auto&& use) {
        void* bits = nullptr;
        HBITMAP section = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = ::SelectObject(memory, section);
        if (bits) use(bits);
        ::SelectObject(memory, old);
        ::DeleteObject(section);
    };
    double ms = 0;
    if (freshSection) ms = MedianMs([&] { withSection(push); });
    else withSection([&](void* bits) { ms = MedianMs([&] { push(bits); }); });
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    ::DestroyWindow(window);
    return ms;
}

// Committed private memory of the process, summed over its address space. (The process counters' private
// usage does not move under Wine, so the regions are counted instead.)
SIZE_T PrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const BYTE* at = nullptr; ::VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

void ReportPictureMemory()
{
    HGLOBAL block = nullptr;
    SIZE_T before = PrivateBytes();
    Gdiplus::Image* picture = imageloader_detail::LoadImageThroughStream(kLauncherPicture, L"PNG", nullptr, &block);
    UINT width = picture ? picture->GetWidth() : 0, height = picture ? picture->GetHeight() : 0;
    SIZE_T after = PrivateBytes();
    if (width == 0) {
        std::printf("memory: image 158 is not among the resources yet; nothing to measure\n");
    } else {
        std::printf("memory: PNG block %lu bytes; decoded %u x %u image %lu bytes at 4 bytes a pixel; "
                    "process private bytes grew by %lu bytes on loading\n",
                    static_cast<unsigned long>(::GlobalSize(block)), width, height,
                    static_cast<unsigned long>(4ul * width * height), static_cast<unsigned long>(after - before));
    }
    delete picture;
}

// Where a frame's time goes: making, zeroing and freeing the full-size section, and the picture's DrawImage.
void ReportPhases(BenchDialog& dialog)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const size_t bytes = 4 * static_cast<size_t>(kWidth) * kHeight;
    double section = MedianMs([&] {
        void* bits = nullptr;
        HBITMAP made = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bits) std::memset(bits, 0, bytes);
        ::DeleteObject(made);
    });
    void* bits = nullptr;
    HBITMAP made = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    double draw = bits ? MedianMs([&] { dialog.DrawOnly(bits); }) : 0.0;
    ::DeleteObject(made);
    std::printf("  of a frame: fresh section made, zeroed and freed %.2f ms; picture drawn (DrawImage) %.2f ms\n",
                section, draw);
}

}  // namespace

int wmain()
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        ReportPictureMemory();
        BenchDialog dialog;
        dialog.Create(kLauncherTemplate);
        std::printf("picture: %s, %u x %u\n",
                    dialog.generated ? "generated stand-in (image 158 not among the resources yet)" : "image 158",
                    dialog.GetImage()->GetWidth(), dialog.GetImage()->GetHeight());
        double frame = MedianMs([&] { dialog.UpdateView(); });
        double floor = FloorMs(false);
        double freshFloor = FloorMs(true);
        std::printf("UpdateView: %.2f ms a frame (median of %d)\n", frame, kFrames);
        std::printf("floor (fill + UpdateLayeredWindow): %.2f ms a frame (median of %d)\n", floor, kFrames);
        std::printf("ratio: %.2f (expected at most 2)\n", floor > 0 ? frame / floor : 0.0);
        ReportPhases(dialog);
        std::printf("floor with a fresh section each frame (make + fill + push + free): %.2f ms a frame\n", freshFloor);
        std::printf("ratio to it: %.2f\n", freshFloor > 0 ? frame / freshFloor : 0.0);
        dialog.DestroyWindow();
    }
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
