// Hosting of ActiveX controls and of the web browser: controls from templates, the host's answers to the
// browser, the external object as script engines call it, event routing, keyboard, navigation and teardown.
//
// Two controls are used. The system's browser (under Wine it has no HTML engine: it navigates, really sends
// the request and fires BeforeNavigate2 and NavigateError, but never NavigateComplete2 and runs no script),
// and a stand-in control registered by this test, which records what its container does to it and fires
// events and keys on demand.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/Framework.h"
#include "framework/OleControlSite.h"
#include "launcher/WebBrowser2.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Player.h"

namespace {

constexpr UINT kBrowserTemplate = 3001;  // tests/hosting_test.rc
constexpr UINT kStandInTemplate = 3002;
constexpr UINT kEmptyTemplate = 3003;
constexpr UINT kPage = 3004;
constexpr UINT kControlId = 1005;

const CLSID CLSID_StandIn = {0x6A1B5C2E, 0x3F47, 0x4D8A, {0x9B, 0x0C, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D}};
const IID DIID_StandInEvents = {0x0C7D2E61, 0x5B1A, 0x4F3E, {0x8A, 0x44, 0x2D, 0x19, 0x6E, 0x70, 0x13, 0x9B}};

class TestApp : public CWinApp {};
TestApp theTestApp;

// ---- the stand-in control ----

struct StandInRecord {
    std::vector<std::string> calls;
    int alive = 0;
    class StandIn* last = nullptr;
};
StandInRecord g_standIn;

class StandIn : public IOleObject, public IOleInPlaceObject, public IOleInPlaceActiveObject,
                public IConnectionPointContainer, public IProvideClassInfo2 {
public:
    StandIn()
    {
        g_standIn.alive++;
        g_standIn.last = this;
    }
    virtual ~StandIn()
    {
        g_standIn.calls.push_back("destroyed");
        g_standIn.alive--;
        if (g_standIn.last == this) g_standIn.last = nullptr;
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    // What the tests drive.
    IOleClientSite* site = nullptr;
    IDispatch* sink = nullptr;
    HWND window = nullptr;
    RECT placed{};
    std::vector<UINT> keysOffered;

    // Fires NavigateComplete2 as the browser does: the frame, then the address by reference.
    void FireNavigateComplete(const wchar_t* address)
    {
        if (!sink) return;
        VARIANT url;
        ::VariantInit(&url);
        V_VT(&url) = VT_BSTR;
        V_BSTR(&url) = ::SysAllocString(address);
        VARIANT args[2];
        V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&args[0]) = &url;
        V_VT(&args[1]) = VT_DISPATCH;
        V_DISPATCH(&args[1]) = frameMarker;  // stands for the frame; the tests compare the pointer
        DISPPARAMS params{args, nullptr, 2, 0};
        AddRef();  // as a real control holds itself while it calls out
        IDispatch* target = sink;
        target->AddRef();
        target->Invoke(252, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        target->Release();
        // Still alive here: the container must not have freed us under our own call.
        g_standIn.calls.push_back(g_standIn.alive > 0 ? "event returned alive" : "event returned dead");
        ::VariantClear(&url);
        Release();
    }

    void UiActivate()
    {
        IOleInPlaceSite* inPlace = nullptr;
        site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace));
        inPlace->OnUIActivate();
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT pos, clip;
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        inPlace->GetWindowContext(&frame, &doc, &pos, &clip, &info);
        frame->SetActiveObject(this, L"stand-in");
        frame->Release();
        inPlace->Release();
    }

