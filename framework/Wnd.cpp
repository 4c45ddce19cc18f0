#include "framework/Wnd.h"

#include <memory>
#include <unordered_map>

#include "framework/OleControlSite.h"
#include "framework/WinApp.h"

const CRuntimeClass CWnd::runtimeClass{"CWnd", &CCmdTarget::runtimeClass, &CreateObjectOf<CWnd>};
const MessageMap CWnd::messageMap{&CCmdTarget::messageMap};

namespace {

// Everything runs on the one user-interface thread; the maps are that thread's.
std::unordered_map<HWND, CWnd*>& PermanentMap()
{
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

// Wrappers handed out for handles that have no object of their own. They hold nothing but the handle, so a
// stale one is harmless; they are kept (one per handle) for the life of the process.
std::unordered_map<HWND, std::unique_ptr<CWnd>>& TemporaryMap()
{
    static std::unordered_map<HWND, std::unique_ptr<CWnd>> map;
    return map;
}

thread_local CWnd* t_creating = nullptr;

}  // namespace

CWnd* AfxWndFromHandle(HWND hwnd) { return CWnd::FromHandle(hwnd); }

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    // A live window must not keep routing messages to a destroyed object.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        if (m_pfnSuper) UnsubclassWindow();
        else Detach();
    }
    ReleaseControlSite();
}

void CWnd::ReleaseControlSite()
{
    if (COleControlSite* site = m_pCtrlSite) {
        m_pCtrlSite = nullptr;
        site->Release();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    if (!hwnd) return nullptr;
    auto it = PermanentMap().find(hwnd);
    return it == PermanentMap().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!hwnd) return nullptr;
    if (CWnd* bound = FromHandlePermanent(hwnd)) return bound;
    auto& temps = TemporaryMap();
    auto& slot = temps[hwnd];
    if (!slot) slot.reset(new CWnd());
    slot->m_hWnd = hwnd;
    return slot.get();
}

BOOL CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd) return FALSE;
    PermanentMap()[hwnd] = this;
    m_hWnd = hwnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    if (hwnd) {
        auto it = PermanentMap().find(hwnd);
        if (it != PermanentMap().end() && it->second == this) PermanentMap().erase(it);
    }
    m_hWnd = nullptr;
    ReleaseControlSite();  // a detached wrapper no longer speaks for the control either
    return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (!Attach(hwnd)) return FALSE;
    WNDPROC current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (current != &AfxWndProc) {
        m_pfnSuper = current;
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
    }
    PreSubclassWindow();
    return TRUE;
}

HWND CWnd::UnsubclassWindow()
{
    if (m_hWnd && m_pfnSuper) ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

LRESULT CALLBACK AfxCbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_creating) {
        CWnd* wnd = t_creating;
        t_creating = nullptr;  // only the first window created: the one the caller asked for
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        wnd->SubclassWindow(hwnd);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

CWnd::CreationHook::CreationHook(CWnd* wnd)
    : hook(::SetWindowsHookExW(WH_CBT, &AfxCbtHook, nullptr, ::GetCurrentThreadId())), previous(t_creating)
{
    t_creating = wnd;
}

CWnd::CreationHook::~CreationHook()
{
    t_creating = previous;
    if (hook) ::UnhookWindowsHookEx(hook);
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU idOrMenu, void* param)
{
    HWND hwnd;
    {
        CreationHook bind(this);
        hwnd = ::CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent, idOrMenu,
                                 AfxGetInstanceHandle(), param);
    }
    if (!hwnd) {
        // Creation failed after binding (WM_NCCREATE/WM_CREATE refused): the handle is gone.
        if (m_hWnd) { PermanentMap().erase(m_hWnd); m_hWnd = nullptr; m_pfnSuper = nullptr; }
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const MessageEntry* entry = GetMessageMap()->Find(message, wParam);
    if (!entry) return FALSE;
    *result = entry->thunk(this, message, wParam, lParam);
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::WalkPreTranslateTree(HWND hwndStop, MSG* msg)
{
    for (HWND hwnd = msg->hwnd; hwnd; hwnd = ::GetParent(hwnd)) {
        if (CWnd* wnd = FromHandlePermanent(hwnd)) {
            if (wnd->PreTranslateMessage(msg)) return TRUE;
        }
        if (hwnd == hwndStop) break;
    }
    return FALSE;
}

void CWnd::OnNcDestroyCleanup()
{
    HWND hwnd = m_hWnd;
    if (CWinApp* app = AfxGetApp()) {
        if (app->m_pMainWnd == this) {
            // The application's main window is gone: the application ends once the loops unwind.
            ::PostQuitMessage(0);
            app->m_pMainWnd = nullptr;
        }
    }
    if (m_pfnSuper) ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    Detach();
    PostNcDestroy();
}

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (!wnd) return ::DefWindowProcW(hwnd, message, wParam, lParam);

    CWnd::CurrentMessage saved = wnd->m_current;
    wnd->m_current = {message, wParam, lParam};
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    // The handler may have detached the object, or the object may be another one by now.
    if (CWnd::FromHandlePermanent(hwnd) == wnd) {
        wnd->m_current = saved;
        if (message == WM_NCDESTROY) wnd->OnNcDestroyCleanup();
    }
    return result;
}

CString CWnd::GetWindowText() const
{
    CString text;
    int length = ::GetWindowTextLengthW(m_hWnd);
    if (length > 0) {
        ::GetWindowTextW(m_hWnd, text.GetBuffer(length + 1), length + 1);
        text.ReleaseBuffer();
    }
    return text;
}

static BOOL ModifyLong(HWND hwnd, int index, DWORD remove, DWORD add, UINT swpFlags)
{
    DWORD style = static_cast<DWORD>(::GetWindowLongW(hwnd, index));
    DWORD updated = (style & ~remove) | add;
    if (style == updated) return FALSE;
    ::SetWindowLongW(hwnd, index, static_cast<LONG>(updated));
    if (swpFlags) ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) const { return ModifyLong(m_hWnd, GWL_STYLE, remove, add, swpFlags); }
BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) const { return ModifyLong(m_hWnd, GWL_EXSTYLE, remove, add, swpFlags); }

int CWnd::OnCreate(LPCREATESTRUCTW) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
BOOL CWnd::OnEraseBkgnd(HDC) { return static_cast<BOOL>(Default()); }
void CWnd::OnLButtonDown(UINT, POINT) { Default(); }
void CWnd::OnLButtonUp(UINT, POINT) { Default(); }
void CWnd::OnRButtonDown(UINT, POINT) { Default(); }
void CWnd::OnRButtonUp(UINT, POINT) { Default(); }
void CWnd::OnMouseMove(UINT, POINT) { Default(); }
HBRUSH CWnd::OnCtlColor(HDC, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) const
{
    if (m_pCtrlSite && !m_pCtrlSite->IsTornDown()) m_pCtrlSite->SetRect(RECT{x, y, x + width, y + height});
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}
