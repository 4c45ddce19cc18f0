#include "framework/ControlHosting.h"

#include <ole2.h>

namespace {
COccManager* g_occManager = nullptr;
}

void AfxEnableControlContainer(COccManager* manager)
{
    g_occManager = manager ? manager : AfxDefaultOccManager();
    // Hosted controls are created and activated in place on this thread, which needs an OLE apartment for
    // that: without one, creating the control fails and the dialog comes up without it. The apartment stays
    // for the life of the thread; a thread that already has one keeps it (the call then only counts).
    ::OleInitialize(nullptr);
}

COccManager* AfxGetOccManager() { return g_occManager; }
