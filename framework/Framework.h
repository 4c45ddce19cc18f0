// Everything an application of the framework includes.
#pragma once

#include "framework/CmdTarget.h"
#include "framework/ControlHosting.h"
#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/MFCButton.h"
#include "framework/Object.h"
#include "framework/String.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"
#include "framework/DHtmlDialog.h"
