#include "framework/DHtmlDialog.h"

const CRuntimeClass CDHtmlDialog::runtimeClass{"CDHtmlDialog", &CDialog::runtimeClass, nullptr};

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

// Placeholder until the browser hosting lands: no browser of its own yet.
BOOL CDHtmlDialog::OnInitDialog() { return CDialog::OnInitDialog(); }
void CDHtmlDialog::OnDestroy() { CWnd::OnDestroy(); }
void CDHtmlDialog::OnSize(UINT type, int cx, int cy) { CWnd::OnSize(type, cx, cy); }

void CDHtmlDialog::SetExternalDispatch(IDispatch* external)
{
    if (external) external->AddRef();
    if (m_pExternal) m_pExternal->Release();
    m_pExternal = external;
}

void CDHtmlDialog::Navigate(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, void*, DWORD) {}
