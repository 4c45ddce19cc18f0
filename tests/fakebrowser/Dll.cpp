// The in-process server: what CoCreateInstance loads when a Wine prefix maps the browser control's class id
// to this DLL (see use-fake-browser.sh).
#include <windows.h>
#include <exdisp.h>

#include "tests/fakebrowser/FakeBrowser.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_WebBrowser) return CLASS_E_CLASSNOTAVAILABLE;
    return FakeBrowserClassFactory()->QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return FakeBrowserLiveObjects() == 0 && FakeBrowserServerLocks() == 0 ? S_OK : S_FALSE;
}
