#include "ui/tolvarenquista_app.h"

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>
#include <shlobj.h>

#include "engine/messages.h"
#include "platform/win32_text.h"
#include "ui/tolvarenquista_dlg.h"
#include "ui/win/wide_text.h"
#include "ui/win/win32_dialog_services.h"

namespace {

// The user's application-data folder, which holds the log folder, when code page 932 cannot name it
// in any form (no short form either: the volume keeps none); empty otherwise. A user whose folder
// name has such a character (𠮷, é) is served through the short form.
std::wstring UnnamableUserDataFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
    std::string named;
    return platform::Cp932Path(path, named) ? std::wstring() : std::wstring(path);
}

}  // namespace

BOOL CTolvarenquistaApp::InitInstance() {
    if (const std::wstring folder = UnnamableUserDataFolder(); !folder.empty()) {
        const std::wstring text = ToWide("エラーログのフォルダを作れないため、起動できません。\nユーザーのフォルダ\n") +
                                  folder +
                                  ToWide(
                                      "\nの名前に、シフトJISで表せない文字が含まれています"
                                      "（このドライブでは短い名前も使えません）。\n"
                                      "システムの管理者に連絡してください。");
        MessageBoxW(nullptr, text.c_str(), ToWide(kCaptionError).c_str(), MB_OK | MB_ICONHAND);
        return FALSE;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CWin32DialogServices services;
    CTolvarenquistaDlg dialog(services);
    services.SetOwner(dialog);
    dialog.DoModal();
    return FALSE;
}
