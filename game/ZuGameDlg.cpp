#include "game/ZuGameDlg.h"

#include <cstddef>

#include "app/HandOver.h"

const CRuntimeClass CZuGameDlg::runtimeClass{"CZuGameDlg", &CDHtmlDialog::runtimeClass, &CreateObjectOf<CZuGameDlg>};

static const MessageEntry CZuGameDlg_messageEntries[] = {
    msgmap::OnClose<&CZuGameDlg::OnClose>(),
    msgmap::OnDestroy<&CZuGameDlg::OnDestroy>(),
    msgmap::OnSize<&CZuGameDlg::OnSize>(),
    msgmap::OnMessage<&CZuGameDlg::OnTrayNotify>(CZuGameDlg::WM_TRAYNOTIFY),
    msgmap::OnRButtonDown<&CZuGameDlg::OnRButtonDown>(),
    msgmap::OnRButtonUp<&CZuGameDlg::OnRButtonUp>(),
};
const MessageMap CZuGameDlg::messageMap{&CDHtmlDialog::messageMap, CZuGameDlg_messageEntries};

namespace {

const wchar_t kGameName[] = L"Velmora";
const wchar_t kTitleHint[] = L"  【F5刷新】【F11全屏】【F12最小托盘】";
const wchar_t kExitPrompt[] = L"即将退出Velmora，是否继续？";
const wchar_t kExitCaption[] = L"退出游戏";

// The record's size is the wide structure without its trailing balloon-icon handle: the form every system
// from 5.1 on accepts with a GUID field present.
constexpr DWORD kTrayRecordSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, hBalloonIcon));
#ifndef _WIN64
static_assert(kTrayRecordSize == 952, "the 32-bit record is 952 bytes");
#endif

}  // namespace

NOTIFYICONDATAW& GameTrayIconRecord()
{
    static NOTIFYICONDATAW record{};
    return record;
}

CZuGameDlg::CZuGameDlg(CWnd* parent) : CDHtmlDialog(150, 106, parent) {}

CZuGameDlg::~CZuGameDlg() = default;

void CZuGameDlg::SetGameParams(CString gameUrl, CString serverLabel)
{
    m_strGameUrl = gameUrl;
    m_strServerLabel = serverLabel;
}

CString CZuGameDlg::ComposeTitle(const CString& serverText)
{
    CString title(kGameName);
    if (!serverText.IsEmpty()) {
        if (serverText.Find(L's') < 0 && serverText.Find(L'S') < 0) title += L"s";
        title += serverText;
        title += L"服";
    }
    title += kTitleHint;
    return title;
}

BOOL CZuGameDlg::OnInitDialog()
{
    CDHtmlDialog::OnInitDialog();
    // The HTML dialog takes its window down when its browser cannot be made: nothing below has a window
    // to work on then.
    if (!m_hWnd || !::IsWindow(m_hWnd)) return FALSE;

    HINSTANCE module = AfxGetResourceHandle();
    NOTIFYICONDATAW& tray = GameTrayIconRecord();
    tray.cbSize = kTrayRecordSize;
    tray.hWnd = m_hWnd;
    tray.uID = kIconId;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_TRAYNOTIFY;
    tray.hIcon = ::LoadIconW(module, MAKEINTRESOURCEW(kIconId));
    m_trayIconAdded = ::Shell_NotifyIconW(NIM_ADD, &tray) != FALSE;

    m_hIcon = ::LoadIconW(module, MAKEINTRESOURCEW(kIconId));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Caption, system menu, sizing frame, minimise and maximise boxes; the template's other bits stay.
    ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_OVERLAPPEDWINDOW);
    ShowWindow(SW_MAXIMIZE);
    SetWindowText(ComposeTitle(m_strServerText));
    Navigate(m_strGameUrl, 0, nullptr, nullptr, nullptr, 0);
    return TRUE;
}

