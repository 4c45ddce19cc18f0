#include "framework/Automation.h"

#include <vector>

#include "framework/CmdTarget.h"
#include "framework/OleControlSite.h"

// ---- tables ----

DISPID DispatchMap::FindName(const wchar_t* name) const
{
    if (!name) return DISPID_UNKNOWN;
    // Two passes: a method whose name matches exactly wins over one that differs only in case.
    for (int pass = 0; pass < 2; ++pass) {
        DISPID id = 1;
        for (const DispatchMap* map = this; map; map = map->base) {
            for (std::size_t i = 0; i < map->count; ++i, ++id) {
                const wchar_t* candidate = map->entries[i].name;
                bool match = pass == 0 ? ::lstrcmpW(candidate, name) == 0 : ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, candidate, -1, name, -1) == CSTR_EQUAL;
                if (match) return id;
            }
        }
    }
    return DISPID_UNKNOWN;
}

const DispatchEntry* DispatchMap::FindId(DISPID id) const
{
    if (id < 1) return nullptr;
    DISPID next = 1;
    for (const DispatchMap* map = this; map; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i, ++next)
            if (next == id) return &map->entries[i];
    }
    return nullptr;
}

const EventSinkEntry* EventSinkMap::Find(UINT controlId, DISPID dispid) const
{
    for (const EventSinkMap* map = this; map; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const EventSinkEntry& e = map->entries[i];
            if (e.controlId == controlId && e.dispid == dispid) return &e;
        }
    }
    return nullptr;
}

bool EventSinkMap::HasControl(UINT controlId) const
{
    for (const EventSinkMap* map = this; map; map = map->base)
        for (std::size_t i = 0; i < map->count; ++i)
            if (map->entries[i].controlId == controlId) return true;
    return false;
}

// ---- arguments ----

namespace automation {

VARIANT* PositionalArg(DISPPARAMS* params, UINT index)
{
    if (!params || !params->rgvarg || params->cNamedArgs > params->cArgs) return nullptr;
    UINT positional = params->cArgs - params->cNamedArgs;
    if (index >= positional) return nullptr;
    return &params->rgvarg[params->cArgs - 1 - index];
}

VARIANT* Unwrap(VARIANT* arg)
{
    if (arg && V_VT(arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(arg)) return V_VARIANTREF(arg);
    return arg;
}

IDispatch* Arg<IDispatch*>::From(VARIANT* arg)
{
    arg = Unwrap(arg);
    if (V_VT(arg) == VT_DISPATCH) return V_DISPATCH(arg);
    if (V_VT(arg) == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(arg)) return *V_DISPATCHREF(arg);
    return nullptr;
}

BSTR Arg<BSTR>::From(VARIANT* arg)
{
    arg = Unwrap(arg);
    if (V_VT(arg) == VT_BSTR) return V_BSTR(arg);
    if (V_VT(arg) == (VT_BYREF | VT_BSTR) && V_BSTRREF(arg)) return *V_BSTRREF(arg);
    return nullptr;
}

long Arg<long>::From(VARIANT* arg)
{
    VARIANT converted;
    ::VariantInit(&converted);
    long value = 0;
    if (SUCCEEDED(::VariantChangeType(&converted, Unwrap(arg), 0, VT_I4))) value = V_I4(&converted);
    ::VariantClear(&converted);
    return value;
}

VARIANT_BOOL* Arg<VARIANT_BOOL*>::From(VARIANT* arg)
{
    arg = Unwrap(arg);
    if (V_VT(arg) == (VT_BYREF | VT_BOOL)) return V_BOOLREF(arg);
    return nullptr;
}

}  // namespace automation

// ---- the COM object behind GetIDispatch ----

class CCmdTargetDispatch final : public DispatchWithoutTypeInfo {
public:
    explicit CCmdTargetDispatch(CCmdTarget* owner) : m_owner(owner) {}
    CCmdTargetDispatch(const CCmdTargetDispatch&) = delete;
    CCmdTargetDispatch& operator=(const CCmdTargetDispatch&) = delete;

    // The owner is going away: whoever still holds the interface gets failures from now on.
    void Disconnect() { m_owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = ::InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        if (!m_owner) return RPC_E_DISCONNECTED;
        ids[0] = m_owner->GetDispatchMap()->FindName(names[0]);
        // Our methods have no named parameters.
        for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT* argErr) override
    {
        if (result) ::VariantInit(result);
        if (argErr) *argErr = 0;
        if (!m_owner) return RPC_E_DISCONNECTED;
        const DispatchEntry* entry = m_owner->GetDispatchMap()->FindId(id);
        // Script engines call a method with DISPATCH_METHOD, often together with DISPATCH_PROPERTYGET.
        if (!entry || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        DISPPARAMS none{};
        if (!params) params = &none;
        if ((params->cArgs && !params->rgvarg) || params->cNamedArgs > params->cArgs) return E_INVALIDARG;

        // The handler may run a whole nested modal loop, during which the owner, the page or its control can
        // be torn down: keep this object and the controls that serve it as window.external alive meanwhile.
        AddRef();
        std::vector<IUnknown*> held;
        AfxHoldControlsServing(this, &held);
        HRESULT hr = entry->thunk(m_owner, params);
        for (IUnknown* control : held) control->Release();
        Release();
        return hr;
    }

private:
    LONG m_refs = 1;  // the owner's reference
    CCmdTarget* m_owner;
};

CCmdTarget::~CCmdTarget()
{
    if (m_pDispatch) {
        m_pDispatch->Disconnect();
        m_pDispatch->Release();
    }
}

void CCmdTarget::EnableAutomation()
{
    if (!m_pDispatch) m_pDispatch = new CCmdTargetDispatch(this);
}

IDispatch* CCmdTarget::GetIDispatch(BOOL addRef)
{
    if (m_pDispatch && addRef) m_pDispatch->AddRef();
    return m_pDispatch;
}

bool CCmdTarget::OnEvent(UINT controlId, DISPID dispid, DISPPARAMS* params, HRESULT* result)
{
    const EventSinkEntry* entry = GetEventSinkMap()->Find(controlId, dispid);
    if (!entry) return false;
    DISPPARAMS none{};
    HRESULT hr = entry->thunk(this, params ? params : &none);
    if (result) *result = hr;
    return true;
}