    IDispatch* frameMarker = nullptr;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
        else if (riid == IID_IOleInPlaceObject || riid == IID_IOleWindow) *out = static_cast<IOleInPlaceObject*>(this);
        else if (riid == IID_IOleInPlaceActiveObject) *out = static_cast<IOleInPlaceActiveObject*>(this);
        else if (riid == IID_IConnectionPointContainer) *out = static_cast<IConnectionPointContainer*>(this);
        else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) *out = static_cast<IProvideClassInfo2*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* newSite) override
    {
        g_standIn.calls.push_back(newSite ? "SetClientSite" : "SetClientSite(null)");
        if (newSite) newSite->AddRef();
        if (site) site->Release();
        site = newSite;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override
    {
        *out = site;
        if (site) site->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override
    {
        g_standIn.calls.push_back("Close");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT rect) override
    {
        if (verb != OLEIVERB_INPLACEACTIVATE) return E_NOTIMPL;
        g_standIn.calls.push_back("DoVerb");
        IOleInPlaceSite* inPlace = nullptr;
        if (!site || FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)))) return E_FAIL;
        inPlace->OnInPlaceActivate();
        inPlace->Release();
        placed = *rect;
        window = ::CreateWindowExW(0, L"STATIC", L"stand-in", WS_CHILD, rect->left, rect->top, rect->right - rect->left,
                                   rect->bottom - rect->top, parent, nullptr, nullptr, nullptr);
        return window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override
    {
        *id = CLSID_StandIn;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override
    {
        *status = OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow (for both in-place interfaces)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override
    {
        *out = window;
        return window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override
    {
        g_standIn.calls.push_back(::IsWindow(window) ? "InPlaceDeactivate" : "InPlaceDeactivate (window gone)");
        if (::IsWindow(window)) ::DestroyWindow(window);
        window = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT) override
    {
        placed = *pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject: Tab is the control's own; everything else it leaves to the dialog.
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override
    {
        keysOffered.push_back(static_cast<UINT>(msg->wParam));
        return msg->message == WM_KEYDOWN && msg->wParam == VK_TAB ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override
    {
        *out = nullptr;
        if (riid != DIID_StandInEvents) return CONNECT_E_NOCONNECTION;
        *out = &m_point;
        AddRef();
        return S_OK;
    }

    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* out) override
    {
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
        *out = DIID_StandInEvents;
        return S_OK;
    }

private:
    class Point : public IConnectionPoint {
    public:
        explicit Point(StandIn* owner) : m_owner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
        {
            if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
                *out = this;
                AddRef();
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_owner->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_owner->Release(); }
        HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override
        {
            *iid = DIID_StandInEvents;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override
        {
            *out = m_owner;
            AddRef();
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override
        {
            // A connection point accepts only a sink that speaks its event interface.
            IDispatch* events = nullptr;
            if (FAILED(sink->QueryInterface(DIID_StandInEvents, reinterpret_cast<void**>(&events)))) return CONNECT_E_CANNOTCONNECT;
            g_standIn.calls.push_back("Advise");
            m_owner->sink = events;
            *cookie = 7;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
        {
            if (cookie != 7 || !m_owner->sink) return CONNECT_E_NOCONNECTION;
            g_standIn.calls.push_back("Unadvise");
            IDispatch* events = m_owner->sink;
            m_owner->sink = nullptr;
            events->Release();
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    private:
        StandIn* m_owner;
    };

    ULONG m_refs = 1;
    Point m_point{this};
};

class StandInFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* control = new StandIn();
        HRESULT hr = control->QueryInterface(riid, out);
        control->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
StandInFactory g_factory;

class HostingEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(AfxOleInit());
        AfxEnableControlContainer();
        ASSERT_EQ(::CoRegisterClassObject(CLSID_StandIn, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie), S_OK);
    }
    void TearDown() override
    {
        ::CoRevokeClassObject(m_cookie);
        ::OleUninitialize();
    }

private:
    DWORD m_cookie = 0;
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new HostingEnvironment);

// ---- a dialog hosting a control from its template, like the launcher's companion ----

std::wstring Text(const VARIANT* v)
{
    if (!v) return L"<null>";
    if (V_VT(v) == VT_BSTR) return V_BSTR(v) ? V_BSTR(v) : L"";
    return L"<vt " + std::to_wstring(V_VT(v)) + L">";
}

class HostDialog : public CDHtmlDialog {
public:
    explicit HostDialog(UINT templateId) : CDHtmlDialog(templateId, 0, nullptr) { EnableAutomation(); }
    // Like the companion: the plain dialog's messages only, so no browser of its own.
    const MessageMap* GetMessageMap() const override { return &CDialog::messageMap; }
    const EventSinkMap* GetEventSinkMap() const override { return &eventSinkMap; }
    const DispatchMap* GetDispatchMap() const override { return &dispatchMap; }
    static const EventSinkMap eventSinkMap;
    static const DispatchMap dispatchMap;
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        SetExternalDispatch(GetIDispatch(FALSE));
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kControlId, m_browser); }
    BOOL IsExternalDispatchSafe() override { return safe; }

    void OnNavigateComplete2(IDispatch* frame, VARIANT* url)
    {
        completed.push_back(Text(url));
        frameSeen = frame;
        if (onComplete) onComplete();
    }
    void OnBeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT_BOOL* cancel)
    {
        before.push_back(Text(url));
        cancelWasByRef = cancel != nullptr;
    }
    void OnNavigateError(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT_BOOL*) { errors.push_back(Text(url)); }
    void outLink(VARIANT*, VARIANT*)
    {
        if (onComplete) onComplete();
    }

    CWebBrowser2 m_browser;
    bool safe = false;
    std::vector<std::wstring> completed, before, errors;
    IDispatch* frameSeen = nullptr;
    bool cancelWasByRef = false;
    std::function<void()> onComplete;
};
const EventSinkEntry hostSinkEntries[] = {
    sinkmap::Event<&HostDialog::OnNavigateComplete2>(kControlId, 252),
    sinkmap::Event<&HostDialog::OnBeforeNavigate2>(kControlId, 250),
    sinkmap::Event<&HostDialog::OnNavigateError>(kControlId, 271),
};
const EventSinkMap HostDialog::eventSinkMap{&CDHtmlDialog::eventSinkMap, hostSinkEntries};
const DispatchEntry hostDispatchEntries[] = {
    dispmap::Method<&HostDialog::outLink>(L"outLink"),
};
const DispatchMap HostDialog::dispatchMap{&CDHtmlDialog::dispatchMap, hostDispatchEntries};

IDocHostUIHandler* UiHandlerOf(StandIn* control)
{
    IDocHostUIHandler* handler = nullptr;
    if (control && control->site) control->site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler));
    return handler;
}

