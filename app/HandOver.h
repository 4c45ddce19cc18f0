// The two hand-overs between the launcher and the game window, as the windows that ask for them see them.
// The application object implements them; the launcher and the game window reach them through the current
// application object without depending on its class.
#pragma once

#include "framework/String.h"
#include "framework/WinApp.h"

class IHandOver {
public:
    // Replaces the launcher by the game window: the game address first, then the server label.
    virtual void LaunchGame(CString gameUrl, CString serverLabel) = 0;
    // Replaces the game window by a fresh launcher.
    virtual void ReturnToLauncher() = 0;

protected:
    ~IHandOver() = default;
};

inline IHandOver* AfxGetHandOver() { return dynamic_cast<IHandOver*>(AfxGetApp()); }
