// CStandardDialog: the companion that carries a translucent dialog's ordinary controls. A modeless dialog
// whose background is one key colour that the system shows as fully transparent and lets clicks through:
// only the controls remain, and they appear to sit on the picture underneath.
//
// It derives from CDHtmlDialog only for the way that class hosts ActiveX controls (a hosted browser gets
// the dialog's document-host answers, window.external among them); for initialisation, message routing and
// run-time class it is a plain dialog, and the HTML dialog's own browser is never made.
#pragma once

#include "framework/DHtmlDialog.h"

class CStandardDialog : public CDHtmlDialog {
public:
    // `parent` owns the companion's window: the translucent dialog it lies over.
    CStandardDialog(UINT templateId, COLORREF keyColour, CWnd* parent);
    ~CStandardDialog() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;

    // Creates the window modelessly from the template and parent given at construction and shows it.
    BOOL CreateAndShow();

    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(HDC dc, CWnd* control, UINT type);
    // Both close the owner first, then end the companion.
    void OnOK() override;
    void OnCancel() override;

    COLORREF GetKeyColour() const { return m_keyColour; }

protected:
    COLORREF m_keyColour;
    CBrush m_keyBrush;  // the dialog background's brush; made at initialisation

private:
    void CloseOwner();
};
