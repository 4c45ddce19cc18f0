// A stand-in for the system's web browser control, for tests on a Wine without an HTML engine. It plays the
// control's COM contract (in-place activation, DWebBrowserEvents2, IWebBrowser2 by dispatch id) and runs a
// page's window.external calls and location.href assignments through the host. See README.md.
#pragma once

#include <windows.h>
#include <unknwn.h>

// The class factory of the stand-in (a static object: AddRef and Release do not count). Register it for
// CLSID_WebBrowser with CoRegisterClassObject to have CoCreateInstance hand out the stand-in in this process.
IClassFactory* FakeBrowserClassFactory();

// Browser and frame objects alive now; 0 once every instance has been released.
LONG FakeBrowserLiveObjects();
// Locks taken with IClassFactory::LockServer and not yet released.
LONG FakeBrowserServerLocks();

// The environment variable naming the log file (a Windows path; lines are appended, UTF-8).
constexpr wchar_t kFakeBrowserLogVariable[] = L"VELMORA_FAKEBROWSER_LOG";
