#include "launcher/WebBrowser2.h"

#include "framework/OleControlSite.h"

const CRuntimeClass CWebBrowser2::runtimeClass{"CWebBrowser2", &CWnd::runtimeClass, &CreateObjectOf<CWebBrowser2>};

namespace {
constexpr DISPID kNavigate = 104;
constexpr DISPID kLocationURL = 211;
constexpr DISPID kSilent = 551;

// An optional VARIANT* argument: by reference when given, "missing" when null.
VARIANT Optional(VARIANT* given)
{
    VARIANT arg;
    ::VariantInit(&arg);
    if (given) {
        V_VT(&arg) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&arg) = given;
    } else {
        V_VT(&arg) = VT_ERROR;
        V_ERROR(&arg) = DISP_E_PARAMNOTFOUND;
    }
    return arg;
}
}  // namespace

HRESULT CWebBrowser2::Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result)
{
    if (!m_pCtrlSite) return E_UNEXPECTED;
    IDispatch* control = m_pCtrlSite->GetControlDispatch();
    if (!control) return E_UNEXPECTED;
    HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, nullptr, nullptr);
    control->Release();
    return hr;
}

void CWebBrowser2::Navigate(const wchar_t* url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers)
{
    VARIANT args[5];  // in reverse order, as Invoke takes them
    args[0] = Optional(headers);
    args[1] = Optional(postData);
    args[2] = Optional(targetFrameName);
    args[3] = Optional(flags);
    ::VariantInit(&args[4]);
    V_VT(&args[4]) = VT_BSTR;
    V_BSTR(&args[4]) = ::SysAllocString(url ? url : L"");
    DISPPARAMS params{args, nullptr, 5, 0};
    Invoke(kNavigate, DISPATCH_METHOD, &params, nullptr);
    ::VariantClear(&args[4]);
}

void CWebBrowser2::SetSilent(BOOL silent)
{
    VARIANT value;
    ::VariantInit(&value);
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = silent ? VARIANT_TRUE : VARIANT_FALSE;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    Invoke(kSilent, DISPATCH_PROPERTYPUT, &params, nullptr);
}

CString CWebBrowser2::GetLocationURL()
{
    VARIANT result;
    ::VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    CString address;
    if (SUCCEEDED(Invoke(kLocationURL, DISPATCH_PROPERTYGET, &none, &result)) && V_VT(&result) == VT_BSTR)
        address = CString(V_BSTR(&result), static_cast<int>(::SysStringLen(V_BSTR(&result))));
    ::VariantClear(&result);
    return address;
}
