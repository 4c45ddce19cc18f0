#include "translucent/ImageLoader.h"

#include <cstring>
#include <new>

#include "framework/WinApp.h"

namespace {

// GDI+ objects are freed with GdipFree by their class's operator delete, so they are allocated with
// GdipAlloc. The class's own operator new may return null, which a plain new-expression may not survive;
// allocating first and constructing in place keeps the out-of-memory case defined.
template <class T, class... Args>
T* NewGdiplusObject(Args... args)
{
    void* memory = Gdiplus::DllExports::GdipAlloc(sizeof(T));
    if (!memory) return nullptr;
    return ::new (memory) T(args...);
}

Gdiplus::Image* LoadBitmapResource(UINT resourceId, HMODULE module)
{
    HBITMAP bitmap = ::LoadBitmapW(module, MAKEINTRESOURCEW(LOWORD(resourceId)));
    // GDI+ copies the pixels, so our handle goes whatever happened.
    Gdiplus::Bitmap* image = NewGdiplusObject<Gdiplus::Bitmap>(bitmap, static_cast<HPALETTE>(nullptr));
    if (bitmap) ::DeleteObject(bitmap);
    return image;
}

// A fixed global block holding a copy of the resource's bytes; null when the resource is missing or empty.
HGLOBAL CopyResourceToBlock(UINT resourceId, const wchar_t* resourceType, HMODULE module)
{
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(LOWORD(resourceId)), resourceType);
    if (!found) return nullptr;
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0) return nullptr;

    HGLOBAL block = ::GlobalAlloc(GMEM_FIXED, size);
    if (!block) return nullptr;
    std::memcpy(::GlobalLock(block), data, size);
    ::GlobalUnlock(block);
    return block;
}

}  // namespace

namespace imageloader_detail {

Gdiplus::Image* LoadImageThroughStream(UINT resourceId, const wchar_t* resourceType, HMODULE module,
                                       HGLOBAL* blockOut)
{
    if (!module) module = AfxGetResourceHandle();
    HGLOBAL block = CopyResourceToBlock(resourceId, resourceType, module);
    if (blockOut) *blockOut = block;

    // The stream owns the block from here on. GDI+ keeps its own reference to the stream for the life of the
    // image (it may read it again at any time), so the block goes only when the image is disposed.
    IStream* stream = nullptr;
    if (block && FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
        stream = nullptr;
        ::GlobalFree(block);  // nobody else will ever free it
        if (blockOut) *blockOut = nullptr;
    }

    // With no stream GDI+ refuses, and the image reads 0 x 0 like any other failed load.
    Gdiplus::Image* image = NewGdiplusObject<Gdiplus::Image>(stream, FALSE);
    if (stream) stream->Release();
    return image;
}

}  // namespace imageloader_detail

Gdiplus::Image* LoadImageFromResource(UINT resourceId, const wchar_t* resourceType, HMODULE module)
{
    if (resourceType == RT_BITMAP) return LoadBitmapResource(resourceId, module);
    return imageloader_detail::LoadImageThroughStream(resourceId, resourceType, module, nullptr);
}