class HostingTest : public ::testing::Test {
protected:
    void SetUp() override { g_standIn.calls.clear(); }
    void TearDown() override { DrainMessages(); }
};

// ---- controls from templates ----

TEST_F(HostingTest, TemplateItemBecomesInPlaceControlWithItsIdAndPlace)
{
    HostDialog dialog(kBrowserTemplate);
    ASSERT_TRUE(dialog.Create(kBrowserTemplate));
    HWND control = ::GetDlgItem(dialog.m_hWnd, kControlId);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(::GetParent(control), dialog.m_hWnd);
    EXPECT_NE(::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE, 0);  // the item says WS_VISIBLE
    EXPECT_NE(::GetWindowLongW(control, GWL_STYLE) & WS_CHILD, 0);

    RECT expected{20, 10, 220, 130};
    ::MapDialogRect(dialog.m_hWnd, &expected);
    RECT actual;
    ::GetWindowRect(control, &actual);
    ::MapWindowPoints(nullptr, dialog.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.right - expected.left);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom - expected.top);

    // The ordinary items are still there, and data exchange bound the wrapper to the control and its site.
    EXPECT_NE(::GetDlgItem(dialog.m_hWnd, IDOK), nullptr);
    EXPECT_NE(::GetDlgItem(dialog.m_hWnd, IDCANCEL), nullptr);
    // In template order among its siblings (the Tab order): after OK, before Cancel.
    EXPECT_EQ(::GetWindow(::GetDlgItem(dialog.m_hWnd, IDOK), GW_HWNDNEXT), control);
    EXPECT_EQ(::GetWindow(control, GW_HWNDNEXT), ::GetDlgItem(dialog.m_hWnd, IDCANCEL));
    EXPECT_EQ(dialog.m_browser.m_hWnd, control);
    ASSERT_NE(dialog.m_browser.m_pCtrlSite, nullptr);
    IWebBrowser2* browser = nullptr;
    EXPECT_EQ(dialog.m_browser.m_pCtrlSite->QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)), S_OK);
    if (browser) browser->Release();
    dialog.DestroyWindow();
    EXPECT_EQ(dialog.m_browser.m_hWnd, nullptr);
    EXPECT_EQ(dialog.m_browser.m_pCtrlSite, nullptr);
}

