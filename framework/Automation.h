// Dispatch tables and event-sink tables: the automation side of CCmdTarget.
//
// A dispatch table maps a method name, as page script writes it, to a member function; the object's
// IDispatch (EnableAutomation / GetIDispatch) serves it to script engines. An event-sink table maps a hosted
// control's id and an event's dispatch id to a member handler; the control site routes the control's events
// through it. Both are plain static tables chained to the base class's, like the message tables:
//
//   const DispatchEntry CMyDlg::dispatchEntries[] = {
//       dispmap::Method<&CMyDlg::outLink>(L"outLink"),          // void outLink(VARIANT*, VARIANT*)
//   };
//   const DispatchMap CMyDlg::dispatchMap{&CDHtmlDialog::dispatchMap, dispatchEntries};
//   const EventSinkEntry CMyDlg::eventSinkEntries[] = {
//       sinkmap::Event<&CMyDlg::OnNavigateComplete2>(1005, 252),  // void (IDispatch*, VARIANT*)
//   };
//   const EventSinkMap CMyDlg::eventSinkMap{&CDHtmlDialog::eventSinkMap, eventSinkEntries};
//
// Handler parameters are filled from the caller's arguments in the order written (IDispatch::Invoke passes
// them in reverse). Supported parameter types: VARIANT* (by-value and by-reference arguments alike; a
// missing argument arrives as VT_ERROR holding DISP_E_PARAMNOTFOUND, the usual mark of an omitted
// argument), IDispatch* (null unless the argument is an object), BSTR (null unless text), long (converted;
// 0 when not convertible), VARIANT_BOOL* (null unless passed by reference).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <type_traits>
#include <utility>

class CCmdTarget;

using DispatchThunk = HRESULT (*)(CCmdTarget* target, DISPPARAMS* params);

struct DispatchEntry {
    const wchar_t* name;
    DispatchThunk thunk;
};

struct DispatchMap {
    const DispatchMap* base;
    const DispatchEntry* entries;
    std::size_t count;

    constexpr DispatchMap(const DispatchMap* baseMap) : base(baseMap), entries(nullptr), count(0) {}
    template <std::size_t N>
    constexpr DispatchMap(const DispatchMap* baseMap, const DispatchEntry (&table)[N]) : base(baseMap), entries(table), count(N) {}

    // Dispatch ids are 1, 2, ... in table order, the most derived table first; DISPID_UNKNOWN when absent.
    // Names compare as script engines expect of a host object: exact match first, then ignoring case.
    DISPID FindName(const wchar_t* name) const;
    const DispatchEntry* FindId(DISPID id) const;
};

struct EventSinkEntry {
    UINT controlId;
    DISPID dispid;
    DispatchThunk thunk;
};

struct EventSinkMap {
    const EventSinkMap* base;
    const EventSinkEntry* entries;
    std::size_t count;

    constexpr EventSinkMap(const EventSinkMap* baseMap) : base(baseMap), entries(nullptr), count(0) {}
    template <std::size_t N>
    constexpr EventSinkMap(const EventSinkMap* baseMap, const EventSinkEntry (&table)[N]) : base(baseMap), entries(table), count(N) {}

    const EventSinkEntry* Find(UINT controlId, DISPID dispid) const;
    bool HasControl(UINT controlId) const;
};

// Base of our own IDispatch objects. They carry no type library: script engines find members through
// GetIDsOfNames and controls call their sinks by dispatch id. Names are unknown unless a class overrides.
class DispatchWithoutTypeInfo : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
};

namespace automation {

// The argument at `index` in the order the caller wrote them, or null when fewer were passed. Named
// arguments (which IDispatch::Invoke puts first in rgvarg) are not positional and are skipped.
VARIANT* PositionalArg(DISPPARAMS* params, UINT index);

// A by-reference VARIANT (VT_BYREF | VT_VARIANT) stands for the VARIANT it points at.
VARIANT* Unwrap(VARIANT* arg);

template <class T> struct Arg;

template <> struct Arg<VARIANT*> {
    static VARIANT* From(VARIANT* arg) { return Unwrap(arg); }
};
template <> struct Arg<IDispatch*> {
    static IDispatch* From(VARIANT* arg);
};
template <> struct Arg<BSTR> {
    static BSTR From(VARIANT* arg);
};
template <> struct Arg<long> {
    static long From(VARIANT* arg);
};
template <> struct Arg<VARIANT_BOOL*> {
    static VARIANT_BOOL* From(VARIANT* arg);
};

template <class R, class C, class... A, std::size_t... I>
HRESULT CallWith(C* target, R (C::*f)(A...), DISPPARAMS* params, std::index_sequence<I...>)
{
    // Missing arguments point at VARIANTs of our own marked as omitted, so a handler never sees a null
    // VARIANT* and can tell a missing argument from one passed without a value (VT_EMPTY).
    VARIANT missing[sizeof...(A) + 1];
    for (VARIANT& v : missing) {
        ::VariantInit(&v);
        V_VT(&v) = VT_ERROR;
        V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    }
    auto arg = [&](std::size_t i) {
        VARIANT* given = PositionalArg(params, static_cast<UINT>(i));
        return given ? given : &missing[i];
    };
    (void)arg;  // unused by a method without parameters
    HRESULT hr = S_OK;
    // A handler that returns an HRESULT can refuse a call: the script sees the failure as an exception.
    if constexpr (std::is_same_v<R, HRESULT>) hr = (target->*f)(Arg<A>::From(arg(I))...);
    else (target->*f)(Arg<A>::From(arg(I))...);
    for (VARIANT& v : missing) ::VariantClear(&v);
    return hr;
}

template <class> struct MemberOf;
template <class C, class F> struct MemberOf<F C::*> { using type = C; };

template <class R, class C, class... A>
constexpr auto Indices(R (C::*)(A...)) { return std::index_sequence_for<A...>{}; }

template <auto F>
HRESULT Call(CCmdTarget* target, DISPPARAMS* params)
{
    using C = typename MemberOf<decltype(F)>::type;
    return CallWith(static_cast<C*>(target), F, params, Indices(F));
}

}  // namespace automation

namespace dispmap {
// void F(VARIANT*, ...): a method that page script calls by name.
template <auto F> constexpr DispatchEntry Method(const wchar_t* name) { return {name, &automation::Call<F>}; }
}  // namespace dispmap

namespace sinkmap {
// void F(...): handler of event `dispid` of the hosted control `controlId`.
template <auto F> constexpr EventSinkEntry Event(UINT controlId, DISPID dispid) { return {controlId, dispid, &automation::Call<F>}; }
}  // namespace sinkmap
