#include "app/TranslucentApp.h"

#include <gdiplus.h>

#include "launcher/ZuTranslucentDlg.h"

static const MessageEntry CTranslucentApp_messageEntries[] = {
    msgmap::OnCommand<&CWinApp::OnHelp>(ID_HELP),
};
const MessageMap CTranslucentApp::messageMap{&CWinApp::messageMap, CTranslucentApp_messageEntries};

namespace {
ULONG_PTR g_gdiplusToken = 0;  // written by InitInstance, read by ExitInstance
}

CTranslucentApp::CTranslucentApp() = default;
CTranslucentApp::~CTranslucentApp() = default;

BOOL CTranslucentApp::InitInstance()
{
    CWinApp::InitInstance();
    AfxEnableControlContainer();

    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, background thread, external codecs
    Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);

    CZuTranslucentDlg launcher(158, L"PNG", nullptr, nullptr);
    m_pMainWnd = &launcher;
    launcher.DoModal();
    if (m_pMainWnd == &launcher) m_pMainWnd = nullptr;  // its window never came up: no dangling pointer
    return FALSE;
}

int CTranslucentApp::ExitInstance()
{
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
    return CWinApp::ExitInstance();
}
