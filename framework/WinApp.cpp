#include "framework/WinApp.h"

const CRuntimeClass CWinApp::runtimeClass{"CWinApp", &CCmdTarget::runtimeClass, nullptr};
const MessageEntry CWinApp_messageEntries[] = {
    msgmap::OnCommand<&CWinApp::OnHelp>(ID_HELP),
};
const MessageMap CWinApp::messageMap{&CCmdTarget::messageMap, CWinApp_messageEntries};

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resourceHandle = nullptr;
}  // namespace

CWinApp::CWinApp(const wchar_t* appName) : m_hInstance(::GetModuleHandleW(nullptr)), m_pszAppName(appName)
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : ::GetModuleHandleW(nullptr); }

HINSTANCE AfxGetResourceHandle() { return g_resourceHandle ? g_resourceHandle : AfxGetInstanceHandle(); }

void AfxSetResourceHandle(HINSTANCE module) { g_resourceHandle = module; }

BOOL CWinApp::PreTranslateMessage(MSG* msg)
{
    CWnd* main = m_pMainWnd;
    HWND mainHwnd = main ? main->m_hWnd : nullptr;
    if (CWnd::WalkPreTranslateTree(mainHwnd, msg)) return TRUE;
    // A message for another top-level window (a modeless companion, say) still gets the main window's say.
    if (mainHwnd && ::GetAncestor(msg->hwnd, GA_ROOT) != mainHwnd) {
        for (HWND h = msg->hwnd; h; h = ::GetParent(h))
            if (h == mainHwnd) return FALSE;  // the walk already offered it
        return main->PreTranslateMessage(msg);
    }
    return FALSE;
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) { m_exitCode = static_cast<int>(msg.wParam); break; }
        if (got == -1) break;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return ExitInstance();
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int)
{
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->m_hInstance = instance;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
