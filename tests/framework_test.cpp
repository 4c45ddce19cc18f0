// The window framework's behaviours that the hand-overs between windows depend on: detached windows, the
// main window's end, nested modal loops unwinding, owners of modal dialogs, message tables.
#include <gtest/gtest.h>

#include <vector>

#include "framework/Framework.h"
#include "tests/support/Player.h"

namespace {

constexpr UINT kPlainDialog = 2001;  // tests/framework_test.rc

class TestApp : public CWinApp {};
TestApp theTestApp;

// A dialog that records which of its handlers ran.
class RecordingDialog : public CDialog {
public:
    explicit RecordingDialog(CWnd* parent = nullptr) : CDialog(kPlainDialog, parent) {}
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    void OnClose()
    {
        closes++;
        CWnd::OnClose();
    }
    void OnMove(int x, int y)
    {
        lastMove = {x, y};
        CWnd::OnMove(x, y);
    }
    LRESULT OnPing(WPARAM w, LPARAM l)
    {
        pings++;
        return static_cast<LRESULT>(w + l);
    }
    void OnCancel() override
    {
        cancels++;
        CDialog::OnCancel();
    }
    BOOL OnInitDialog() override
    {
        inits++;
        return CDialog::OnInitDialog();
    }

    int closes = 0, cancels = 0, pings = 0, inits = 0;
    POINT lastMove{-1000, -1000};
};

constexpr UINT WM_PING = WM_APP + 7;
const MessageEntry recordingEntries[] = {
    msgmap::OnClose<&RecordingDialog::OnClose>(),
    msgmap::OnMove<&RecordingDialog::OnMove>(),
    msgmap::OnMessage<&RecordingDialog::OnPing>(WM_PING),
};
const MessageMap RecordingDialog::messageMap{&CDialog::messageMap, recordingEntries};

// A derived class that adds nothing: its table chains to the base's.
class DerivedDialog : public RecordingDialog {
public:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;
};
const MessageMap DerivedDialog::messageMap{&RecordingDialog::messageMap};

bool QuitQueued()
{
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

class FrameworkTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        theTestApp.m_pMainWnd = nullptr;
        DrainMessages();
    }
};

TEST_F(FrameworkTest, DetachedWindowIsDestroyedByThePlainDefaultProcedure)
{
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(kPlainDialog));
    HWND hwnd = dialog.m_hWnd;
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), &dialog);

    // Bound: WM_CLOSE reaches the object's handler; the dialog manager turns it into Cancel.
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog.closes, 1);
    EXPECT_TRUE(PumpUntil([&] { return dialog.cancels == 1; }));
    EXPECT_TRUE(::IsWindow(hwnd));  // a modeless dialog's Cancel only hides it

    EXPECT_EQ(dialog.Detach(), hwnd);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ::PostMessageW(hwnd, WM_PING, 1, 2);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }));
    EXPECT_EQ(dialog.closes, 1);
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_EQ(dialog.pings, 0);
}

TEST_F(FrameworkTest, MainWindowDestroyedThroughItsObjectPostsQuitAndClearsMainPointer)
{
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(kPlainDialog));
    theTestApp.m_pMainWnd = &dialog;
    DrainMessages();
    dialog.DestroyWindow();
    EXPECT_EQ(theTestApp.m_pMainWnd, nullptr);
    EXPECT_TRUE(QuitQueued());
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(FrameworkTest, DetachedMainWindowDestroyedPostsNoQuit)
{
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create(kPlainDialog));
    theTestApp.m_pMainWnd = &dialog;
    DrainMessages();
    HWND hwnd = dialog.Detach();
    ::DestroyWindow(hwnd);
    EXPECT_EQ(theTestApp.m_pMainWnd, &dialog);
    EXPECT_FALSE(QuitQueued());
}

TEST_F(FrameworkTest, CloseRequestEndsModalLoopAsCancel)
{
    RecordingDialog dialog;
    ScriptedPlayer player;
    player.Then([&] { ::PostMessageW(dialog.m_hWnd, WM_CLOSE, 0, 0); });
    player.Start();
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_EQ(dialog.closes, 1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);  // DoModal destroyed its window
}

