#include "translucent/StandardDialog.h"

const CRuntimeClass CStandardDialog::runtimeClass{"CStandardDialog", &CDialog::runtimeClass, nullptr};

static const MessageEntry CStandardDialog_messageEntries[] = {
    msgmap::OnCtlColor<&CStandardDialog::OnCtlColor>(),
};
// Chained to the plain dialog's table: none of the HTML dialog's own handling runs for the companion.
const MessageMap CStandardDialog::messageMap{&CDialog::messageMap, CStandardDialog_messageEntries};

CStandardDialog::CStandardDialog(UINT templateId, COLORREF keyColour, CWnd* parent)
    : CDHtmlDialog(templateId, 0, parent), m_keyColour(keyColour)
{
}

CStandardDialog::~CStandardDialog() = default;

BOOL CStandardDialog::CreateAndShow()
{
    if (!Create(m_templateId, m_pParentWnd)) return FALSE;
    ShowWindow(SW_SHOW);
    return TRUE;
}

BOOL CStandardDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_keyBrush.CreateSolidBrush(m_keyColour);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(GetExStyle() | WS_EX_LAYERED));

    // Looked up at run time so that the program still starts where layered windows are unknown; there the
    // window simply gets no key (and stays invisible).
    using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    if (HMODULE user32 = ::LoadLibraryW(L"User32.DLL")) {
        auto setAttributes = reinterpret_cast<SetLayeredWindowAttributesFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(user32, "SetLayeredWindowAttributes")));
        if (setAttributes) setAttributes(m_hWnd, m_keyColour, 0, LWA_COLORKEY);
        ::FreeLibrary(user32);
    }
    return TRUE;
}

HBRUSH CStandardDialog::OnCtlColor(HDC dc, CWnd* control, UINT type)
{
    // Only the dialog's own background is painted in the key; controls keep their usual colours.
    if (type == CTLCOLOR_DLG) return m_keyBrush.GetSafeHandle();
    return CDHtmlDialog::OnCtlColor(dc, control, type);
}

void CStandardDialog::CloseOwner()
{
    // An owned popup's GetParent is its owner: the translucent dialog, whose close ends its modal loop.
    if (CWnd* owner = GetParent()) owner->SendMessage(WM_CLOSE, 0, 0);
}

void CStandardDialog::OnOK()
{
    CloseOwner();
    CDialog::OnOK();
}

void CStandardDialog::OnCancel()
{
    CloseOwner();
    CDialog::OnCancel();
}
