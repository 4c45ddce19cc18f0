// The launcher's background window: the skin picture, with the companion that carries the buttons and the
// login page laid over it.
#pragma once

#include "translucent/TranslucentDialog.h"

class CZuTranslucentDlg : public CTranslucentDialog {
public:
    CZuTranslucentDlg(UINT imageId, const wchar_t* imageType, HMODULE resourceModule, CWnd* parent = nullptr);
    ~CZuTranslucentDlg() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    static const CRuntimeClass runtimeClass;

    CStandardDialog* CreateStandardDialog() override;
    void OnInitChildWidgets() override;
};
