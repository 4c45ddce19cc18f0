// The stand-in browser control, driven the way a container drives the real one: created by class id,
// activated in a site, navigated, its events sunk and its page calls served by the host's external object.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fakebrowser/FakeBrowser.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Player.h"

namespace {

std::string Narrow(const std::wstring& s)
{
    int n = ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

using Pages = LoopbackServer::Pages;

// One event as the sink received it.
struct Event {
    DISPID id;
    IDispatch* source;
    std::vector<VARTYPE> types;  // in the event's parameter order
    VARTYPE urlType = VT_EMPTY;  // of the VARIANT the URL argument points at
    std::wstring url;
    std::wstring sourceLocation;  // LocationURL of the event's pDisp, read while handling it
};

class Unknown {
public:
    virtual ~Unknown() = default;
    ULONG AddRefImpl() { return ++m_refs; }
    ULONG ReleaseImpl()
    {
        ULONG r = --m_refs;
        if (r == 0) delete this;
        return r;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

#define TEST_IUNKNOWN                                                         \
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }           \
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

// An IDispatch without type information that answers for IUnknown, IDispatch and one more interface.
class TestDispatch : public IDispatch, public Unknown {
public:
    explicit TestDispatch(REFIID alsoAnswersFor = IID_IDispatch) : m_also(alsoAnswersFor) {}
    TEST_IUNKNOWN
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = (iid == IID_IUnknown || iid == IID_IDispatch || iid == m_also) ? static_cast<IDispatch*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

private:
    IID m_also;
};

// A DWebBrowserEvents2 sink that records every event and may act on it.
class EventSink : public TestDispatch {
public:
    EventSink() : TestDispatch(DIID_DWebBrowserEvents2) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override
    {
        Event e{id, nullptr, {}, VT_EMPTY, {}, {}};
        for (UINT i = p->cArgs; i-- > 0;) e.types.push_back(p->rgvarg[i].vt);
        if (p->cArgs >= 2 && p->rgvarg[p->cArgs - 1].vt == VT_DISPATCH) {
            e.source = p->rgvarg[p->cArgs - 1].pdispVal;
            const VARIANT& url = p->rgvarg[p->cArgs - 2];
            if (url.vt == (VT_BYREF | VT_VARIANT)) {
                e.urlType = url.pvarVal->vt;
                if (e.urlType == VT_BSTR) e.url = url.pvarVal->bstrVal;
            }
            IWebBrowser2* wb = nullptr;
            if (SUCCEEDED(e.source->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&wb)))) {
                BSTR loc = nullptr;
                wb->get_LocationURL(&loc);
                e.sourceLocation = loc ? loc : L"";
                ::SysFreeString(loc);
                wb->Release();
            }
        }
        if (id == DISPID_NAVIGATEERROR) statusCode = p->rgvarg[1].pvarVal->lVal;
        events.push_back(e);
        if (onEvent) onEvent(e);
        return S_OK;
    }

    std::vector<Event> events;
    long statusCode = 0;
    std::function<void(const Event&)> onEvent;
};

// One call of the external object as it arrived.
struct ExternalCall {
    DISPID id;
    WORD flags;
    std::vector<VARIANT> args;  // as in rgvarg: last argument first
};

// The page's window.external: knows "outLink" only.
class ExternalObject : public TestDispatch {
public:
    static constexpr DISPID kOutLink = 0x60020000;
    ~ExternalObject() override
    {
        for (auto& c : calls)
            for (auto& v : c.args) ::VariantClear(&v);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override
    {
        if (wcscmp(names[0], L"outLink") != 0) return DISP_E_UNKNOWNNAME;
        ids[0] = kOutLink;
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override
    {
        ExternalCall call{id, flags, {}};
        for (UINT i = 0; i < p->cArgs; ++i) {
            VARIANT copy;
            ::VariantInit(&copy);
            ::VariantCopy(&copy, &p->rgvarg[i]);
            call.args.push_back(copy);
        }
        calls.push_back(call);
        return S_OK;
    }
    std::vector<ExternalCall> calls;
};

// The container's site: client site, in-place site and document host UI handler in one object.
class Site : public IOleClientSite, public IOleInPlaceSite, public IDocHostUIHandler, public Unknown {
public:
    Site(HWND window, IDispatch* external) : m_window(window), m_external(external) {}
    TEST_IUNKNOWN
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IDocHostUIHandler) *out = static_cast<IDocHostUIHandler*>(this);
        else *out = nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* out) override
    {
        *out = m_window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return record(L"inplace"), S_OK; }
    STDMETHODIMP OnUIActivate() override { return record(L"ui"), S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO) override
    {
        *frame = nullptr;
        *doc = nullptr;
        ::GetClientRect(m_window, pos);
        *clip = *pos;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return record(L"ui-off"), S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return record(L"inplace-off"), S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override { return S_FALSE; }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExternal(IDispatch** out) override
    {
        *out = m_external;
        if (!m_external) return E_NOTIMPL;
        m_external->AddRef();
        return S_OK;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override
    {
        *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override
    {
        *out = nullptr;
        return S_FALSE;
    }

    std::vector<std::wstring> notes;

private:
    void record(const wchar_t* what) { notes.push_back(what); }
    HWND m_window;
    IDispatch* m_external;
};

std::wstring TempPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"velmora-fakebrowser-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + name;
}

class FakeBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::OleInitialize(nullptr);
        m_logPath = TempPath(L"log.txt");
        ::DeleteFileW(m_logPath.c_str());
        ::SetEnvironmentVariableW(kFakeBrowserLogVariable, m_logPath.c_str());
        // Wine's CoGetClassObject looks at classes registered in the process before the registry.
        ASSERT_EQ(S_OK, ::CoRegisterClassObject(CLSID_WebBrowser, FakeBrowserClassFactory(), CLSCTX_INPROC_SERVER,
                                                REGCLS_MULTIPLEUSE, &m_registration));
        m_host = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                                   640, 480, nullptr, nullptr, nullptr, nullptr);
        external = new ExternalObject;
        ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                           reinterpret_cast<void**>(&object)));
        ASSERT_EQ(1, FakeBrowserLiveObjects());  // the stand-in, not the system's control
        object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
        UseSite(external);
        IConnectionPointContainer* container = nullptr;
        object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
        ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID_DWebBrowserEvents2, &m_point));
        container->Release();
        sink = new EventSink;
        ASSERT_EQ(S_OK, m_point->Advise(static_cast<IDispatch*>(sink), &m_cookie));
    }

    void TearDown() override
    {
        // The order a container takes a control down in.
        if (object) {
            object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_inPlace));
            if (m_inPlace) m_inPlace->InPlaceDeactivate(), m_inPlace->Release();
            if (m_point) m_point->Unadvise(m_cookie), m_point->Release();
            object->Close(OLECLOSE_NOSAVE);
            object->SetClientSite(nullptr);
            browser->Release();
            object->Release();
        }
        DrainMessages();
        if (site) site->Release();
        if (sink) sink->Release();
        if (external) external->Release();
        ::DestroyWindow(m_host);
        ::CoRevokeClassObject(m_registration);
        EXPECT_EQ(0, FakeBrowserLiveObjects());
        ::SetEnvironmentVariableW(kFakeBrowserLogVariable, nullptr);
        ::DeleteFileW(m_logPath.c_str());
        ::OleUninitialize();
    }

    void UseSite(IDispatch* externalObject)
    {
        object->SetClientSite(nullptr);
        if (site) site->Release();
        site = new Site(m_host, externalObject);
        object->SetClientSite(site);
    }

    bool PumpUntilEvent(DISPID id, const std::wstring& url)
    {
        return PumpUntil([&] {
            for (const auto& e : sink->events)
                if (e.id == id && e.url == url) return true;
            return false;
        });
    }

    std::vector<std::string> LogLines() const
    {
        std::ifstream in(Narrow(m_logPath));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    IOleObject* object = nullptr;
    IWebBrowser2* browser = nullptr;
    Site* site = nullptr;
    EventSink* sink = nullptr;
    ExternalObject* external = nullptr;

private:
    std::wstring m_logPath;
    DWORD m_registration = 0;
    HWND m_host = nullptr;
    IConnectionPoint* m_point = nullptr;
    IOleInPlaceObject* m_inPlace = nullptr;
    DWORD m_cookie = 0;
};

