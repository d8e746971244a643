// The dialog program: the application object between the process's start and its end.
#include <windows.h>

#include "platform/platform.h"
#include "ui/tolvarenquista_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::LoadLibrariesFromSystemOnly();
    CTolvarenquistaApp app;
    return app.Run();
}
