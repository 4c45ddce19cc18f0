#include "framework/OleControlSite.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <olectl.h>

#include <algorithm>
#include <unordered_map>

#include "framework/Automation.h"
#include "framework/DHtmlDialog.h"
#include "framework/Wnd.h"

namespace {

// Every site alive on this thread, so a page's call into the host can find the control that made it.
std::vector<COleControlSite*>& LiveSites()
{
    static std::vector<COleControlSite*> sites;
    return sites;
}

template <class T>
void SafeRelease(T*& p)
{
    if (p) {
        T* held = p;
        p = nullptr;  // cleared first: the release may call back into us
        held->Release();
    }
}

}  // namespace

// ---- helpers: one small object per interface, IUnknown forwarded to the site ----

template <class I>
class SiteMember : public I {
public:
    explicit SiteMember(COleControlSite* site) : m_site(site) {}
    SiteMember(const SiteMember&) = delete;
    SiteMember& operator=(const SiteMember&) = delete;
    virtual ~SiteMember() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override { return m_site->QueryInterface(riid, out); }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_site->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_site->Release(); }

protected:
    COleControlSite* m_site;
};

// The in-place site and the frame both answer as the dialog's window, which the control's window lives in.
template <class I>
class SiteWindow : public SiteMember<I> {
public:
    using SiteMember<I>::SiteMember;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override
    {
        if (!out) return E_POINTER;
        *out = this->m_site->GetContainer();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

class COleControlSite::ClientSite final : public SiteMember<IOleClientSite> {
public:
    using SiteMember::SiteMember;
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override
    {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
};

class COleControlSite::InPlaceFrame final : public SiteWindow<IOleInPlaceFrame> {
public:
    using SiteWindow::SiteWindow;
    // A dialog has no tool space to give.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override { return widths ? INPLACE_E_NOTOOLSPACE : S_OK; }
    // The control tells us which of its objects is active; that one gets the keyboard first.
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override
    {
        if (active) active->AddRef();
        SafeRelease(m_site->m_active);
        m_site->m_active = active;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

class COleControlSite::InPlaceSite final : public SiteWindow<IOleInPlaceSite> {
public:
    using SiteWindow::SiteWindow;
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return m_site->m_tornDown ? S_FALSE : S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override
    {
        if (!m_site->m_inPlace && m_site->m_object)
            m_site->m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_site->m_inPlace));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override
    {
        m_site->m_uiActive = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, RECT* pos, RECT* clip,
                                               OLEINPLACEFRAMEINFO* info) override
    {
        if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
        *frame = m_site->m_frame;
        (*frame)->AddRef();
        *doc = nullptr;  // the frame is the only UI window
        *pos = m_site->m_rect;
        *clip = m_site->m_rect;
        info->fMDIApp = FALSE;
        info->hwndFrame = m_site->m_container;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override
    {
        m_site->m_uiActive = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override
    {
        m_site->m_uiActive = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override
    {
        if (m_site->m_inPlace) m_site->m_inPlace->UIDeactivate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override
    {
        if (!rect) return E_POINTER;
        m_site->SetRect(*rect);
        return S_OK;
    }
};

class COleControlSite::ControlSite final : public SiteMember<IOleControlSite> {
public:
    using SiteMember::SiteMember;
    HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }
};

// The browser asks its client site for this; the answers come from the dialog that hosts it.
class COleControlSite::UiHandler final : public SiteMember<IDocHostUIHandler> {
public:
    using SiteMember::SiteMember;
    // S_FALSE: the host shows no menu of its own, so the browser shows its usual one.
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override
    {
        if (!info) return E_POINTER;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override
    {
        return S_FALSE;  // no menus or toolbars of ours to show
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override
    {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override { return m_site->GetExternal(out); }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override
    {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override
    {
        if (out) *out = nullptr;
        return S_FALSE;
    }
};

// Ambient properties: the control runs in user mode; everything else is the control's default.
class COleControlSite::Ambients final : public SiteMember<DispatchWithoutTypeInfo> {
public:
    using SiteMember::SiteMember;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_AMBIENT_USERMODE || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        ::VariantInit(result);
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = VARIANT_TRUE;
        return S_OK;
    }
};

// The control's events, routed through the hosting dialog's event-sink table. It answers for the control's
// event interface too: the connection point asks for that before it accepts the sink.
class COleControlSite::EventSink final : public DispatchWithoutTypeInfo {
public:
    explicit EventSink(COleControlSite* site) : m_site(site) {}
    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_site->m_eventIid) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_site->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_site->Release(); }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (result) ::VariantInit(result);
        return m_site->RouteEvent(id, params);
    }

private:
    COleControlSite* m_site;
};

// ---- the site ----

COleControlSite::COleControlSite(HWND container, UINT id, const RECT& rect)
    : m_container(container), m_id(id), m_rect(rect),
      m_clientSite(new ClientSite(this)), m_inPlaceSite(new InPlaceSite(this)), m_frame(new InPlaceFrame(this)),
      m_controlSite(new ControlSite(this)), m_uiHandler(new UiHandler(this)), m_ambients(new Ambients(this)),
      m_sink(new EventSink(this))
{
    LiveSites().push_back(this);
}

COleControlSite::~COleControlSite()
{
    auto& sites = LiveSites();
    sites.erase(std::remove(sites.begin(), sites.end(), this), sites.end());
    delete m_clientSite;
    delete m_inPlaceSite;
    delete m_frame;
    delete m_controlSite;
    delete m_uiHandler;
    delete m_ambients;
    delete m_sink;
}

HRESULT COleControlSite::QueryInterface(REFIID riid, void** out)
{
    if (!out) return E_POINTER;
    IUnknown* answer = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) answer = m_clientSite;
    else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) answer = m_inPlaceSite;
    else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow) answer = m_frame;
    else if (riid == IID_IOleControlSite) answer = m_controlSite;
    else if (riid == IID_IDocHostUIHandler) answer = m_uiHandler;
    else if (riid == IID_IDispatch) answer = m_ambients;
    *out = answer;
    if (!answer) return E_NOINTERFACE;
    answer->AddRef();
    return S_OK;
}

ULONG COleControlSite::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }

ULONG COleControlSite::Release()
{
    LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT COleControlSite::Create(REFCLSID clsid, DWORD style)
{
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, reinterpret_cast<void**>(&m_object));
    if (FAILED(hr)) return hr;
    // The browser wants its client site before it is initialised (OLEMISC_SETCLIENTSITEFIRST); any other
    // control takes it then as well.
    hr = m_object->SetClientSite(m_clientSite);
    if (FAILED(hr)) return hr;
    // The template's persisted state for the control is not used: every control starts fresh.
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(m_object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
        persist->InitNew();
        persist->Release();
    }
    ConnectEvents();
    hr = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_clientSite, 0, m_container, &m_rect);
    if (FAILED(hr)) return hr;
    if (!m_inPlace) m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_inPlace));
    if (m_inPlace) m_inPlace->GetWindow(&m_hWndCtrl);
    if (!m_hWndCtrl) return E_FAIL;
    // The dialog finds its items by id: the control's window takes the template item's.
    ::SetWindowLongPtrW(m_hWndCtrl, GWLP_ID, static_cast<LONG_PTR>(m_id));
    ::ShowWindow(m_hWndCtrl, (style & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
    return S_OK;
}

void COleControlSite::ConnectEvents()
{
    CCmdTarget* owner = CWnd::FromHandlePermanent(m_container);
    if (!owner || !owner->GetEventSinkMap()->HasControl(m_id)) return;

    // The control's default event interface, as its class information names it.
    IProvideClassInfo2* info = nullptr;
    bool known = false;
    if (SUCCEEDED(m_object->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
        known = SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &m_eventIid));
        info->Release();
    }
    if (!known) m_eventIid = DIID_DWebBrowserEvents2;

    IConnectionPointContainer* points = nullptr;
    if (FAILED(m_object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) return;
    if (SUCCEEDED(points->FindConnectionPoint(m_eventIid, &m_events))) {
        if (FAILED(m_events->Advise(m_sink, &m_eventCookie))) SafeRelease(m_events);
    }
    points->Release();
}

HRESULT COleControlSite::RouteEvent(DISPID dispid, DISPPARAMS* params)
{
    if (m_tornDown) return S_OK;
    // The handler may destroy the dialog or run a nested modal loop in which the control is torn down:
    // neither this site nor the control may be freed before the control's call returns.
    AddRef();
    IUnknown* control = m_object;
    if (control) control->AddRef();
    HRESULT hr = S_OK;
    if (CCmdTarget* owner = CWnd::FromHandlePermanent(m_container)) owner->OnEvent(m_id, dispid, params, &hr);
    if (control) control->Release();
    Release();
    return S_OK;  // the control does not care how the host handled its event
}

HRESULT COleControlSite::GetExternal(IDispatch** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* dialog = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandlePermanent(m_container));
    if (!dialog) return E_NOTIMPL;
    IDispatch* external = dialog->GetExternalDispatch();
    if (!external || !dialog->IsExternalDispatchSafe()) return E_NOTIMPL;
    external->AddRef();
    *out = external;
    m_externalGiven = external;
    return S_OK;
}

IDispatch* COleControlSite::GetControlDispatch() const
{
    IDispatch* dispatch = nullptr;
    QueryControl(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    return dispatch;
}

HRESULT COleControlSite::QueryControl(REFIID riid, void** out) const
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (m_tornDown || !m_object) return E_UNEXPECTED;
    return m_object->QueryInterface(riid, out);
}

void COleControlSite::SetRect(const RECT& rect)
{
    m_rect = rect;
    if (m_inPlace && !m_tornDown) m_inPlace->SetObjectRects(&m_rect, &m_rect);
}

bool COleControlSite::TranslateAccelerator(MSG* msg)
{
    if (m_tornDown || !m_uiActive || !m_hWndCtrl) return false;
    if (msg->hwnd != m_hWndCtrl && !::IsChild(m_hWndCtrl, msg->hwnd)) return false;
    IOleInPlaceActiveObject* active = m_active;
    if (active) active->AddRef();
    else if (m_object) m_object->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active));
    if (!active) return false;
    AddRef();
    bool consumed = active->TranslateAccelerator(msg) == S_OK;
    active->Release();
    Release();
    return consumed;
}

