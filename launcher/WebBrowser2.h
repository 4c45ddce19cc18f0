// CWebBrowser2: a wrapper over a hosted web browser control, bound to it by data exchange. It keeps nothing
// of its own: the control's window and site are those of the CWnd base, and each operation is one call of
// the control's automation interface. A wrapper that is not (or no longer) bound does nothing.
#pragma once

#include "framework/Framework.h"

class CWebBrowser2 : public CWnd {
public:
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    static const CRuntimeClass runtimeClass;

    // Starts loading `url`; null VARIANT pointers are left out of the call.
    void Navigate(const wchar_t* url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers);
    // TRUE: the control shows no dialog boxes of its own, script errors included.
    void SetSilent(BOOL silent);
    // The address of the top-level document now shown; empty when there is no control.
    CString GetLocationURL();

private:
    HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
};
