#include "framework/DHtmlDialog.h"

#include <exdisp.h>

#include "framework/OleControlSite.h"
#include "framework/WinApp.h"

const CRuntimeClass CDHtmlDialog::runtimeClass{"CDHtmlDialog", &CDialog::runtimeClass, nullptr};
const DispatchMap CDHtmlDialog::dispatchMap{&CDialog::dispatchMap};
const EventSinkMap CDHtmlDialog::eventSinkMap{&CDialog::eventSinkMap};

static const MessageEntry CDHtmlDialog_messageEntries[] = {
    msgmap::OnDestroy<&CDHtmlDialog::OnDestroy>(),
    msgmap::OnSize<&CDHtmlDialog::OnSize>(),
};
const MessageMap CDHtmlDialog::messageMap{&CDialog::messageMap, CDHtmlDialog_messageEntries};

CDHtmlDialog::CDHtmlDialog(UINT templateId, UINT htmlResId, CWnd* parent)
    : CDialog(templateId, parent), m_nHtmlResID(htmlResId)
{
}

CDHtmlDialog::~CDHtmlDialog()
{
    SetExternalDispatch(nullptr);
}

BOOL CDHtmlDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    RECT client;
    GetClientRect(&client);
    // A dialog whose browser cannot be made stays up, blank: navigations then do nothing.
    if (!AfxCreateHostedControl(m_hWnd, CLSID_WebBrowser, kBrowserId, client, WS_CHILD | WS_VISIBLE)) return TRUE;
    if (m_nHtmlResID) {
        wchar_t module[MAX_PATH] = {};
        DWORD length = ::GetModuleFileNameW(AfxGetResourceHandle(), module, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            CString address;
            address.Format(L"res://%s/%d", module, static_cast<int>(m_nHtmlResID));
            Navigate(address);
        }
    }
    return TRUE;
}

COleControlSite* CDHtmlDialog::GetBrowserSite() const { return m_hWnd ? AfxFindHostedControl(m_hWnd, kBrowserId) : nullptr; }

void CDHtmlDialog::OnDestroy()
{
    AfxTeardownHostedControl(m_hWnd, kBrowserId);
    CWnd::OnDestroy();
}

void CDHtmlDialog::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    if (COleControlSite* site = GetBrowserSite()) {
        site->SetRect(RECT{0, 0, cx, cy});
        if (HWND browser = site->GetWindow()) ::MoveWindow(browser, 0, 0, cx, cy, TRUE);
    }
}

void CDHtmlDialog::SetExternalDispatch(IDispatch* external)
{
    if (external) external->AddRef();
    if (m_pExternal) m_pExternal->Release();
    m_pExternal = external;
}

namespace {

// An optional VARIANT argument: the text given, or "missing".
struct OptionalText {
    explicit OptionalText(const wchar_t* text)
    {
        ::VariantInit(&value);
        if (text) {
            V_VT(&value) = VT_BSTR;
            V_BSTR(&value) = ::SysAllocString(text);
        } else {
            V_VT(&value) = VT_ERROR;
            V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
        }
    }
    ~OptionalText() { ::VariantClear(&value); }
    OptionalText(const OptionalText&) = delete;
    OptionalText& operator=(const OptionalText&) = delete;
    VARIANT value;
};

}  // namespace

void CDHtmlDialog::Navigate(const wchar_t* url, DWORD flags, const wchar_t* targetFrame, const wchar_t* headers,
                            void* postData, DWORD postDataLength)
{
    COleControlSite* site = GetBrowserSite();
    IWebBrowser2* browser = nullptr;
    if (!site || FAILED(site->QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) return;

    VARIANT flagsArg;
    ::VariantInit(&flagsArg);
    V_VT(&flagsArg) = VT_I4;
    V_I4(&flagsArg) = static_cast<LONG>(flags);
    OptionalText frame(targetFrame), headerText(headers);
    VARIANT post;
    ::VariantInit(&post);
    V_VT(&post) = VT_ERROR;
    V_ERROR(&post) = DISP_E_PARAMNOTFOUND;
    if (postData && postDataLength) {
        // Post data travels as a byte array.
        if (SAFEARRAY* bytes = ::SafeArrayCreateVector(VT_UI1, 0, postDataLength)) {
            void* into = nullptr;
            if (SUCCEEDED(::SafeArrayAccessData(bytes, &into))) {
                ::memcpy(into, postData, postDataLength);
                ::SafeArrayUnaccessData(bytes);
            }
            V_VT(&post) = VT_ARRAY | VT_UI1;
            V_ARRAY(&post) = bytes;
        }
    }
    BSTR address = ::SysAllocString(url ? url : L"");
    browser->Navigate(address, &flagsArg, &frame.value, &post, &headerText.value);
    ::SysFreeString(address);
    ::VariantClear(&post);
    browser->Release();
}
