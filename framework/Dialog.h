// CDialog: a dialog built from a template resource, run modally (DoModal, with the framework's own modal
// loop) or modelessly (Create).
//
// The modal loop: GetMessageW; the application's pre-translation (the window chain's PreTranslateMessage,
// which for a dialog ends in the dialog manager); TranslateMessage/DispatchMessageW; it ends when EndDialog
// was called. When it retrieves the quit request it posts it again and DoModal returns -1, so nested modal
// loops unwind one after the other. After the loop DoModal hides and destroys its window, if it still has
// one, and enables its owner again.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/DialogTemplate.h"
#include "framework/Wnd.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
};

// Binds `control` to the dialog's child with this id (a hosted ActiveX control through its site).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr);
    ~CDialog() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;

    virtual INT_PTR DoModal();
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT GetTemplateId() const { return m_templateId; }
    CWnd* GetParentWnd() const { return m_pParentWnd; }
    bool IsInModalLoop() const { return m_inModalLoop; }

    // Hosted-control bookkeeping for the control-container manager.
    const std::vector<DialogItem>& HostedItems() const { return m_hostedItems; }
    void* m_pOccDialogState = nullptr;

protected:
    UINT m_templateId;
    CWnd* m_pParentWnd;
    int m_nModalResult = -1;

    // Creates the window from a template of this module's resources, owned by `owner`.
    BOOL CreateFromTemplate(UINT templateId, HWND owner);
    // The window that will own a modal dialog: the parent given, else the main window when that is another
    // window with a handle, else none.
    HWND ModalOwner() const;
    // Runs the type-240 records of the template: settings for ordinary controls are sent to them.
    void ExecuteDlgInit();

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    void RunModalLoop();
    bool m_inModalLoop = false;
    bool m_continueModal = false;
    std::vector<DialogItem> m_hostedItems;
};

class CButton : public CWnd {
public:
    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    static const CRuntimeClass runtimeClass;
};

// A GDI brush owned by the object.
class CBrush {
public:
    CBrush() = default;
    ~CBrush() { DeleteObject(); }
    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;

    BOOL CreateSolidBrush(COLORREF colour) { return Attach(::CreateSolidBrush(colour)); }
    BOOL Attach(HBRUSH brush)
    {
        DeleteObject();
        m_hBrush = brush;
        return brush != nullptr;
    }
    void DeleteObject()
    {
        if (m_hBrush) ::DeleteObject(m_hBrush);
        m_hBrush = nullptr;
    }
    HBRUSH GetSafeHandle() const { return m_hBrush; }
    operator HBRUSH() const { return m_hBrush; }

private:
    HBRUSH m_hBrush = nullptr;
};