HRESULT NavigateByDispatchId(IWebBrowser2* browser, const std::wstring& url)
{
    // As a wrapper calls the control: the URL, then four optional VARIANT pointers that are all null.
    VARIANT args[5];
    for (int i = 0; i < 4; ++i) {
        ::VariantInit(&args[i]);
        args[i].vt = VT_BYREF | VT_VARIANT;
        args[i].pvarVal = nullptr;
    }
    ::VariantInit(&args[4]);
    args[4].vt = VT_BSTR;
    args[4].bstrVal = ::SysAllocString(url.c_str());
    DISPPARAMS params{args, nullptr, 5, 0};
    HRESULT hr = browser->Invoke(104, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                 nullptr);
    ::VariantClear(&args[4]);
    return hr;
}

TEST_F(FakeBrowserTest, ActivatesInPlaceAsAChildOfTheSiteWindowAndGoesAway)
{
    HWND host = nullptr;
    site->GetWindow(&host);
    RECT pos{10, 20, 210, 170};
    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, host, &pos));
    IOleInPlaceObject* inPlace = nullptr;
    object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
    HWND window = nullptr;
    ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
    EXPECT_EQ(host, ::GetParent(window));
    RECT r;
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ((RECT{10, 20, 210, 170}).left, r.left);
    EXPECT_EQ(170, r.bottom);
    RECT moved{0, 0, 300, 100};
    inPlace->SetObjectRects(&moved, &moved);
    ::GetClientRect(window, &r);
    EXPECT_EQ(300, r.right);
    EXPECT_EQ(100, r.bottom);

    ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, host, nullptr));
    IOleInPlaceActiveObject* active = nullptr;
    object->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active));
    for (WPARAM key : {WPARAM{VK_TAB}, WPARAM{'A'}, WPARAM{VK_RETURN}}) {
        MSG msg{window, WM_KEYDOWN, key, 0, 0, {0, 0}};
        EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&msg));
    }
    active->Release();
    EXPECT_EQ((std::vector<std::string>{"key 9", "key 13"}), LogLines());

    // A WM_CLOSE posted to the control's window destroys it, as the default handling does.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    DrainMessages();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(E_FAIL, inPlace->GetWindow(&window));
    inPlace->InPlaceDeactivate();
    inPlace->Release();
    EXPECT_EQ((std::vector<std::wstring>{L"inplace", L"ui", L"ui-off", L"inplace-off"}), site->notes);
}

