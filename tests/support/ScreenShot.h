// Reading back what the display shows, for checks of drawing that only the composed screen reveals
// (layered windows, colour keys).
#pragma once

#include <windows.h>

#include <vector>

// What the screen shows in `area`, as 0x00RRGGBB per pixel, rows top-down.
struct ScreenShot {
    explicit ScreenShot(const RECT& area)
        : left(area.left), top(area.top), width(area.right - area.left), height(area.bottom - area.top)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC screen = ::GetDC(nullptr);
        HDC memory = ::CreateCompatibleDC(screen);
        HBITMAP section = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = ::SelectObject(memory, section);
        ::BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
        ::GdiFlush();
        if (bits) pixels.assign(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height);
        ::SelectObject(memory, old);
        ::DeleteObject(section);
        ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
    }
    // The pixel at a screen point inside the area.
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>((y - top) * width + (x - left))] & 0xFFFFFF; }

    int left, top, width, height;
    std::vector<DWORD> pixels;
};
