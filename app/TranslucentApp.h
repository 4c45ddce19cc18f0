// The application object: starts GDI+, switches control hosting on and runs the launcher as the main
// window; every later window runs nested inside that first modal loop.
#pragma once

#include "framework/Framework.h"

class CTranslucentApp : public CWinApp {
public:
    CTranslucentApp();
    ~CTranslucentApp() override;

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    BOOL InitInstance() override;
    int ExitInstance() override;
};

extern CTranslucentApp theApp;