TEST_F(FrameworkTest, NestedModalLoopsUnwindInnermostFirstOnQuit)
{
    constexpr int kDepth = 4;
    std::vector<int> finished;
    std::vector<INT_PTR> results;
    std::vector<HWND> owners;

    // Each level runs the next one from inside its own loop, as the hand-overs do; the last one quits.
    std::function<void(int)> runLevel = [&](int level) {
        RecordingDialog dialog;
        theTestApp.m_pMainWnd = &dialog;
        ScriptedPlayer player;
        player.Then([&] {
            owners.push_back(::GetWindow(dialog.m_hWnd, GW_OWNER));
            if (level + 1 < kDepth) runLevel(level + 1);
            else ::PostQuitMessage(3);
        });
        player.Start();
        results.push_back(dialog.DoModal());
        finished.push_back(level);
    };
    runLevel(0);

    EXPECT_EQ(finished, (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ(results, (std::vector<INT_PTR>(kDepth, -1)));
    EXPECT_EQ(owners, (std::vector<HWND>(kDepth, nullptr)));  // each main-window dialog is unowned
    EXPECT_TRUE(QuitQueued());  // re-posted by the outermost level for whoever runs below it
}

TEST_F(FrameworkTest, ModalDialogIsOwnedByAnotherMainWindowAndReenablesIt)
{
    RecordingDialog main;
    ASSERT_TRUE(main.Create(kPlainDialog));
    theTestApp.m_pMainWnd = &main;

    RecordingDialog modal;
    HWND ownerSeen = nullptr;
    BOOL mainEnabledDuring = TRUE;
    ScriptedPlayer player;
    player.Then([&] {
        ownerSeen = ::GetWindow(modal.m_hWnd, GW_OWNER);
        mainEnabledDuring = ::IsWindowEnabled(main.m_hWnd);
        modal.EndDialog(IDOK);
    });
    player.Start();
    EXPECT_EQ(modal.DoModal(), IDOK);
    EXPECT_EQ(ownerSeen, main.m_hWnd);
    EXPECT_FALSE(mainEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(main.m_hWnd));
    theTestApp.m_pMainWnd = nullptr;
    main.DestroyWindow();
}

TEST_F(FrameworkTest, MessageTablesChainAndUnpackArguments)
{
    DerivedDialog dialog;
    ASSERT_TRUE(dialog.Create(kPlainDialog));
    EXPECT_EQ(::SendMessageW(dialog.m_hWnd, WM_PING, 40, 2), 42);
    EXPECT_EQ(dialog.pings, 1);
    // WM_MOVE carries signed coordinates: a window left of and above the screen's origin.
    ::SendMessageW(dialog.m_hWnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(-119), static_cast<WORD>(-84)));
    EXPECT_EQ(dialog.lastMove.x, -119);
    EXPECT_EQ(dialog.lastMove.y, -84);
    // IDOK and IDCANCEL come from CDialog's own table.
    ::SendMessageW(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(dialog.cancels, 1);
    dialog.DestroyWindow();
}

TEST_F(FrameworkTest, RuntimeClassRecordsNameTheirBases)
{
    DerivedDialog dialog;
    EXPECT_TRUE(dialog.IsKindOf(RuntimeClassOf<CDialog>()));
    EXPECT_TRUE(dialog.IsKindOf(RuntimeClassOf<CWnd>()));
    EXPECT_FALSE(CWnd().IsKindOf(RuntimeClassOf<CDialog>()));
    CObject* created = RuntimeClassOf<CWnd>()->CreateObject();
    ASSERT_NE(created, nullptr);
    EXPECT_STREQ(created->GetRuntimeClass()->m_lpszClassName, "CWnd");
    delete created;
    EXPECT_EQ(RuntimeClassOf<CDialog>()->CreateObject(), nullptr);
}

TEST(CStringTest, FormatFindAndCompare)
{
    CString s;
    s.Format(L"%s|%d|%s", L"地址", 42, L"");
    EXPECT_STREQ(s, L"地址|42|");
    CString text(L"http://a/b?fullscn=1#x");
    EXPECT_EQ(text.Find(L"fullscn=1"), 11);
    EXPECT_EQ(text.Find(L""), 0);
    EXPECT_EQ(text.Find(L"FULLSCN=1"), -1);
    EXPECT_TRUE(CString(L"error") == L"error");
    EXPECT_FALSE(CString(L"ERROR") == L"error");
    wchar_t* buffer = s.GetBuffer(10);
    buffer[0] = L'x';
    buffer[1] = 0;
    s.ReleaseBuffer();
    EXPECT_STREQ(s, L"x");
}

}  // namespace