TEST_F(FakeBrowserTest, PageWithAFrameFiresTheControlsEventsInOrder)
{
    LoopbackServer server({{"/", "<title>Login</title><p>hi</p><iframe width=3 src=\"/frame.html\"></iframe>"},
                           {"/frame.html", "<p>frame</p>"},
                           {"/second.html", "second"}});
    const std::wstring top = server.Url(L"/"), frame = server.Url(L"/frame.html"), second = server.Url(L"/second.html");
    // A navigation asked for inside an event waits for the current one to end.
    sink->onEvent = [&](const Event& e) {
        if (e.id == DISPID_NAVIGATECOMPLETE2 && e.url == top) NavigateByDispatchId(browser, second);
    };
    ASSERT_EQ(S_OK, NavigateByDispatchId(browser, top));
    EXPECT_TRUE(sink->events.empty()) << "Navigate returns before the page loads";
    ASSERT_TRUE(PumpUntilEvent(DISPID_DOCUMENTCOMPLETE, second));

    const auto& ev = sink->events;
    struct Expected { DISPID id; std::wstring url; bool fromFrame; };
    const std::vector<Expected> expected{
        {DISPID_BEFORENAVIGATE2, top, false},      {DISPID_NAVIGATECOMPLETE2, top, false},
        {DISPID_BEFORENAVIGATE2, frame, true},     {DISPID_NAVIGATECOMPLETE2, frame, true},
        {DISPID_DOCUMENTCOMPLETE, frame, true},    {DISPID_DOCUMENTCOMPLETE, top, false},
        {DISPID_BEFORENAVIGATE2, second, false},   {DISPID_NAVIGATECOMPLETE2, second, false},
        {DISPID_DOCUMENTCOMPLETE, second, false},
    };
    ASSERT_EQ(expected.size(), ev.size());
    for (size_t i = 0; i < ev.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].id, ev[i].id);
        EXPECT_EQ(expected[i].url, ev[i].url);
        EXPECT_EQ(VT_BSTR, ev[i].urlType);
        EXPECT_EQ(expected[i].fromFrame, ev[i].source != static_cast<IDispatch*>(browser));
        // Each event's object reports its own document; the top's is already the new one at NavigateComplete2.
        if (ev[i].id == DISPID_BEFORENAVIGATE2) {
            const std::vector<VARTYPE> types{VT_DISPATCH,           VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                             VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                             VT_BYREF | VT_BOOL};
            EXPECT_EQ(types, ev[i].types);
        } else {
            EXPECT_EQ((std::vector<VARTYPE>{VT_DISPATCH, VT_BYREF | VT_VARIANT}), ev[i].types);
            EXPECT_EQ(expected[i].url, ev[i].sourceLocation);
        }
    }
    BSTR location = nullptr, name = nullptr;
    browser->get_LocationURL(&location);
    browser->get_LocationName(&name);
    EXPECT_STREQ(second.c_str(), location);
    EXPECT_STREQ(second.c_str(), name);  // a page without a title is named by its address
    ::SysFreeString(location);
    ::SysFreeString(name);
}

