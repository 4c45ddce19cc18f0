// CWinApp: the application object. One instance is constructed (normally with static storage) before the
// program's entry point calls AfxWinMain, which runs InitInstance, the message loop if InitInstance returned
// TRUE, and ExitInstance, whose result is the process exit code.
#pragma once

#include <windows.h>

#include "framework/Wnd.h"

constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return m_exitCode; }
    virtual int Run();  // the application's own message loop; returns ExitInstance()
    // Offered every message our loops retrieve before it is dispatched: the main window's chain first.
    virtual BOOL PreTranslateMessage(MSG* msg);
    void OnHelp() {}

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    const wchar_t* m_pszAppName = nullptr;

protected:
    int m_exitCode = 0;  // wParam of the WM_QUIT that ended Run
    friend int AfxWinMain(HINSTANCE, HINSTANCE, wchar_t*, int);
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE module);

// Runs the application object: InitInstance, Run when it returned TRUE, ExitInstance. Returns the exit code.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, wchar_t* commandLine, int show);
