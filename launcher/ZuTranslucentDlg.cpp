#include "launcher/ZuTranslucentDlg.h"

#include "launcher/ZuStandardDlg.h"

const CRuntimeClass CZuTranslucentDlg::runtimeClass{"CZuTranslucentDlg", &CDialog::runtimeClass, nullptr};

CZuTranslucentDlg::CZuTranslucentDlg(UINT imageId, const wchar_t* imageType, HMODULE resourceModule, CWnd* parent)
    : CTranslucentDialog(102, imageId, imageType, resourceModule, parent)
{
}

CZuTranslucentDlg::~CZuTranslucentDlg() = default;

CStandardDialog* CZuTranslucentDlg::CreateStandardDialog() { return new CZuStandardDlg(this); }

// Everything the player touches is on the companion: no widgets are drawn into the picture.
void CZuTranslucentDlg::OnInitChildWidgets() {}