TEST_F(FakeBrowserTest, PageScriptCallsTheHostsExternalObjectAndNavigates)
{
    LoopbackServer server({{"/login.html", "<script type=\"text/javascript\">\n"
                                           "// window.external.outLink(\"commented out\");\n"
                                           "var s = \"window.external.outLink('in a string')\";\n"
                                           "window.external.outLink(\"\xE6\x9C\x8D\xE5\x8A\xA1\xE5\x99\xA8\xE4\xB8\x80\", 'http://game/?a=1&fullscn=1');\n"
                                           "window.external.outLink(12, -1.5, null, undefined, true, 'it\\'s');\n"
                                           "window.external.missing(1);\n"
                                           "window.external.outLink('not reached');\n"
                                           "</script><SCRIPT>location.href = \"next.html\";</SCRIPT>"},
                           {"/next.html", "next"}});
    const std::wstring login = server.Url(L"/login.html"), next = server.Url(L"/next.html");
    ASSERT_EQ(S_OK, browser->put_Silent(VARIANT_TRUE));
    ASSERT_EQ(S_OK, NavigateByDispatchId(browser, login));
    ASSERT_TRUE(PumpUntilEvent(DISPID_DOCUMENTCOMPLETE, next));

    // Two calls of outLink, by method, with their arguments last first as a script engine passes them.
    ASSERT_EQ(2u, external->calls.size());
    const auto& first = external->calls[0];
    EXPECT_EQ(ExternalObject::kOutLink, first.id);
    EXPECT_EQ(DISPATCH_METHOD, first.flags);
    ASSERT_EQ(2u, first.args.size());
    ASSERT_EQ(VT_BSTR, first.args[1].vt);
    ASSERT_EQ(VT_BSTR, first.args[0].vt);
    EXPECT_STREQ(L"\u670D\u52A1\u5668\u4E00", first.args[1].bstrVal);
    EXPECT_STREQ(L"http://game/?a=1&fullscn=1", first.args[0].bstrVal);
    const auto& second = external->calls[1];
    ASSERT_EQ(6u, second.args.size());
    std::vector<VARTYPE> types;
    for (const auto& a : second.args) types.push_back(a.vt);
    ASSERT_EQ((std::vector<VARTYPE>{VT_BSTR, VT_BOOL, VT_EMPTY, VT_NULL, VT_R8, VT_I4}), types);
    EXPECT_STREQ(L"it's", second.args[0].bstrVal);
    EXPECT_EQ(VARIANT_TRUE, second.args[1].boolVal);
    EXPECT_EQ(-1.5, second.args[4].dblVal);
    EXPECT_EQ(12, second.args[5].lVal);

    const std::string l = Narrow(login), n = Narrow(next);
    EXPECT_EQ((std::vector<std::string>{
                  "silent true",
                  "navigate " + l,
                  "event 250 " + l + " frame=top",
                  "event 252 " + l + " frame=top",
                  "call outLink(\"\xE6\x9C\x8D\xE5\x8A\xA1\xE5\x99\xA8\xE4\xB8\x80\", \"http://game/?a=1&fullscn=1\") -> 0x00000000",
                  "call outLink(12, -1.5, null, undefined, true, \"it's\") -> 0x00000000",
                  "call missing(1) -> 0x80020006",
                  "location " + n,
                  "event 259 " + l + " frame=top",
                  "event 250 " + n + " frame=top",
                  "event 252 " + n + " frame=top",
                  "event 259 " + n + " frame=top",
              }),
              LogLines());
}

