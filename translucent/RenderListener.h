// What the translucent dialog offers the widgets drawn into its picture, and what it asks of them.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "framework/Wnd.h"

// Whoever composes the frames: a widget whose look changed asks it for a new frame.
class IRenderListener {
public:
    virtual ~IRenderListener() = default;
    // Composes and pushes a new frame at once. `source` is whatever the caller wants to say about itself; the
    // dialog does not use it.
    virtual void OnRenderRequest(void* source) = 0;
};

// A widget drawn into the translucent dialog's frame. The dialog only draws it: creating, showing and
// deleting it are its owner's business.
class CTranslucentWidget : public CWnd {
public:
    // Draws the widget into the frame; the graphics' origin is the dialog's top-left pixel.
    virtual void Render(Gdiplus::Graphics* graphics) = 0;

    bool m_bVisible = true;  // a hidden widget is left out of the frame
};