void COleControlSite::Teardown()
{
    if (m_tornDown) return;
    m_tornDown = true;
    AddRef();  // the calls below may drop the other references to us
    if (m_wrapper && CWnd::FromHandlePermanent(m_hWndCtrl) == m_wrapper && m_wrapper->m_pCtrlSite == this) m_wrapper->Detach();
    m_wrapper = nullptr;

    if (m_inPlace) m_inPlace->InPlaceDeactivate();
    if (m_events) {
        m_events->Unadvise(m_eventCookie);
        SafeRelease(m_events);
    }
    if (m_object) {
        m_object->SetClientSite(nullptr);
        m_object->Close(OLECLOSE_NOSAVE);
    }
    SafeRelease(m_active);
    SafeRelease(m_inPlace);
    SafeRelease(m_object);
    m_hWndCtrl = nullptr;
    m_externalGiven = nullptr;
    Release();
}

void AfxHoldControlsServing(IDispatch* external, std::vector<IUnknown*>* held)
{
    if (!external) return;
    for (COleControlSite* site : LiveSites()) {
        if (site->m_externalGiven == external && site->m_object) {
            site->m_object->AddRef();
            held->push_back(site->m_object);
        }
    }
}

// ---- containers: which controls each hosting window has, and their teardown with it ----

