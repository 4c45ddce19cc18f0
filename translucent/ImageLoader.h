// Images carried among a module's resources, as GDI+ images.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

// Loads image `resourceId` (only its low 16 bits count) of `resourceType` from `module`.
//   RT_BITMAP: through the system's bitmap loader; a null module is handed on as it is (the system's own
//              bitmaps).
//   any other type (a "PNG" type, say): the bytes are copied into a memory block that GDI+ decodes through a
//              stream; a null module means the application's resource module.
// The caller owns the result and deletes it. A missing or undecodable resource still gives an image, one
// whose GetWidth and GetHeight read 0; the result is null only when GDI+ could not allocate the object.
Gdiplus::Image* LoadImageFromResource(UINT resourceId, const wchar_t* resourceType, HMODULE module);

namespace imageloader_detail {
// The stream path, telling the caller which global block now holds the bytes (null when none was made).
// The block belongs to the image's stream: it is freed when the image is deleted, so after that the handle
// may only be compared, never used.
Gdiplus::Image* LoadImageThroughStream(UINT resourceId, const wchar_t* resourceType, HMODULE module,
                                       HGLOBAL* blockOut);
}  // namespace imageloader_detail
