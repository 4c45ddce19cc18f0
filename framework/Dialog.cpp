#include "framework/Dialog.h"

#include "framework/ControlHosting.h"
#include "framework/MFCButton.h"
#include "framework/WinApp.h"

const CRuntimeClass CDialog::runtimeClass{"CDialog", &CWnd::runtimeClass, nullptr};
const CRuntimeClass CButton::runtimeClass{"CButton", &CWnd::runtimeClass, nullptr};

static const MessageEntry CDialog_messageEntries[] = {
    msgmap::OnCommand<&CDialog::OnOK>(IDOK),
    msgmap::OnCommand<&CDialog::OnCancel>(IDCANCEL),
};
const MessageMap CDialog::messageMap{&CWnd::messageMap, CDialog_messageEntries};

// The dialog procedure behind the dialog class's own window procedure. It sees only what the dialog
// manager forwards; everything else already went through AfxWndProc and the message tables.
INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
    if (!dialog) return TRUE;
    if (COccManager* occ = AfxGetOccManager()) {
        if (!dialog->m_hostedItems.empty()) {
            ResourceBytes init = FindResourceBytes(AfxGetResourceHandle(), MAKEINTRESOURCEW(dialog->m_templateId),
                                                   MAKEINTRESOURCEW(240));
            occ->CreateDlgControls(dialog, dialog->m_hostedItems, ParseDialogInit(init.data, init.size));
        }
    }
    return dialog->OnInitDialog();
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    // A modeless dialog deleted with its window still up takes the window down first, so that no message
    // reaches a half-destroyed object.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) DestroyWindow();
}

BOOL CDialog::CreateFromTemplate(UINT templateId, HWND owner)
{
    // Templates may name the image button's class: it must exist before the dialog manager creates controls.
    AfxRegisterMFCButtonClass();
    HINSTANCE module = AfxGetResourceHandle();
    ResourceBytes tmpl = FindResourceBytes(module, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!tmpl.data) return FALSE;

    const void* use = tmpl.data;
    std::vector<BYTE> stripped;
    m_hostedItems.clear();
    if (AfxGetOccManager() && StripClassIdItems(tmpl.data, tmpl.size, &stripped, &m_hostedItems)) use = stripped.data();

    HWND hwnd;
    {
        CreationHook bind(this);
        hwnd = ::CreateDialogIndirectParamW(module, static_cast<LPCDLGTEMPLATEW>(use), owner, &AfxDlgProc,
                                            reinterpret_cast<LPARAM>(this));
    }
    if (!hwnd) {
        // Creation refused after the window was bound (WM_CREATE returned -1): forget the dead handle.
        if (m_hWnd) Detach();
        m_pfnSuper = nullptr;
        return FALSE;
    }
    return TRUE;
}

HWND CDialog::ModalOwner() const
{
    if (m_pParentWnd && m_pParentWnd->m_hWnd) return m_pParentWnd->m_hWnd;
    CWnd* main = AfxGetMainWnd();
    if (main && main != this && main->m_hWnd) return main->m_hWnd;
    return nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = ModalOwner();
    bool enableOwner = false;
    if (owner && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        enableOwner = true;
    }

    m_nModalResult = -1;
    m_continueModal = true;
    if (CreateFromTemplate(m_templateId, owner)) {
        if (m_continueModal) RunModalLoop();
        if (m_hWnd) ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    m_continueModal = false;

    if (enableOwner && ::IsWindow(owner)) ::EnableWindow(owner, TRUE);
    if (m_hWnd) {
        if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
        DestroyWindow();
    }
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    // A dialog that its initialisation left hidden is shown once the queue first runs dry.
    bool showWhenIdle = m_hWnd && !(GetStyle() & WS_VISIBLE);
    m_inModalLoop = true;
    MSG msg;
    while (m_continueModal) {
        if (showWhenIdle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (m_hWnd) { ShowWindow(SW_SHOWNORMAL); UpdateWindow(); }
            showWhenIdle = false;
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The application is ending: leave the quit request for the loop below us.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = -1;
            break;
        }
        if (got == -1) continue;
        CWinApp* app = AfxGetApp();
        BOOL consumed = app ? app->PreTranslateMessage(&msg) : WalkPreTranslateTree(m_hWnd, &msg);
        if (!consumed) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    m_inModalLoop = false;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_templateId = templateId;
    m_pParentWnd = parent;
    return CreateFromTemplate(templateId, parent ? parent->m_hWnd : nullptr);
}

void CDialog::EndDialog(int result)
{
    if (m_inModalLoop) {
        m_nModalResult = result;
        m_continueModal = false;
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wake the loop if it is waiting
    }
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        if (COccManager* occ = AfxGetOccManager()) occ->OnDialogDestroy(this);
    }
    if (message == WM_NCDESTROY && m_inModalLoop) {
        // Destroyed from under its own modal loop: the loop has nothing left to run.
        m_continueModal = false;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CDialog::OnInitDialog()
{
    ExecuteDlgInit();
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::ExecuteDlgInit()
{
    ResourceBytes init = FindResourceBytes(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(240));
    if (!init.data) return;
    for (const DialogInitRecord& r : ParseDialogInit(init.data, init.size)) {
        if (IsHostedControlInitMessage(r.message)) continue;  // consumed when the hosted control was created
        ::SendDlgItemMessageW(m_hWnd, r.controlId, r.message, static_cast<WPARAM>(r.data.size()),
                              reinterpret_cast<LPARAM>(r.data.data()));
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    bool keyboard = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
    bool mouse = msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST;
    if (!keyboard && !mouse) return FALSE;
    if (keyboard) {
        // A hosted control sees its keys before the dialog manager, or Tab and Enter never reach a page.
        if (COccManager* occ = AfxGetOccManager())
            if (occ->PreTranslateMessage(this, msg)) return TRUE;
    }
    return m_hWnd && ::IsDialogMessageW(m_hWnd, msg);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (control.m_hWnd || dx->m_bSaveAndValidate) return;
    CDialog* dialog = dx->m_pDlgWnd;
    if (COccManager* occ = AfxGetOccManager())
        if (occ->BindControl(dialog, id, control)) return;
    HWND child = ::GetDlgItem(dialog->m_hWnd, id);
    if (child) control.SubclassWindow(child);
}