namespace {

struct HostedControls {
    HWND container;
    HWND sentinel = nullptr;
    std::vector<COleControlSite*> sites;  // one reference each
};

std::unordered_map<HWND, HostedControls*>& Containers()
{
    static std::unordered_map<HWND, HostedControls*> map;
    return map;
}

HostedControls* Find(HWND container)
{
    auto it = Containers().find(container);
    return it == Containers().end() ? nullptr : it->second;
}

void TeardownAll(HostedControls* hosted)
{
    // Taken out of the list first: a teardown can end up here again.
    std::vector<COleControlSite*> sites;
    sites.swap(hosted->sites);
    for (COleControlSite* site : sites) {
        site->Teardown();
        site->Release();
    }
}

// The sentinel is a hidden child of the hosting window. Children receive WM_DESTROY when their parent is
// destroyed by any means -- the default window procedure included -- so its WM_DESTROY is the one moment we
// can rely on to take the controls down while the host window still exists.
LRESULT CALLBACK SentinelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND container = reinterpret_cast<HWND>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_DESTROY) {
        if (HostedControls* hosted = Find(container)) TeardownAll(hosted);
    } else if (message == WM_NCDESTROY) {
        if (HostedControls* hosted = Find(container)) {
            if (hosted->sentinel == hwnd) {
                Containers().erase(container);
                TeardownAll(hosted);
                delete hosted;
            }
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

const wchar_t kSentinelClass[] = L"FrameworkHostedControlSentinel";

HWND CreateSentinel(HWND container)
{
    static bool registered = false;
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &SentinelProc;
        wc.hInstance = module;
        wc.lpszClassName = kSentinelClass;
        registered = ::RegisterClassW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
    HWND sentinel = ::CreateWindowExW(WS_EX_NOPARENTNOTIFY, kSentinelClass, nullptr, WS_CHILD | WS_DISABLED, 0, 0, 0, 0,
                                      container, nullptr, module, nullptr);
    if (sentinel) ::SetWindowLongPtrW(sentinel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(container));
    return sentinel;
}

HostedControls* FindOrAdd(HWND container)
{
    if (HostedControls* hosted = Find(container)) return hosted;
    HWND sentinel = CreateSentinel(container);
    if (!sentinel) return nullptr;
    auto* hosted = new HostedControls{container, sentinel, {}};
    Containers()[container] = hosted;
    return hosted;
}

}  // namespace

COleControlSite* AfxCreateHostedControl(HWND container, REFCLSID clsid, UINT id, const RECT& rect, DWORD style)
{
    if (!::IsWindow(container)) return nullptr;
    HostedControls* hosted = FindOrAdd(container);
    if (!hosted) return nullptr;
    auto* site = new COleControlSite(container, id, rect);
    if (FAILED(site->Create(clsid, style))) {
        site->Teardown();
        site->Release();
        return nullptr;
    }
    hosted->sites.push_back(site);
    // Siblings are destroyed from the top of the z-order down: keep the sentinel above the controls so that
    // it takes them down while their windows still exist. It never takes focus or a tab stop.
    ::SetWindowPos(hosted->sentinel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return site;
}

COleControlSite* AfxFindHostedControl(HWND container, UINT id)
{
    if (HostedControls* hosted = Find(container))
        for (COleControlSite* site : hosted->sites)
            if (site->GetControlId() == id) return site;
    return nullptr;
}

COleControlSite* AfxFindHostedControlFor(HWND container, HWND window)
{
    if (!window) return nullptr;
    if (HostedControls* hosted = Find(container))
        for (COleControlSite* site : hosted->sites) {
            HWND control = site->GetWindow();
            if (control && (control == window || ::IsChild(control, window))) return site;
        }
    return nullptr;
}

void AfxTeardownHostedControl(HWND container, UINT id)
{
    HostedControls* hosted = Find(container);
    if (!hosted) return;
    auto& sites = hosted->sites;
    auto it = std::find_if(sites.begin(), sites.end(), [&](COleControlSite* s) { return s->GetControlId() == id; });
    if (it == sites.end()) return;
    COleControlSite* site = *it;
    sites.erase(it);
    site->Teardown();
    site->Release();
}

void AfxTeardownHostedControls(HWND container)
{
    if (HostedControls* hosted = Find(container)) TeardownAll(hosted);
}

BOOL AfxOleInit()
{
    HRESULT hr = ::OleInitialize(nullptr);
    return SUCCEEDED(hr);
}
