// The launcher's background window.
#pragma once

#include "framework/Framework.h"

class CZuTranslucentDlg : public CDialog {
public:
    CZuTranslucentDlg(UINT imageId, const wchar_t* imageType, HMODULE resourceModule, CWnd* parent = nullptr);

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    static const CRuntimeClass runtimeClass;
};
