// The launcher's companion: the four link buttons, minimise and close, and the login page. The page starts
// the game either by calling window.external.outLink(server label, game address) or by navigating to an
// address that carries the configured marker; either way the launcher's windows are closed behind their
// objects' backs and the game window runs in their place.
#pragma once

#include "framework/Framework.h"
#include "launcher/WebBrowser2.h"
#include "translucent/StandardDialog.h"

class CZuStandardDlg : public CStandardDialog {
public:
    explicit CZuStandardDlg(CWnd* parent);
    ~CZuStandardDlg() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    const DispatchMap* GetDispatchMap() const override { return &dispatchMap; }
    const EventSinkMap* GetEventSinkMap() const override { return &eventSinkMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;
    static const DispatchMap dispatchMap;
    static const EventSinkMap eventSinkMap;

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;  // Enter closes nothing
    BOOL IsExternalDispatchSafe() override { return TRUE; }

    void OnBnClickedDefault();
    void OnBnClickedHome();
    void OnBnClickedClose();
    void OnBnClickedRecharge();
    void OnBnClickedService();
    void OnBnClickedForum();
    void OnBnClickedMinimize();
    void OnDestroy();
    void OnClose();

    // The page's way in: window.external.outLink(server label, game address).
    HRESULT outLink(VARIANT* serverLabel, VARIANT* gameUrl);
    void OnNavigateComplete2(IDispatch* frame, VARIANT* url);

    CButton m_btnDefault;
    CWebBrowser2 m_browser;
    CMFCButton m_btnHome;
    CMFCButton m_btnClose;
    CMFCButton m_btnRecharge;
    CMFCButton m_btnService;
    CMFCButton m_btnForum;
    CMFCButton m_btnMinimize;

private:
    // Closes the launcher's windows without their own close handling and runs the game in their place.
    void HandOverToGame(const CString& gameUrl, const CString& serverLabel);
    bool m_handedOver = false;  // the bridge works once: later triggers from the dying page are ignored
};

// The built-in pages used when config.ini does not name one.
namespace launcher_defaults {
extern const wchar_t kLoginPage[];
extern const wchar_t kHomePage[];
extern const wchar_t kRechargePage[];
extern const wchar_t kServicePage[];
extern const wchar_t kForumPage[];
extern const wchar_t kGameMarker[];
}  // namespace launcher_defaults
