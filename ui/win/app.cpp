#include "ui/win/app.h"

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <objbase.h>

int CWinApp::Run() {
    // The folder browser's new style needs COM on the dialog's thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitInstance();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
