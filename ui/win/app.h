// The application object of a dialog program: InitInstance does the program's work and returns
// FALSE, so that no message loop of its own follows (the modal dialog has run its own).
#pragma once

#include <windows.h>

class CWinApp {
public:
    virtual ~CWinApp() = default;
    // Prepares the process (the common controls, COM for the shell's folder browser) and runs
    // InitInstance; returns the process's exit code.
    int Run();

protected:
    virtual BOOL InitInstance() = 0;
};
