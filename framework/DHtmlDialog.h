// CDHtmlDialog: a dialog that hosts the system's web browser control. Its own browser (control id 102)
// covers the client area and is navigated to the dialog's HTML resource at initialisation; every ActiveX
// control of its template is hosted in a site that gives a browser a document-host UI handler whose answers
// come from this dialog (the page's window.external among them).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "framework/Dialog.h"

class COleControlSite;

class CDHtmlDialog : public CDialog {
public:
    CDHtmlDialog(UINT templateId, UINT htmlResId = 0, CWnd* parent = nullptr);
    ~CDHtmlDialog() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    const DispatchMap* GetDispatchMap() const override { return &dispatchMap; }
    const EventSinkMap* GetEventSinkMap() const override { return &eventSinkMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;
    static const DispatchMap dispatchMap;
    static const EventSinkMap eventSinkMap;

    // The control id of the dialog's own browser.
    static constexpr UINT kBrowserId = 102;

    BOOL OnInitDialog() override;
    void OnDestroy();
    void OnSize(UINT type, int cx, int cy);

    // The object a page sees as window.external (a reference is kept); null clears it.
    void SetExternalDispatch(IDispatch* external);
    IDispatch* GetExternalDispatch() const { return m_pExternal; }
    // Whether pages may have the external object at all. FALSE unless a subclass says otherwise.
    virtual BOOL IsExternalDispatchSafe() { return FALSE; }

    // Starts a navigation of the dialog's own browser. Headers and post data are sent as given; nothing
    // happens when there is no browser.
    void Navigate(const wchar_t* url, DWORD flags = 0, const wchar_t* targetFrame = nullptr,
                  const wchar_t* headers = nullptr, void* postData = nullptr, DWORD postDataLength = 0);

    // The site of the dialog's own browser, while it has one.
    COleControlSite* GetBrowserSite() const;

    UINT m_nHtmlResID;

protected:
    IDispatch* m_pExternal = nullptr;
};