// ---- the host's answers to the browser ----

TEST_F(HostingTest, UiHandlerAnswersFromTheDialog)
{
    HostDialog dialog(kStandInTemplate);
    ASSERT_TRUE(dialog.Create(kStandInTemplate));
    StandIn* control = g_standIn.last;
    ASSERT_NE(control, nullptr);
    IDocHostUIHandler* handler = UiHandlerOf(control);
    ASSERT_NE(handler, nullptr);

    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    ASSERT_EQ(handler->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, 12u);
    POINT at{5, 5};
    EXPECT_EQ(handler->ShowContextMenu(0, &at, nullptr, nullptr), S_FALSE);  // the browser shows its own

    CCmdTarget externalOwner;
    externalOwner.EnableAutomation();
    IDispatch* external = externalOwner.GetIDispatch(FALSE);
    struct Case {
        IDispatch* set;
        bool safe;
        bool handedOut;
    };
    const Case cases[] = {
        {nullptr, true, false},   // nothing set
        {external, false, false}, // set, but the dialog does not declare it safe
        {external, true, true},
    };
    for (const Case& c : cases) {
        dialog.SetExternalDispatch(c.set);
        dialog.safe = c.safe;
        IDispatch* got = reinterpret_cast<IDispatch*>(1);
        HRESULT hr = handler->GetExternal(&got);
        EXPECT_EQ(SUCCEEDED(hr), c.handedOut) << "safe=" << c.safe;
        EXPECT_EQ(got, c.handedOut ? external : nullptr);
        if (got) got->Release();
    }
    dialog.SetExternalDispatch(nullptr);
    handler->Release();
    dialog.DestroyWindow();
}

// ---- the external object as a script engine calls it ----

class PageObject : public CCmdTarget {
public:
    PageObject() { EnableAutomation(); }
    const DispatchMap* GetDispatchMap() const override { return &dispatchMap; }
    static const DispatchMap dispatchMap;

    void outLink(VARIANT* label, VARIANT* address)
    {
        calls++;
        firstType = label ? V_VT(label) : 0xFFFF;
        secondType = address ? V_VT(address) : 0xFFFF;
        firstError = label && V_VT(label) == VT_ERROR ? V_ERROR(label) : S_OK;
        secondError = address && V_VT(address) == VT_ERROR ? V_ERROR(address) : S_OK;
        first = AsText(label);
        second = AsText(address);
    }
    void ping() { pings++; }

    // Reads whatever arrived as text, the way a careful handler must: a copy converted, then checked.
    static std::wstring AsText(VARIANT* v)
    {
        if (!v) return L"<null pointer>";
        VARIANT copy;
        ::VariantInit(&copy);
        std::wstring text = L"<not text>";
        if (SUCCEEDED(::VariantCopy(&copy, v)) && SUCCEEDED(::VariantChangeType(&copy, &copy, 0, VT_BSTR)) && V_VT(&copy) == VT_BSTR)
            text = V_BSTR(&copy) ? V_BSTR(&copy) : L"";
        ::VariantClear(&copy);
        return text;
    }

