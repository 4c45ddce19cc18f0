#include "tests/fakebrowser/FakeBrowser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "tests/fakebrowser/Log.h"
#include "tests/fakebrowser/Page.h"

namespace fakebrowser {
namespace {

LONG g_liveObjects = 0;
LONG g_serverLocks = 0;

// The control's automation ids (IWebBrowser2 and its bases).
constexpr DISPID kDispNavigate = 104;
constexpr DISPID kDispLocationName = 210;
constexpr DISPID kDispLocationUrl = 211;
constexpr DISPID kDispBusy = 212;
constexpr DISPID kDispNavigate2 = 500;
constexpr DISPID kDispSilent = 551;
constexpr DISPID kDispReadyState = DISPID_READYSTATE;

constexpr UINT WM_RUN_NAVIGATIONS = WM_APP + 0x46;
constexpr wchar_t kWindowClass[] = L"VelmoraFakeBrowser";

std::wstring Hex(HRESULT hr)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::wstring Quoted(const std::wstring& s)
{
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'"' || c == L'\\') out += L'\\';
        if (c < 0x20) {
            wchar_t esc[8];
            swprintf(esc, 8, L"\\x%02X", static_cast<unsigned>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring Describe(const ScriptValue& v)
{
    wchar_t number[64];
    switch (v.kind) {
    case ScriptValue::String: return Quoted(v.text);
    case ScriptValue::Int: return std::to_wstring(v.intValue);
    case ScriptValue::Double: swprintf(number, 64, L"%.15g", v.doubleValue); return number;
    case ScriptValue::Null: return L"null";
    case ScriptValue::Bool: return v.boolValue ? L"true" : L"false";
    case ScriptValue::Undefined: break;
    }
    return L"undefined";
}

// The value a script engine hands to IDispatch::Invoke for a literal.
VARIANT ToVariant(const ScriptValue& v)
{
    VARIANT out;
    ::VariantInit(&out);
    switch (v.kind) {
    case ScriptValue::String:
        out.vt = VT_BSTR;
        out.bstrVal = ::SysAllocStringLen(v.text.data(), static_cast<UINT>(v.text.size()));
        break;
    case ScriptValue::Int: out.vt = VT_I4; out.lVal = v.intValue; break;
    case ScriptValue::Double: out.vt = VT_R8; out.dblVal = v.doubleValue; break;
    case ScriptValue::Null: out.vt = VT_NULL; break;
    case ScriptValue::Bool: out.vt = VT_BOOL; out.boolVal = v.boolValue ? VARIANT_TRUE : VARIANT_FALSE; break;
    case ScriptValue::Undefined: break;
    }
    return out;
}

std::wstring ResultText(VARIANT& result)
{
    if (result.vt == VT_EMPTY) return {};
    VARIANT text;
    ::VariantInit(&text);
    std::wstring out = L" = ";
    if (SUCCEEDED(::VariantChangeType(&text, &result, 0, VT_BSTR)) && text.vt == VT_BSTR)
        out += Quoted(text.bstrVal ? std::wstring(text.bstrVal, ::SysStringLen(text.bstrVal)) : std::wstring());
    else
        out += L"<vt " + std::to_wstring(result.vt) + L">";
    ::VariantClear(&text);
    return out;
}

// The text of an automation argument (by value or by reference), as Navigate's URL.
bool ArgumentText(const VARIANT* arg, std::wstring& text)
{
    if (!arg || ((arg->vt & VT_BYREF) && !arg->byref)) return false;
    VARIANT copy;
    ::VariantInit(&copy);
    bool ok = SUCCEEDED(::VariantCopyInd(&copy, const_cast<VARIANT*>(arg))) &&
              SUCCEEDED(::VariantChangeType(&copy, &copy, 0, VT_BSTR)) && copy.vt == VT_BSTR;
    if (ok) text.assign(copy.bstrVal ? copy.bstrVal : L"", copy.bstrVal ? ::SysStringLen(copy.bstrVal) : 0);
    ::VariantClear(&copy);
    return ok;
}

HRESULT ReturnText(const std::wstring& text, BSTR* out)
{
    if (!out) return E_POINTER;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

class Browser;

// IWebBrowser2 for the browser and for its frames: the few members a host uses, by vtable and by dispatch
// id; the rest is not implemented.
class WebBrowserBase : public IWebBrowser2 {
public:
    WebBrowserBase() { ::InterlockedIncrement(&g_liveObjects); }
    virtual ~WebBrowserBase() { ::InterlockedDecrement(&g_liveObjects); }
    WebBrowserBase(const WebBrowserBase&) = delete;
    WebBrowserBase& operator=(const WebBrowserBase&) = delete;

    virtual HRESULT StartNavigation(const std::wstring& url) = 0;
    virtual std::wstring Location() const = 0;
    virtual std::wstring Title() const = 0;
    virtual bool Busy() const = 0;
    virtual READYSTATE State() const = 0;
    virtual bool Silent() const = 0;
    virtual void SetSilent(bool silent) = 0;

    // IUnknown, for an object that is nothing but a browser; the browser itself answers for more.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = IsBrowserInterface(iid) ? static_cast<IWebBrowser2*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    // IDispatch: no type information; names and ids of the members above.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        static const struct { const wchar_t* name; DISPID id; } members[] = {
            {L"Navigate", kDispNavigate},   {L"Navigate2", kDispNavigate2},   {L"LocationURL", kDispLocationUrl},
            {L"LocationName", kDispLocationName}, {L"Busy", kDispBusy}, {L"ReadyState", kDispReadyState},
            {L"Silent", kDispSilent},
        };
        if (!names || !ids) return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const auto& m : members)
                if (i == 0 && names[0] && _wcsicmp(names[0], m.name) == 0) ids[0] = m.id;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT* argErr) override
    {
        if (!params) return E_INVALIDARG;
        const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
        const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
        // Arguments arrive last first: the first argument is the last element.
        auto first = params->cArgs ? &params->rgvarg[params->cArgs - 1] : nullptr;
        switch (id) {
        case kDispNavigate:
        case kDispNavigate2: {
            if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
            if (!first) return DISP_E_BADPARAMCOUNT;
            std::wstring url;
            if (!ArgumentText(first, url)) {
                if (argErr) *argErr = params->cArgs - 1;
                return DISP_E_TYPEMISMATCH;
            }
            return StartNavigation(url);
        }
        case kDispLocationUrl:
        case kDispLocationName:
            if (!get) return DISP_E_MEMBERNOTFOUND;
            if (!result) return S_OK;
            ::VariantInit(result);
            result->vt = VT_BSTR;
            return ReturnText(id == kDispLocationUrl ? Location() : Title(), &result->bstrVal);
        case kDispBusy:
        case kDispReadyState:
            if (!get) return DISP_E_MEMBERNOTFOUND;
            if (!result) return S_OK;
            ::VariantInit(result);
            if (id == kDispBusy) {
                result->vt = VT_BOOL;
                result->boolVal = Busy() ? VARIANT_TRUE : VARIANT_FALSE;
            } else {
                result->vt = VT_I4;
                result->lVal = State();
            }
            return S_OK;
        case kDispSilent:
            if (put) {
                VARIANT value;
                ::VariantInit(&value);
                if (!first || FAILED(::VariantChangeType(&value, first, 0, VT_BOOL))) return DISP_E_TYPEMISMATCH;
                SetSilent(value.boolVal != VARIANT_FALSE);
                return S_OK;
            }
            if (!get) return DISP_E_MEMBERNOTFOUND;
            if (result) {
                ::VariantInit(result);
                result->vt = VT_BOOL;
                result->boolVal = Silent() ? VARIANT_TRUE : VARIANT_FALSE;
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override
    {
        return StartNavigation(url ? std::wstring(url, ::SysStringLen(url)) : std::wstring());
    }
    STDMETHODIMP Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override
    {
        std::wstring text;
        return ArgumentText(url, text) ? StartNavigation(text) : E_INVALIDARG;
    }
    STDMETHODIMP get_LocationURL(BSTR* out) override { return ReturnText(Location(), out); }
    STDMETHODIMP get_LocationName(BSTR* out) override { return ReturnText(Title(), out); }
    STDMETHODIMP get_Busy(VARIANT_BOOL* out) override
    {
        if (!out) return E_POINTER;
        *out = Busy() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP get_ReadyState(READYSTATE* out) override
    {
        if (!out) return E_POINTER;
        *out = State();
        return S_OK;
    }
    STDMETHODIMP get_Silent(VARIANT_BOOL* out) override
    {
        if (!out) return E_POINTER;
        *out = Silent() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP put_Silent(VARIANT_BOOL silent) override
    {
        SetSilent(silent != VARIANT_FALSE);
        return S_OK;
    }

    // Not played by the stand-in.
    STDMETHODIMP GoBack() override { return E_NOTIMPL; }
    STDMETHODIMP GoForward() override { return E_NOTIMPL; }
    STDMETHODIMP GoHome() override { return E_NOTIMPL; }
    STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh2(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP get_Application(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Parent(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Container(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Document(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Type(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Left(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Left(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Top(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Top(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Height(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP Quit() override { return E_NOTIMPL; }
    STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
    STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_HWND(SHANDLE_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullName(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Path(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Visible(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusText(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusText(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_ToolBar(int*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ToolBar(int) override { return E_NOTIMPL; }
    STDMETHODIMP get_MenuBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MenuBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullScreen(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_FullScreen(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
    STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Offline(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Offline(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_AddressBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_AddressBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Resizable(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Resizable(VARIANT_BOOL) override { return E_NOTIMPL; }

protected:
    static bool IsBrowserInterface(REFIID iid)
    {
        return iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
               iid == IID_IWebBrowser2;
    }

private:
    LONG m_refs = 1;
};

// The object that stands for one <iframe> of the top document: the pointer that its events carry.
class Frame final : public WebBrowserBase {
public:
    Frame(Browser* owner, int index, const std::wstring& url) : m_owner(owner), m_index(index), m_url(url) {}

    HRESULT StartNavigation(const std::wstring& url) override;
    std::wstring Location() const override { return m_url; }
    std::wstring Title() const override { return m_title; }
    bool Busy() const override { return m_busy; }
    READYSTATE State() const override { return m_busy ? READYSTATE_LOADING : READYSTATE_COMPLETE; }
    bool Silent() const override;
    void SetSilent(bool silent) override;

    // The browser drops its frames when it loads another top document or goes away.
    void Orphan() { m_owner = nullptr; }
    int Index() const { return m_index; }
    void SetDocument(const std::wstring& url, const std::wstring& title)
    {
        m_url = url;
        m_title = title;
    }
    void SetBusy(bool busy) { m_busy = busy; }

private:
    Browser* m_owner;
    int m_index;
    std::wstring m_url, m_title;
    bool m_busy = true;
};

class Browser;

// The DWebBrowserEvents2 connection point; its references are the browser's.
class EventConnectionPoint final : public IConnectionPoint {
public:
    explicit EventConnectionPoint(Browser& owner) : m_owner(owner) {}
    EventConnectionPoint(const EventConnectionPoint&) = delete;
    EventConnectionPoint& operator=(const EventConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* iid) override
    {
        if (!iid) return E_POINTER;
        *iid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // The advised sinks, each with a reference for the caller.
    std::vector<IDispatch*> Sinks() const
    {
        std::vector<IDispatch*> copy;
        for (const auto& s : m_sinks) {
            s.second->AddRef();
            copy.push_back(s.second);
        }
        return copy;
    }
    void ReleaseAll()
    {
        for (auto& s : m_sinks) s.second->Release();
        m_sinks.clear();
    }

private:
    Browser& m_owner;
    std::vector<std::pair<DWORD, IDispatch*>> m_sinks;
    DWORD m_nextCookie = 1;
};

class Browser final : public WebBrowserBase,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IPersistStreamInit,
                      public IConnectionPointContainer,
                      public IProvideClassInfo2 {
public:
    Browser() : m_events(*this)
    {
        RegisterWindowClass();
        // Navigations are run from this window's queue, on the creating thread, whether or not the browser
        // has been activated in place.
        m_queueWindow = ::CreateWindowExW(0, kWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          ThisModule(), nullptr);
        if (m_queueWindow) ::SetWindowLongPtrW(m_queueWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Browser() override
    {
        InPlaceDeactivate();
        DropQueue();
        DropFrames();
        m_events.ReleaseAll();
        SetClientSite(nullptr);
        if (m_queueWindow) ::DestroyWindow(m_queueWindow);
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsBrowserInterface(iid)) *out = static_cast<IWebBrowser2*>(this);
        else if (iid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) *out = static_cast<IOleInPlaceObject*>(this);
        else if (iid == IID_IOleInPlaceActiveObject) *out = static_cast<IOleInPlaceActiveObject*>(this);
        else if (iid == IID_IPersist || iid == IID_IPersistStreamInit) *out = static_cast<IPersistStreamInit*>(this);
        else if (iid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(this);
        else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
            *out = static_cast<IProvideClassInfo2*>(this);
        else *out = nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // The other interfaces share the one count.
    STDMETHODIMP_(ULONG) AddRef() override { return WebBrowserBase::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return WebBrowserBase::Release(); }

    // The browser's own state, for IWebBrowser2.
    HRESULT StartNavigation(const std::wstring& url) override
    {
        LogLine(L"navigate " + url);
        Queue(url, nullptr);
        return S_OK;
    }
    std::wstring Location() const override { return m_url; }
    std::wstring Title() const override { return m_title; }
    bool Busy() const override { return m_running; }
    READYSTATE State() const override { return m_state; }
    bool Silent() const override { return m_silent; }
    void SetSilent(bool silent) override
    {
        m_silent = silent;
        LogLine(silent ? L"silent true" : L"silent false");
    }

    // A navigation runs later, from the queue window, one at a time: one asked for from inside an event or
    // a script call waits for the current one to end.
    void Queue(const std::wstring& url, Frame* frame)
    {
        if (frame) frame->AddRef();
        m_queue.push_back({url, frame});
        PostRun();
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override
    {
        if (site) site->AddRef();
        if (m_clientSite) m_clientSite->Release();
        m_clientSite = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** out) override
    {
        if (!out) return E_POINTER;
        *out = m_clientSite;
        if (m_clientSite) m_clientSite->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override
    {
        InPlaceDeactivate();
        DropQueue();
        ++m_generation;  // a navigation under way stops at its next step
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) override
    {
        switch (verb) {
        case OLEIVERB_INPLACEACTIVATE: return Activate(site, parent, pos, false);
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_UIACTIVATE: return Activate(site, parent, pos, true);
        case OLEIVERB_HIDE:
            if (m_hwnd) ::ShowWindow(m_hwnd, SW_HIDE);
            return S_OK;
        default: return E_NOTIMPL;
        }
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL* size) override
    {
        if (!size) return E_POINTER;
        m_extent = *size;
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD, SIZEL* size) override
    {
        if (!size) return E_POINTER;
        *size = m_extent;
        return S_OK;
    }
    // View advises are accepted and not used: the stand-in never changes its presentation.
    STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override
    {
        if (cookie) *cookie = 1;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD) override { return S_OK; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override
    {
        if (!status) return E_POINTER;
        *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                  OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* out) override
    {
        if (!out) return E_POINTER;
        *out = m_hwnd;
        return m_hwnd ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override
    {
        if (!m_inPlaceSite) return S_OK;
        UIDeactivate();
        if (m_hwnd) ::DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        IOleInPlaceSite* site = m_inPlaceSite;
        m_inPlaceSite = nullptr;
        site->OnInPlaceDeactivate();
        site->Release();
        if (m_frame) m_frame->Release();
        if (m_document) m_document->Release();
        m_frame = nullptr;
        m_document = nullptr;
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override
    {
        if (!m_uiActive) return S_OK;
        m_uiActive = false;
        if (m_frame) m_frame->SetActiveObject(nullptr, nullptr);
        if (m_document) m_document->SetActiveObject(nullptr, nullptr);
        if (m_inPlaceSite) m_inPlaceSite->OnUIDeactivate(FALSE);
        return S_OK;
    }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override
    {
        if (!pos) return E_POINTER;
        if (m_hwnd)
            ::MoveWindow(m_hwnd, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject: the stand-in has no page fields to move between, so it takes no key; it notes
    // the keys that a page needs (Tab, Enter) so that a host's keyboard routing can be checked.
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override
    {
        if (msg && msg->message == WM_KEYDOWN && (msg->wParam == VK_TAB || msg->wParam == VK_RETURN))
            LogLine(L"key " + std::to_wstring(msg->wParam));
        return S_FALSE;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IPersistStreamInit: a template's initialisation data for the control is read and dropped.
    STDMETHODIMP GetClassID(CLSID* clsid) override
    {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_WebBrowser;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override
    {
        if (!size) return E_POINTER;
        size->QuadPart = 0;
        return S_OK;
    }
    STDMETHODIMP InitNew() override { return S_OK; }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
        *out = &m_events;
        AddRef();
        return S_OK;
    }

    // IProvideClassInfo2: hosts ask it which event interface is the default source.
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override
    {
        if (!guid) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
        *guid = DIID_DWebBrowserEvents2;
        return S_OK;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Browser*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_RUN_NAVIGATIONS) {
            self->RunQueue();
            return 0;
        }
        if (self && message == WM_NCDESTROY) {
            // The control's window goes with its parent, or on a WM_CLOSE posted to it.
            if (self->m_hwnd == hwnd) self->m_hwnd = nullptr;
            if (self->m_queueWindow == hwnd) self->m_queueWindow = nullptr;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

private:
    struct Pending {
        std::wstring url;
        Frame* frame;  // null for the top document
    };

    static void RegisterWindowClass()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Browser::WindowProc;
        wc.hInstance = ThisModule();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = kWindowClass;
        ::RegisterClassW(&wc);  // fails harmlessly when already registered
    }

    HRESULT Activate(IOleClientSite* activeSite, HWND parent, LPCRECT pos, bool uiActivate)
    {
        IOleClientSite* site = activeSite ? activeSite : m_clientSite;
        if (!site) return E_UNEXPECTED;
        if (!m_inPlaceSite) {
            IOleInPlaceSite* inPlace = nullptr;
            if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))) || !inPlace)
                return E_NOINTERFACE;
            if (inPlace->CanInPlaceActivate() != S_OK) {
                inPlace->Release();
                return E_FAIL;
            }
            m_inPlaceSite = inPlace;
            inPlace->OnInPlaceActivate();
            HWND siteWindow = nullptr;
            if (FAILED(inPlace->GetWindow(&siteWindow)) || !siteWindow) siteWindow = parent;
            RECT posRect{}, clipRect{};
            OLEINPLACEFRAMEINFO frameInfo{};
            frameInfo.cb = sizeof frameInfo;
            inPlace->GetWindowContext(&m_frame, &m_document, &posRect, &clipRect, &frameInfo);
            RECT r = pos ? *pos : posRect;
            m_hwnd = ::CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                       r.left, r.top, r.right - r.left, r.bottom - r.top, siteWindow, nullptr,
                                       ThisModule(), nullptr);
            if (m_hwnd) ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        } else {
            if (pos) SetObjectRects(pos, pos);
            if (m_hwnd) ::ShowWindow(m_hwnd, SW_SHOW);
        }
        if (uiActivate && !m_uiActive) {
            m_uiActive = true;
            m_inPlaceSite->OnUIActivate();
            if (m_frame) m_frame->SetActiveObject(this, L"Web Browser");
            if (m_document) m_document->SetActiveObject(this, L"Web Browser");
            if (m_hwnd) ::SetFocus(m_hwnd);
        }
        return S_OK;
    }

    void PostRun()
    {
        if (m_queueWindow) ::PostMessageW(m_queueWindow, WM_RUN_NAVIGATIONS, 0, 0);
    }

    void RunQueue()
    {
        if (m_running || m_queue.empty()) return;
        AddRef();  // the host may release the browser from inside an event or a script call
        m_running = true;
        Pending next = m_queue.front();
        m_queue.pop_front();
        m_state = READYSTATE_LOADING;
        const unsigned generation = m_generation;
        LoadDocument(next.url, next.frame, generation);
        if (next.frame) next.frame->Release();
        m_running = false;
        m_state = READYSTATE_COMPLETE;
        if (!m_queue.empty()) PostRun();
        Release();
    }

    void DropQueue()
    {
        for (auto& p : m_queue)
            if (p.frame) p.frame->Release();
        m_queue.clear();
    }

    void DropFrames()
    {
        for (Frame* f : m_frames) {
            f->Orphan();
            f->Release();
        }
        m_frames.clear();
    }

    // Loads one document into the top level (frame null) or into a frame, firing the control's events in its
    // order: BeforeNavigate2, NavigateComplete2, the page's scripts, each iframe of a top document in turn,
    // DocumentComplete. False once the browser has been closed meanwhile.
    bool LoadDocument(const std::wstring& url, Frame* frame, unsigned generation)
    {
        IDispatch* target = frame ? static_cast<IDispatch*>(frame) : static_cast<IWebBrowser2*>(this);
        std::wstring who = frame ? L" frame=" + std::to_wstring(frame->Index()) : L" frame=top";
        if (FireBeforeNavigate(target, url, who)) {
            LogLine(L"cancelled " + url + who);
            return generation == m_generation;
        }
        if (generation != m_generation) return false;
        std::string body;
        std::wstring why;
        long status = 0;
        if (!FetchDocument(url, body, why, status)) {
            LogLine(L"navigate-error " + url + who + L" (" + why + L")");
            if (frame) frame->SetDocument(url, url);
            else m_url = url;
            FireNavigateError(target, url, status, who);
            if (frame) frame->SetBusy(false);
            return generation == m_generation;
        }
        std::wstring title = FindTitle(body);
        if (frame) {
            frame->SetDocument(url, title.empty() ? url : title);
        } else {
            m_url = url;
            m_title = title.empty() ? url : title;
            DropFrames();
        }
        FireUrlEvent(DISPID_NAVIGATECOMPLETE2, target, url, who);
        if (generation != m_generation || !RunScripts(body, url, frame, generation)) return false;
        if (!frame) {
            int index = 0;
            for (const std::wstring& src : FindFrameSources(body)) {
                std::wstring frameUrl = ResolveUrl(url, src);
                auto* f = new Frame(this, ++index, frameUrl);
                m_frames.push_back(f);
                if (!LoadDocument(frameUrl, f, generation)) return false;
            }
        } else {
            frame->SetBusy(false);
        }
        FireUrlEvent(DISPID_DOCUMENTCOMPLETE, target, url, who);
        return generation == m_generation;
    }

    // Runs the statements of the page's script blocks. A failed call ends its block, as the exception that a
    // script engine raises would; the next block still runs.
    bool RunScripts(const std::string& body, const std::wstring& url, Frame* frame, unsigned generation)
    {
        for (const auto& block : ParseScripts(body)) {
            for (const ScriptStatement& st : block) {
                if (st.kind == ScriptStatement::Unsupported) {
                    LogLine(L"script skipped: " + st.name);
                    continue;
                }
                if (st.kind == ScriptStatement::SetLocation) {
                    std::wstring target = ResolveUrl(url, st.name);
                    LogLine(L"location " + target);
                    Queue(target, frame);
                    continue;
                }
                bool ok = CallExternal(st);
                if (generation != m_generation) return false;
                if (!ok) break;
            }
        }
        return true;
    }

    // window.external.NAME(args): the host's external object from IDocHostUIHandler::GetExternal, the name
    // looked up and the method invoked the way a script engine does it.
    bool CallExternal(const ScriptStatement& st)
    {
        IDispatch* external = nullptr;
        IDocHostUIHandler* handler = nullptr;
        if (m_clientSite)
            m_clientSite->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler));
        HRESULT hr = handler ? handler->GetExternal(&external) : E_NOINTERFACE;
        if (handler) handler->Release();
        if (FAILED(hr) || !external) {
            if (SUCCEEDED(hr) && external) external->Release();
            LogLine(L"external unavailable");
            return false;
        }
        std::wstring text = L"call " + st.name + L"(";
        for (size_t i = 0; i < st.args.size(); ++i) text += (i ? L", " : L"") + Describe(st.args[i]);
        text += L")";

        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(st.name.c_str());
        hr = external->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            LogLine(text + L" -> " + Hex(hr));
            external->Release();
            return false;
        }
        std::vector<VARIANT> args;
        for (auto it = st.args.rbegin(); it != st.args.rend(); ++it) args.push_back(ToVariant(*it));
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        VARIANT result;
        ::VariantInit(&result);
        EXCEPINFO exception{};
        UINT argErr = 0;
        hr = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception,
                              &argErr);
        LogLine(text + L" -> " + Hex(hr) + ResultText(result));
        ::VariantClear(&result);
        for (auto& a : args) ::VariantClear(&a);
        ::SysFreeString(exception.bstrSource);
        ::SysFreeString(exception.bstrDescription);
        ::SysFreeString(exception.bstrHelpFile);
        external->Release();
        return SUCCEEDED(hr);
    }

    void Fire(DISPID id, VARIANT* args, UINT count)
    {
        DISPPARAMS params{args, nullptr, count, 0};
        for (IDispatch* sink : m_events.Sinks()) {
            sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
            sink->Release();
        }
    }

    static VARIANT Long(long n)
    {
        VARIANT v;
        ::VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = n;
        return v;
    }
    static VARIANT Text(const std::wstring& s)
    {
        VARIANT v;
        ::VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return v;
    }
    static VARIANT ByRef(VARIANT* v)
    {
        VARIANT r;
        ::VariantInit(&r);
        r.vt = VT_BYREF | VT_VARIANT;
        r.pvarVal = v;
        return r;
    }
    static VARIANT Dispatch(IDispatch* d)
    {
        VARIANT r;
        ::VariantInit(&r);
        r.vt = VT_DISPATCH;
        r.pdispVal = d;
        return r;
    }
    static VARIANT BoolRef(VARIANT_BOOL* b)
    {
        VARIANT r;
        ::VariantInit(&r);
        r.vt = VT_BYREF | VT_BOOL;
        r.pboolVal = b;
        return r;
    }

    // NavigateComplete2 and DocumentComplete: (pDisp, URL) with the URL a VARIANT by reference.
    void FireUrlEvent(DISPID id, IDispatch* target, const std::wstring& url, const std::wstring& who)
    {
        LogLine(L"event " + std::to_wstring(id) + L" " + url + who);
        VARIANT address = Text(url);
        VARIANT args[2] = {ByRef(&address), Dispatch(target)};
        Fire(id, args, 2);
        ::VariantClear(&address);
    }

    // BeforeNavigate2 (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel); true when a sink
    // cancelled the navigation.
    bool FireBeforeNavigate(IDispatch* target, const std::wstring& url, const std::wstring& who)
    {
        LogLine(L"event 250 " + url + who);
        VARIANT address = Text(url), flags = Long(0), frameName = Text(L""), postData, headers = Text(L"");
        ::VariantInit(&postData);
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT args[7] = {BoolRef(&cancel),   ByRef(&headers), ByRef(&postData), ByRef(&frameName),
                           ByRef(&flags),      ByRef(&address), Dispatch(target)};
        Fire(DISPID_BEFORENAVIGATE2, args, 7);
        for (VARIANT* v : {&address, &frameName, &headers, &postData}) ::VariantClear(v);
        return cancel != VARIANT_FALSE;
    }

    // NavigateError (pDisp, URL, Frame, StatusCode, Cancel).
    void FireNavigateError(IDispatch* target, const std::wstring& url, long status, const std::wstring& who)
    {
        LogLine(L"event 271 " + url + who);
        VARIANT address = Text(url), frameName = Text(L""), code = Long(status);
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT args[5] = {BoolRef(&cancel), ByRef(&code), ByRef(&frameName), ByRef(&address), Dispatch(target)};
        Fire(DISPID_NAVIGATEERROR, args, 5);
        ::VariantClear(&address);
        ::VariantClear(&frameName);
    }

    EventConnectionPoint m_events;
    IOleClientSite* m_clientSite = nullptr;
    IOleInPlaceSite* m_inPlaceSite = nullptr;
    IOleInPlaceFrame* m_frame = nullptr;
    IOleInPlaceUIWindow* m_document = nullptr;
    HWND m_hwnd = nullptr;
    HWND m_queueWindow = nullptr;
    bool m_uiActive = false;
    bool m_silent = false;
    bool m_running = false;
    READYSTATE m_state = READYSTATE_UNINITIALIZED;
    unsigned m_generation = 0;
    SIZEL m_extent{};
    std::wstring m_url, m_title;
    std::deque<Pending> m_queue;
    std::vector<Frame*> m_frames;
};

HRESULT Frame::StartNavigation(const std::wstring& url)
{
    if (!m_owner) return E_FAIL;
    LogLine(L"navigate " + url + L" frame=" + std::to_wstring(m_index));
    m_owner->Queue(url, this);
    return S_OK;
}
bool Frame::Silent() const { return m_owner && m_owner->Silent(); }
void Frame::SetSilent(bool silent)
{
    if (m_owner) m_owner->SetSilent(silent);
}

STDMETHODIMP EventConnectionPoint::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = (iid == IID_IUnknown || iid == IID_IConnectionPoint) ? static_cast<IConnectionPoint*>(this) : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}
STDMETHODIMP_(ULONG) EventConnectionPoint::AddRef() { return m_owner.AddRef(); }
STDMETHODIMP_(ULONG) EventConnectionPoint::Release() { return m_owner.Release(); }
STDMETHODIMP EventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out)
{
    if (!out) return E_POINTER;
    return m_owner.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}
STDMETHODIMP EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    // A sink answers to the event interface or, at least, to IDispatch.
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = m_nextCookie++;
    m_sinks.emplace_back(*cookie, dispatch);
    return S_OK;
}
STDMETHODIMP EventConnectionPoint::Unadvise(DWORD cookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->first == cookie) {
            IDispatch* sink = it->second;
            m_sinks.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* browser = new Browser();
        HRESULT hr = browser->QueryInterface(iid, out);
        browser->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock) ::InterlockedIncrement(&g_serverLocks);
        else ::InterlockedDecrement(&g_serverLocks);
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

}  // namespace fakebrowser

IClassFactory* FakeBrowserClassFactory() { return &fakebrowser::g_factory; }

LONG FakeBrowserLiveObjects() { return fakebrowser::g_liveObjects; }

LONG FakeBrowserServerLocks() { return fakebrowser::g_serverLocks; }