BOOL CZuGameDlg::PreTranslateMessage(MSG* msg)
{
    if (msg->message != WM_KEYDOWN) return CDHtmlDialog::PreTranslateMessage(msg);
    switch (msg->wParam) {
    case VK_RETURN:
    case VK_F10:
        // Straight to the focused window: the dialog manager never turns Enter into OK here.
        ::TranslateMessage(msg);
        ::DispatchMessageW(msg);
        return TRUE;
    case VK_ESCAPE:
        if (m_nFullScreen == 1) ToggleFullScreen();
        ::TranslateMessage(msg);
        ::DispatchMessageW(msg);
        return TRUE;
    case VK_F5:
        RefreshGame();
        return TRUE;
    case VK_F11:
        ToggleFullScreen();
        return CDHtmlDialog::PreTranslateMessage(msg);
    case VK_F12:
        // Without a notification-area icon there would be no way back to a hidden window.
        if (m_trayIconAdded) ShowWindow(SW_HIDE);
        return TRUE;
    default:
        return CDHtmlDialog::PreTranslateMessage(msg);
    }
}

void CZuGameDlg::ToggleFullScreen()
{
    int wasFullScreen = m_nFullScreen;
    m_nFullScreen = 0;
    if (wasFullScreen) {
        MoveWindow(0, 0, ::GetSystemMetrics(SM_CXFULLSCREEN), ::GetSystemMetrics(SM_CYFULLSCREEN) + 22, TRUE);
        ModifyStyle(WS_POPUP, WS_OVERLAPPEDWINDOW);
        ShowWindow(SW_RESTORE);
        ShowWindow(SW_MAXIMIZE);
    } else {
        ShowWindow(SW_RESTORE);
        m_nFullScreen = 1;
        ModifyStyle(WS_OVERLAPPEDWINDOW, WS_POPUP);
        ShowWindow(SW_MAXIMIZE);
    }
}

void CZuGameDlg::RefreshGame() { Navigate(m_strGameUrl, 0, nullptr, nullptr, nullptr, 0); }

LRESULT CZuGameDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam != kIconId) return 1;
    if (lParam == WM_LBUTTONUP) {
        ShowWindow(SW_MAXIMIZE);
        BringWindowToTop();
    }
    return 0;
}

LRESULT CZuGameDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Registered at run time, so it cannot sit in the message table.
    static const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    if (taskbarCreated && message == taskbarCreated) {
        OnTaskbarCreated();
        return 0;
    }
    return CDHtmlDialog::WindowProc(message, wParam, lParam);
}

void CZuGameDlg::OnTaskbarCreated()
{
    NOTIFYICONDATAW& tray = GameTrayIconRecord();
    if (tray.hWnd != m_hWnd) return;
    m_trayIconAdded = ::Shell_NotifyIconW(NIM_ADD, &tray) != FALSE;
    // A window hidden behind an icon that could not be added again would be lost: it comes back instead.
    if (!m_trayIconAdded && !IsWindowVisible()) {
        ShowWindow(SW_MAXIMIZE);
        BringWindowToTop();
    }
}

void CZuGameDlg::OnClose()
{
    if (::MessageBoxW(m_hWnd, kExitPrompt, kExitCaption, MB_YESNO) != IDYES) return;
    ::Shell_NotifyIconW(NIM_DELETE, &GameTrayIconRecord());
    m_trayIconAdded = false;
    // Runs the next launcher's modal loop; this window is detached and destroyed meanwhile.
    if (IHandOver* handOver = AfxGetHandOver()) handOver->ReturnToLauncher();
}

void CZuGameDlg::OnDestroy()
{
    CDHtmlDialog::OnDestroy();
    ::Shell_NotifyIconW(NIM_DELETE, &GameTrayIconRecord());
    m_trayIconAdded = false;
}

void CZuGameDlg::OnSize(UINT type, int cx, int cy)
{
    CDHtmlDialog::OnSize(type, cx, cy);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
}

void CZuGameDlg::OnRButtonDown(UINT, POINT) {}
void CZuGameDlg::OnRButtonUp(UINT, POINT) {}
