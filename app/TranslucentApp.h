// The application object: starts GDI+, switches control hosting on and runs the launcher as the main
// window; every later window runs nested inside that first modal loop.
#pragma once

#include "app/HandOver.h"
#include "framework/Framework.h"

class CTranslucentApp : public CWinApp, public IHandOver {
public:
    CTranslucentApp();
    ~CTranslucentApp() override;

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Each hand-over closes the current main window behind its object's back (a posted close request to a
    // detached window), makes the next window the main window and runs it modally, nested in the handler
    // that asked for it.
    void LaunchGame(CString gameUrl, CString serverLabel) override;
    void ReturnToLauncher() override;

private:
    // Posts the current main window a close request and detaches it, so that only the default window
    // procedure sees the request: none of its own close handling runs.
    void RetireMainWindow();
    void EndWithoutWindow();
};

extern CTranslucentApp theApp;