    int calls = 0, pings = 0;
    VARTYPE firstType = 0, secondType = 0;
    SCODE firstError = S_OK, secondError = S_OK;
    std::wstring first, second;
};
const DispatchEntry pageObjectEntries[] = {
    dispmap::Method<&PageObject::outLink>(L"outLink"),
    dispmap::Method<&PageObject::ping>(L"ping"),
};
const DispatchMap PageObject::dispatchMap{&CCmdTarget::dispatchMap, pageObjectEntries};

DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr) *hr = result;
    return id;
}

TEST(ExternalObjectTest, NamesResolveAsScriptWritesThem)
{
    PageObject page;
    IDispatch* object = page.GetIDispatch(FALSE);
    HRESULT hr;
    DISPID id = IdOf(object, L"outLink", &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(IdOf(object, L"OUTLINK"), id);  // engines that ignore case find it too
    EXPECT_NE(IdOf(object, L"ping"), id);
    EXPECT_EQ(IdOf(object, L"launch", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
}

TEST(ExternalObjectTest, ArgumentsArriveInWrittenOrderWhateverTheirForm)
{
    PageObject page;
    IDispatch* object = page.GetIDispatch(FALSE);
    DISPID outLink = IdOf(object, L"outLink");

    IDispatch* someObject = page.GetIDispatch(FALSE);  // any object will do
    struct Case {
        const char* name;
        VARTYPE type;
        const wchar_t* text;  // expected as seen by the handler after conversion
    };
    const Case cases[] = {
        {"text", VT_BSTR, L"s12"}, {"integer", VT_I4, L"42"},     {"double", VT_R8, L"1.5"},
        {"boolean", VT_BOOL, L"-1"}, {"null", VT_NULL, L"<not text>"}, {"empty", VT_EMPTY, L""},
        {"object", VT_DISPATCH, L"<not text>"},
    };
    for (const Case& c : cases) {
        for (bool byRef : {false, true}) {
            for (WORD flags : {WORD(DISPATCH_METHOD), WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET)}) {
                VARIANT values[2];  // written order: label, address
                ::VariantInit(&values[0]);
                ::VariantInit(&values[1]);
                V_VT(&values[0]) = c.type;
                if (c.type == VT_BSTR) V_BSTR(&values[0]) = ::SysAllocString(c.text);
                if (c.type == VT_I4) V_I4(&values[0]) = 42;
                if (c.type == VT_R8) V_R8(&values[0]) = 1.5;
                if (c.type == VT_BOOL) V_BOOL(&values[0]) = VARIANT_TRUE;
                if (c.type == VT_DISPATCH) { V_DISPATCH(&values[0]) = someObject; someObject->AddRef(); }
                V_VT(&values[1]) = VT_BSTR;
                V_BSTR(&values[1]) = ::SysAllocString(L"http://game/");

                VARIANT args[2];  // reverse order, as Invoke takes them
                for (int i = 0; i < 2; ++i) {
                    if (byRef) {
                        V_VT(&args[1 - i]) = VT_BYREF | VT_VARIANT;
                        V_VARIANTREF(&args[1 - i]) = &values[i];
                    } else {
                        args[1 - i] = values[i];
                    }
                }
                DISPPARAMS params{args, nullptr, 2, 0};
                VARIANT result;
                EXPECT_EQ(object->Invoke(outLink, IID_NULL, 0, flags, &params, &result, nullptr, nullptr), S_OK);
                SCOPED_TRACE(std::string(c.name) + (byRef ? " by reference" : " by value"));
                EXPECT_EQ(page.firstType, c.type);
                EXPECT_EQ(page.first, c.text);
                EXPECT_EQ(page.second, L"http://game/");
                ::VariantClear(&values[0]);
                ::VariantClear(&values[1]);
            }
        }
    }
}

// An omitted argument arrives marked as omitted, so a handler can tell it from one passed without a value.
TEST(ExternalObjectTest, MissingArgumentsArriveMarkedOmittedAndBadCallsFail)
{
    PageObject page;
    IDispatch* object = page.GetIDispatch(FALSE);
    DISPID outLink = IdOf(object, L"outLink");

    VARIANT only;
    V_VT(&only) = VT_BSTR;
    V_BSTR(&only) = ::SysAllocString(L"label");
    DISPPARAMS one{&only, nullptr, 1, 0};
    EXPECT_EQ(object->Invoke(outLink, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(page.first, L"label");
    EXPECT_EQ(page.secondType, VT_ERROR);
    EXPECT_EQ(page.secondError, DISP_E_PARAMNOTFOUND);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(object->Invoke(outLink, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(page.firstType, VT_ERROR);
    EXPECT_EQ(page.firstError, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(object->Invoke(outLink, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
    ::VariantClear(&only);
    EXPECT_EQ(page.calls, 3);

    DISPPARAMS broken{nullptr, nullptr, 2, 0};
    EXPECT_EQ(object->Invoke(outLink, IID_NULL, 0, DISPATCH_METHOD, &broken, nullptr, nullptr, nullptr), E_INVALIDARG);
    // Reading the method as a property, or an id we never gave out, is not a call.
    EXPECT_EQ(object->Invoke(outLink, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(page.calls, 3);
}

TEST(ExternalObjectTest, PageHoldingTheObjectAfterItsOwnerIsGoneGetsFailures)
{
    IDispatch* held = nullptr;
    DISPID ping;
    {
        PageObject page;
        held = page.GetIDispatch(TRUE);
        ping = IdOf(held, L"ping");
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_TRUE(FAILED(held->Invoke(ping, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)));
    HRESULT hr;
    IdOf(held, L"ping", &hr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(held->Release(), 0u);
}

// ---- events ----

TEST_F(HostingTest, ControlEventsReachTheDialogsSinkTableWithTypedArguments)
{
    HostDialog dialog(kStandInTemplate);
    ASSERT_TRUE(dialog.Create(kStandInTemplate));
    StandIn* control = g_standIn.last;
    ASSERT_NE(control, nullptr);
    ASSERT_NE(control->sink, nullptr) << "sink not advised on the control's default event interface";

    PageObject frame;
    control->frameMarker = frame.GetIDispatch(FALSE);
    control->FireNavigateComplete(L"http://host/a?fullscn=1");
    ASSERT_EQ(dialog.completed.size(), 1u);
    EXPECT_EQ(dialog.completed[0], L"http://host/a?fullscn=1");  // the VARIANT the reference points at
    EXPECT_EQ(dialog.frameSeen, frame.GetIDispatch(FALSE));

    // An event the table does not name is accepted and ignored.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(control->sink->Invoke(104, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
    dialog.DestroyWindow();
    EXPECT_EQ(dialog.completed.size(), 1u);
}

// ---- keyboard ----

MSG Key(HWND to, UINT key)
{
    MSG msg{};
    msg.hwnd = to;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    return msg;
}

TEST_F(HostingTest, KeysForTheControlGoToItsActiveObjectBeforeTheDialogManager)
{
    HostDialog dialog(kStandInTemplate);
    ASSERT_TRUE(dialog.Create(kStandInTemplate));
    StandIn* control = g_standIn.last;
    ASSERT_NE(control, nullptr);
    HWND inside = control->window;
    MSG tab = Key(inside, VK_TAB);

    // Not yet UI-active: the dialog manager has it.
    dialog.PreTranslateMessage(&tab);
    EXPECT_TRUE(control->keysOffered.empty());

    control->UiActivate();
    EXPECT_TRUE(dialog.PreTranslateMessage(&tab));  // the control took Tab
    MSG letter = Key(inside, 'A');
    dialog.PreTranslateMessage(&letter);  // declined by the control: on to the dialog manager
    MSG forButton = Key(::GetDlgItem(dialog.m_hWnd, IDOK), VK_TAB);
    dialog.PreTranslateMessage(&forButton);  // not the control's: never offered
    EXPECT_EQ(control->keysOffered, (std::vector<UINT>{VK_TAB, 'A'}));
    dialog.DestroyWindow();
}

// ---- teardown ----

const std::vector<std::string> kTeardownOrder{"InPlaceDeactivate", "Unadvise", "SetClientSite(null)", "Close", "destroyed"};

std::vector<std::string> TeardownCalls()
{
    std::vector<std::string> calls;
    for (const std::string& call : g_standIn.calls)
        if (call != "SetClientSite" && call != "DoVerb" && call != "Advise") calls.push_back(call);
    return calls;
}

TEST_F(HostingTest, ControlIsTornDownInOrderHoweverItsDialogIsDestroyed)
{
    // Through the dialog's object.
    {
        HostDialog dialog(kStandInTemplate);
        ASSERT_TRUE(dialog.Create(kStandInTemplate));
        dialog.DestroyWindow();
        EXPECT_EQ(TeardownCalls(), kTeardownOrder);
        EXPECT_EQ(g_standIn.alive, 0);
    }
    // Detached, then destroyed by the default window procedure on a posted close request: the dialog
    // object's own destroy handling never runs.
    g_standIn.calls.clear();
    HostDialog dialog(kStandInTemplate);
    ASSERT_TRUE(dialog.Create(kStandInTemplate));
    HWND hwnd = dialog.Detach();
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }));
    EXPECT_EQ(TeardownCalls(), kTeardownOrder);
    EXPECT_EQ(g_standIn.alive, 0);
}

// The page calling window.external, as a script engine does while the control runs the page's script.
void CallOutLinkFromPage(StandIn* control)
{
    IDocHostUIHandler* handler = UiHandlerOf(control);
    IDispatch* external = nullptr;
    handler->GetExternal(&external);
    handler->Release();
    if (!external) return;
    // Unlike FireNavigateComplete, the stand-in does not hold itself here: the host must keep it alive
    // for as long as the call is inside the host.
    LPOLESTR name = const_cast<LPOLESTR>(L"outLink");
    DISPID id = DISPID_UNKNOWN;
    external->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    external->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr);
    external->Release();
}

TEST_F(HostingTest, HandOverInsideAControlsCallKeepsTheControlAliveUntilTheCallReturns)
{
    // The page's two ways to start the game: a completed navigation, and a call of window.external.
    for (bool byPage : {false, true}) {
        SCOPED_TRACE(byPage ? "page call" : "event");
        g_standIn.calls.clear();
        HostDialog dialog(kStandInTemplate);
        dialog.safe = true;
        ASSERT_TRUE(dialog.Create(kStandInTemplate));
        StandIn* control = g_standIn.last;
        ASSERT_NE(control, nullptr);
        HWND dialogWindow = dialog.m_hWnd;
        HWND controlWindow = control->window;
        bool wrapperEmptyAfterDetach = false;

        // What the companion does on a hand-over: post close requests, detach, and run the next window's
        // loop (here: pump until both windows are gone) -- all inside the control's own call.
        dialog.onComplete = [&] {
            ::PostMessageW(dialog.m_browser.m_hWnd, WM_CLOSE, 0, 0);
            dialog.m_browser.Detach();
            wrapperEmptyAfterDetach = dialog.m_browser.GetLocationURL().IsEmpty();
            dialog.m_browser.SetSilent(TRUE);  // a detached wrapper does nothing
            ::PostMessageW(dialogWindow, WM_CLOSE, 0, 0);
            dialog.Detach();
            PumpUntil([&] { return !::IsWindow(dialogWindow); });
            g_standIn.calls.push_back(g_standIn.alive > 0 ? "next window ended, control alive" : "control freed under its call");
        };
        if (byPage) CallOutLinkFromPage(control);
        else control->FireNavigateComplete(L"http://host/?fullscn=1");

        EXPECT_TRUE(wrapperEmptyAfterDetach);
        EXPECT_FALSE(::IsWindow(dialogWindow));
        EXPECT_FALSE(::IsWindow(controlWindow));
        // Torn down while the call was on the stack, freed only after it returned.
        ASSERT_FALSE(g_standIn.calls.empty());
        EXPECT_EQ(g_standIn.calls.back(), "destroyed");
        auto ended = std::find(g_standIn.calls.begin(), g_standIn.calls.end(), "next window ended, control alive");
        auto closed = std::find(g_standIn.calls.begin(), g_standIn.calls.end(), "Close");
        EXPECT_NE(ended, g_standIn.calls.end());
        EXPECT_LT(closed, ended);
        if (!byPage) {
            EXPECT_NE(std::find(g_standIn.calls.begin(), g_standIn.calls.end(), "event returned alive"), g_standIn.calls.end());
        }
        EXPECT_EQ(g_standIn.alive, 0);
    }
}

// ---- the system's browser ----

// A server that answers every path with the same small page.
std::optional<std::string> AnyPath(const std::string&, int) { return "<html><body>ok</body></html>"; }

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

TEST_F(HostingTest, BrowserNavigationReachesLoopbackServerAndItsEventsReachTheSink)
{
    LoopbackServer server(AnyPath);
    HostDialog dialog(kBrowserTemplate);
    ASSERT_TRUE(dialog.Create(kBrowserTemplate));
    dialog.m_browser.SetSilent(TRUE);
    std::wstring address = server.Url(L"/login?fullscn=1");
    dialog.m_browser.Navigate(address.c_str(), nullptr, nullptr, nullptr, nullptr);

    EXPECT_TRUE(PumpUntil([&] { return server.Requested("GET /login?fullscn=1 HTTP/1.1"); }, 15000))
        << (server.RequestLines().empty() ? std::string("no request") : server.RequestLines()[0]);
    EXPECT_TRUE(PumpUntil([&] { return !dialog.before.empty(); }, 15000));
    if (!dialog.before.empty()) {
        EXPECT_EQ(dialog.before[0], address);
        EXPECT_TRUE(dialog.cancelWasByRef);
    }
    EXPECT_TRUE(PumpUntil([&] { return dialog.m_browser.GetLocationURL() == address.c_str(); }, 15000))
        << "location: " << Narrow(dialog.m_browser.GetLocationURL());
    EXPECT_TRUE(PumpUntil([&] { return !dialog.errors.empty(); }, 15000));
    dialog.DestroyWindow();
}

TEST_F(HostingTest, HtmlDialogsOwnBrowserFillsTheClientAreaAndNavigates)
{
    LoopbackServer server(AnyPath);
    CDHtmlDialog dialog(kEmptyTemplate, kPage);
    ASSERT_TRUE(dialog.Create(kEmptyTemplate));
    HWND browser = ::GetDlgItem(dialog.m_hWnd, CDHtmlDialog::kBrowserId);
    ASSERT_NE(browser, nullptr);
    EXPECT_NE(::GetWindowLongW(browser, GWL_STYLE) & WS_VISIBLE, 0);

    auto fills = [&] {
        RECT client, area;
        ::GetClientRect(dialog.m_hWnd, &client);
        ::GetWindowRect(browser, &area);
        ::MapWindowPoints(nullptr, dialog.m_hWnd, reinterpret_cast<POINT*>(&area), 2);
        return ::EqualRect(&client, &area) != FALSE;
    };
    EXPECT_TRUE(fills());
    dialog.MoveWindow(30, 40, 500, 320);
    EXPECT_TRUE(fills());

    dialog.Navigate(server.Url(L"/game").c_str());
    EXPECT_TRUE(PumpUntil([&] { return server.Requested("GET /game HTTP/1.1"); }, 15000));
    dialog.DestroyWindow();
    EXPECT_FALSE(::IsWindow(browser));
    EXPECT_EQ(::GetDlgItem(dialog.m_hWnd, CDHtmlDialog::kBrowserId), nullptr);
}

}  // namespace
