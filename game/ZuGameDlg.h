// CZuGameDlg: the window the game is played in. An HTML dialog whose browser fills the client area and shows
// the game page; it opens maximised with a title of the game name and a hint line, a notification-area
// icon, and four keys: F5 loads the game address again, F11 switches full screen, Esc leaves full screen,
// F12 hides the window to the notification area. Closing it asks first; Yes hands back to a fresh launcher.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "framework/DHtmlDialog.h"

class CZuGameDlg : public CDHtmlDialog {
public:
    explicit CZuGameDlg(CWnd* parent = nullptr);
    ~CZuGameDlg() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;

    // The game address (first navigation and every F5) and the server label, as the login page handed them.
    void SetGameParams(CString gameUrl, CString serverLabel);

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void ToggleFullScreen();
    void RefreshGame();

    void OnClose();
    void OnDestroy();
    void OnSize(UINT type, int cx, int cy);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    // The notification area was made anew (the shell restarted, or came up after this window): the icon is
    // added again, since a hidden window needs it to come back.
    void OnTaskbarCreated();
    void OnRButtonDown(UINT flags, POINT at);
    void OnRButtonUp(UINT flags, POINT at);

    // The window title: the game name, the server segment when there is a server text, then the hint.
    static CString ComposeTitle(const CString& serverText);

    const CString& GameUrl() const { return m_strGameUrl; }
    const CString& ServerLabel() const { return m_strServerLabel; }
    int FullScreenFlag() const { return m_nFullScreen; }
    bool TrayIconShown() const { return m_trayIconAdded; }

    static constexpr UINT kIconId = 155;
    static constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;

private:
    CString m_strGameUrl;
    int m_nFullScreen = 0;
    CString m_strServerText;  // read by the title; nothing fills it
    CString m_strServerLabel;
    HICON m_hIcon = nullptr;
    bool m_trayIconAdded = false;
};

// The one notification-area record of the process: at most one game window exists at a time.
NOTIFYICONDATAW& GameTrayIconRecord();