TEST_F(FakeBrowserTest, PageWithoutAnExternalObjectStillLoads)
{
    UseSite(nullptr);
    LoopbackServer server(Pages{{"/", "<script>window.external.outLink('a', 'b');</script>"}});
    BSTR url = ::SysAllocString(server.Url(L"/").c_str());
    ASSERT_EQ(S_OK, browser->Navigate(url, nullptr, nullptr, nullptr, nullptr));
    ::SysFreeString(url);
    ASSERT_TRUE(PumpUntilEvent(DISPID_DOCUMENTCOMPLETE, server.Url(L"/")));
    const auto lines = LogLines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "external unavailable"));
}

TEST_F(FakeBrowserTest, FailedFetchFiresNavigateErrorInsteadOfNavigateComplete)
{
    LoopbackServer server(Pages{});
    const std::wstring file = TempPath(L"page.htm");
    std::ofstream(Narrow(file)) << "<p>from a file</p>";
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    struct Case { std::wstring url; bool loads; long status; };
    const Case cases[] = {
        {server.Url(L"/missing"), false, 404},
        {L"http://192.0.2.1/", false, static_cast<long>(0x800C0005L)},  // only loopback is served
        {L"file:///" + file, true, 0},
        {file + L".gone", false, static_cast<long>(0x800C0005L)},
        {L"res://" + std::wstring(exe) + L"/999", false, static_cast<long>(0x800C0005L)},
        {L"about:blank", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.url));
        sink->events.clear();
        ASSERT_EQ(S_OK, NavigateByDispatchId(browser, c.url));
        ASSERT_TRUE(PumpUntil([&] {
            return !sink->events.empty() && (sink->events.back().id == DISPID_DOCUMENTCOMPLETE ||
                                             sink->events.back().id == DISPID_NAVIGATEERROR);
        }));
        std::vector<DISPID> ids;
        for (const auto& e : sink->events) ids.push_back(e.id);
        if (c.loads) {
            EXPECT_EQ((std::vector<DISPID>{250, 252, 259}), ids);
        } else {
            EXPECT_EQ((std::vector<DISPID>{250, 271}), ids);
            EXPECT_EQ(c.status, sink->statusCode);
        }
    }
    ::DeleteFileW(file.c_str());
}

// The DLL serves the same class from its undecorated export, and may be unloaded once nothing is alive.
TEST(FakeBrowserDll, ServesTheBrowserClassFromItsExport)
{
    HMODULE dll = ::LoadLibraryW(L"fakebrowser.dll");
    ASSERT_NE(nullptr, dll);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);
    IClassFactory* factory = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, getClassObject(CLSID_WebBrowser, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    IWebBrowser2* instance = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IWebBrowser2, reinterpret_cast<void**>(&instance)));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    instance->Release();
    factory->Release();
    EXPECT_EQ(S_OK, canUnloadNow());
    ::FreeLibrary(dll);
}

// In a prefix where use-fake-browser.sh has mapped the class id to the DLL (set VELMORA_FAKEBROWSER_PREFIX=1
// to say so), plain CoCreateInstance loads the DLL: what a program run from outside gets.
TEST(FakeBrowserDll, MappedPrefixCreatesItForTheClassId)
{
    if (!::GetEnvironmentVariableW(L"VELMORA_FAKEBROWSER_PREFIX", nullptr, 0))
        GTEST_SKIP() << "not in a prefix prepared by use-fake-browser.sh";
    ::CoInitialize(nullptr);
    IWebBrowser2* instance = nullptr;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                       reinterpret_cast<void**>(&instance)));
    EXPECT_NE(nullptr, ::GetModuleHandleW(L"fakebrowser.dll"));
    instance->Release();
    ::CoUninitialize();
}

}  // namespace
