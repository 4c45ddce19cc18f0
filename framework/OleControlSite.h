// Hosting of ActiveX controls in a dialog: one COleControlSite per control.
//
// The site is one reference-counted owner with a small helper object per interface the control asks of its
// container (client site, in-place site, in-place frame, control site, document-host UI handler, ambient
// properties, event sink); every helper forwards IUnknown to the owner, so the control sees one COM identity.
//
// A hosted control lives exactly as long as the window that hosts it. Each hosting window gets a hidden
// child window of ours whose WM_DESTROY tears its controls down, so this happens however the host is
// destroyed -- through its object, or detached and destroyed by the default window procedure.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <vector>

class CWnd;

class COleControlSite {
public:
    COleControlSite(const COleControlSite&) = delete;
    COleControlSite& operator=(const COleControlSite&) = delete;

    HRESULT QueryInterface(REFIID riid, void** out);
    ULONG AddRef();
    ULONG Release();

    UINT GetControlId() const { return m_id; }
    HWND GetContainer() const { return m_container; }
    HWND GetWindow() const { return m_hWndCtrl; }
    bool IsTornDown() const { return m_tornDown; }
    // The control's automation interface (a new reference), null once torn down.
    IDispatch* GetControlDispatch() const;
    // Any interface of the control (a new reference), null once torn down.
    HRESULT QueryControl(REFIID riid, void** out) const;
    // Moves the control within its container (container client coordinates).
    void SetRect(const RECT& rect);

    // Offers a keyboard message for the control's window (or a window inside it) to the control's active
    // object; true when the control consumed it.
    bool TranslateAccelerator(MSG* msg);

    // Deactivate, disconnect the events, clear the client site, close and release. Safe to call repeatedly.
    void Teardown();

    // A wrapper bound to the control's window by data exchange; unbound again at teardown.
    void SetWrapper(CWnd* wrapper) { m_wrapper = wrapper; }

private:
    friend COleControlSite* AfxCreateHostedControl(HWND, REFCLSID, UINT, const RECT&, DWORD);
    friend void AfxHoldControlsServing(IDispatch*, std::vector<IUnknown*>*);
    class ClientSite;
    class InPlaceSite;
    class InPlaceFrame;
    class ControlSite;
    class UiHandler;
    class Ambients;
    class EventSink;

    COleControlSite(HWND container, UINT id, const RECT& rect);
    ~COleControlSite();

    HRESULT Create(REFCLSID clsid, DWORD style);
    void ConnectEvents();
    HRESULT RouteEvent(DISPID dispid, DISPPARAMS* params);
    HRESULT GetExternal(IDispatch** out);

    LONG m_refs = 1;
    HWND m_container;
    UINT m_id;
    RECT m_rect;
    HWND m_hWndCtrl = nullptr;
    bool m_tornDown = false;
    bool m_uiActive = false;
    CWnd* m_wrapper = nullptr;

    IOleObject* m_object = nullptr;
    IOleInPlaceObject* m_inPlace = nullptr;
    IOleInPlaceActiveObject* m_active = nullptr;
    IConnectionPoint* m_events = nullptr;
    DWORD m_eventCookie = 0;
    IID m_eventIid{};
    IDispatch* m_externalGiven = nullptr;  // identity only: the object handed out as window.external

    ClientSite* m_clientSite;
    InPlaceSite* m_inPlaceSite;
    InPlaceFrame* m_frame;
    ControlSite* m_controlSite;
    UiHandler* m_uiHandler;
    Ambients* m_ambients;
    EventSink* m_sink;
};

// Creates control `clsid` as an in-place active child of `container` with control id `id` over `rect`
// (client coordinates), visible when `style` says WS_VISIBLE, and registers it for teardown with the
// container's window. The container keeps the reference returned; null when the control cannot be made.
COleControlSite* AfxCreateHostedControl(HWND container, REFCLSID clsid, UINT id, const RECT& rect, DWORD style);
// The hosted control with this id, or the one whose window is `window` or contains it; null when none.
COleControlSite* AfxFindHostedControl(HWND container, UINT id);
COleControlSite* AfxFindHostedControlFor(HWND container, HWND window);
// Tears down one or all hosted controls of `container` and forgets them.
void AfxTeardownHostedControl(HWND container, UINT id);
void AfxTeardownHostedControls(HWND container);

// Adds a reference to each control whose site handed out `external` as its page's window.external, so that
// a page's call into the host keeps its own control alive until the call returns.
void AfxHoldControlsServing(IDispatch* external, std::vector<IUnknown*>* held);

// COM on the user-interface thread (single-threaded apartment, with OLE's clipboard and drag-and-drop).
BOOL AfxOleInit();
