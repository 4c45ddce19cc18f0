// Control hosting for dialogs. When hosting is enabled (AfxEnableControlContainer), a dialog's template is
// pre-processed before the window is created: items that name an ActiveX control by class id are taken out
// and handed to the control-container manager, which creates them as hosted controls when the dialog
// initialises. The manager also receives the template's initialisation records meant for those controls,
// binds wrapper objects to hosted controls in data exchange, gets a first look at keyboard messages for
// them, and tears them down when the dialog window is destroyed.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/DialogTemplate.h"

class CDialog;
class CWnd;

// Messages of the control initialisation data that belong to hosted ActiveX controls.
constexpr WORD WM_OCC_LOADFROMSTREAM = 0x0376;
constexpr WORD WM_OCC_LOADFROMSTORAGE = 0x0377;
constexpr WORD WM_OCC_INITNEW = 0x0378;
constexpr WORD WM_OCC_LOADFROMSTREAM_EX = 0x037A;
constexpr WORD WM_OCC_LOADFROMSTORAGE_EX = 0x037B;
// The message that carries an image button's settings text.
constexpr WORD WM_MFC_INITCTRL = 0x037C;

inline bool IsHostedControlInitMessage(WORD message)
{
    return message == WM_OCC_LOADFROMSTREAM || message == WM_OCC_LOADFROMSTORAGE || message == WM_OCC_INITNEW ||
           message == WM_OCC_LOADFROMSTREAM_EX || message == WM_OCC_LOADFROMSTORAGE_EX;
}

class COccManager {
public:
    virtual ~COccManager() = default;
    // Creates the class-id items of the dialog's template (positions in dialog units) as hosted controls.
    // `init` holds the template's initialisation records for them.
    virtual void CreateDlgControls(CDialog* dialog, const std::vector<DialogItem>& items,
                                   const std::vector<DialogInitRecord>& init) = 0;
    // Data exchange: binds `wrapper` to the hosted control with this id; false when there is none.
    virtual bool BindControl(CDialog* dialog, int id, CWnd& wrapper) = 0;
    // A keyboard message addressed to a hosted control (or a window inside it), before the dialog manager.
    virtual bool PreTranslateMessage(CDialog* dialog, MSG* msg) = 0;
    // The dialog's window is being destroyed: deactivate and release its hosted controls.
    virtual void OnDialogDestroy(CDialog* dialog) = 0;
};

// Switches control hosting on with the given manager, or with the framework's own when none is given.
void AfxEnableControlContainer(COccManager* manager = nullptr);  // the thread needs an OLE apartment: AfxOleInit
COccManager* AfxGetOccManager();  // null while hosting is off
// The framework's own manager: hosts ActiveX controls in-place (see the browser hosting).
COccManager* AfxDefaultOccManager();
