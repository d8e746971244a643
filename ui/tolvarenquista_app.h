// The application: registers the common controls and runs the main dialog modally; the program
// ends when the dialog closes. One instance, made by the program's entry point.
#pragma once

#include "ui/win/app.h"

class CTolvarenquistaApp : public CWinApp {
protected:
    BOOL InitInstance() override;
};
