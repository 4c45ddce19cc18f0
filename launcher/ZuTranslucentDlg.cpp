#include "launcher/ZuTranslucentDlg.h"

const CRuntimeClass CZuTranslucentDlg::runtimeClass{"CZuTranslucentDlg", &CDialog::runtimeClass, nullptr};

CZuTranslucentDlg::CZuTranslucentDlg(UINT, const wchar_t*, HMODULE, CWnd* parent) : CDialog(102, parent) {}
