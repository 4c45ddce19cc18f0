// CWnd: a window object bound to a window handle.
//
// Binding: a process-wide map from handle to object. Windows created through the framework are bound while
// they are being created (a CBT hook catches the first creation message) and their window procedure is
// replaced by ours, which looks the handle up on every message. A handle with no object -- because it was
// never bound, or because its object called Detach -- gets the plain DefWindowProcW for every message; so a
// detached dialog that is posted WM_CLOSE is simply destroyed and none of its object's handlers run.
//
// Destruction: when a bound window receives WM_NCDESTROY its object is unbound and the original window
// procedure put back; if it was the application's main window, the quit request is posted and the main
// window pointer cleared.
#pragma once

#include <windows.h>

#include "framework/CmdTarget.h"
#include "framework/String.h"

class COleControlSite;

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Handle map.
    static CWnd* FromHandle(HWND hwnd);           // the bound object, else a temporary wrapper; null for null
    static CWnd* FromHandlePermanent(HWND hwnd);  // the bound object or null
    BOOL Attach(HWND hwnd);                       // bind without replacing the window procedure
    HWND Detach();                                // unbind; the window keeps running on DefWindowProcW
    BOOL SubclassWindow(HWND hwnd);               // bind and route the window's messages through this object
    HWND UnsubclassWindow();

    // Creation of an ordinary window (class registered by the caller).
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU idOrMenu, void* param = nullptr);
    virtual BOOL DestroyWindow();

    // Message routing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual void PostNcDestroy() {}
    // Called once SubclassWindow has bound the object and routed the window's messages through it: the
    // moment a control class takes over what its window collected before it had an object.
    virtual void PreSubclassWindow() {}
    LRESULT Default();  // the default processing of the message being handled now

    // From msg->hwnd up through its parents (owner for popups), offer the message to each bound object's
    // PreTranslateMessage; stop after hwndStop. TRUE when one of them consumed it.
    static BOOL WalkPreTranslateTree(HWND hwndStop, MSG* msg);

    // Base handlers: each does the default processing of its message.
    int OnCreate(LPCREATESTRUCTW cs);
    void OnDestroy();
    void OnClose();
    void OnMove(int x, int y);
    void OnSize(UINT type, int cx, int cy);
    BOOL OnEraseBkgnd(HDC dc);
    void OnLButtonDown(UINT flags, POINT at);
    void OnLButtonUp(UINT flags, POINT at);
    void OnRButtonDown(UINT flags, POINT at);
    void OnRButtonUp(UINT flags, POINT at);
    void OnMouseMove(UINT flags, POINT at);
    HBRUSH OnCtlColor(HDC dc, CWnd* control, UINT type);

    // Thin wrappers over the window functions.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::SendMessageW(m_hWnd, message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::PostMessageW(m_hWnd, message, wParam, lParam); }
    BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
    // A hosted control is moved through its site, so that the control and the place the site reports to it
    // (its window context) agree; an in-place object that asks for its context again would otherwise jump
    // back to its template rectangle.
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const;
    BOOL SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, after ? after->m_hWnd : nullptr, x, y, cx, cy, flags);
    }
    void SetWindowText(const wchar_t* text) const { ::SetWindowTextW(m_hWnd, text); }
    CString GetWindowText() const;
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0) const;
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0) const;
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() const { ::UpdateWindow(m_hWnd); }
    BOOL BringWindowToTop() const { return ::BringWindowToTop(m_hWnd); }
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK) const
    {
        return ::MessageBoxW(m_hWnd, text, caption, type);
    }

    // Control hosting: the site of the ActiveX control whose window this object wraps, if any. The wrapper
    // holds a reference, given up when it is detached.
    COleControlSite* m_pCtrlSite = nullptr;
    void ReleaseControlSite();

protected:
    WNDPROC m_pfnSuper = nullptr;  // the window procedure ours replaced; null when bound without subclassing

    // Creation binding: the next window created on this thread is bound to `wnd` and routed through us.
    struct CreationHook {
        explicit CreationHook(CWnd* wnd);
        ~CreationHook();
        CreationHook(const CreationHook&) = delete;
        CreationHook& operator=(const CreationHook&) = delete;
        HHOOK hook;
        CWnd* previous;
    };

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK AfxCbtHook(int, WPARAM, LPARAM);
    void OnNcDestroyCleanup();

    struct CurrentMessage { UINT message; WPARAM wParam; LPARAM lParam; };
    CurrentMessage m_current{};
};

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
