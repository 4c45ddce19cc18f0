#include "framework/ControlHosting.h"

namespace {
COccManager* g_occManager = nullptr;
}

void AfxEnableControlContainer(COccManager* manager)
{
    g_occManager = manager ? manager : AfxDefaultOccManager();
}

COccManager* AfxGetOccManager() { return g_occManager; }
