// CTranslucentDialog: a skinned window whose whole look is one picture with per-pixel alpha. The window is a
// layered popup: it is never painted in answer to WM_PAINT; each frame is composed off-screen and handed to
// the system with UpdateLayeredWindow. Such a window cannot show ordinary child controls, so a companion
// (a CStandardDialog that the subclass supplies) carries them, lies exactly over the picture and follows it.
// Pressing the left button anywhere on the picture drags the pair.
//
// A subclass supplies the template, the picture, the companion (CreateStandardDialog) and any widgets drawn
// into the picture (OnInitChildWidgets).
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <vector>

#include "framework/Dialog.h"
#include "translucent/RenderListener.h"
#include "translucent/StandardDialog.h"

// Where a window of `outer` size goes when centred in `work`: the signed division truncates toward zero, so
// a window larger than the work area overhangs by the same amount on both sides, give or take one pixel.
POINT CentreInWorkArea(const RECT& work, SIZE outer);

class CTranslucentDialog : public CDialog, public IRenderListener {
public:
    // Loads the picture at once; no window exists until DoModal.
    CTranslucentDialog(UINT templateId, UINT imageId, const wchar_t* imageType, HMODULE resourceModule,
                       CWnd* parent = nullptr);
    ~CTranslucentDialog() override;

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void OnRenderRequest(void* source) override;

    // Composes one frame (the picture, then the visible widgets) and pushes it to the screen where the
    // window is now.
    void UpdateView();

    int OnCreate(LPCREATESTRUCTW cs);
    BOOL OnEraseBkgnd(HDC dc);
    void OnMove(int x, int y);
    void OnSize(UINT type, int cx, int cy);
    void OnLButtonDown(UINT flags, POINT at);

    // The subclass's part. CreateStandardDialog returns a companion constructed with this dialog as its
    // parent but not yet created (the dialog takes ownership), or null for none. OnInitChildWidgets puts the
    // widgets into m_widgets; it runs once, before the first frame.
    virtual CStandardDialog* CreateStandardDialog() = 0;
    virtual void OnInitChildWidgets() = 0;

    CStandardDialog* GetStandardDialog() const { return m_pStandardDlg; }
    Gdiplus::Image* GetImage() const { return m_pImage; }

protected:
    // The picture's size, asked of the image each time; 0 x 0 when there is no picture.
    SIZE ImageSize() const;
    // Draws the picture at `size`, its own, into a frame that is still all zeros.
    void DrawPictureOnto(Gdiplus::Graphics& graphics, SIZE size) const;

    BLENDFUNCTION m_blend{};
    Gdiplus::Image* m_pImage = nullptr;  // owned
    bool m_bDragEnabled = true;          // a left-button press anywhere starts a system move
    bool m_bCentreOnCreate = true;       // centred in the work area at creation
    CStandardDialog* m_pStandardDlg = nullptr;  // owned
    std::vector<CTranslucentWidget*> m_widgets;  // drawn in list order; not owned
};
