// The framework's control-container manager: class-id items of a dialog template become in-place active
// ActiveX controls (see OleControlSite.h).
#include <string>

#include "framework/ControlHosting.h"
#include "framework/Dialog.h"
#include "framework/OleControlSite.h"

namespace {

class OleOccManager : public COccManager {
public:
    void CreateDlgControls(CDialog* dialog, const std::vector<DialogItem>& items, const std::vector<DialogInitRecord>&) override
    {
        // The initialisation records for these controls are their persisted state, which we do not use:
        // each control starts fresh (InitNew).
        for (const DialogItem& item : items) {
            CLSID clsid;
            std::wstring text = item.className.text;
            if (FAILED(::CLSIDFromString(text.data(), &clsid))) continue;
            RECT rect{item.x, item.y, item.x + item.cx, item.y + item.cy};
            ::MapDialogRect(dialog->m_hWnd, &rect);
            COleControlSite* site = AfxCreateHostedControl(dialog->m_hWnd, clsid, item.id, rect, item.style);
            // A window made now lands at the top of its siblings, first in the Tab order: put it back after
            // the item that precedes it in the template, as the dialog manager would have.
            HWND preceding = item.hasPreceding ? ::GetDlgItem(dialog->m_hWnd, static_cast<int>(item.precedingId)) : nullptr;
            if (site && site->GetWindow() && preceding)
                ::SetWindowPos(site->GetWindow(), preceding, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }

    bool BindControl(CDialog* dialog, int id, CWnd& wrapper) override
    {
        COleControlSite* site = AfxFindHostedControl(dialog->m_hWnd, static_cast<UINT>(id));
        if (!site || !site->GetWindow()) return false;
        // Bound without subclassing: the control's window keeps its own procedure, also once the wrapper
        // is detached again.
        if (!wrapper.Attach(site->GetWindow())) return false;
        site->AddRef();
        wrapper.m_pCtrlSite = site;
        site->SetWrapper(&wrapper);
        return true;
    }

    bool PreTranslateMessage(CDialog* dialog, MSG* msg) override
    {
        COleControlSite* site = AfxFindHostedControlFor(dialog->m_hWnd, msg->hwnd);
        return site && site->TranslateAccelerator(msg);
    }

    void OnDialogDestroy(CDialog* dialog) override { AfxTeardownHostedControls(dialog->m_hWnd); }
};

}  // namespace

COccManager* AfxDefaultOccManager()
{
    static OleOccManager manager;
    return &manager;
}
