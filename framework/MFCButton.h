// CMFCButton: an image button. It shows a normal image, a hot image while the pointer is over it and a
// disabled image while it is disabled, each taken from the module's "PNG" resources and drawn with its own
// alpha at the button's top-left corner, at the image's own size. With m_bTransparent set, whatever the
// parent paints as its background shows around and through the image; otherwise the button face colour does.
//
// The window class "MfcButton" (registered by AfxRegisterMFCButtonClass, which dialogs call before they
// create their controls) is the system push button under another name, so that a control of this class
// that no object ever binds still works as an ordinary push button. Its window procedure keeps, per window,
// the settings text that a dialog's initialisation data sends it (WM_MFC_INITCTRL): those records arrive
// before data exchange binds the control to its object, and the object picks them up when it subclasses
// the window.
//
// Once bound, the button is owner-drawn as far as the system button knows: the system's button procedure
// then never paints a face, frame or focus rectangle of its own (it asks the parent, which ignores it), and
// this object paints the whole window itself on WM_PAINT.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "framework/Dialog.h"

// Border styles of the settings text.
constexpr int kMFCButtonStyleBorderless = 6;
// Cursor types of the settings text.
constexpr int kMFCButtonCursorHand = 12;

// The settings of one image button, as the dialog's initialisation data states them. Each entry keeps its
// default unless the text carries it complete and well formed.
struct MFCButtonSettings {
    int style = 0;            // border style
    bool autosize = false;    // size the button to its image
    CString tooltip;          // empty: no tooltip
    bool fullTextTooltip = false;
    int cursorType = 0;       // 0: the class cursor
    int imageType = 0;        // where the image comes from in the template (none here: SetImage gives it)
    bool imageOnTop = false;
    bool imageOnRight = false;

    // Reads the eight-bit settings text `<Tag>value</Tag>...`, of exactly `size` bytes (no terminator; any
    // bytes may come). Entries that are missing, cut short or malformed leave their value as it was.
    void Parse(const void* data, std::size_t size);
};

// Registers the "MfcButton" window class for this process; later calls do nothing.
void AfxRegisterMFCButtonClass();

class CMFCButton : public CButton {
public:
    CMFCButton();
    ~CMFCButton() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;

    // Draw the parent's background behind the image instead of the button face colour.
    BOOL m_bTransparent = FALSE;

    // Loads the images from the "PNG" resources of the resource module; 0 (or an id that does not load)
    // means none. Replaces the images set before.
    void SetImage(UINT normalId, UINT hotId = 0, UINT disabledId = 0);

    const MFCButtonSettings& GetSettings() const { return m_settings; }
    int GetBorderStyle() const { return m_settings.style; }
    int GetCursorType() const { return m_settings.cursorType; }
    int GetImageType() const { return m_settings.imageType; }
    bool IsAutosize() const { return m_settings.autosize; }
    bool IsFullTextTooltip() const { return m_settings.fullTextTooltip; }
    const CString& GetTooltip() const { return m_settings.tooltip; }
    bool IsHot() const { return m_bHot; }

    void PreSubclassWindow() override;

    // Handlers.
    void OnPaint();
    BOOL OnEraseBkgnd(HDC dc);
    LRESULT OnPrintClient(WPARAM dc, LPARAM flags);
    void OnMouseMove(UINT flags, POINT at);
    void OnMouseLeave();
    LRESULT OnPointerMayHaveLeft(WPARAM, LPARAM);
    LRESULT OnHoverWatch(WPARAM id, LPARAM);
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage);
    LRESULT OnSetStyle(WPARAM style, LPARAM redraw);
    LRESULT OnEnable(WPARAM, LPARAM);
    LRESULT OnInitCtrl(WPARAM size, LPARAM data);

    class Picture;  // a decoded image, independent of the resource it came from

private:
    void Draw(HDC dc);
    void DrawBackground(HDC dc, const RECT& client);
    const Picture* CurrentPicture() const;
    void SetHot(bool hot);
    static constexpr UINT_PTR kHoverWatchTimer = 0x4D42;  // "MB"
    static constexpr UINT kHoverWatchMs = 100;
    bool PointerIsOver() const;
    void MakeOwnerDrawn();

    MFCButtonSettings m_settings;
    std::unique_ptr<Picture> m_normal, m_hot, m_disabled;
    bool m_bHot = false;
    DWORD m_originalType = BS_PUSHBUTTON;  // the button type the window had before it was bound
};
