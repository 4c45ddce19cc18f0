#include "app/TranslucentApp.h"

#include <gdiplus.h>

#include "framework/OleControlSite.h"
#include "game/ZuGameDlg.h"
#include "launcher/ZuTranslucentDlg.h"

static const MessageEntry CTranslucentApp_messageEntries[] = {
    msgmap::OnCommand<&CWinApp::OnHelp>(ID_HELP),
};
const MessageMap CTranslucentApp::messageMap{&CWinApp::messageMap, CTranslucentApp_messageEntries};

namespace {
ULONG_PTR g_gdiplusToken = 0;  // written by InitInstance, read by ExitInstance
bool g_oleReady = false;       // COM entered by InitInstance, to be left by ExitInstance
}

CTranslucentApp::CTranslucentApp() = default;
CTranslucentApp::~CTranslucentApp() = default;

BOOL CTranslucentApp::InitInstance()
{
    CWinApp::InitInstance();
    // The browser controls are COM objects: without an apartment on this thread none of them is created.
    g_oleReady = AfxOleInit() != FALSE;
    AfxEnableControlContainer();

    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread, external codecs
    Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);

    CZuTranslucentDlg launcher(158, L"PNG", nullptr, nullptr);
    m_pMainWnd = &launcher;
    launcher.DoModal();
    if (m_pMainWnd == &launcher) m_pMainWnd = nullptr;  // its window never came up: no dangling pointer
    return FALSE;
}

void CTranslucentApp::RetireMainWindow()
{
    if (!m_pMainWnd) return;
    ::PostMessageW(m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
    m_pMainWnd->Detach();
}

void CTranslucentApp::LaunchGame(CString gameUrl, CString serverLabel)
{
    RetireMainWindow();
    CZuGameDlg game(nullptr);
    m_pMainWnd = &game;
    game.SetGameParams(gameUrl, serverLabel);
    game.DoModal();
    if (m_pMainWnd == &game) EndWithoutWindow();
}

void CTranslucentApp::ReturnToLauncher()
{
    RetireMainWindow();
    CZuTranslucentDlg launcher(158, L"PNG", nullptr, nullptr);
    m_pMainWnd = &launcher;
    launcher.DoModal();
    if (m_pMainWnd == &launcher) EndWithoutWindow();
}

void CTranslucentApp::EndWithoutWindow()
{
    // The next window never came up while the previous one is already gone: rather than leave the program
    // running with no window at all, end it the way a closed main window does.
    m_pMainWnd = nullptr;
    ::PostQuitMessage(0);
}

int CTranslucentApp::ExitInstance()
{
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
    if (g_oleReady) ::OleUninitialize();
    g_oleReady = false;
    return CWinApp::ExitInstance();
}
