#include "launcher/ZuStandardDlg.h"

#include <shellapi.h>

#include "app/Config.h"
#include "app/HandOver.h"

namespace launcher_defaults {
const wchar_t kLoginPage[] = L"http://login.zuyou-games.example/gamelogin_wd_wdlogin_pexo.html";
const wchar_t kHomePage[] = L"http://velmora.zuyou-games.example";
const wchar_t kRechargePage[] = L"http://pay.zuyou-games.example/index.php?module=pay&gamename=pexo";
const wchar_t kServicePage[] = L"http://help.zuyou-games.example/service.php";
const wchar_t kForumPage[] = L"http://bbs.zuyou-games.example/forum-213-1.html";
const wchar_t kGameMarker[] = L"fullscn=1";
}  // namespace launcher_defaults

const CRuntimeClass CZuStandardDlg::runtimeClass{"CZuStandardDlg", &CStandardDialog::runtimeClass, nullptr};

static const MessageEntry CZuStandardDlg_messageEntries[] = {
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedDefault>(104),
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedHome>(1006),
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedClose>(1004),
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedRecharge>(1008),
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedService>(1009),
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedForum>(1010),
    msgmap::OnDestroy<&CZuStandardDlg::OnDestroy>(),
    msgmap::OnClose<&CZuStandardDlg::OnClose>(),
    msgmap::OnCommand<&CZuStandardDlg::OnBnClickedMinimize>(1012),
};
const MessageMap CZuStandardDlg::messageMap{&CStandardDialog::messageMap, CZuStandardDlg_messageEntries};

static const DispatchEntry CZuStandardDlg_dispatchEntries[] = {
    dispmap::Method<&CZuStandardDlg::outLink>(L"outLink"),
};
const DispatchMap CZuStandardDlg::dispatchMap{&CStandardDialog::dispatchMap, CZuStandardDlg_dispatchEntries};

static const EventSinkEntry CZuStandardDlg_sinkEntries[] = {
    sinkmap::Event<&CZuStandardDlg::OnNavigateComplete2>(1005, 252),
};
const EventSinkMap CZuStandardDlg::eventSinkMap{&CStandardDialog::eventSinkMap, CZuStandardDlg_sinkEntries};

namespace {

constexpr COLORREF kKeyColour = RGB(0, 255, 0);

struct ButtonSkin {
    CMFCButton CZuStandardDlg::*button;
    UINT normalImage, hotImage;
    int x, y, width, height;
};

// In the order they are skinned: home, recharge, service, forum, close, minimise. Pixels of the companion's
// client area, which lies exactly over the 1257 x 877 picture.
const ButtonSkin kButtonSkins[] = {
    {&CZuStandardDlg::m_btnHome, 139, 140, 363, 305, 165, 48},
    {&CZuStandardDlg::m_btnRecharge, 143, 144, 528, 305, 165, 48},
    {&CZuStandardDlg::m_btnService, 145, 147, 696, 305, 165, 48},
    {&CZuStandardDlg::m_btnForum, 141, 142, 858, 305, 166, 48},
    {&CZuStandardDlg::m_btnClose, 138, 137, 1018, 249, 58, 88},
    {&CZuStandardDlg::m_btnMinimize, 159, 160, 962, 237, 62, 59},
};

// A link button: the configured page in the default browser, read at each click. "##" switches it off.
void OpenLink(const wchar_t* key, const wchar_t* builtInPage)
{
    CString page = ReadConfigValue(key);
    if (page == L"##") return;
    if (page == L"error") page = builtInPage;
    ::ShellExecuteW(nullptr, L"open", page, nullptr, nullptr, SW_SHOWNORMAL);
}

// The text of a script argument, or failure, which the script sees as an exception. An argument passed
// without a value (undefined) reads as empty text, as the conversion gives it. A missing argument, null, a
// reference to nothing or an object without a text form is refused rather than read as a string it does not
// hold. By-reference arguments are read through.
HRESULT ArgumentText(VARIANT* argument, CString* text)
{
    if (!argument) return DISP_E_PARAMNOTOPTIONAL;
    if (V_ISBYREF(argument) && !V_BYREF(argument)) return DISP_E_TYPEMISMATCH;
    VARIANT copy;
    ::VariantInit(&copy);
    HRESULT hr = ::VariantCopyInd(&copy, argument);
    if (SUCCEEDED(hr) && V_VT(&copy) == VT_ERROR) hr = DISP_E_PARAMNOTOPTIONAL;
    if (SUCCEEDED(hr) && V_VT(&copy) == VT_NULL) hr = DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr)) hr = ::VariantChangeType(&copy, &copy, 0, VT_BSTR);
    if (SUCCEEDED(hr) && V_VT(&copy) != VT_BSTR) hr = DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr)) {
        CString converted;
        converted.Format(L"%s", V_BSTR(&copy) ? V_BSTR(&copy) : L"");
        *text = converted;
    }
    ::VariantClear(&copy);
    return hr;
}

}  // namespace

