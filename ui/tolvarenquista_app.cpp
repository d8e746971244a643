#include "ui/tolvarenquista_app.h"

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>

#include "ui/tolvarenquista_dlg.h"
#include "ui/win/win32_dialog_services.h"

BOOL CTolvarenquistaApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CWin32DialogServices services;
    CTolvarenquistaDlg dialog(services);
    services.SetOwner(dialog);
    dialog.DoModal();
    return FALSE;
}