CZuStandardDlg::CZuStandardDlg(CWnd* parent) : CStandardDialog(103, kKeyColour, parent)
{
    EnableAutomation();
}

CZuStandardDlg::~CZuStandardDlg() = default;

void CZuStandardDlg::DoDataExchange(CDataExchange* dx)
{
    CStandardDialog::DoDataExchange(dx);
    DDX_Control(dx, 104, m_btnDefault);
    DDX_Control(dx, 1005, m_browser);
    DDX_Control(dx, 1006, m_btnHome);
    DDX_Control(dx, 1004, m_btnClose);
    DDX_Control(dx, 1008, m_btnRecharge);
    DDX_Control(dx, 1009, m_btnService);
    DDX_Control(dx, 1010, m_btnForum);
    DDX_Control(dx, 1012, m_btnMinimize);
}

BOOL CZuStandardDlg::OnInitDialog()
{
    CStandardDialog::OnInitDialog();

    CString loginPage = ReadConfigValue(L"client_web");
    if (loginPage == L"error") loginPage = launcher_defaults::kLoginPage;

    // The dialog keeps its own reference to the external object; the object itself is ours.
    SetExternalDispatch(GetIDispatch(FALSE));

    m_browser.MoveWindow(364, 371, 656, 360, TRUE);
    m_browser.Navigate(loginPage, nullptr, nullptr, nullptr, nullptr);
    m_browser.SetSilent(TRUE);

    for (const ButtonSkin& skin : kButtonSkins) {
        CMFCButton& button = this->*skin.button;
        button.SetImage(skin.normalImage, skin.hotImage, 0);
        button.m_bTransparent = TRUE;
        button.MoveWindow(skin.x, skin.y, skin.width, skin.height, TRUE);
    }
    return TRUE;
}

void CZuStandardDlg::OnOK() {}

void CZuStandardDlg::OnBnClickedDefault() {}

void CZuStandardDlg::OnBnClickedHome() { OpenLink(L"home_url", launcher_defaults::kHomePage); }
void CZuStandardDlg::OnBnClickedRecharge() { OpenLink(L"recharge_url", launcher_defaults::kRechargePage); }
void CZuStandardDlg::OnBnClickedService() { OpenLink(L"service_url", launcher_defaults::kServicePage); }
void CZuStandardDlg::OnBnClickedForum() { OpenLink(L"forum_url", launcher_defaults::kForumPage); }

void CZuStandardDlg::OnBnClickedClose()
{
    if (MessageBox(L"即将退出Velmora，是否继续？", L"退出游戏", MB_YESNO) != IDYES) return;
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd) ::SendMessageW(app->m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
}

void CZuStandardDlg::OnBnClickedMinimize()
{
    ShowWindow(SW_MINIMIZE);
    if (CWnd* main = AfxGetMainWnd()) main->ShowWindow(SW_MINIMIZE);
}

void CZuStandardDlg::OnDestroy() { CDHtmlDialog::OnDestroy(); }

void CZuStandardDlg::OnClose() { CWnd::OnClose(); }

HRESULT CZuStandardDlg::outLink(VARIANT* serverLabel, VARIANT* gameUrl)
{
    CString label, url;
    HRESULT hr = ArgumentText(serverLabel, &label);
    if (SUCCEEDED(hr)) hr = ArgumentText(gameUrl, &url);
    if (FAILED(hr)) return hr;  // the script gets an exception; the launcher stays as it is
    HandOverToGame(url, label);
    return S_OK;
}

void CZuStandardDlg::OnNavigateComplete2(IDispatch*, VARIANT* url)
{
    // The address is text, held directly or through a reference to it.
    CString address;
    const BSTR* text = nullptr;
    if (url && V_VT(url) == VT_BSTR) text = &V_BSTR(url);
    else if (url && V_VT(url) == (VT_BYREF | VT_BSTR)) text = V_BSTRREF(url);
    if (text && *text) address.Format(L"%s", *text);

    CString marker = ReadConfigValue(L"fullscn_key");
    if (marker == L"error") marker = launcher_defaults::kGameMarker;
    if (address.Find(marker) < 0) return;

    // The game address is the top-level document's, read before anything is closed.
    CString gameUrl = m_browser.GetLocationURL();
    HandOverToGame(gameUrl, address);
}

void CZuStandardDlg::HandOverToGame(const CString& gameUrl, const CString& serverLabel)
{
    if (m_handedOver || !m_hWnd) return;
    m_handedOver = true;
    IHandOver* handOver = AfxGetHandOver();

    // Posted, and the objects detached first: only the windows' default handling sees the requests, so no
    // exit prompt and no closing of the pair through this dialog's Cancel. They are destroyed once the game
    // window's loop retrieves them.
    if (m_browser.m_hWnd) ::PostMessageW(m_browser.m_hWnd, WM_CLOSE, 0, 0);  // else it would go to the thread
    m_browser.Detach();
    ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
    Detach();

    if (handOver) handOver->LaunchGame(gameUrl, serverLabel);
}
